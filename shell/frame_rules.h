// The main frame's rules as plain functions: where the window opens, what is remembered when it moves,
// the texts of the two count panes of the status bar, centring a rectangle on the screen, and the
// dialog units every form and dialog of the program is laid out in.
#pragma once

#include <string>

// A window rectangle as position and size, in pixels of the primary screen.
struct WindowPlacement {
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;
    bool operator==(const WindowPlacement&) const = default;
};

struct InitialPlacement {
    WindowPlacement placement;
    bool writeBack = false; // the saved values were refused: store `placement` at once
};

// The placement at start-up from the saved "Screen" values on a W x H screen. The saved placement is
// used when cx > 0, cy > 0, 0 <= x <= W, 0 <= y <= H, cx <= W and cy <= H (the window may still reach
// past the right or bottom edge); otherwise 95 % of each side, centred, to be written back.
InitialPlacement PlaceMainWindow(int screenWidth, int screenHeight, const WindowPlacement& saved);

// What a move or resize stores: negative edges become 0, the size as it is.
WindowPlacement PlacementToSave(const WindowPlacement& window);

// Keeps the size and centres the rectangle on a W x H screen (integer division).
WindowPlacement CenterRectOnScreen(const WindowPlacement& rect, int screenWidth, int screenHeight);

// Where a window of the program's own (the chart, the data check, the user guide) opens: centred on
// the main window's client area `client` (below its menu bar and toolbar, above its status bar), at
// the size it asks for, shrunk to the client area when that is smaller, so that it never covers the
// menus.
WindowPlacement PlaceOverClientArea(const WindowPlacement& client, int cx, int cy);

// "Symbol %d of %d" with the selected row + 1, or "No Symbols Read" when there are none.
std::string SymbolPaneText(int selectedSymbolRow, int symbolCount);
// "Quote %d of %d" numbered from the oldest (row 0 is the newest), or "No Quotes Read".
std::string QuotePaneText(int selectedQuoteRow, int quoteCount);
// The sample texts the two panes are sized from.
inline constexpr const char* kSymbolPaneSample = "Symbols: xxxxxxxxxxxxxxxx";
inline constexpr const char* kQuotePaneSample = "Quotes: xxxxxxxxxxxxxxxx";

// Dialog units to pixels from the dialog font's average character width (x, divisor 4) or height (y,
// divisor 8), rounded to the nearest pixel.
int DialogUnitsToPixels(int units, int baseUnit, int divisor);
