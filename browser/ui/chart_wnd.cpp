#include "browser/ui/chart_wnd.h"

#include "common/quote_cells.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>

namespace {

constexpr int kTopMargin = 44; // the row of the check boxes and the selected quote's values, the legend
constexpr int kControlRow = 24;
constexpr int kRightMargin = 72; // the price labels
constexpr int kLeftMargin = 8;
constexpr int kDateHeight = 18;   // the date labels under the volume
constexpr int kDateSpacing = 100; // pixels between two date labels
constexpr double kZoomStep = 0.8;

const QColor kBarColour(30, 30, 30);
const QColor kMarkColour(220, 30, 30);
const QColor kSelectedColour(30, 90, 220);
const QColor kVolumeColour(150, 150, 150);

} // namespace

CChartWnd::CChartWnd(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("chartWnd");
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowTitle(QStringLiteral("Chart"));
    setMinimumSize(320, 220);
    setFocusPolicy(Qt::StrongFocus);
    closeLineBox_ = new QCheckBox(QStringLiteral("Close line"), this);
    closeLineBox_->setObjectName("closeLine");
    connect(closeLineBox_, &QCheckBox::toggled, this, &CChartWnd::SetCloseLine);
    logScaleBox_ = new QCheckBox(QStringLiteral("&Logarithmic scale"), this);
    logScaleBox_->setObjectName("logScale");
    connect(logScaleBox_, &QCheckBox::toggled, this, &CChartWnd::SetLogScale);
    closeLineBox_->setText(QStringLiteral("&Close line"));
    scroll_ = new QScrollBar(Qt::Horizontal, this);
    scroll_->setObjectName("chartScroll");
    connect(scroll_, &QScrollBar::valueChanged, this, &CChartWnd::ScrollTo);
    resize(760, 420);
}

void CChartWnd::SetSeries(const QString& title, std::vector<QuoteRowValues> bars,
                          const std::vector<int>& marked) {
    const bool same = title == title_ && bars.size() == bars_.size();
    title_ = title;
    bars_ = std::move(bars);
    setWindowTitle(title.isEmpty() ? QStringLiteral("Chart") : QStringLiteral("Chart - ") + title);
    std::vector<char> flags(bars_.size(), 0);
    for (int bar : marked) {
        if (bar >= 0 && bar < Bars()) {
            flags[static_cast<std::size_t>(bar)] = 1;
        }
    }
    century_ = chart_dates_need_century(bars_);
    markedBefore_.assign(bars_.size() + 1, 0);
    for (std::size_t i = 0; i < flags.size(); ++i) {
        markedBefore_[i + 1] = markedBefore_[i] + flags[i];
    }
    selected_ = std::min(selected_, Bars() - 1);
    ChartScale scale = scale_;
    if (!same) {
        scale.first = 0;
        scale.count = Bars();
    }
    UpdateScale(scale);
}

bool CChartWnd::Marked(int bar) const {
    return bar >= 0 && bar < Bars() &&
           markedBefore_[static_cast<std::size_t>(bar) + 1] != markedBefore_[static_cast<std::size_t>(bar)];
}

bool CChartWnd::ColumnMarked(const ChartColumn& column) const {
    return markedBefore_[static_cast<std::size_t>(column.last_bar) + 1] !=
           markedBefore_[static_cast<std::size_t>(column.first_bar)];
}

void CChartWnd::SetSelectedBar(int bar) {
    selected_ = bar >= 0 && bar < Bars() ? bar : -1;
    if (selected_ >= 0 && (selected_ < scale_.first || selected_ >= scale_.first + scale_.count)) {
        ScrollTo(selected_ - scale_.count / 2);
    }
    update();
}

void CChartWnd::SetCloseLine(bool on) {
    closeLine_ = on;
    if (closeLineBox_->isChecked() != on) {
        closeLineBox_->setChecked(on);
    }
    update();
}

void CChartWnd::SetLogScale(bool on) {
    logScale_ = on;
    if (logScaleBox_->isChecked() != on) {
        logScaleBox_->setChecked(on);
    }
    update();
}

QString CChartWnd::AxisDateText(int bar) const {
    return QString::fromStdString(chart_date_text(bars_[static_cast<std::size_t>(bar)].date, century_));
}

QRect CChartWnd::PriceRect() const {
    const QRect plot = PlotRect();
    return QRect(plot.left(), plot.top(), plot.width(), plot.height() - plot.height() / 4 - 4);
}

ChartPriceAxis CChartWnd::PriceAxis() const {
    const QRect area = PriceRect();
    return chart_price_axis(chart_columns(bars_, scale_), area.top(), area.height(), logScale_);
}

