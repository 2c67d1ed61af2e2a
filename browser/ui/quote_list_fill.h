// QuoteListFill: one reading of a series into the quote list. Its sink takes the quotes as they are read:
// the time column shown only for a series that has one, the rows appended, the main frame's progress bar
// moved at most kProgressMoves times, and the first rows painted at once while the rest are read.
#pragma once

#include "browser/ui/grid_list.h"
#include "browser/ui/quote_list_model.h"
#include "common/quote_values.h"

class CMainFrame;

class QuoteListFill {
public:
    // Every move repaints the bar at once: a long list moves it at most this many times.
    static constexpr int kProgressMoves = 20;
    static constexpr int kProgressStep = 10;
    static constexpr int kEarlyPaintRows = 30;

    // `frame` may be null (no progress bar).
    QuoteListFill(QuoteListModel& model, GridList& list, CMainFrame* frame);
    QuoteListFill(const QuoteListFill&) = delete; // the sink holds this object
    QuoteListFill& operator=(const QuoteListFill&) = delete;

    const QuoteReadSink& Sink() const { return sink_; }
    bool HeaderRead() const { return headerRead_; }
    // The quotes the header announced.
    int Count() const { return count_; }
    // The progress bar put away.
    void End();

private:
    QuoteListModel& model_;
    GridList& list_;
    CMainFrame* frame_;
    QuoteReadSink sink_;
    bool headerRead_ = false;
    bool painted_ = false;
    int count_ = 0;
    int shown_ = 0;
    int progressShown_ = 0;
};
