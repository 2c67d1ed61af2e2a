#include "browser/chart_scale.h"

#include "storage/dates.h"
#include "storage/display_text.h"

#include <algorithm>
#include <cmath>

namespace {

bool is_price(float value) {
    return std::isfinite(value) && value > 0.0f;
}

void take_price(ChartColumn& column, float value) {
    if (!is_price(value)) {
        return;
    }
    if (!column.priced) {
        column.low = column.high = value;
        column.priced = true;
        return;
    }
    column.low = std::min(column.low, value);
    column.high = std::max(column.high, value);
}

} // namespace

int chart_bar_at(const ChartScale& s, int x) {
    if (s.count <= 0 || s.width <= 0 || x < s.left || x >= s.left + s.width) {
        return -1;
    }
    // The newest quote whose column is not right of x.
    const long long columns = x - s.left + 1;
    return s.first + static_cast<int>((columns * s.count + s.width - 1) / s.width) - 1;
}

int chart_x_of(const ChartScale& s, int bar) {
    if (s.count <= 0 || s.width <= 0 || bar < s.first || bar >= s.first + s.count) {
        return -1;
    }
    return s.left + static_cast<int>(static_cast<long long>(bar - s.first) * s.width / s.count);
}

int chart_slot_width(const ChartScale& s) {
    return s.count <= 0 ? 1 : std::max(1, s.width / s.count);
}

std::vector<ChartColumn> chart_columns(std::span<const QuoteRowValues> bars, const ChartScale& s) {
    std::vector<ChartColumn> columns;
    const int total = static_cast<int>(bars.size());
    const int end = std::min(s.first + s.count, total);
    if (s.width <= 0 || s.first < 0 || s.first >= end) {
        return columns;
    }
    columns.reserve(static_cast<std::size_t>(std::min(s.width, end - s.first)));
    int column_x = -1;
    for (int bar = s.first; bar < end; ++bar) {
        // A quote whose slot starts in the column of the one before belongs to that column.
        if (const int x = chart_x_of(s, bar); x != column_x) {
            column_x = x;
            columns.push_back({bar, bar});
        }
        ChartColumn& column = columns.back();
        column.last_bar = bar;
        const auto& v = bars[static_cast<std::size_t>(bar)].values;
        const bool first_priced = !column.priced;
        for (float price : {v[0], v[1], v[2], v[3]}) {
            take_price(column, price);
        }
        if (column.priced && first_priced) {
            column.open = is_price(v[0]) ? v[0] : column.low;
        }
        if (is_price(v[3])) {
            column.close = v[3];
        } else if (column.priced && column.close == 0) {
            column.close = column.high;
        }
        if (std::isfinite(v[4]) && v[4] > column.volume) {
            column.volume = v[4];
        }
    }
    return columns;
}

ChartScale chart_zoom(const ChartScale& s, int total, double factor, int anchor, int min_count) {
    ChartScale zoomed = s;
    if (total <= 0) {
        zoomed.first = zoomed.count = 0;
        return zoomed;
    }
    const int wanted = static_cast<int>(std::lround(s.count * factor));
    zoomed.count = std::clamp(wanted, std::min(min_count, total), total);
    anchor = std::clamp(anchor, 0, total - 1);
    // The anchor keeps its place in the window.
    const double place = s.count > 0 ? static_cast<double>(anchor - s.first) / s.count : 0.5;
    const int first = anchor - static_cast<int>(std::lround(place * zoomed.count));
    return chart_scroll(zoomed, total, first);
}

ChartScale chart_scroll(const ChartScale& s, int total, int first) {
    ChartScale moved = s;
    moved.count = std::clamp(s.count, 0, std::max(total, 0));
    moved.first = std::clamp(first, 0, std::max(0, total - moved.count));
    return moved;
}

namespace {

// Where a price stands on the scale: the price itself, or its logarithm.
double scale_value(const ChartPriceAxis& axis, double price) {
    return axis.logarithmic ? std::log(price) : price;
}

} // namespace

double ChartPriceAxis::y_of(double price) const {
    const double bottom = top + height;
    if (!std::isfinite(price) || (logarithmic && price <= 0)) {
        return bottom;
    }
    const double lo = scale_value(*this, low), hi = scale_value(*this, high);
    return top + (hi - scale_value(*this, price)) / (hi - lo) * height;
}

double ChartPriceAxis::price_at(double share) const {
    if (logarithmic) {
        return std::exp(std::log(low) + (std::log(high) - std::log(low)) * share);
    }
    return low + (high - low) * share;
}

ChartPriceAxis chart_price_axis(std::span<const ChartColumn> columns, int top, int height, bool logarithmic) {
    ChartPriceAxis axis{0, 1, top, std::max(1, height), logarithmic};
    bool any = false;
    for (const ChartColumn& c : columns) {
        if (!c.priced) {
            continue;
        }
        axis.low = any ? std::min<double>(axis.low, c.low) : c.low;
        axis.high = any ? std::max<double>(axis.high, c.high) : c.high;
        any = true;
    }
    if (!any) { // nothing to show: a scale of 1 to 2 that draws nothing
        axis.low = 1;
        axis.high = 2;
        return axis;
    }
    if (logarithmic) { // priced columns hold positive values only: 5 % of the ratio on either side
        const double pad = std::pow(axis.high / axis.low, 0.05) * 1.01;
        axis.low /= pad;
        axis.high *= pad;
        return axis;
    }
    const double pad = std::max((axis.high - axis.low) * 0.05, axis.high * 0.01 + 1e-6);
    axis.low = std::max(0.0, axis.low - pad); // prices are positive: the scale never goes below 0
    axis.high += pad;
    return axis;
}

bool chart_dates_need_century(std::span<const QuoteRowValues> bars) {
    return std::any_of(bars.begin(), bars.end(),
                       [](const QuoteRowValues& q) { return date_needs_century(q.date); });
}

std::string chart_date_text(DayNumber day, bool century) {
    return century ? date_format(day, kMMDDCCYYSep, '/') : date_display_text(day);
}
