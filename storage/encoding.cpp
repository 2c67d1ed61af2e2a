#include "storage/encoding.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

// ---- Status texts -------------------------------------------------------------------------------

const char* status_text(StatusCode code) {
    switch (code) {
    case status::kOk:
        return "Sucessfull";
    case status::kInvalidParm:
        return "Invalid Parm";
    case status::kFileOpen:
        return "File Open";
    case status::kMalloc:
        return "Malloc";
    case status::kFileRead:
        return "File Read";
    case status::kFileWrite:
        return "File Write";
    case status::kFileSeek:
        return "File Seek";
    case status::kFileExists:
        return "File Exists";
    case status::kFileNotFound:
        return "File Not Found";
    case status::kRecordNotFound:
        return "Record Not Found";
    case status::kNoGraphics:
        return "No Graphics Found";
    case status::kNoFonts:
        return "No Fonts Found";
    case status::kChartsUninitialized:
        return "Charts Uninitialized";
    case status::kMaxLines:
        return "Max Lines Exceeded";
    case status::kMaxGrids:
        return "Max Grids Exceeded";
    case status::kNestingTooDeep:
        return "Nesting Too Deep";
    case status::kBadRecordShape:
        return "Unsupported Record";
    default:
        return "Unknown";
    }
}

// ---- Microsoft Binary Format --------------------------------------------------------------------

