// What the main frame needs from the one view it holds, without knowing the view's class: the frame is
// built below the view's library, as a frame window of a document template knows its view only by kind.
#pragma once

#include <vector>

class QWidget;
class CMainFrame;

struct StatusCounts {
    int selectedSymbolRow = 0;
    int symbolCount = 0;
    int selectedQuoteRow = 0;
    int quoteCount = 0;
};

class FrameView {
public:
    virtual ~FrameView() = default;
    virtual QWidget* Widget() = 0;
    // The counts and selected rows the status panes show.
    virtual StatusCounts Counts() const = 0;
    // The widths of the list headers' items as they are on screen, saved when the frame closes.
    virtual std::vector<int> SymbolHeaderWidths() const = 0;
    virtual std::vector<int> QuoteHeaderWidths() const = 0;
    // Takes over the frame's actions of the view's commands: their handlers and their enabling.
    virtual void AttachCommands(CMainFrame& frame) = 0;
};
