#include "browser/ui/grid_list.h"

#include "browser/ui/grid_delegate.h"
#include "browser/view_rules.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QResizeEvent>

GridList::GridList(int controlId, QAbstractItemModel* model, int savedColumns, QWidget* parent)
    : QTableView(parent), savedColumns_(savedColumns) {
    setProperty("controlId", controlId);
    setModel(model);
    setItemDelegate(new GridDelegate(this));
    // The focus frame runs along the whole row: both rows are drawn again when it moves, not the one cell.
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, viewport(),
            qOverload<>(&QWidget::update));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setTabKeyNavigation(false);
    setCornerButtonEnabled(false);
    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + 3);
    QHeaderView* columns = horizontalHeader();
    columns->setSectionsClickable(false);
    columns->setHighlightSections(false);
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setStretchLastSection(false);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

std::vector<int> GridList::ColumnWidths() const {
    std::vector<int> widths;
    for (int i = 0; i < savedColumns_; ++i) {
        widths.push_back(horizontalHeader()->sectionSize(i));
    }
    return widths;
}

void GridList::SetColumnWidths(const std::vector<int>& widths) {
    for (std::size_t i = 0; i < widths.size(); ++i) {
        horizontalHeader()->resizeSection(static_cast<int>(i), widths[i]);
    }
    keepShares_ = true;
}

void GridList::SelectRow(int row, bool scroll) {
    if (row < 0 || row >= model()->rowCount()) {
        return;
    }
    const QModelIndex index = model()->index(row, 0);
    selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    // Without the focus state the keyboard still moves on from the selected row.
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    if (scroll) {
        scrollTo(index);
    }
}

int GridList::HighlightedRow() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

void GridList::keyPressEvent(QKeyEvent* event) {
    if (choosesRows_ && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        emit enterPressed();
        event->accept();
        return;
    }
    const int rows = model()->rowCount();
    if ((event->key() == Qt::Key_Home || event->key() == Qt::Key_End) &&
        event->modifiers() == Qt::NoModifier && rows > 0) {
        SelectRow(event->key() == Qt::Key_Home ? 0 : rows - 1, true);
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void GridList::resizeEvent(QResizeEvent* event) {
    if (keepShares_) {
        SetColumnWidths(ScaledColumnWidths(ColumnWidths(), event->oldSize().width(), event->size().width(),
                                           horizontalHeader()->minimumSectionSize()));
    }
    QTableView::resizeEvent(event);
}

void GridList::mousePressEvent(QMouseEvent* event) {
    // A press below the rows does nothing: the highlight stays where it is.
    if (!choosesRows_ || indexAt(event->position().toPoint()).isValid()) {
        QTableView::mousePressEvent(event);
    }
}

void GridList::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!choosesRows_ || indexAt(event->position().toPoint()).isValid()) {
        QTableView::mouseDoubleClickEvent(event);
    }
}

void GridList::mouseReleaseEvent(QMouseEvent* event) {
    if (choosesRows_ && event->button() == Qt::LeftButton) {
        emit released();
    }
    QTableView::mouseReleaseEvent(event);
}
