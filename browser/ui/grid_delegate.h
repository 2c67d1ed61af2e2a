// The owner-drawn look of both report lists: light grey grid lines between rows and columns, the
// system highlight colours across the selected row whether or not the list has the focus, cell texts
// left-aligned with 2 pixels of padding and clipped to the column's current width.
#pragma once

#include <QStyledItemDelegate>

class GridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr QRgb kGridColour = 0xC0C0C0; // 192, 192, 192
    static constexpr int kPadding = 2;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};
