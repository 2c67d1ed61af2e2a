// GridList: a report list of the main form (the symbol list, the quote list): whole rows selected one at
// a time, the grid look of GridDelegate, headers that neither sort nor highlight, Home and End to the
// first and the last row, and the first `savedColumns` columns keeping their share of the list as it
// grows or narrows (once the saved widths are applied). A list whose rows are chosen (the symbol list,
// whose highlight names the series on screen) ignores a press below its rows and says when a click ends
// and when Enter is pressed.
#pragma once

#include <QTableView>

#include <vector>

class QAbstractItemModel;

class GridList : public QTableView {
    Q_OBJECT
public:
    GridList(int controlId, QAbstractItemModel* model, int savedColumns, QWidget* parent);

    // The width inside the frame, which the column rules divide.
    int ClientWidth() const { return width() - 2 * frameWidth(); }
    // The widths of the saved columns now.
    std::vector<int> ColumnWidths() const;
    // Sizes the saved columns; from then on they keep their share of the list as it is resized.
    void SetColumnWidths(const std::vector<int>& widths);
    // Selects row `row` (nothing when there is none) and makes it the keyboard's; `scroll` brings it into
    // view.
    void SelectRow(int row, bool scroll);
    // The row the selection highlights; -1 when none is.
    int HighlightedRow() const;
    void SetChoosesRows(bool chooses) { choosesRows_ = chooses; }

signals:
    // A list whose rows are chosen: the left button released over it (before the list takes the click),
    // and Enter, which the list then leaves alone.
    void released();
    void enterPressed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int savedColumns_;
    bool keepShares_ = false;
    bool choosesRows_ = false;
};
