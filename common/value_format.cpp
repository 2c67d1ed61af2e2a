#include "common/value_format.h"

#include "storage/display_text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

constexpr const char* kNotAvailable = "N/A";

} // namespace

namespace {

constexpr double kPowersOfTen[] = {1.0, 10.0, 100.0, 1000.0, 10000.0};

// "0000" to "9999", four characters each, and four spare bytes, so that four bytes read from any
// position of an entry stay inside the table.
constexpr std::array<char, 4 * 10000 + 4> kFourDigits = [] {
    std::array<char, 4 * 10000 + 4> table{};
    for (int n = 0; n < 10000; ++n) {
        for (int k = 0, d = n; k < 4; ++k, d /= 10)
            table[static_cast<std::size_t>(4 * n + 3 - k)] = static_cast<char>('0' + d % 10);
    }
    return table;
}();

// Writes the last `count` (1 to 4) digits of n (below 10^4) by one four-byte store; up to three bytes
// past them may be written too.
char* put_group(char* out, std::uint32_t n, int count) {
    std::memcpy(out, &kFourDigits[4 * n + 4 - static_cast<std::uint32_t>(count)], 4);
    return out + count;
}

// The digits of n below 10^4, without leading zeros (one for 0).
char* put_short(char* out, std::uint32_t n) {
    const int count = 1 + (n >= 10) + (n >= 100) + (n >= 1000);
    return put_group(out, n, count);
}

// The digits of n without leading zeros, four at a time.
char* put_whole(char* out, std::uint64_t n) {
    if (n < 10000)
        return put_short(out, static_cast<std::uint32_t>(n));
    if (n < 100000000) {
        out = put_short(out, static_cast<std::uint32_t>(n / 10000));
        return put_group(out, static_cast<std::uint32_t>(n % 10000), 4);
    }
    out = put_whole(out, n / 100000000);
    const auto low = static_cast<std::uint32_t>(n % 100000000);
    out = put_group(out, low / 10000, 4);
    return put_group(out, low % 10000, 4);
}

// The text of a value scaled by 10^P and rounded: the whole part, then P decimals.
template <int P> char* put_scaled(char* out, std::uint64_t scaled) {
    constexpr std::uint64_t kScale = P == 0 ? 1 : P == 1 ? 10 : P == 2 ? 100 : P == 3 ? 1000 : 10000;
    const std::uint64_t whole = scaled / kScale;
    out = put_whole(out, whole);
    if constexpr (P > 0) {
        *out++ = '.';
        out = put_group(out, static_cast<std::uint32_t>(scaled - whole * kScale), P);
    }
    return out;
}

// The quick way for the values quote files hold. A float has a 24-bit mantissa, so the float times 10^p
// (p <= 4, at most 14 more bits) is exact in a double, and rounding it to an integer with the current
// rounding mode (to nearest, ties to even) is exactly what printf does with the decimal digits it drops.
// Returns the end of the text written at `out` (room for 32 characters, of which a few past the end of
// the text may be overwritten), or nullptr when the value is not one for the quick way.
char* put_fixed_quick(char* out, double value, int precision) {
    if (precision < 0 || precision > 4 || static_cast<double>(static_cast<float>(value)) != value)
        return nullptr;
    // rint rounds as nearbyint does, only without keeping the floating-point flags as they were.
    const double scaled = std::rint(std::fabs(value) * kPowersOfTen[precision]);
    if (!(scaled < 9.0e15))
        return nullptr;
    const auto digits = static_cast<std::uint64_t>(scaled);
    if (std::signbit(value))
        *out++ = '-';
    switch (precision) {
    case 0:
        return put_scaled<0>(out, digits);
    case 1:
        return put_scaled<1>(out, digits);
    case 2:
        return put_scaled<2>(out, digits);
    case 3:
        return put_scaled<3>(out, digits);
    default:
        return put_scaled<4>(out, digits);
    }
}

} // namespace

void append_fixed(std::string& out, double value, int precision) {
    char quick[32];
    if (const char* end = put_fixed_quick(quick, value, precision)) {
        out.append(quick, static_cast<std::size_t>(end - quick));
        return;
    }
    // The largest finite double needs 309 integer digits; a sign, a point and the decimals fit as well.
    char buffer[400];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, precision);
    if (error != std::errc{}) {
        out += kNotAvailable;
        return;
    }
    out.append(buffer, end);
}

char* put_fixed(char* out, float value, int precision) {
    if (char* end = put_fixed_quick(out, value, precision))
        return end;
    const auto [end, error] = std::to_chars(out, out + kFloatFixedTextMax, static_cast<double>(value),
                                            std::chars_format::fixed, precision);
    if (error != std::errc{}) {
        std::memcpy(out, kNotAvailable, 3);
        return out + 3;
    }
    return end;
}

std::string format_fixed(double value, int precision) {
    std::string text;
    append_fixed(text, value, precision);
    return text;
}

std::string quote_date_text(DayNumber day) {
    return date_display_text(day);
}

std::string quote_time_text(TimeOfDay time) {
    return time_display_text(time);
}

std::string quote_when_text(DayNumber day, std::optional<TimeOfDay> time) {
    return time ? quote_date_text(day) + " " + quote_time_text(*time) : quote_date_text(day);
}

void append_quote_value_text(std::string& out, float value, int precision) {
    // NaN fails the comparison as well as a negative value does.
    if (!(value >= 0.0f)) {
        out += kNotAvailable;
        return;
    }
    append_fixed(out, value, precision);
}

std::string quote_value_text(float value, int precision) {
    std::string text;
    append_quote_value_text(text, value, precision);
    return text;
}
