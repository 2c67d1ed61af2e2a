// Positions given in dialog units, converted to pixels with the average character size of a font.
#pragma once

#include "browser/view_rules.h"

#include <QFont>
#include <QFontMetrics>
#include <QRect>

class DialogUnitConverter {
public:
    explicit DialogUnitConverter(const QFont& font) {
        const QFontMetrics metrics(font);
        const int alphabet =
            metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
        baseX_ = (alphabet / 26 + 1) / 2;
        baseY_ = metrics.height();
    }
    QRect Rect(int x, int y, int width, int height) const {
        return {DialogUnitsToPixels(x, baseX_, 4), DialogUnitsToPixels(y, baseY_, 8),
                DialogUnitsToPixels(width, baseX_, 4), DialogUnitsToPixels(height, baseY_, 8)};
    }

private:
    int baseX_ = 0;
    int baseY_ = 0;
};
