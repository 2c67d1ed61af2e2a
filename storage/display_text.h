// Dates and times as texts: the display of a date or a time, and a date written or read in one of the
// twelve date styles.
#pragma once

#include "storage/dates.h"

#include <string>
#include <string_view>

enum DateStyle : int {
    kYYMMDDSep = 1,   // YY/MM/DD
    kCCYYMMDDSep = 2, // CCYY/MM/DD
    kMMDDYYSep = 3,   // MM/DD/YY: the style the whole user interface uses
    kMMDDCCYYSep = 4, // MM/DD/CCYY
    kDDMMYYSep = 5,   // DD/MM/YY
    kDDMMCCYYSep = 6, // DD/MM/CCYY
    kYYMMDD = 7,
    kCCYYMMDD = 8,
    kMMDDYY = 9,
    kMMDDCCYY = 10,
    kDDMMYY = 11,
    kDDMMCCYY = 12,
};

// 0 for an empty text, an unknown style or a text whose three groups read 0. Ranges of month and day
// are not checked (a month outside 1..12 is clamped by date_pack).
DayNumber date_parse(std::string_view text, int style);
// "" for an unknown style; day 0 prints every group as 00.
std::string date_format(DayNumber day, int style, char separator);

// The text a date is shown with: MM/DD/YY, or MM/DD/YYYY for a year before 1960, which two digits
// would name in another century. Day 0 gives 00/00/00.
std::string date_display_text(DayNumber day);
// True when date_display_text shows the day with four year digits.
bool date_needs_century(DayNumber day);
// The text a time is shown with: HH:MM:SS, every second as stored.
std::string time_display_text(TimeOfDay t);
