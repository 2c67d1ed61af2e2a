// The quote list's reading as values: a series read in windows of 400 bars from the newest end, each
// window handed over newest first, so that a list can show rows as they come and format a cell only when
// it is drawn.
#pragma once

#include "common/command_result.h"
#include "storage/dates.h"
#include "storage/quotes.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

constexpr int kQuoteWindowBars = 400;
// The failure of a reading that could not locate the security or read its bars.
constexpr const char* kFillQuotesError = "Error in FillQuotesGrid";

// One row of the quote list: the date and the six values open, high, low, close, volume, open
// interest (FIELD_ABSENT for a field the series lacks).
struct QuoteRowValues {
    DayNumber date = 0;
    TimeOfDay time = 0; // to the second; 0 when the series has no TIME field
    std::array<float, 6> values{};
};

// Bar `i` of a window as a row.
QuoteRowValues quote_row_values(const QuoteSeries& series, int i);

struct QuoteValuesRead {
    CommandResult result;         // failure: "Error in FillQuotesGrid" or "Too many bars"
    std::int32_t quote_count = 0; // the bars the file holds, as its header announces them
    DayNumber first_date = 0;     // the oldest bar (0 when there is none)
    DayNumber last_date = 0;      // the newest bar
};

// Called once the bar count is known (before any window), with whether the series has a TIME field;
// then with each window, newest bar first.
struct QuoteReadSink {
    std::function<void(std::int32_t quote_count, bool has_time)> begin;
    std::function<void(std::span<const QuoteRowValues> rows)> window;
};

// Reads the security `symbol` of the portfolio at `dir`. A header that announces a negative number of
// bars, or a file holding fewer bars than announced, ends the reading with "Error in FillQuotesGrid";
// the windows already handed over stay. Trailing blanks of `symbol` are not part of the key.
QuoteValuesRead quote_values_read(const std::filesystem::path& dir, std::string_view symbol,
                                  const QuoteReadSink& sink);
// The same for a security already located (series_locate with `key`), for a caller that needs the
// location itself too: nothing is looked up again.
QuoteValuesRead quote_values_read_at(SeriesLocation at, std::string_view key, const QuoteReadSink& sink);

// What quote_rows_read_whole keeps from one security to the next: the records read, and the window
// they are turned into bars in.
struct WholeSeriesBuffers {
    SeriesRecords records;
    QuoteSeries window;
};

// Every bar of a security already located (series_locate), as rows oldest first, read with one open of
// its quote file and one read, for an operation over many securities. Fails where quote_values_read
// fails, with the same message ("Error in FillQuotesGrid", "Too many bars"); `rows` may then hold part.
CommandResult quote_rows_read_whole(const SeriesLocation& at, WholeSeriesBuffers& buffers,
                                    std::vector<QuoteRowValues>& rows);
