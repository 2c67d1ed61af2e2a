// The texts of the quote list: one row per bar, seven cells (date, open, high, low, close, volume, open
// interest), and the reading of a whole series into such rows, newest first.
#pragma once

#include "common/command_result.h"
#include "common/quote_values.h"
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
