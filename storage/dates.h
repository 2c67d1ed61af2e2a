// Dates and times as the portfolio files store them: day numbers, YYMMDD and HHMMSS values, the
// two-second packed time, and the weekday rules.
#pragma once

#include <cstdint>

// Days since 31 December 1960 (1 = Sunday 1 January 1961); 0 means no date. Days before 1961 count on
// below zero, passing over 0: 31 December 1960 is -1 and 1 January 1900 is kFirstDay. 1900 is a common
// year; after it every year divisible by 4 is a leap year.
using DayNumber = std::int32_t;
constexpr DayNumber kNoDate = 0;
constexpr DayNumber kFirstDay = -22280; // 1 January 1900, the first date a quote file can hold
constexpr DayNumber kLastDay = 65535;   // 4 June 2140
// hours * 1800 + minutes * 30 + seconds / 2: two-second steps.
using PackedTime = std::uint16_t;
// A time of day to the second, as a quote file stores it: the whole HHMMSS value (10:38:39 is 103839),
// 0 for midnight or for a series without a time. Times compare in the order of the day.
using TimeOfDay = std::int32_t;

// A year above 1900 is first reduced by 1900. Months outside 1..12 are clamped into the table. A day
// before 1900 gives 0 (no date), one after kLastDay gives kLastDay.
DayNumber date_pack(int year, int month, int day);
// n a date; year since 1900. date_unpack(0) gives year 60, month 12, day 31 (the day before day 1).
void date_unpack(DayNumber n, int& year, int& month, int& day);
PackedTime time_pack(int hours, int minutes, int seconds);
void time_unpack(PackedTime t, int& hours, int& minutes, int& seconds);
// YYMMDD (or CCYYMMDD) as stored in a file.
DayNumber date_from_yymmdd(float value);

// Days counted without a gap (1 = 1 January 1961, 0 = 31 December 1960, -1 the day before): the count
// of the day before a month starts (year and month as date_pack takes them; far below any date for a
// year before 1900), and the DayNumber of a count, clamped at the ends as date_pack clamps.
std::int64_t date_month_start(int year, int month);
inline DayNumber date_from_count(std::int64_t count) {
    if (count >= 1)
        return static_cast<DayNumber>(count < kLastDay ? count : kLastDay);
    return count - 1 < kFirstDay ? kNoDate : static_cast<DayNumber>(count - 1);
}

// date_from_yymmdd for the dates of many bars in a row. Consecutive bars mostly fall in one month, whose
// start is then worked out once; every value gives the same day as date_from_yymmdd.
class DateDecoder {
public:
    // The days of one month, as a decoder remembers them: a whole number in [low, high) is that number
    // plus offset. An empty range (low above high) holds no value.
    struct Month {
        float low = 1.0f;
        float high = 0.0f;
        int offset = 0; // added to YYMMDD gives the day
        int key = -1;   // YYMM or CCYYMM
    };

    DayNumber operator()(float value) {
        // A whole number within the month seen last, when that month's days need no clamping.
        if (value >= month_.low && value < month_.high) {
            const int whole = static_cast<int>(value);
            if (static_cast<float>(whole) == value)
                return whole + month_.offset;
        }
        return decode_and_remember(value);
    }

    // The month remembered, and the one after it (consecutive bars move on into it).
    const Month& month() const { return month_; }
    const Month& next_month() const { return next_; }
    // The next month becomes the month remembered, and the one after it the next.
    void advance();

private:
    DayNumber decode_and_remember(float value);
    Month month_;
    Month next_;
};
PackedTime time_from_hhmmss(float value);
// The stored HHMMSS value split as time_from_hhmmss splits it (fractions of a second dropped), kept to
// the second; a negative or unreadable value gives 0.
TimeOfDay time_of_day_from_hhmmss(float value);
TimeOfDay time_of_day(int hours, int minutes, int seconds);
void time_of_day_split(TimeOfDay t, int& hours, int& minutes, int& seconds);
// The two-second packed form of a time.
PackedTime time_of_day_packed(TimeOfDay t);
// The YYMMDD value of a day, as an IEEE single.
float date_to_yymmdd(DayNumber day);
void date_to_mbf(DayNumber day, std::uint8_t out[4]);

// The day before (after) a date, passing over 0; kFirstDay has none before it (0), kLastDay none after
// it (kLastDay). day_after(0) is 1.
DayNumber day_before(DayNumber day);
DayNumber day_after(DayNumber day);

// Weekday rule: (d - 1) mod 7 is 0 for a Sunday and 6 for a Saturday, counted on through the days
// before 1961; 0 (no date) is no weekday.
bool is_weekday(DayNumber day);
// Steps back (forward) one day at least once, then while the day is a Saturday or Sunday. Stops at the
// ends of the DayNumber range (never wraps): before kFirstDay comes 0.
DayNumber previous_weekday(DayNumber day);
DayNumber next_weekday(DayNumber day);
