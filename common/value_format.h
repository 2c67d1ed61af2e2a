// Values as every layer writes them: numbers in fixed notation (the printf text, fast), the date and
// time texts of the whole user interface, and a quote's value or "N/A".
#pragma once

#include "storage/dates.h"

#include <cstddef>
#include <optional>
#include <string>

// Appends `value` in fixed notation with `precision` decimals: exactly the text of printf("%.*f"),
// rounding and the sign of a negative zero included, without locale or per-call set-up.
void append_fixed(std::string& out, double value, int precision);
std::string format_fixed(double value, int precision);
// The same text for a single `value` written at `out`, which has room for kFloatFixedTextMax characters
// (a float has at most 39 integer digits); returns the end of the text. Bytes of the room past the end
// of the text may be overwritten.
constexpr std::size_t kFloatFixedTextMax = 64;
char* put_fixed(char* out, float value, int precision);

// The date text of the whole user interface: MM/DD/YY, MM/DD/YYYY for a year before 1960.
std::string quote_date_text(DayNumber day);
// A time of day as HH:MM:SS, to the second.
std::string quote_time_text(TimeOfDay time);
// The date and, for a quote that has one, its time: "MM/DD/YY HH:MM:SS", the way a message or a finding
// names an intra-day quote.
std::string quote_when_text(DayNumber day, std::optional<TimeOfDay> time);

// A value cell: "N/A" for a value below 0 (FIELD_ABSENT among them) or not a number, else the value with
// `precision` decimals (4 for prices, 0 for volume and open interest).
std::string quote_value_text(float value, int precision);
// The same text appended to `out`, without a string of its own.
void append_quote_value_text(std::string& out, float value, int precision);
