// The chart's arithmetic without pixels: a click's quote and a quote's column, the columns' values, zoom.
#include "browser/chart_scale.h"

#include "storage/dates.h"
#include "storage/quotes.h"

#include <cmath>

#include <gtest/gtest.h>

namespace {

TEST(ChartScale, AClickFindsTheQuoteOfItsColumnAndTheQuoteFindsItsColumn) {
    // Fewer quotes than columns, as many, and many more (several quotes a column).
    for (const auto& [first, count, width] :
         {std::tuple{0, 3, 10}, {5, 7, 7}, {0, 1, 640}, {100, 32766, 700}}) {
        const ChartScale s{first, count, 20, width};
        EXPECT_EQ(chart_bar_at(s, 19), -1);
        EXPECT_EQ(chart_bar_at(s, 20 + width), -1);
        EXPECT_EQ(chart_x_of(s, first - 1), -1);
        EXPECT_EQ(chart_x_of(s, first + count), -1);
        EXPECT_EQ(chart_x_of(s, first), 20);
        EXPECT_EQ(chart_bar_at(s, 20 + width - 1), first + count - 1);
        for (int bar = first; bar < first + count; ++bar) {
            const int x = chart_x_of(s, bar);
            ASSERT_TRUE(x >= 20 && x < 20 + width) << bar;
            // The quote itself, or the newest quote sharing its column.
            const int back = chart_bar_at(s, x);
            EXPECT_TRUE(count <= width ? back == bar : back >= bar && chart_x_of(s, back) == x) << bar;
        }
        for (int x = 20; x < 20 + width; ++x) {
            const int bar = chart_bar_at(s, x);
            // Every pixel of a quote's slot maps to it: the slot ends where the next quote's starts.
            const bool last = bar + 1 == first + count;
            EXPECT_TRUE(chart_x_of(s, bar) <= x && (last || x < chart_x_of(s, bar + 1))) << x;
        }
    }
    EXPECT_EQ(chart_bar_at({0, 0, 0, 100}, 5), -1);
}

TEST(ChartScale, AColumnDrawsTheRangeOfItsQuotesWithoutValuesThatAreNoPrices) {
    std::vector<QuoteRowValues> bars;
    for (int i = 0; i < 10; ++i) {
        const float c = 10.0f + static_cast<float>(i);
        bars.push_back({static_cast<DayNumber>(100 + i),
                        0,
                        {c - 0.5f, c + 1, c - 1, c, 100.0f * static_cast<float>(i), 0}});
    }
    bars[4].values = {FIELD_ABSENT, FIELD_ABSENT, FIELD_ABSENT, 0, HUGE_VALF, 0}; // nothing priced, no volume
    const std::vector<ChartColumn> columns = chart_columns(bars, {2, 8, 0, 4});   // quotes 2..9, two a column
    ASSERT_EQ(columns.size(), 4u);
    const ChartColumn& a = columns[0];
    EXPECT_EQ(std::tuple(a.first_bar, a.last_bar, a.low, a.high, a.open, a.close, a.volume),
              std::tuple(2, 3, 11.0f, 14.0f, 11.5f, 13.0f, 300.0f));
    const ChartColumn& b = columns[1]; // quote 4 adds nothing
    EXPECT_EQ(std::tuple(b.first_bar, b.last_bar, b.low, b.high, b.open, b.close, b.volume),
              std::tuple(4, 5, 14.0f, 16.0f, 14.5f, 15.0f, 500.0f));
    EXPECT_EQ(chart_columns(bars, {0, 10, 0, 40}).size(), 10u); // a column each
    EXPECT_TRUE(chart_columns(bars, {20, 5, 0, 40}).empty());
    // A plot one pixel wide (a window narrowed to nothing) still draws all its quotes in that pixel.
    const std::vector<ChartColumn> one = chart_columns(bars, {0, 10, 0, 1});
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(std::tuple(one[0].first_bar, one[0].last_bar, one[0].low, one[0].high),
              std::tuple(0, 9, 9.0f, 20.0f));
    EXPECT_TRUE(chart_columns(bars, {0, 10, 0, 0}).empty());
}

TEST(ChartScale, ZoomKeepsTheAnchorInPlaceAndEveryScaleInsideTheSeries) {
    const ChartScale all{0, 1000, 0, 500};
    const ChartScale in = chart_zoom(all, 1000, 0.5, 800);
    EXPECT_EQ(std::pair(in.first, in.count), std::pair(400, 500));
    EXPECT_EQ(chart_zoom(in, 1000, 0.001, 800).count, 10);
    EXPECT_EQ(chart_zoom(in, 1000, 10, 800).count, 1000);
    EXPECT_EQ(chart_scroll(in, 1000, 900).first, 500);
    EXPECT_EQ(chart_scroll(in, 1000, -3).first, 0);
    EXPECT_EQ(chart_zoom(in, 4, 0.5, 2).count, 4);
}

TEST(ChartScale, PriceScalesMapTheRangeAndNeverDrawANaN) {
    std::vector<ChartColumn> columns(3);
    columns[0] = {0, 0, true, 10, 100, 10, 100, 0};
    columns[1] = {1, 1, true, 1, 1000, 1, 1000, 0};
    columns[2] = {2, 2, false}; // no prices: left out
    const ChartPriceAxis linear = chart_price_axis(columns, 20, 200, false);
    EXPECT_TRUE(linear.low == 0 && linear.high > 1000);
    EXPECT_DOUBLE_EQ(linear.y_of(linear.high), 20);
    EXPECT_DOUBLE_EQ(linear.y_of(linear.low), 220);
    const ChartPriceAxis log = chart_price_axis(columns, 20, 200, true);
    EXPECT_TRUE(log.low > 0 && log.low < 1 && log.high > 1000);
    // Equal ratios lie at equal distances; the labels run from the bottom to the top.
    EXPECT_NEAR(log.y_of(1) - log.y_of(10), log.y_of(100) - log.y_of(1000), 1e-9);
    EXPECT_NEAR(log.y_of(log.price_at(0.5)), 120, 1e-9);
    EXPECT_DOUBLE_EQ(log.price_at(1), log.high);
    // What a scale cannot show goes to the bottom row, a number all the same.
    for (double bad : {0.0, -5.0, std::nan(""), HUGE_VAL})
        EXPECT_EQ(log.y_of(bad), 220) << bad;
    // Nothing priced on screen: a scale that maps every value to a number.
    const ChartPriceAxis empty = chart_price_axis(std::span(columns).last(1), 0, 0, true);
    EXPECT_TRUE(std::isfinite(empty.y_of(1.5)) && std::isfinite(empty.price_at(0.5)));
}

TEST(ChartScale, TheAxisDatesShareTheStyleOfTheOldestQuote) {
    std::vector<QuoteRowValues> bars{{date_pack(28, 2, 15)}, {date_pack(67, 8, 10)}};
    ASSERT_TRUE(chart_dates_need_century(bars));
    EXPECT_EQ(chart_date_text(bars[0].date, true), "02/15/1928");
    EXPECT_EQ(chart_date_text(bars[1].date, true), "08/10/1967");
    EXPECT_FALSE(chart_dates_need_century(std::span(bars).last(1)));
    EXPECT_EQ(chart_date_text(bars[1].date, false), "08/10/67");
}

} // namespace
