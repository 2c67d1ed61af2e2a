#include "storage/dates.h"

#include "storage/mbf.h"

#include <algorithm>
#include <cmath>
#include <limits>

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

namespace {

// The month of key YYMM (or CCYYMM) as a decoder remembers it, starting on day `start` + 1; an empty
// range when some of the days 00 to 99 of its YYMMDD values need clamping: those fall on both sides of
// the gap at 0, or past either end of the range.
DateDecoder::Month remembered_month(int month_key, std::int64_t start) {
    const bool after_1960 = start >= 1 && start + 99 <= kLastDay;
    const bool before_1961 = start + 99 <= 0 && start - 1 >= kFirstDay;
    if (!after_1960 && !before_1961)
        return {};
    const float low = static_cast<float>(100 * month_key);
    return {low, low + 100.0f, static_cast<int>(start) - 100 * month_key - (before_1961 ? 1 : 0), month_key};
}

DateDecoder::Month month_after(int month_key) {
    const int year = month_key / 100;
    const int key = month_key % 100 >= 12 ? 100 * (year + 1) + 1 : month_key + 1;
    return remembered_month(key, date_month_start(key / 100, key % 100));
}

} // namespace

DayNumber DateDecoder::decode_and_remember(float value) {
    if (!(value >= 0.0f && value < 16777216.0f))
        return date_from_yymmdd(value);
    const int whole = static_cast<int>(value);
    if (static_cast<float>(whole) != value)
        return date_from_yymmdd(value);
    const int month_key = whole / 100; // YYMM or CCYYMM
    const std::int64_t start = date_month_start(month_key / 100, month_key % 100);
    const Month month = remembered_month(month_key, start);
    if (month.key >= 0) {
        month_ = month;
        next_ = month_after(month_key);
    }
    return date_from_count(start + (whole - 100 * month_key));
}

void DateDecoder::advance() {
    if (next_.key < 0)
        return;
    month_ = next_;
    next_ = month_after(month_.key);
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
