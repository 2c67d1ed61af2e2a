// CChartWnd: the chart of the series on screen, in a window of its own. Price bars (or a line of the
// closes) on a linear or logarithmic price scale, with the volume below and dates along the bottom; the
// selected quote is marked in blue, the quotes the data check reports in red, as the legend says. A click (or
// Left and Right) selects a quote; the wheel (or + and
// -) zooms around the pointer and the scroll bar moves along the series. Each pixel column draws the range of
// the quotes it shows, so a series of any length costs one pass over the quotes on screen. Painted with
// QPainter.
#pragma once

#include "browser/chart_scale.h"

#include <QString>
#include <QWidget>

#include <vector>

class QCheckBox;
class QScrollBar;

class CChartWnd : public QWidget {
    Q_OBJECT
public:
    explicit CChartWnd(QWidget* parent = nullptr);

    // A new series (or the same one reloaded), oldest quote first, with the quotes to mark. The zoom is
    // kept when the series keeps its title and length; otherwise the whole series is shown.
    void SetSeries(const QString& title, std::vector<QuoteRowValues> bars, const std::vector<int>& marked);
    // Marks the quote and scrolls it into view; -1 marks none.
    void SetSelectedBar(int bar);
    void SetCloseLine(bool on);
    // Prices on a logarithmic scale (equal ratios at equal distances).
    void SetLogScale(bool on);

    int SelectedBar() const { return selected_; }
    int Bars() const { return static_cast<int>(bars_.size()); }
    bool Marked(int bar) const;
    const ChartScale& Scale() const { return scale_; }
    // The price scale the quotes on screen are drawn with.
    ChartPriceAxis PriceAxis() const;
    // The date under the axis of a quote, all in one style.
    QString AxisDateText(int bar) const;
    // The pixel rectangle the quotes are drawn in.
    QRect PlotRect() const;
    void ZoomAround(int bar, double factor);
    void ScrollTo(int first);

signals:
    // The user clicked the quote `bar` (0 the oldest).
    void barClicked(int bar);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void UpdateScale(ChartScale scale);
    void DrawPrices(class QPainter& painter, const std::vector<ChartColumn>& columns, QRect area);
    void DrawVolume(class QPainter& painter, const std::vector<ChartColumn>& columns, QRect area);
    void DrawDates(class QPainter& painter, QRect plot);
    void DrawLegend(class QPainter& painter);
    QRect PriceRect() const;
    bool ColumnMarked(const ChartColumn& column) const;

    QString title_;
    std::vector<QuoteRowValues> bars_;
    std::vector<int> markedBefore_; // marked quotes before each index: a column's marks in one step
    ChartScale scale_;
    int selected_ = -1;
    bool closeLine_ = false;
    bool logScale_ = false;
    bool century_ = false; // the axis shows four year digits
    QCheckBox* closeLineBox_ = nullptr;
    QCheckBox* logScaleBox_ = nullptr;
    QScrollBar* scroll_ = nullptr;
};
