// The chart's arithmetic, kept apart from any painting: which quote a pixel column shows, where a quote
// stands, and what each column draws when it shows many quotes at once. Quotes are counted in file
// order, 0 the oldest.
#pragma once

#include "common/quote_values.h"

#include <span>
#include <string>
#include <vector>

// The quotes first .. first + count - 1 spread over the pixel columns left .. left + width - 1.
struct ChartScale {
    int first = 0;
    int count = 0;
    int left = 0;
    int width = 0;
};

// The quote a click at x selects: the quote whose slot holds x, or the newest of the quotes that share
// the column; -1 outside the plot or with no quotes.
int chart_bar_at(const ChartScale& scale, int x);
// The first pixel column of a quote's slot; chart_bar_at of it gives the quote back when each quote has
// a column of its own, and the newest quote of the column otherwise. -1 for a quote not shown.
int chart_x_of(const ChartScale& scale, int bar);
// Pixels per quote, at least 1.
int chart_slot_width(const ChartScale& scale);

// What one pixel column draws: the range of the quotes it shows and the first open, last close and the
// largest volume among them. Values that cannot be prices (absent, zero, negative, not finite) are left
// out; `priced` is false when none was left.
struct ChartColumn {
    int first_bar = 0;
    int last_bar = -1;
    bool priced = false;
    float low = 0, high = 0, open = 0, close = 0;
    float volume = 0;
};
// One entry per column that shows at least one quote, left to right; `bars` are in file order.
std::vector<ChartColumn> chart_columns(std::span<const QuoteRowValues> bars, const ChartScale& scale);

// The quotes shown after zooming by `factor` (below 1 shows fewer) around the quote `anchor`, kept
// inside 0 .. total; at least `min_count` quotes (or all when there are fewer).
ChartScale chart_zoom(const ChartScale& scale, int total, double factor, int anchor, int min_count = 10);
// The same scale moved to start at `first`, kept inside 0 .. total.
ChartScale chart_scroll(const ChartScale& scale, int total, int first);

// The price scale of the columns on screen over the pixel rows top .. top + height: their lowest low
// to their highest high with a margin, linear or logarithmic (equal ratios, equal distances: a series
// of a century reads as one). A linear scale never goes below 0; a logarithmic one stays above it.
struct ChartPriceAxis {
    double low = 0;
    double high = 1;
    int top = 0;
    int height = 1;
    bool logarithmic = false;
    // The pixel row of a price, a finite number for every value: one that the scale cannot show (0 or
    // below on a logarithmic scale, not finite) is put on the bottom row.
    double y_of(double price) const;
    // The price at a share of the height from the bottom (0 the bottom, 1 the top): the labels.
    double price_at(double share) const;
};
ChartPriceAxis chart_price_axis(std::span<const ChartColumn> columns, int top, int height, bool logarithmic);

// The dates along the chart's axis share one style, the one the list gives the series' oldest quote:
// MM/DD/YY, or MM/DD/YYYY all along when the series starts before 1960.
bool chart_dates_need_century(std::span<const QuoteRowValues> bars);
std::string chart_date_text(DayNumber day, bool century);
