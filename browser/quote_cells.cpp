#include "browser/quote_cells.h"

#include "storage/encoding.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

constexpr std::int16_t kQuoteWindow = 400;
constexpr const char* kNotAvailable = "N/A";
constexpr const char* kFillQuotesError = "Error in FillQuotesGrid";
constexpr const char* kTooManyBars = "Too many bars";

// Frees the series however the reading ends.
struct SeriesGuard {
    QuoteSeries& series;
    ~SeriesGuard() { series_free(series); }
};

DayNumber date_of_single_bar(QuoteSeries& series, const std::filesystem::path& dir, std::string_view symbol,
                             std::int32_t start) {
    if (series_read(series, dir, symbol, start, 1) == status::kOk && series.count == 1) {
        return series.date(0);
    }
    return 0;
}

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
    return date_format(day, kMMDDYYSep, '/');
}

std::string quote_value_text(float value, int precision) {
    // NaN fails the comparison as well as a negative value does.
    if (!(value >= 0.0f)) {
        return kNotAvailable;
    }
    return format_fixed(value, precision);
}

QuoteCells quote_cells(const QuoteSeries& series, int i) {
    QuoteCells cells;
    cells[0] = quote_date_text(series.date(i));
    const int fields[] = {kFieldOpen, kFieldHigh, kFieldLow, kFieldClose, kFieldVol, kFieldOi};
    for (int c = 0; c < 6; ++c) {
        const int precision = fields[c] >= kFieldVol ? 0 : 4;
        cells[c + 1] = quote_value_text(series.value(fields[c], i), precision);
    }
    return cells;
}

QuoteListing quote_list_read(const std::filesystem::path& dir, std::string_view symbol) {
    QuoteListing listing;
    listing.result = CommandResult::success();
    QuoteSeries series;
    if (series_alloc(series, kQuoteWindow) != status::kOk) {
        listing.result = CommandResult::failure(kTooManyBars, status::kMalloc);
        return listing;
    }
    SeriesGuard guard{series};

    const StatusCode header_status = series_read(series, dir, symbol, 0, 0);
    if (header_status != status::kOk || series.total < 0) {
        listing.result = CommandResult::failure(kFillQuotesError, header_status);
        return listing;
    }
    listing.quote_count = series.total;
    listing.rows.reserve(static_cast<std::size_t>(listing.quote_count));
    listing.dates.reserve(static_cast<std::size_t>(listing.quote_count));

    std::int32_t shown = 0;
    while (shown < listing.quote_count) {
        const auto n =
            static_cast<std::int16_t>(std::min<std::int32_t>(kQuoteWindow, listing.quote_count - shown));
        const StatusCode read_status = series_read(series, dir, symbol, listing.quote_count - shown - n, n);
        // A file shorter than its header announces returns fewer bars than asked: stop rather than show
        // what the buffer held before.
        if (read_status != status::kOk || series.count != n) {
            listing.result = CommandResult::failure(kFillQuotesError, read_status);
            break;
        }
        for (int k = n - 1; k >= 0; --k) {
            listing.rows.push_back(quote_cells(series, k));
            listing.dates.push_back(series.date(k));
        }
        shown += n;
    }
    listing.first_quote_date = date_of_single_bar(series, dir, symbol, 0);
    listing.last_quote_date = date_of_single_bar(series, dir, symbol, -1);
    return listing;
}