namespace {

std::uint32_t bits_of(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

float float_of(std::uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The highest IEEE exponent that fits in an MBF exponent byte (byte 3 = e + 2 <= 255).
constexpr std::uint32_t kMaxMbfIeeeExponent = 253;

} // namespace

void ieee_to_mbf(float value, std::uint8_t out[4]) {
    std::uint32_t bits = bits_of(value);
    std::uint32_t sign = bits >> 31;
    std::uint32_t exponent = (bits >> 23) & 0xFF;
    std::uint32_t fraction = bits & 0x7FFFFF;
    if (std::isnan(value) || exponent == 0) {
        // Zero, values below the smallest normal, and NaN (which callers refuse earlier).
        std::memset(out, 0, 4);
        return;
    }
    if (exponent > kMaxMbfIeeeExponent) { // beyond the MBF range or infinite: saturate
        exponent = kMaxMbfIeeeExponent;
        fraction = 0x7FFFFF;
    }
    out[0] = static_cast<std::uint8_t>(fraction & 0xFF);
    out[1] = static_cast<std::uint8_t>((fraction >> 8) & 0xFF);
    out[2] = static_cast<std::uint8_t>((sign << 7) | ((fraction >> 16) & 0x7F));
    out[3] = static_cast<std::uint8_t>(exponent + 2);
}

float mbf_to_ieee(const std::uint8_t in[4]) {
    const std::uint32_t word = static_cast<std::uint32_t>(in[0]) | (static_cast<std::uint32_t>(in[1]) << 8) |
                               (static_cast<std::uint32_t>(in[2]) << 16) |
                               (static_cast<std::uint32_t>(in[3]) << 24);
    return float_of(mbf_word_to_ieee_bits(word));
}

namespace {

// The conversion loop, written once and compiled twice on x86-64 (see below).
[[gnu::always_inline]] inline void convert_words(std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i, bytes += 4) {
        std::uint32_t word;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(&word, bytes, 4);
        } else {
            word = static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
                   (static_cast<std::uint32_t>(bytes[2]) << 16) |
                   (static_cast<std::uint32_t>(bytes[3]) << 24);
        }
        const std::uint32_t bits = mbf_word_to_ieee_bits(word);
        std::memcpy(bytes, &bits, 4);
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
#define QUORBIT_AVX2_COPY 1
// The same loop for processors with AVX2: eight values a step instead of four. Chosen at run time by
// asking the processor, not by the loader, so that nothing runs before the program has started.
[[gnu::target("avx2")]] void convert_words_avx2(std::uint8_t* bytes, std::size_t count) {
    convert_words(bytes, count);
}
#endif

} // namespace

void mbf_convert_in_place(std::uint8_t* bytes, std::size_t count) {
#ifdef QUORBIT_AVX2_COPY
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) {
        convert_words_avx2(bytes, count);
        return;
    }
#endif
    convert_words(bytes, count);
}

bool mbf_representable(float value) {
    if (!std::isfinite(value))
        return false;
    if (value == 0.0f)
        return true;
    std::uint32_t exponent = (bits_of(value) >> 23) & 0xFF;
    return exponent >= 1 && exponent <= kMaxMbfIeeeExponent;
}

// ---- Dates and times ----------------------------------------------------------------------------

namespace {

constexpr int kCumulativeDays[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

// 1900 is a common year; from 1901 on every fourth year is a leap year.
bool leap(int years_since_1900) {
    return years_since_1900 % 4 == 0 && years_since_1900 != 0;
}

int cumulative(int month, int years_since_1900) {
    return kCumulativeDays[month - 1] + (month > 2 && leap(years_since_1900) ? 1 : 0);
}

// Days from 1 January 1900 to 1 January of a year (since 1900, at least 0).
long long days_before_year(int years_since_1900) {
    return 365LL * years_since_1900 + (years_since_1900 > 0 ? (years_since_1900 - 1) / 4 : 0);
}

constexpr long long kDaysBefore1961 = 22280;

long long count_of_day(DayNumber day) {
    return day > 0 ? day : static_cast<long long>(day) + 1;
}

// The month of each day of a year (1-based), for a common and a leap year.
struct MonthOfDay {
    std::uint8_t month[2][367] = {};
};

constexpr MonthOfDay make_month_of_day() {
    MonthOfDay table;
    for (int is_leap = 0; is_leap < 2; ++is_leap) {
        for (int r = 1; r <= 366; ++r) {
            int month = 1;
            for (int m = 12; m >= 1; --m) {
                if (kCumulativeDays[m - 1] + (m > 2 ? is_leap : 0) < r) {
                    month = m;
                    break;
                }
            }
            table.month[is_leap][r] = static_cast<std::uint8_t>(month);
        }
    }
    return table;
}

constexpr MonthOfDay kMonthOfDay = make_month_of_day();

// Month and day of day `r` (1-based) of a year.
void split_day_of_year(int r, int year, int& month, int& day) {
    if (r >= 1 && r <= 366) {
        month = kMonthOfDay.month[leap(year) ? 1 : 0][r];
        day = r - cumulative(month, year);
        return;
    }
    month = 1;
    for (int m = 12; m >= 1; --m) {
        if (cumulative(m, year) < r) {
            month = m;
            break;
        }
    }
    day = r - cumulative(month, year);
}

std::uint16_t clamp_u16(long long value) {
    return static_cast<std::uint16_t>(std::clamp<long long>(value, 0, 65535));
}

// Splits a stored YYMMDD / HHMMSS value into its three groups; false for values no date can hold.
bool split_groups(float value, int& high, int& middle, int& low) {
    // Stored dates and times are whole numbers: integer division gives the same groups as the
    // general path below, several times faster (every bar read goes through here).
    if (std::fabs(value) < 16777216.0f) {
        const int whole = static_cast<int>(value);
        if (static_cast<float>(whole) == value) {
            high = whole / 10000;
            const int rest = whole - 10000 * high;
            middle = rest / 100;
            low = rest - 100 * middle;
            return true;
        }
    }
    double x = value;
    if (!std::isfinite(x) || std::fabs(x) > 1e9)
        return false;
    double h = std::trunc(x / 10000.0);
    double m = std::trunc((x - 10000.0 * h) / 100.0);
    double l = std::trunc(x - 10000.0 * h - 100.0 * m);
    high = static_cast<int>(h);
    middle = static_cast<int>(m);
    low = static_cast<int>(l);
    return true;
}

} // namespace

std::int64_t date_month_start(int year, int month) {
    if (year > 1900)
        year -= 1900;
    if (year < 0)
        return std::numeric_limits<std::int64_t>::min() / 4; // below kFirstDay whatever day is added
    month = std::clamp(month, 1, 12);
    long long count = year >= 61 ? (static_cast<long long>(year - 61) * 1461) / 4
                                 : days_before_year(year) - kDaysBefore1961;
    return count + cumulative(month, year);
}

DayNumber DateDecoder::decode_and_remember(float value) {
    if (!(value >= 0.0f && value < 16777216.0f))
        return date_from_yymmdd(value);
    const int whole = static_cast<int>(value);
    if (static_cast<float>(whole) != value)
        return date_from_yymmdd(value);
    const int month_key = whole / 100; // YYMM or CCYYMM
    const std::int64_t start = date_month_start(month_key / 100, month_key % 100);
    // When the days 00 to 99 of the month's YYMMDD values all fall on one side of the gap at 0 and
    // within the range, each is the month's start and a fixed offset.
    const bool after_1960 = start >= 1 && start + 99 <= kLastDay;
    const bool before_1961 = start + 99 <= 0 && start - 1 >= kFirstDay;
    if (after_1960 || before_1961) {
        month_low_ = static_cast<float>(100 * month_key);
        month_high_ = month_low_ + 100.0f;
        month_offset_ = static_cast<int>(start) - 100 * month_key - (before_1961 ? 1 : 0);
    }
    return date_from_count(start + (whole - 100 * month_key));
}

DayNumber date_pack(int year, int month, int day) {
    return date_from_count(date_month_start(year, month) + day);
}

void date_unpack(DayNumber n, int& year, int& month, int& day) {
    if (n == 0) {
        year = 60;
        month = 12;
        day = 31;
        return;
    }
    if (n > 0) {
        int q = (4 * static_cast<int>(n) - 1) / 1461;
        year = q + 61;
        split_day_of_year(static_cast<int>(n) - (q * 1461) / 4, year, month, day);
        return;
    }
    // Before 1961: from 1 January 1900 (0), where 1900 stands alone before the four-year cycles.
    long long since_1900 = std::max<long long>(count_of_day(n) + kDaysBefore1961 - 1, 0);
    if (since_1900 < 365) {
        year = 0;
        split_day_of_year(static_cast<int>(since_1900) + 1, year, month, day);
        return;
    }
    int m = static_cast<int>(since_1900 - 365 + 1); // 1 = 1 January 1901
    int q = (4 * m - 1) / 1461;
    year = q + 1;
    split_day_of_year(m - (q * 1461) / 4, year, month, day);
}

PackedTime time_pack(int hours, int minutes, int seconds) {
    long long value =
        static_cast<long long>(hours) * 1800 + static_cast<long long>(minutes) * 30 + seconds / 2;
    return clamp_u16(value);
}

void time_unpack(PackedTime t, int& hours, int& minutes, int& seconds) {
    hours = t / 1800;
    minutes = (t % 1800) / 30;
    seconds = (t % 1800 % 30) * 2;
}

DayNumber date_from_yymmdd(float value) {
    int y, m, d;
    if (!split_groups(value, y, m, d))
        return 0;
    return date_pack(y, m, d);
}

PackedTime time_from_hhmmss(float value) {
    int h, m, s;
    if (!split_groups(value, h, m, s))
        return 0;
    return time_pack(h, m, s);
}

TimeOfDay time_of_day(int hours, int minutes, int seconds) {
    // Each group stays within what a stored value can hold, so the sum never leaves the 32-bit range.
    const auto group = [](int value, int most) { return std::clamp(value, 0, most); };
    return group(hours, 99999) * 10000 + group(minutes, 99) * 100 + group(seconds, 99);
}

void time_of_day_split(TimeOfDay t, int& hours, int& minutes, int& seconds) {
    t = std::max<TimeOfDay>(t, 0);
    hours = t / 10000;
    minutes = t / 100 % 100;
    seconds = t % 100;
}

TimeOfDay time_of_day_from_hhmmss(float value) {
    int h, m, s;
    if (!split_groups(value, h, m, s) || h < 0 || m < 0 || s < 0)
        return 0;
    return time_of_day(h, m, s);
}

PackedTime time_of_day_packed(TimeOfDay t) {
    int h, m, s;
    time_of_day_split(t, h, m, s);
    return time_pack(h, m, s);
}

float date_to_yymmdd(DayNumber day) {
    if (day == 0)
        return 0.0f;
    int y, m, d;
    date_unpack(day, y, m, d);
    return static_cast<float>(y * 10000 + m * 100 + d);
}

void date_to_mbf(DayNumber day, std::uint8_t out[4]) {
    ieee_to_mbf(date_to_yymmdd(day), out);
}

DayNumber day_before(DayNumber day) {
    if (day == kNoDate || day <= kFirstDay)
        return kNoDate;
    return day == 1 ? -1 : day - 1;
}

DayNumber day_after(DayNumber day) {
    if (day >= kLastDay)
        return kLastDay;
    return day == -1 || day == kNoDate ? 1 : day + 1;
}

bool is_weekday(DayNumber day) {
    if (day == kNoDate)
        return false;
    long long weekday = ((count_of_day(day) - 1) % 7 + 7) % 7; // 0 Sunday .. 6 Saturday
    return weekday != 0 && weekday != 6;
}

DayNumber previous_weekday(DayNumber day) {
    DayNumber w = day;
    do {
        w = day_before(w);
        if (w == kNoDate)
            return kNoDate;
    } while (!is_weekday(w));
    return w;
}

DayNumber next_weekday(DayNumber day) {
    DayNumber w = day;
    do {
        if (w >= kLastDay)
            return kLastDay;
        w = day_after(w);
    } while (!is_weekday(w));
    return w;
}

// ---- Date texts ---------------------------------------------------------------------------------

namespace {

struct StyleLayout {
    int century; // -1: no century group
    int year;
    int month;
    int day;
};

constexpr StyleLayout kStyles[12] = {
    {-1, 0, 3, 6}, {0, 2, 5, 8}, {-1, 6, 0, 3}, {6, 8, 0, 3}, {-1, 6, 3, 0}, {6, 8, 3, 0},
    {-1, 0, 2, 4}, {0, 2, 4, 6}, {-1, 4, 0, 2}, {4, 6, 0, 2}, {-1, 4, 2, 0}, {4, 6, 2, 0},
};

// Reads the two characters at `pos` as "%d" would: blanks, an optional sign, then digits.
int read_group(std::string_view text, int pos) {
    if (pos < 0 || static_cast<std::size_t>(pos) >= text.size())
        return 0;
    std::string_view group = text.substr(static_cast<std::size_t>(pos), 2);
    std::size_t i = 0;
    while (i < group.size() && group[i] == ' ')
        ++i;
    bool negative = false;
    if (i < group.size() && (group[i] == '-' || group[i] == '+')) {
        negative = group[i] == '-';
        ++i;
    }
    int value = 0;
    for (; i < group.size() && group[i] >= '0' && group[i] <= '9'; ++i)
        value = value * 10 + (group[i] - '0');
    return negative ? -value : value;
}

void append_two_digits(std::string& out, int value) {
    if (value < 0) {
        out += '-';
        value = -value;
    }
    if (value < 100) {
        out += static_cast<char>('0' + value / 10);
        out += static_cast<char>('0' + value % 10);
        return;
    }
    out += std::to_string(value);
}

} // namespace

DayNumber date_parse(std::string_view text, int style) {
    std::size_t start = 0;
    while (start < text.size() && text[start] == ' ')
        ++start;
    if (start < text.size() && text[start] == '"')
        ++start;
    text.remove_prefix(start);
    if (text.empty() || style < 1 || style > 12)
        return 0;
    const StyleLayout& layout = kStyles[style - 1];
    int century = layout.century >= 0 ? read_group(text, layout.century) : 0;
    int year = read_group(text, layout.year);
    int month = read_group(text, layout.month);
    int day = read_group(text, layout.day);
    int offset = layout.century >= 0 ? century * 100 - 1900 : 0;
    if (year == 0 && month == 0 && day == 0)
        return 0;
    if (year < 60 && offset == 0)
        offset = 100;
    return date_pack(year + offset, month, day);
}

std::string date_format(DayNumber day, int style, char separator) {
    if (style < 1 || style > 12)
        return "";
    int years = 0, month = 0, dd = 0, yy = 0, cc = 0;
    if (day != 0) {
        date_unpack(day, years, month, dd);
        yy = years % 100;
        cc = years / 100 + 19;
    }
    std::string out;
    out.reserve(12);
    bool separated = style <= 6;
    auto sep = [&] {
        if (separated && separator != '\0')
            out += separator;
    };
    auto year_group = [&](bool with_century) {
        if (with_century)
            append_two_digits(out, cc);
        append_two_digits(out, yy);
    };
    bool century = style == 2 || style == 4 || style == 6 || style == 8 || style == 10 || style == 12;
    switch (style) {
    case 1:
    case 2:
    case 7:
    case 8:
        year_group(century);
        sep();
        append_two_digits(out, month);
        sep();
        append_two_digits(out, dd);
        break;
    case 3:
    case 4:
    case 9:
    case 10:
        append_two_digits(out, month);
        sep();
        append_two_digits(out, dd);
        sep();
        year_group(century);
        break;
    default: // 5, 6, 11, 12
        append_two_digits(out, dd);
        sep();
        append_two_digits(out, month);
        sep();
        year_group(century);
        break;
    }
    return out;
}

bool date_needs_century(DayNumber day) {
    if (day == kNoDate)
        return false;
    int year, month, dd;
    date_unpack(day, year, month, dd);
    return year < 60;
}

std::string date_display_text(DayNumber day) {
    if (day > 0) { // from 1961 on, MM/DD/YY: written directly, as every row of a list or an export asks
        int years = 0, month = 0, dd = 0;
        date_unpack(day, years, month, dd);
        const int yy = years % 100;
        const char text[8] = {static_cast<char>('0' + month / 10), static_cast<char>('0' + month % 10), '/',
                              static_cast<char>('0' + dd / 10),    static_cast<char>('0' + dd % 10),    '/',
                              static_cast<char>('0' + yy / 10),    static_cast<char>('0' + yy % 10)};
        return std::string(text, sizeof text);
    }
    return date_format(day, date_needs_century(day) ? kMMDDCCYYSep : kMMDDYYSep, '/');
}

std::string time_display_text(TimeOfDay t) {
    int hours = 0, minutes = 0, seconds = 0;
    time_of_day_split(t, hours, minutes, seconds);
    if (hours < 100) { // every time of a day: written directly
        const char text[8] = {
            static_cast<char>('0' + hours / 10),   static_cast<char>('0' + hours % 10),   ':',
            static_cast<char>('0' + minutes / 10), static_cast<char>('0' + minutes % 10), ':',
            static_cast<char>('0' + seconds / 10), static_cast<char>('0' + seconds % 10)};
        return std::string(text, sizeof text);
    }
    return std::to_string(hours) + time_display_text(t % 1000000).substr(2);
}

// ---- Names --------------------------------------------------------------------------------------

const char* format_code_name(int code) {
    switch (code) {
    case -7:
        return "128ths";
    case -6:
        return "64ths";
    case -5:
        return "32nds";
    case -4:
        return "16ths";
    case -3:
        return "8ths";
    case -2:
        return "4ths";
    case -1:
        return "Halves";
    case 0:
        return "Whole Num.";
    case 1:
        return "10ths";
    case 2:
        return "100ths";
    case 3:
        return "1,000ths";
    case 4:
        return "10,000ths";
    case 5:
        return "100,000ths";
    case 100:
        return "100s";
    case 1000:
        return "1,000s";
    default:
        return "Unknown";
    }
}

const char* periodicity_name(char letter) {
    switch (letter) {
    case 'D':
        return "Daily";
    case 'W':
        return "Weekly";
    case 'M':
        return "Monthly";
    case 'Q':
        return "Quarterly";
    case 'Y':
        return "Yearly";
    case 'I':
        return "Intra-day";
    default:
        return "ERROR";
    }
}

bool periodicity_known(char letter) {
    return std::string_view("DWMQYI").find(letter) != std::string_view::npos && letter;
}

// ---- Text helpers -------------------------------------------------------------------------------

void trim_right(std::string& text) {
    std::size_t end = text.find_last_not_of(' ');
    text.erase(end == std::string::npos ? 0 : end + 1);
}

int count_char(std::string_view text, char c) {
    return static_cast<int>(std::count(text.begin(), text.end(), c));
}

int nth_char_index(std::string_view text, char c, int n) {
    int seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == c && ++seen == n)
            return static_cast<int>(i);
    }
    return static_cast<int>(text.size()) - 1;
}