QRect CChartWnd::PlotRect() const {
    const int bottom = height() - scroll_->sizeHint().height() - kDateHeight;
    return QRect(QPoint(kLeftMargin, kTopMargin), QPoint(width() - kRightMargin - 1, bottom - 1));
}

void CChartWnd::UpdateScale(ChartScale scale) {
    const QRect plot = PlotRect();
    scale.left = plot.left();
    scale.width = plot.width();
    scale_ = chart_scroll(scale, Bars(), scale.first);
    const QSignalBlocker quiet(scroll_);
    scroll_->setRange(0, std::max(0, Bars() - scale_.count));
    scroll_->setPageStep(std::max(1, scale_.count));
    scroll_->setSingleStep(std::max(1, scale_.count / 20));
    scroll_->setValue(scale_.first);
    update();
}

void CChartWnd::ZoomAround(int bar, double factor) {
    UpdateScale(chart_zoom(scale_, Bars(), factor, bar));
}

void CChartWnd::ScrollTo(int first) {
    UpdateScale(chart_scroll(scale_, Bars(), first));
}

void CChartWnd::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    closeLineBox_->adjustSize();
    closeLineBox_->move(kLeftMargin, (kControlRow - closeLineBox_->height()) / 2);
    logScaleBox_->adjustSize();
    logScaleBox_->move(closeLineBox_->geometry().right() + 12, closeLineBox_->y());
    const int h = scroll_->sizeHint().height();
    scroll_->setGeometry(0, height() - h, width(), h);
    UpdateScale(scale_);
}

void CChartWnd::mousePressEvent(QMouseEvent* event) {
    const int bar = chart_bar_at(scale_, static_cast<int>(event->position().x()));
    if (event->button() != Qt::LeftButton || bar < 0 || !PlotRect().contains(event->position().toPoint())) {
        QWidget::mousePressEvent(event);
        return;
    }
    SetSelectedBar(bar);
    emit barClicked(bar);
}

void CChartWnd::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y() / 120;
    if (steps == 0 || Bars() == 0) {
        return;
    }
    int anchor = chart_bar_at(scale_, static_cast<int>(event->position().x()));
    if (anchor < 0) {
        anchor = scale_.first + scale_.count / 2;
    }
    double factor = 1.0;
    for (int i = 0; i < std::abs(steps); ++i) {
        factor *= steps > 0 ? kZoomStep : 1.0 / kZoomStep;
    }
    ZoomAround(anchor, factor);
}

void CChartWnd::keyPressEvent(QKeyEvent* event) {
    const int step = event->key() == Qt::Key_Left ? -1 : event->key() == Qt::Key_Right ? 1 : 0;
    if (step != 0 && selected_ >= 0 && selected_ + step >= 0 && selected_ + step < Bars()) {
        SetSelectedBar(selected_ + step);
        emit barClicked(selected_);
    } else if (event->key() == Qt::Key_Plus || event->key() == Qt::Key_Minus) {
        const int anchor = selected_ >= 0 ? selected_ : scale_.first + scale_.count / 2;
        ZoomAround(anchor, event->key() == Qt::Key_Plus ? kZoomStep : 1.0 / kZoomStep);
    } else {
        QWidget::keyPressEvent(event);
    }
}

void CChartWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    const QRect plot = PlotRect();
    const int volumeHeight = plot.height() / 4;
    const QRect prices = PriceRect();
    const QRect volume(plot.left(), plot.bottom() - volumeHeight + 1, plot.width(), volumeHeight);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(prices.adjusted(0, 0, -1, -1));
    painter.drawRect(volume.adjusted(0, 0, -1, -1));
    DrawLegend(painter);
    if (bars_.empty()) {
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(plot, Qt::AlignCenter, QStringLiteral("No quotes"));
        return;
    }
    const std::vector<ChartColumn> columns = chart_columns(bars_, scale_);
    DrawPrices(painter, columns, prices);
    DrawVolume(painter, columns, volume);
    DrawDates(painter, plot);
    if (selected_ >= 0) {
        const QuoteRowValues& q = bars_[static_cast<std::size_t>(selected_)];
        QString text = AxisDateText(selected_);
        for (int f = 0; f < 4; ++f) {
            text += QLatin1Char(' ') +
                    QString::fromStdString(quote_value_text(q.values[static_cast<std::size_t>(f)], 4));
        }
        text += QLatin1Char(' ') + QString::fromStdString(quote_value_text(q.values[4], 0));
        painter.setPen(Marked(selected_) ? kMarkColour : kSelectedColour);
        const int left = logScaleBox_->geometry().right() + 12;
        painter.drawText(QRect(left, 0, width() - left - kLeftMargin, kControlRow),
                         Qt::AlignRight | Qt::AlignVCenter, text);
    }
}

