// Positions of a form or dialog in dialog units, converted with its font's base units: a horizontal unit
// is a quarter of the average character width, a vertical unit an eighth of the character height.
#pragma once

#include "shell/frame_rules.h"

#include <QAbstractButton>
#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QList>
#include <QRect>
#include <QString>
#include <QWidget>

#include <algorithm>

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font) {
        const QFontMetrics metrics(font);
        const int alphabet =
            metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
        baseX_ = (alphabet / 26 + 1) / 2;
        baseY_ = metrics.height();
    }
    int X(int units) const { return DialogUnitsToPixels(units, baseX_, 4); }
    int Y(int units) const { return DialogUnitsToPixels(units, baseY_, 8); }
    QRect Rect(int x, int y, int width, int height) const { return {X(x), Y(y), X(width), Y(height)}; }

private:
    int baseX_ = 0;
    int baseY_ = 0;
};

// A group box frames the controls whose top-left corner lies inside it. Where the style draws its title
// so tall that the frame's top line would run through them, they move down together below it and the
// group grows by as much, so that no check box or edit sits on the frame.
inline void FitGroups(QWidget& dialog) {
    const QList<QWidget*> controls = dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* widget : controls) {
        auto* group = qobject_cast<QGroupBox*>(widget);
        if (group == nullptr) {
            continue;
        }
        QList<QWidget*> inside;
        int top = group->geometry().bottom(), bottom = group->y();
        for (QWidget* control : controls) {
            if (qobject_cast<QGroupBox*>(control) == nullptr &&
                group->geometry().contains(control->geometry().topLeft())) {
                inside.push_back(control);
                top = std::min(top, control->y());
                bottom = std::max(bottom, control->geometry().bottom());
            }
        }
        const int gap = group->fontMetrics().height() / 4; // between the frame and what it frames
        const int shift = group->y() + group->contentsRect().top() + gap - top;
        if (inside.isEmpty() || shift <= 0) {
            continue;
        }
        for (QWidget* control : inside) {
            control->move(control->x(), control->y() + shift);
        }
        const int frameBottom = group->height() - group->contentsRect().bottom();
        group->resize(group->width(),
                      std::max(group->height(), bottom + shift + 1 + gap + frameBottom - group->y()));
    }
}

// A layout in dialog units was made for one font; another font's texts may need more room. Widens every
// check box, radio button and label of `dialog` that would cut its text off, and grows the dialog's
// fixed size so that every control keeps at least `margin` pixels to the right and bottom edges.
inline void FitTexts(QWidget& dialog, int margin) {
    FitGroups(dialog);
    QSize size = dialog.size();
    for (QWidget* control : dialog.findChildren<QWidget*>()) {
        const bool text =
            qobject_cast<QLabel*>(control) != nullptr ||
            (qobject_cast<QAbstractButton*>(control) != nullptr && !control->inherits("QPushButton"));
        const auto* label = qobject_cast<QLabel*>(control);
        if (text && (label == nullptr || !label->wordWrap()) &&
            control->sizeHint().width() > control->width()) {
            control->resize(control->sizeHint().width(), control->height());
        }
        if (control->parentWidget() == &dialog && control->isVisibleTo(&dialog)) {
            size = size.expandedTo(
                QSize(control->geometry().right() + 1 + margin, control->geometry().bottom() + 1 + margin));
        }
    }
    dialog.setFixedSize(size);
}
