#include "shell/frame_rules.h"

#include <algorithm>

namespace {

// The single-precision number nearest to 0.95 (0.949999988...), multiplied in double precision, so that
// 800 x 600 gives 759 x 569: the window takes this share of each side of the screen.
constexpr double kScreenShare = static_cast<double>(0.95f);

bool SavedPlacementFits(int width, int height, const WindowPlacement& saved) {
    return saved.cx > 0 && saved.cy > 0 && saved.x >= 0 && saved.y >= 0 && saved.cx <= width &&
           saved.cy <= height && saved.x <= width && saved.y <= height;
}

} // namespace

InitialPlacement PlaceMainWindow(int screenWidth, int screenHeight, const WindowPlacement& saved) {
    if (SavedPlacementFits(screenWidth, screenHeight, saved)) {
        return {saved, false};
    }
    WindowPlacement placement;
    placement.cx = static_cast<int>(screenWidth * kScreenShare);
    placement.cy = static_cast<int>(screenHeight * kScreenShare);
    placement.x = (screenWidth - placement.cx) / 2;
    placement.y = (screenHeight - placement.cy) / 2;
    return {placement, true};
}

WindowPlacement PlacementToSave(const WindowPlacement& window) {
    WindowPlacement saved = window;
    saved.x = saved.x < 0 ? 0 : saved.x;
    saved.y = saved.y < 0 ? 0 : saved.y;
    return saved;
}

WindowPlacement CenterRectOnScreen(const WindowPlacement& rect, int screenWidth, int screenHeight) {
    return {(screenWidth - rect.cx) / 2, (screenHeight - rect.cy) / 2, rect.cx, rect.cy};
}

WindowPlacement PlaceOverClientArea(const WindowPlacement& client, int cx, int cy) {
    cx = std::max(1, std::min(cx, client.cx));
    cy = std::max(1, std::min(cy, client.cy));
    return {client.x + (client.cx - cx) / 2, client.y + (client.cy - cy) / 2, cx, cy};
}

std::string SymbolPaneText(int selectedSymbolRow, int symbolCount) {
    if (symbolCount == 0) {
        return "No Symbols Read";
    }
    return "Symbol " + std::to_string(selectedSymbolRow + 1) + " of " + std::to_string(symbolCount);
}

std::string QuotePaneText(int selectedQuoteRow, int quoteCount) {
    if (quoteCount == 0) {
        return "No Quotes Read";
    }
    return "Quote " + std::to_string(quoteCount - selectedQuoteRow) + " of " + std::to_string(quoteCount);
}

int DialogUnitsToPixels(int units, int baseUnit, int divisor) {
    const long long product = static_cast<long long>(units) * baseUnit;
    const long long half = divisor / 2;
    return static_cast<int>(product >= 0 ? (product + half) / divisor : (product - half) / divisor);
}
