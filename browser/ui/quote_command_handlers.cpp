// The view's handlers of the five quote commands: each runs its dialog through the prompts seam, calls
// its command function, shows the result's messages, writes the edit log after a success and reloads
// the quote list from disk.
#include "browser/quote_cells.h"
#include "browser/ui/quorbit_view.h"
#include "browser/ui/quote_list_model.h"
#include "common/failure_text.h"
#include "editing/quote_commands.h"
#include "editing/ui/quote_dialogs.h"
#include "shell/edit_log.h"
#include "shell/ui/prompts.h"

#include <vector>

bool CQuorbitView::QuoteRowShown(int row) const {
    return row >= 0 && row < quotes_->Rows();
}

QString CQuorbitView::QuoteCellText(int row, int column) const {
    return QuoteListModel::CellText(quotes_->RowAt(row), column);
}

int CQuorbitView::RunSeriesDialog(QDialog& dialog, const std::string& symbol) {
    dialog.setWindowTitle(dialog.windowTitle() + " - " + QString::fromLatin1(symbol));
    return Prompts::Get().RunDialog(dialog);
}

std::string CQuorbitView::SeriesOnScreenText() const {
    return "Security " + state_.currentSymbol + " in " + state_.portfolioDir.string();
}

bool CQuorbitView::FinishQuoteCommand(const CommandResult& result, int rowToSelect) {
    CommandResult shown = result;
    explain_failure(shown, SeriesOnScreenText());
    Prompts::Get().Present(this, shown);
    if (!result.ok) {
        return false; // the list still shows what is on disk
    }
    WriteEditLog(result, settings_);
    FillQuotesGrid(rowToSelect);
    return true;
}

void CQuorbitView::OnEditQuote() {
    if (!QuoteRowShown(state_.selectedQuoteRow)) {
        return;
    }
    const int rows = quotes_->Rows();
    auto source = [this](int row) {
        QuoteRowTexts texts;
        for (int column = 0; column < kQuoteColumns; ++column) {
            texts.cells[static_cast<std::size_t>(column)] = QuoteCellText(row, column);
        }
        if (quotesHaveTime_) {
            texts.time = QString::fromStdString(quote_time_text(quotes_->RowAt(row).time));
        }
        return texts;
    };
    CEditQuoteDlg dialog(state_.selectedQuoteRow, rows, source,
                         editing::value_fields_present(state_.portfolioDir, state_.currentSymbol), this);
    if (RunSeriesDialog(dialog, state_.currentSymbol) != QDialog::Accepted) {
        return;
    }
    // The dialog's row, which its navigation may have moved away from the list's selection.
    FinishQuoteCommand(editing::edit_quote(state_, dialog.DateText(), dialog.Values(), dialog.Row()), 0);
}

void CQuorbitView::OnSplitQuotes() {
    if (!QuoteRowShown(state_.selectedQuoteRow)) {
        return;
    }
    CSplitDlg dialog(state_, QuoteCellText(state_.selectedQuoteRow, 0), this);
    if (RunSeriesDialog(dialog, state_.currentSymbol) == QDialog::Accepted) {
        FinishQuoteCommand(editing::split_quotes(state_, dialog.Input()), 0);
    }
}

void CQuorbitView::OnAdjustQuotes() {
    CAdjustDlg dialog(state_, this);
    if (RunSeriesDialog(dialog, state_.currentSymbol) == QDialog::Accepted) {
        FinishQuoteCommand(editing::adjust_quotes(state_, dialog.Input()), 0);
    }
}

void CQuorbitView::OnDeleteQuote() {
    const int row = state_.selectedQuoteRow;
    if (!QuoteRowShown(row)) {
        return;
    }
    const QString date = QuoteCellText(row, 0);
    const QString shown = quotesHaveTime_
                              ? date + " " + QString::fromStdString(quote_time_text(quotes_->RowAt(row).time))
                              : date;
    CDeleteQuoteDlg dialog(shown, this);
    if (RunSeriesDialog(dialog, state_.currentSymbol) == QDialog::Accepted) {
        FinishQuoteCommand(editing::delete_quote(state_, date.toStdString(), row), 0);
    }
}

void CQuorbitView::OnAddQuote() {
    std::vector<DayNumber> dates;
    dates.reserve(static_cast<std::size_t>(quotes_->Rows()));
    for (int row = 0; row < quotes_->Rows(); ++row) {
        dates.push_back(quotes_->RowAt(row).date);
    }
    const editing::AddQuotePlan plan = editing::plan_add_quote(dates, state_.selectedQuoteRow);
    if (!plan.check.ok) {
        Prompts::Get().Present(this, plan.check); // "Date %s already exists." and the like
        return;
    }
    CAddQuoteDlg dialog(QString::fromStdString(plan.new_date_text), this);
    if (RunSeriesDialog(dialog, state_.currentSymbol) != QDialog::Accepted) {
        return;
    }
    const editing::AddQuoteResult added = editing::add_quote(state_, dates);
    if (!FinishQuoteCommand(added.result, added.row_to_select)) {
        FillQuotesGrid(0);
        return;
    }
    OnEditQuote(); // on the quote just inserted, now the selected row
}
