#include "browser/quote_cells.h"

#include "storage/encoding.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kNotAvailable = "N/A";

} // namespace

namespace {

constexpr double kPowersOfTen[] = {1.0, 10.0, 100.0, 1000.0, 10000.0};
constexpr std::array<std::uint64_t, 20> kIntegerPowersOfTen = [] {
    std::array<std::uint64_t, 20> powers{};
    std::uint64_t power = 1;
    for (std::uint64_t& p : powers) {
        p = power;
        power *= 10;
    }
    return powers;
}();

// "00" to "99", for writing two digits at once.
constexpr std::array<char, 200> kDigitPairs = [] {
    std::array<char, 200> pairs{};
    for (int i = 0; i < 100; ++i) {
        pairs[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
        pairs[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
    }
    return pairs;
}();

// Puts the two digits of `pair` (below 100) in front of `text`.
char* put_two_digits(char* text, std::uint32_t pair) {
    text -= 2;
    std::memcpy(text, &kDigitPairs[static_cast<std::size_t>(2 * pair)], 2);
    return text;
}

// The quick way for the values quote files hold. A float has a 24-bit mantissa, so the float times 10^p
// (p <= 4, at most 14 more bits) is exact in a double, and rounding it to an integer with the current
// rounding mode (to nearest, ties to even) is exactly what printf does with the decimal digits it drops.
// Returns the end of the text written at `out` (room for 32 characters), or nullptr when the value is
// not one for the quick way.
char* put_fixed_quick(char* out, double value, int precision) {
    if (precision < 0 || precision > 4 || static_cast<double>(static_cast<float>(value)) != value)
        return nullptr;
    // rint rounds as nearbyint does, only without keeping the floating-point flags as they were.
    const double scaled = std::rint(std::fabs(value) * kPowersOfTen[precision]);
    if (!(scaled < 9.0e15))
        return nullptr;
    const auto digits = static_cast<std::uint64_t>(scaled);
    // The decimals and the integer digits are written apart, so that their divisions do not wait for
    // one another; both mostly fit 32 bits.
    std::uint64_t whole = digits;
    switch (precision) { // constant divisors: multiplications, not divisions
    case 1:
        whole = digits / 10;
        break;
    case 2:
        whole = digits / 100;
        break;
    case 3:
        whole = digits / 1000;
        break;
    case 4:
        whole = digits / 10000;
        break;
    default:
        break;
    }
    auto fraction =
        static_cast<std::uint32_t>(digits - whole * static_cast<std::uint64_t>(kPowersOfTen[precision]));
    // The text is written straight into place, from its last character back.
    // Digits from the bit length (1233 / 4096 is just above log10(2)), corrected by one comparison;
    // 0 has one digit.
    int integer_digits = ((64 - std::countl_zero(whole | 1)) * 1233) >> 12;
    integer_digits += (whole | 1) >= kIntegerPowersOfTen[static_cast<std::size_t>(integer_digits)] ? 1 : 0;
    const bool negative = std::signbit(value);
    char* const end = out + (negative ? 1 : 0) + integer_digits + (precision > 0 ? precision + 1 : 0);
    char* text = end;
    int decimals = precision;
    for (; decimals >= 2; decimals -= 2, fraction /= 100)
        text = put_two_digits(text, fraction % 100);
    if (decimals == 1)
        *--text = static_cast<char>('0' + fraction);
    if (precision > 0)
        *--text = '.';
    for (; whole > 0xFFFFFFFFu; whole /= 100)
        text = put_two_digits(text, whole % 100);
    auto low = static_cast<std::uint32_t>(whole);
    for (; low >= 100; low /= 100)
        text = put_two_digits(text, low % 100);
    if (low >= 10)
        text = put_two_digits(text, low);
    else
        *--text = static_cast<char>('0' + low);
    if (negative)
        *--text = '-';
    return end;
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

std::string quote_time_text(PackedTime time) {
    int hours = 0, minutes = 0, seconds = 0;
    time_unpack(time, hours, minutes, seconds);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", hours % 100, minutes % 100, seconds % 100);
    return text;
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

int quote_cell_precision(int column) {
    return column >= 5 ? 0 : 4; // volume and open interest are whole numbers
}

std::string quote_cell_text(const QuoteRowValues& row, int column) {
    if (column == 0) {
        return quote_date_text(row.date);
    }
    return quote_value_text(row.values[static_cast<std::size_t>(column - 1)], quote_cell_precision(column));
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
