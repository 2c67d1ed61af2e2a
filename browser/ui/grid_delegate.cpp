#include "browser/ui/grid_delegate.h"

#include <QAbstractItemView>
#include <QHeaderView>
#include <QPainter>
#include <QTableView>

void GridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
    const QRect cell = option.rect;
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    // The active group's colours: the selection looks the same when the list has no focus.
    const QPalette& palette = option.palette;
    const QColor background =
        palette.color(QPalette::Active, selected ? QPalette::Highlight : QPalette::Base);
    const QColor text =
        palette.color(QPalette::Active, selected ? QPalette::HighlightedText : QPalette::Text);

    painter->save();
    painter->fillRect(cell, background);
    painter->setPen(QColor(kGridColour));
    painter->drawLine(cell.left(), cell.bottom(), cell.right(), cell.bottom());
    painter->drawLine(cell.right() - 1, cell.top(), cell.right() - 1, cell.bottom());

    const QRect textArea(cell.left() + kPadding, cell.top(), cell.width() - 2 * kPadding, cell.height() - 1);
    painter->setClipRect(textArea);
    painter->setPen(text);
    painter->setFont(option.font);
    painter->drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter, index.data().toString());
    painter->setClipping(false);

    // The row that has the keyboard focus gets a dotted frame along the whole row.
    const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
    if (view != nullptr && view->hasFocus() && view->currentIndex().row() == index.row()) {
        QPen dotted(selected ? text : palette.color(QPalette::Active, QPalette::Text), 1, Qt::DotLine);
        painter->setPen(dotted);
        painter->drawLine(cell.left(), cell.top(), cell.right(), cell.top());
        painter->drawLine(cell.left(), cell.bottom() - 1, cell.right(), cell.bottom() - 1);
        // The ends of the row as the columns stand on the screen, which may differ from the model's order.
        const auto* table = qobject_cast<const QTableView*>(view);
        const QHeaderView* header = table != nullptr ? table->horizontalHeader() : nullptr;
        const int place = header != nullptr ? header->visualIndex(index.column()) : index.column();
        if (place == 0) {
            painter->drawLine(cell.left(), cell.top(), cell.left(), cell.bottom() - 1);
        }
        if (place == index.model()->columnCount() - 1) {
            painter->drawLine(cell.right(), cell.top(), cell.right(), cell.bottom() - 1);
        }
    }
    painter->restore();
}
