#include "common/quote_values.h"

#include "storage/fileops.h"
#include "storage/quotes.h"
#include "storage/text_util.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr const char* kTooManyBars = "Too many bars";
// Bars turned into rows a window at a time; a window of this size is one block of bars.
constexpr std::int16_t kWholeReadWindow = 2048;
constexpr int kValueFields[6] = {kFieldOpen, kFieldHigh, kFieldLow, kFieldClose, kFieldVol, kFieldOi};

struct SeriesGuard {
    QuoteSeries& series;
    ~SeriesGuard() { series_free(series); }
};

DayNumber date_of_single_bar(QuoteSeries& series, const SeriesLocation& at, std::string_view key,
                             std::int32_t start) {
    if (series_read_at(series, at, key, start, 1) == status::kOk && series.count == 1) {
        return series.date(0);
    }
    return 0;
}

} // namespace

QuoteRowValues quote_row_values(const QuoteSeries& series, int i) {
    QuoteRowValues row;
    row.date = series.date(i);
    row.time = series.time(i);
    for (int f = 0; f < 6; ++f) {
        row.values[static_cast<std::size_t>(f)] = series.value(kValueFields[f], i);
    }
    return row;
}

QuoteValuesRead quote_values_read(const std::filesystem::path& dir, std::string_view symbol,
                                  const QuoteReadSink& sink) {
    // One scope: the look-up and every window share one reading of the directory files.
    fileops::OperationScope scope;
    const std::string_view key = trim_trailing_blanks(symbol);
    SeriesLocation at;
    const StatusCode located = series_locate(dir, key, at);
    if (located != status::kOk) {
        QuoteValuesRead read;
        read.result = CommandResult::failure(kFillQuotesError, located);
        return read;
    }
    return quote_values_read_at(at, key, sink);
}

QuoteValuesRead quote_values_read_at(SeriesLocation at, std::string_view key, const QuoteReadSink& sink) {
    QuoteValuesRead read;
    read.result = CommandResult::success();
    QuoteSeries series;
    if (series_alloc(series, kQuoteWindowBars) != status::kOk) {
        read.result = CommandResult::failure(kTooManyBars, status::kMalloc);
        return read;
    }
    SeriesGuard guard{series};

    // Each window reads F<n>.DAT alone, kept open by this copy of the location from the first to the last.
    at.keep_data_open();
    const StatusCode header_status = series_read_at(series, at, key, 0, 0);
    if (header_status != status::kOk || series.total < 0) {
        read.result = CommandResult::failure(kFillQuotesError, header_status);
        return read;
    }
    read.quote_count = series.total;
    if (sink.begin) {
        sink.begin(read.quote_count, at.layout.position[kFieldTime] != 0);
    }

    std::vector<QuoteRowValues> rows(kQuoteWindowBars);
    std::int32_t shown = 0;
    DayNumber newest = 0, oldest = 0;
    while (shown < read.quote_count) {
        const auto n =
            static_cast<std::int16_t>(std::min<std::int32_t>(kQuoteWindowBars, read.quote_count - shown));
        const StatusCode read_status = series_read_at(series, at, key, read.quote_count - shown - n, n);
        // A file shorter than its header announces returns fewer bars than asked: stop rather than show
        // what the buffer held before. Every pass either shows n > 0 bars or leaves the loop.
        if (read_status != status::kOk || series.count != n) {
            read.result = CommandResult::failure(kFillQuotesError, read_status);
            break;
        }
        for (int k = n - 1, row = 0; k >= 0; --k, ++row) {
            rows[static_cast<std::size_t>(row)] = quote_row_values(series, k);
        }
        if (sink.window) {
            sink.window(std::span<const QuoteRowValues>(rows.data(), static_cast<std::size_t>(n)));
        }
        newest = shown == 0 ? rows[0].date : newest;
        oldest = rows[static_cast<std::size_t>(n) - 1].date;
        shown += n;
    }
    if (read.result.ok && shown > 0) { // every quote was read: the first and the last among them
        read.first_date = oldest;
        read.last_date = newest;
        return read;
    }
    // From the security already found: looking it up again would index the whole portfolio.
    read.first_date = date_of_single_bar(series, at, key, 0);
    read.last_date = date_of_single_bar(series, at, key, -1);
    return read;
}

CommandResult quote_rows_read_whole(const SeriesLocation& at, WholeSeriesBuffers& buffers,
                                    std::vector<QuoteRowValues>& rows) {
    rows.clear();
    if (buffers.window.capacity < kWholeReadWindow &&
        series_alloc(buffers.window, kWholeReadWindow) != status::kOk)
        return CommandResult::failure(kTooManyBars, status::kMalloc);
    SeriesRecords& records = buffers.records;
    if (const StatusCode read = series_read_records(at, records); read != status::kOk)
        return CommandResult::failure(kFillQuotesError, read);
    rows.reserve(static_cast<std::size_t>(records.bars));
    for (std::int32_t first = 0; first < records.bars; first += kWholeReadWindow) {
        const std::int32_t n = std::min<std::int32_t>(kWholeReadWindow, records.bars - first);
        if (const StatusCode stored = series_records_bars(records, first, n, buffers.window);
            stored != status::kOk)
            return CommandResult::failure(kFillQuotesError, stored);
        for (int k = 0; k < n; ++k)
            rows.push_back(quote_row_values(buffers.window, k));
    }
    // A file shorter than its header announces: the bars it lacks cannot be shown.
    if (records.bars != records.total)
        return CommandResult::failure(kFillQuotesError);
    return CommandResult::success();
}
