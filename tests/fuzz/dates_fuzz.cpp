// Date texts and MBF numbers: parsing never reads outside the text, formatting a parsed date and
// parsing it again gives the same day, and every MBF pattern with an exponent byte of 3 or more
// survives a round trip through IEEE.
#include "storage/dates.h"
#include "storage/display_text.h"
#include "storage/mbf.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const int style = data[0] % 14; // 0 and 13 are unknown styles
    const DayNumber day =
        date_parse(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1), style);
    int y, m, d;
    date_unpack(day, y, m, d);
    // Every style reads a year below 60 as 20YY, so texts name 1960 on (two-digit years up to 2059).
    const bool two_digit_year = style % 2 == 1;
    if (day != 0 && style >= 1 && style <= 12 && y >= 60 && (!two_digit_year || y < 160) &&
        date_parse(date_format(day, style, '/'), style) != day)
        std::abort();
    if (size < 5)
        return 0;
    std::uint8_t mbf[4], back[4];
    std::memcpy(mbf, data + 1, 4);
    const float value = mbf_to_ieee(mbf);
    ieee_to_mbf(value, back);
    if ((mbf[3] >= 3 && std::memcmp(mbf, back, 4) != 0) || (mbf[3] < 3 && value != 0.0f))
        std::abort();
    float as_float;
    std::memcpy(&as_float, data + 1, 4);
    ieee_to_mbf(as_float, back);
    const float again = mbf_to_ieee(back);
    if (mbf_representable(as_float) && again != as_float && !(as_float == 0.0f && again == 0.0f))
        std::abort();
    (void)date_from_yymmdd(as_float);
    (void)time_from_hhmmss(as_float);
    return 0;
}
