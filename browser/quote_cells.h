// The texts of the quote list: one row per bar, seven cells (date, open, high, low, close, volume, open
// interest), and the reading of a whole series into such rows, newest first.
#pragma once

#include "browser/quote_values.h"
#include "common/command_result.h"
#include "common/value_format.h"
#include "storage/quotes.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

constexpr int kQuoteCells = 7;
using QuoteCells = std::array<std::string, kQuoteCells>;

// The decimals of a value column of the list: 4 for the prices (1-4), 0 for volume and open interest.
int quote_cell_precision(int column);

// The text of one cell of a row: column 0 the date, 1-4 prices, 5 volume, 6 open interest.
std::string quote_cell_text(const QuoteRowValues& row, int column);
// The seven cell texts of a row, and of bar `i` of a window.
QuoteCells quote_cells(const QuoteRowValues& row);
QuoteCells quote_cells(const QuoteSeries& series, int i);

// A whole series as the quote list shows it: row 0 the newest bar.
struct QuoteListing {
    CommandResult result;         // failure: "Error in FillQuotesGrid" or "Too many bars"
    std::int32_t quote_count = 0; // the bars the file's header announces
    std::vector<QuoteCells> rows; // newest first; the rows read before a failure stay
    std::vector<DayNumber> dates; // the date of each row, as a value
    // Row by row, the time of day when the series has a TIME field; empty otherwise. Several quotes of
    // an intra-day series share a date: the time tells them apart.
    std::vector<TimeOfDay> times;
    DayNumber first_quote_date = 0; // oldest bar; 0 when there is none (shown as 00/00/00)
    DayNumber last_quote_date = 0;  // newest bar
};

// Reads the security `symbol` of the portfolio at `dir` in windows of 400 bars from the newest end. A
// header that announces a negative number of bars, or a file that holds fewer bars than announced, ends
// the reading with "Error in FillQuotesGrid". Trailing blanks of `symbol` are not part of the key. The
// window reads the same way, as values (quote_values_read).
QuoteListing quote_list_read(const std::filesystem::path& dir, std::string_view symbol);
