#include "browser/ui/quote_list_fill.h"

#include "shell/ui/main_frame.h"

QuoteListFill::QuoteListFill(QuoteListModel& model, GridList& list, CMainFrame* frame)
    : model_(model), list_(list), frame_(frame) {
    sink_.begin = [this](std::int32_t count, bool hasTime) {
        headerRead_ = true;
        list_.setColumnHidden(QuoteListModel::kTimeColumn, !hasTime);
        count_ = count;
        model_.Reserve(count);
        if (frame_ != nullptr) {
            frame_->BeginProgress(count - 1);
        }
    };
    sink_.window = [this](std::span<const QuoteRowValues> rows) {
        model_.Append(rows);
        shown_ += static_cast<int>(rows.size());
        if (frame_ != nullptr && shown_ - progressShown_ >= count_ / kProgressMoves) {
            progressShown_ = shown_;
            frame_->SetProgress(shown_ / kProgressStep * kProgressStep);
        }
        // Once per fill, the first rows are shown at once while the rest are read.
        if (!painted_ && shown_ >= kEarlyPaintRows) {
            painted_ = true;
            list_.viewport()->repaint();
        }
    };
}

void QuoteListFill::End() {
    if (frame_ != nullptr) {
        frame_->EndProgress();
    }
}
