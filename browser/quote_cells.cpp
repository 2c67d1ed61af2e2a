#include "browser/quote_cells.h"

#include "storage/encoding.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

constexpr const char* kNotAvailable = "N/A";

} // namespace

namespace {

constexpr double kPowersOfTen[] = {1.0, 10.0, 100.0, 1000.0, 10000.0};

// The quick way for the values quote files hold. A float has a 24-bit mantissa, so the float times 10^p
// (p <= 4, at most 14 more bits) is exact in a double, and rounding it to an integer with the current
// rounding mode (to nearest, ties to even) is exactly what printf does with the decimal digits it drops.
bool append_fixed_from_float(std::string& out, double value, int precision) {
    if (precision < 0 || precision > 4 || static_cast<double>(static_cast<float>(value)) != value)
        return false;
    const double scaled = std::nearbyint(std::fabs(value) * kPowersOfTen[precision]);
    if (!(scaled < 9.0e15))
        return false;
    auto digits = static_cast<unsigned long long>(scaled);
    char buffer[32];
    char* end = std::to_chars(buffer, buffer + sizeof buffer, digits).ptr;
    auto length = static_cast<int>(end - buffer);
    if (std::signbit(value))
        out += '-';
    if (length <= precision) { // 0.0xyz: leading zeros of the fraction
        out += '0';
        if (precision > 0) {
            out += '.';
            out.append(static_cast<std::size_t>(precision - length), '0');
            out.append(buffer, end);
        }
        return true;
    }
    out.append(buffer, static_cast<std::size_t>(length - precision));
    if (precision > 0) {
        out += '.';
        out.append(end - precision, end);
    }
    return true;
}

} // namespace

void append_fixed(std::string& out, double value, int precision) {
    if (append_fixed_from_float(out, value, precision))
        return;
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

std::string format_fixed(double value, int precision) {
    std::string text;
    append_fixed(text, value, precision);
    return text;
}

std::string quote_date_text(DayNumber day) {
    return date_display_text(day);
}

std::string quote_time_text(PackedTime time) {
    int hours = 0, minutes = 0, seconds = 0;
    time_unpack(time, hours, minutes, seconds);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", hours % 100, minutes % 100, seconds % 100);
    return text;
}

std::string quote_value_text(float value, int precision) {
    // NaN fails the comparison as well as a negative value does.
    if (!(value >= 0.0f)) {
        return kNotAvailable;
    }
    return format_fixed(value, precision);
}

std::string quote_cell_text(const QuoteRowValues& row, int column) {
    if (column == 0) {
        return quote_date_text(row.date);
    }
    const int precision = column >= 5 ? 0 : 4; // volume and open interest are whole numbers
    return quote_value_text(row.values[static_cast<std::size_t>(column - 1)], precision);
}

QuoteCells quote_cells(const QuoteRowValues& row) {
    QuoteCells cells;
    for (int c = 0; c < kQuoteCells; ++c) {
        cells[static_cast<std::size_t>(c)] = quote_cell_text(row, c);
    }
    return cells;
}

QuoteCells quote_cells(const QuoteSeries& series, int i) {
    return quote_cells(quote_row_values(series, i));
}

QuoteListing quote_list_read(const std::filesystem::path& dir, std::string_view symbol) {
    QuoteListing listing;
    QuoteReadSink sink;
    bool with_time = false;
    sink.begin = [&](std::int32_t count, bool has_time) {
        with_time = has_time;
        listing.rows.reserve(static_cast<std::size_t>(count));
        listing.dates.reserve(static_cast<std::size_t>(count));
    };
    sink.window = [&](std::span<const QuoteRowValues> rows) {
        for (const QuoteRowValues& row : rows) {
            listing.rows.push_back(quote_cells(row));
            listing.dates.push_back(row.date);
            if (with_time) {
                listing.times.push_back(quote_time_text(row.time));
            }
        }
    };
    QuoteValuesRead read = quote_values_read(dir, symbol, sink);
    listing.result = std::move(read.result);
    listing.quote_count = read.quote_count;
    listing.first_quote_date = read.first_date;
    listing.last_quote_date = read.last_date;
    return listing;
}
