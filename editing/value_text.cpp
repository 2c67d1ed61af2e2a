#include "editing/value_text.h"

#include "storage/display_text.h"
#include "storage/mbf.h"

#include <charconv>
#include <cmath>

namespace editing {

namespace {

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Length of the run of digits starting at `pos`.
std::size_t digit_run(std::string_view text, std::size_t pos) {
    std::size_t n = 0;
    while (pos + n < text.size() && is_digit(text[pos + n]))
        ++n;
    return n;
}

// Length of the decimal number (without sign) that starts at `pos`; 0 when there is none.
std::size_t number_length(std::string_view text, std::size_t pos) {
    std::size_t end = pos + digit_run(text, pos);
    std::size_t mantissa_digits = end - pos;
    if (end < text.size() && text[end] == '.') {
        std::size_t fraction = digit_run(text, end + 1);
        mantissa_digits += fraction;
        end += 1 + fraction;
    }
    if (mantissa_digits == 0)
        return 0;
    // An exponent counts only when at least one digit follows the letter (and its sign).
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        std::size_t exp = end + 1;
        if (exp < text.size() && (text[exp] == '+' || text[exp] == '-'))
            ++exp;
        std::size_t exp_digits = digit_run(text, exp);
        if (exp_digits > 0)
            end = exp + exp_digits;
    }
    return end - pos;
}

int two_digits(std::string_view text, std::size_t pos) {
    return (text[pos] - '0') * 10 + (text[pos + 1] - '0');
}

// The days of a month of a year of the Gregorian calendar (1900 is not a leap year, 2000 is).
int days_in_month(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    return month == 2 && leap ? 29 : kDays[month - 1];
}

} // namespace

std::optional<double> scan_number(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && is_space(text[pos]))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    std::size_t length = number_length(text, pos);
    if (length == 0)
        return std::nullopt;
    double value = 0.0;
    const char* first = text.data() + pos;
    auto [end, error] = std::from_chars(first, first + length, value, std::chars_format::general);
    if (error != std::errc{} || end != first + length || !std::isfinite(value))
        return std::nullopt;
    return negative ? -value : value;
}

std::optional<float> scan_value(std::string_view text) {
    std::optional<double> number = scan_number(text);
    if (!number || std::fabs(*number) > static_cast<double>(kMbfMax))
        return std::nullopt;
    float value = static_cast<float>(*number);
    if (!mbf_representable(value))
        return std::nullopt;
    return value;
}

std::string number_text_problem(std::string_view text) {
    if (!text.empty() && text[0] == '-' && number_text_problem(text.substr(1)).empty())
        return "is negative; values are 0 or more";
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? "" : text.substr(point + 1);
    const bool digits_only = digit_run(whole, 0) == whole.size() && digit_run(fraction, 0) == fraction.size();
    if (!digits_only || (whole.empty() && fraction.empty()))
        return "is not a number (digits with at most one decimal point)";
    if (!scan_value(text))
        return "is beyond what a quote file can hold";
    return "";
}

DayNumber date_from_text(std::string_view text) {
    const bool four_digit_year = text.size() == 10;
    if ((text.size() != 8 && !four_digit_year) || text[2] != '/' || text[5] != '/')
        return 0;
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        if (pos != 2 && pos != 5 && !is_digit(text[pos]))
            return 0;
    }
    int month = two_digits(text, 0);
    int day = two_digits(text, 3);
    // Two digits below 60 name 20YY, the others 19YY; four digits name the year itself, 1900 to 2140.
    const int year = four_digit_year ? two_digits(text, 6) * 100 + two_digits(text, 8)
                                     : two_digits(text, 6) + (two_digits(text, 6) < 60 ? 2000 : 1900);
    if (year < 1900 || year > 2140 || month < 1 || month > 12)
        return 0;
    // A day the month does not have (02/30/21) names no day at all: it must not roll over into March.
    if (day < 1 || day > days_in_month(year, month))
        return 0;
    return date_pack(year - 1900, month, day);
}

std::string date_text(DayNumber day) {
    return date_display_text(day);
}

int find_date_row(const std::vector<std::string>& rows, std::string_view text) {
    for (std::size_t row = 0; row < rows.size(); ++row) {
        if (rows[row] == text)
            return static_cast<int>(row);
    }
    return -1;
}

} // namespace editing
