#include "common/quote_cells.h"

#include <cstdint>
#include <utility>

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
