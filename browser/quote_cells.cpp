#include "browser/quote_cells.h"

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
                listing.times.push_back(row.time);
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
