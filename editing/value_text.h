// Number and date texts as the editing dialogs take them from the user.
#pragma once

#include "storage/dates.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace editing {

// The "%f" scan: leading white space skipped, then the longest decimal number (optional sign, digits
// with an optional point, optional exponent) converted; whatever follows is ignored. Hexadecimal
// numbers and the words inf / nan are not numbers here ("0x10" reads as 0). Empty when the text does
// not begin with a number or the number is beyond the range of a double.
std::optional<double> scan_number(std::string_view text);

// The scan rounded to a 32-bit float that a quote file can store (finite, within the MBF range).
std::optional<float> scan_value(std::string_view text);

// Why a typed number is not one a box or a command-line argument takes, in words that follow the box's
// or argument's name ("is negative; values are 0 or more"); empty when it is one. A number is digits
// with at most one decimal point, nothing before or after it, no sign, and a value a quote file can
// store. Every number a user types, in the window or on the command line, is held to this.
std::string number_text_problem(std::string_view text);

// A date text in the interface's form MM/DD/YY (a year below 60 is 20YY), or MM/DD/YYYY with the year
// itself (1900 to 2140): digits in the digit places, "/" between the groups, a month 1 to 12 and a day
// that month has in that year (02/29/21 and 04/31/96 name no day). The day number, or 0 when the text is
// not such a date. Every date a user types, in the window or on the command line, is read by this.
DayNumber date_from_text(std::string_view text);

// The text of a day in the interface's form: MM/DD/YY, MM/DD/YYYY for a year before 1960.
std::string date_text(DayNumber day);

// The first row, from row 0, whose text equals `text` as a whole; -1 when there is none.
int find_date_row(const std::vector<std::string>& rows, std::string_view text);

} // namespace editing
