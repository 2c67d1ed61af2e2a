// Positions of a form or dialog in dialog units, converted with its font's base units: a horizontal unit
// is a quarter of the average character width, a vertical unit an eighth of the character height.
#pragma once

#include "browser/view_rules.h"

#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QString>

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
