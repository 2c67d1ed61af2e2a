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

// The eight decimal digits of n (below 10^8, leading zeros included) as ASCII bytes, the most
// significant first in memory order: both halves of four digits, then their pairs, then the single
// digits are split in all lanes of one word at once (each product stays inside its lane).
std::uint64_t eight_digits(std::uint32_t n) {
    const std::uint64_t halves = (n / 10000) | (static_cast<std::uint64_t>(n % 10000) << 32);
    const std::uint64_t high_pairs = ((halves * 10486) >> 20) & 0x0000007F0000007FULL; // a half / 100
    const std::uint64_t pairs = high_pairs | ((halves - 100 * high_pairs) << 16);
    const std::uint64_t tens = ((pairs * 103) >> 10) & 0x000F000F000F000FULL; // a pair / 10
    const std::uint64_t digits = tens | ((pairs - 10 * tens) << 8);
    return digits + 0x3030303030303030ULL;
}

// Stores the eight bytes of a word, its lowest byte first.
void store_in_memory_order(char* out, std::uint64_t bytes) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &bytes, 8);
    } else {
        for (int k = 0; k < 8; ++k)
            out[k] = static_cast<char>((bytes >> (8 * k)) & 0xFF);
    }
}

// Writes the `integer_digits + precision` digits of `scaled` (at most 16) with the point before the
// last `precision` of them, by whole-word stores: bytes up to 26 past `out` may be written.
char* put_digits(char* out, std::uint64_t scaled, int integer_digits, int precision, bool negative) {
    if (negative)
        *out++ = '-';
    const int count = integer_digits + precision;
    const std::uint64_t low = eight_digits(static_cast<std::uint32_t>(scaled % 100000000));
    if (count > 8) {
        store_in_memory_order(out, eight_digits(static_cast<std::uint32_t>(scaled / 100000000)) >>
                                       (8 * (16 - count)));
        store_in_memory_order(out + count - 8, low);
    } else {
        store_in_memory_order(out, low >> (8 * (8 - count)));
    }
    if (precision == 0)
        return out + count;
    out[integer_digits] = '.';
    store_in_memory_order(out + integer_digits + 1, low >> (8 * (8 - precision)));
    return out + count + 1;
}

// The quick way for the values quote files hold. A float has a 24-bit mantissa, so the float times 10^p
// (p <= 4, at most 14 more bits) is exact in a double, and rounding it to an integer with the current
// rounding mode (to nearest, ties to even) is exactly what printf does with the decimal digits it drops.
// Returns the end of the text written at `out` (room for 32 characters, of which a few past the end of
// the text may be overwritten), or nullptr when the value is not one for the quick way.
char* put_fixed_quick(char* out, double value, int precision) {
    if (precision < 0 || precision > 4 || static_cast<double>(static_cast<float>(value)) != value)
        return nullptr;
    // rint rounds as nearbyint does, only without keeping the floating-point flags as they were.
    const double scaled = std::rint(std::fabs(value) * kPowersOfTen[precision]);
    if (!(scaled < 9.0e15))
        return nullptr;
    const auto digits = static_cast<std::uint64_t>(scaled);
    // The number of digits from the bit length (1233 / 4096 is just above log10(2)), corrected by one
    // comparison; at least one before the point.
    int count = ((64 - std::countl_zero(digits | 1)) * 1233) >> 12;
    count += (digits | 1) >= kIntegerPowersOfTen[static_cast<std::size_t>(count)] ? 1 : 0;
    count = std::max(count, precision + 1);
    return put_digits(out, digits, count - precision, precision, std::signbit(value));
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
