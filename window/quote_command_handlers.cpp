// The view's handlers of the five quote commands: each runs its dialog through the prompts seam, calls
// its command function, shows the result's messages, writes the edit log after a success and reloads
// the quote list from disk.
#include "browser/ui/quote_list_model.h"
#include "common/failure_text.h"
#include "common/quote_cells.h"
#include "editing/quote_commands.h"
#include "editing/ui/quote_dialogs.h"
#include "editing/value_text.h"
#include "shell/edit_log.h"
#include "shell/ui/prompts.h"
#include "window/quorbit_view.h"

#include <optional>
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
        if (series_.changed_on_disk()) {
            FillQuotesGrid(0); // another program changed the series: show what is on disk now
        }
        return false; // the list still shows what is on disk
    }
    WriteEditLog(result, settings_);
    // A command that wrote has read the series again into the session: show that.
    FillQuotesGrid(rowToSelect, series_.reads() == quotesShownFrom_);
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
        if (series_.has_time()) {
            texts.time = QString::fromStdString(quote_time_text(quotes_->RowAt(row).time));
        }
        return texts;
    };
    const std::optional<editing::PresentFields> present =
        series_.located() ? std::optional(series_.present_fields()) : std::nullopt;
    CEditQuoteDlg dialog(state_.selectedQuoteRow, rows, source, present, this);
    if (RunSeriesDialog(dialog, state_.currentSymbol) != QDialog::Accepted) {
        return;
    }
    // The dialog's row, which its navigation may have moved away from the list's selection. A Date box
    // left as the row shows it names the row's own day (a two-digit year names a day only up to its
    // century); any other date is taken as typed, and the command refuses a quote it does not date.
    editing::QuoteRef quote = series_.ref_of_row(dialog.Row());
    const std::string typed = dialog.DateText();
    if (quote.bar < 0 || typed != QuoteCellText(dialog.Row(), 0).toStdString()) {
        quote.date = editing::date_from_text(typed);
    }
    FinishQuoteCommand(editing::edit_quote(series_, quote, typed, dialog.Values()), 0);
}

void CQuorbitView::OnSplitQuotes() {
    if (!QuoteRowShown(state_.selectedQuoteRow)) {
        return;
    }
    CSplitDlg dialog(series_, QuoteCellText(state_.selectedQuoteRow, 0), this);
    if (RunSeriesDialog(dialog, state_.currentSymbol) == QDialog::Accepted) {
        FinishQuoteCommand(editing::split_quotes(series_, dialog.Input()), 0);
    }
}

void CQuorbitView::OnAdjustQuotes() {
    CAdjustDlg dialog(series_, this);
    if (RunSeriesDialog(dialog, state_.currentSymbol) == QDialog::Accepted) {
        FinishQuoteCommand(editing::adjust_quotes(series_, dialog.Input()), 0);
    }
}

void CQuorbitView::OnDeleteQuote() {
    const int row = state_.selectedQuoteRow;
    if (!QuoteRowShown(row)) {
        return;
    }
    const QString date = QuoteCellText(row, 0);
    const QString shown = series_.has_time()
                              ? date + " " + QString::fromStdString(quote_time_text(quotes_->RowAt(row).time))
                              : date;
    CDeleteQuoteDlg dialog(shown, this);
    if (RunSeriesDialog(dialog, state_.currentSymbol) == QDialog::Accepted) {
        FinishQuoteCommand(editing::delete_quote(series_, series_.ref_of_row(row)), 0);
    }
}

void CQuorbitView::OnAddQuote() {
    const editing::AddQuotePlan plan =
        editing::plan_add_quote(editing::shown_dates(series_), state_.selectedQuoteRow);
    if (!plan.check.ok) {
        Prompts::Get().Present(this, plan.check); // "Date %s already exists." and the like
        return;
    }
    CAddQuoteDlg dialog(QString::fromStdString(plan.new_date_text), this);
    if (RunSeriesDialog(dialog, state_.currentSymbol) != QDialog::Accepted) {
        return;
    }
    const editing::AddQuoteResult added = editing::add_quote(series_, state_.selectedQuoteRow);
    if (!FinishQuoteCommand(added.result, added.row_to_select)) {
        FillQuotesGrid(0);
        return;
    }
    OnEditQuote(); // on the quote just inserted, now the selected row
}
