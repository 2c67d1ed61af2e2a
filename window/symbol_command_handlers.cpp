// The view's handlers of the Symbol menu: Edit, Delete, Move, Copy and the facts of the selected series.
// Each runs its dialog through the prompts seam, calls its command function and shows the result's
// messages; a rename updates its row in place, a delete or a move reloads the symbol list.
#include "browser/ui/symbol_list_model.h"
#include "common/failure_text.h"
#include "common/latin1.h"
#include "editing/series_facts.h"
#include "editing/symbol_commands.h"
#include "editing/ui/symbol_dialogs.h"
#include "shell/edit_log.h"
#include "shell/ui/prompts.h"
#include "window/quorbit_view.h"

#include <QListWidget>
#include <QTableView>

#include <algorithm>

namespace {

// The typed text (UTF-8) as the files' single bytes, as the list shows them; the command has already
// refused a text that has none.
std::string StoredBytes(const std::string& typed) {
    return latin1_from_utf8(typed).value_or(std::string());
}

} // namespace

std::string CQuorbitView::SelectedRowSymbol() const {
    const int row = state_.selectedSymbolRow;
    return row >= 0 && row < symbols_->Rows() ? symbols_->RowAt(row).symbol : std::string();
}

void CQuorbitView::OnEditSymbol() {
    const int row = state_.selectedSymbolRow;
    if (row < 0 || row >= symbols_->Rows()) {
        return;
    }
    const SymbolListModel::Row old = symbols_->RowAt(row);
    CEditSymbolDlg dialog(old.symbol, old.name, this);
    dialog.SetSymbolCheck([this, &old](const std::string& symbol) {
        return editing::check_symbol_free(state_, old.symbol, symbol);
    });
    if (RunSeriesDialog(dialog, old.symbol) != QDialog::Accepted) {
        return;
    }
    CommandResult result = editing::edit_symbol(state_, old.symbol, dialog.Symbol(), dialog.Name());
    explain_failure(result, "Security " + old.symbol + " in " + state_.portfolioDir.string());
    Prompts::Get().Present(this, result);
    if (!result.ok) {
        return;
    }
    WriteEditLog(result, settings_);
    const std::string symbol = StoredBytes(dialog.Symbol());
    const std::string name = StoredBytes(dialog.Name());
    // After a key move the selected row need not be the series on screen, which then keeps its texts:
    // the quote commands go on addressing the series the quote list shows.
    if (state_.currentSymbol == old.symbol) {
        state_.currentSymbol = symbol;
        state_.currentName = name;
    }
    const int place = symbols_->SetRowTexts(row, symbol, name);
    state_.selectedSymbolRow = place;
    SelectRow(symbolList_, place, true);
    SetCaption(ViewCaption(state_.portfolioDir.string(), state_.currentSymbol));
    StateChanged();
}

void CQuorbitView::OnDeleteSymbol() {
    if (symbols_->Rows() == 0) {
        return;
    }
    const std::string symbol = SelectedRowSymbol();
    Prompts::Get().Beep();
    CDeleteSymbolDlg dialog(symbol, this);
    if (RunSeriesDialog(dialog, symbol) != QDialog::Accepted) {
        return;
    }
    CommandResult result = editing::delete_symbol(state_, symbol);
    explain_failure(result, "Security " + symbol + " in " + state_.portfolioDir.string());
    Prompts::Get().Present(this, result);
    WriteEditLog(result, settings_);
    FillSymbolsGrid(0); // also after a failure: the list shows what is on disk
}

void CQuorbitView::OnTransferSymbol(editing::TransferMode mode) {
    std::vector<std::string> portfolios;
    for (int i = 0; i < portfolioList_->count(); ++i) {
        portfolios.push_back(portfolioList_->item(i)->text().toStdString());
    }
    CMoveSymbolDlg dialog(mode, state_.currentSymbol, state_.currentName, state_.portfolioDir.string(),
                          editing::destination_choices(portfolios, portfolioList_->currentRow()), this);
    if (RunSeriesDialog(dialog, state_.currentSymbol) != QDialog::Accepted || dialog.Destination().empty()) {
        return;
    }
    CommandResult result = editing::transfer_symbol(state_, mode, dialog.Destination());
    explain_failure(result, SeriesOnScreenText());
    // A copy changes nothing on screen: it says that it was made.
    if (result.ok && mode == editing::TransferMode::Copy && result.messages.empty()) {
        result.add(MessageKind::Information,
                   "Symbol " + state_.currentSymbol + " was copied to\n" + dialog.Destination() + ".");
    }
    Prompts::Get().Present(this, result);
    WriteEditLog(result, settings_);
    // A copy leaves the portfolio on screen as it was; a failed move has been undone.
    if (mode == editing::TransferMode::Move && result.ok) {
        FillSymbolsGrid(0);
    }
}

void CQuorbitView::OnSeriesFacts() {
    const editing::SeriesFactsTexts facts =
        editing::describe_series(state_.portfolioDir, SelectedRowSymbol());
    if (!facts.result.ok) {
        Prompts::Get().Present(this, facts.result);
        return;
    }
    CSeriesFactsDlg dialog(facts, this);
    Prompts::Get().RunDialog(dialog);
}
