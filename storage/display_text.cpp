#include "storage/display_text.h"

#include <cstddef>
#include <string>

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