void CChartWnd::DrawPrices(QPainter& painter, const std::vector<ChartColumn>& columns, QRect area) {
    const ChartPriceAxis axis = chart_price_axis(columns, area.top(), area.height(), logScale_);
    const int slot = chart_slot_width(scale_);
    QVector<QLineF> plain, marked;
    QPolygonF line;
    for (const ChartColumn& c : columns) {
        if (!c.priced) {
            continue;
        }
        const double x = chart_x_of(scale_, c.first_bar) + slot / 2.0;
        QVector<QLineF>& out = ColumnMarked(c) ? marked : plain;
        if (closeLine_) {
            line << QPointF(x, axis.y_of(c.close));
            if (&out == &marked) {
                out << QLineF(x, axis.y_of(c.close) - 4, x, axis.y_of(c.close) + 4);
            }
            continue;
        }
        out << QLineF(x, axis.y_of(c.low), x, axis.y_of(c.high));
        if (slot >= 3) {
            const double tick = slot / 2.0 - 0.5;
            out << QLineF(x - tick, axis.y_of(c.open), x, axis.y_of(c.open));
            out << QLineF(x, axis.y_of(c.close), x + tick, axis.y_of(c.close));
        }
    }
    painter.setClipRect(area);
    if (selected_ >= 0 && chart_x_of(scale_, selected_) >= 0) {
        const double x = chart_x_of(scale_, selected_) + slot / 2.0;
        painter.fillRect(QRectF(x - std::max(slot, 5) / 2.0, area.top(), std::max(slot, 5), area.height()),
                         QColor(kSelectedColour.red(), kSelectedColour.green(), kSelectedColour.blue(), 40));
        painter.setPen(QPen(kSelectedColour, 1, Qt::DashLine));
        painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
    }
    painter.setPen(QPen(kBarColour, 1));
    if (closeLine_) {
        painter.drawPolyline(line);
    } else {
        painter.drawLines(plain);
    }
    painter.setPen(QPen(kMarkColour, closeLine_ ? 3 : 1));
    painter.drawLines(marked);
    painter.setClipping(false);

    painter.setPen(palette().color(QPalette::Text));
    for (int i = 0; i <= 4; ++i) {
        const double v = axis.price_at(i / 4.0);
        const int y = std::clamp(static_cast<int>(axis.y_of(v)), area.top() + 8, area.bottom() - 8);
        painter.drawText(QRect(area.right() + 4, y - 8, kRightMargin - 6, 16),
                         Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(format_fixed(v, 2)));
    }
}

void CChartWnd::DrawVolume(QPainter& painter, const std::vector<ChartColumn>& columns, QRect area) {
    float most = 0;
    for (const ChartColumn& c : columns) {
        most = std::max(most, c.volume);
    }
    if (most <= 0) {
        return;
    }
    const int slot = chart_slot_width(scale_);
    const int barWidth = std::max(1, slot - (slot >= 3 ? 1 : 0));
    for (const ChartColumn& c : columns) {
        const int h = static_cast<int>(c.volume / most * (area.height() - 2));
        if (h <= 0) {
            continue;
        }
        painter.fillRect(chart_x_of(scale_, c.first_bar), area.bottom() - h, barWidth, h,
                         ColumnMarked(c) ? kMarkColour : kVolumeColour);
    }
}

void CChartWnd::DrawDates(QPainter& painter, QRect plot) {
    painter.setPen(palette().color(QPalette::Text));
    const int y = plot.bottom() + 1;
    for (int x = plot.left(); x < plot.right() - kDateSpacing / 2; x += kDateSpacing) {
        const int bar = chart_bar_at(scale_, x);
        if (bar < 0) {
            break;
        }
        painter.drawLine(x, y, x, y + 3);
        painter.drawText(QRect(x, y + 2, kDateSpacing, kDateHeight - 2), Qt::AlignLeft | Qt::AlignTop,
                         AxisDateText(bar));
    }
}

void CChartWnd::DrawLegend(QPainter& painter) {
    // What the colours mean: the red quotes are the data check's findings on this series.
    const int y = kControlRow + (kTopMargin - kControlRow) / 2;
    int x = kLeftMargin;
    const QFontMetrics metrics = painter.fontMetrics();
    const auto entry = [&](const QColor& colour, const QString& text) {
        painter.fillRect(x, y - 4, 10, 8, colour);
        x += 14;
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(QPoint(x, y + metrics.ascent() / 2 - 1), text);
        x += metrics.horizontalAdvance(text) + 16;
    };
    entry(kSelectedColour, QStringLiteral("Selected quote"));
    entry(kMarkColour,
          QStringLiteral("Found by the data check (impossible value, date fault, spike, probable split)"));
}
