#include "browser/chart_scale.h"

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
