// The view's handlers of the Quote and Symbol menus, Split Search and Export. Each dialog flow lives with
// its dialog (editing/ui, analysis/ui); the view shows the result, writes the edit log after a success
// and reloads by the refresh contract.
#include "analysis/ui/export_dlg.h"
#include "analysis/ui/import_dlg.h"
#include "analysis/ui/split_search_dlg.h"
#include "browser/ui/quote_list_model.h"
#include "browser/ui/symbol_list_model.h"
#include "common/failure_text.h"
#include "editing/ui/quote_dialogs.h"
#include "editing/ui/symbol_dialogs.h"
#include "shell/edit_log.h"
#include "shell/ui/main_frame.h"
#include "shell/ui/prompts.h"
#include "window/quorbit_view.h"

#include <QListWidget>

std::string CQuorbitView::SeriesOnScreenText() const {
    return "Security " + state_.currentSymbol + " in " + state_.portfolioDir.string();
}

void CQuorbitView::Report(const CommandResult& result) {
    Prompts::Get().Present(this, result);
    WriteEditLog(result, settings_); // nothing after a failure
}

bool CQuorbitView::FinishQuoteCommand(const std::optional<CommandResult>& ran, int rowToSelect) {
    if (!ran) {
        return false; // the dialog was cancelled
    }
    const CommandResult& result = *ran;
    CommandResult shown = result;
    explain_failure(shown, SeriesOnScreenText());
    Report(shown);
    if (!result.ok) {
        if (series_.changed_on_disk()) {
            FillQuotesGrid(0); // another program changed the series: show what is on disk now
        }
        return false; // the list still shows what is on disk
    }
    // A command that wrote has read the series again into the session: show that.
    FillQuotesGrid(rowToSelect, series_.reads() == quotesShownFrom_);
    return true;
}

// ---- Quotes ----------------------------------------------------------------------------------------

void CQuorbitView::OnEditQuote() {
    FinishQuoteCommand(RunEditQuote(series_, state_.selectedQuoteRow, this), 0);
}

void CQuorbitView::OnSplitQuotes() {
    FinishQuoteCommand(RunSplitQuotes(series_, state_.selectedQuoteRow, this), 0);
}

void CQuorbitView::OnAdjustQuotes() {
    FinishQuoteCommand(RunAdjustQuotes(series_, this), 0);
}

void CQuorbitView::OnDeleteQuote() {
    FinishQuoteCommand(RunDeleteQuote(series_, state_.selectedQuoteRow, this), 0);
}

void CQuorbitView::OnAddQuote() {
    const auto added = RunAddQuote(series_, state_.selectedQuoteRow, this);
    const int newRow = added && added->added.bar >= 0 ? series_.row_of_bar(added->added.bar) : 0;
    if (added && !FinishQuoteCommand(added->result, newRow)) {
        FillQuotesGrid(0);
    } else if (added) {
        OnEditQuote(); // on the quote just inserted, now the selected row
    }
}

// ---- Symbols ---------------------------------------------------------------------------------------

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
    const auto edited = RunEditSymbol(state_.portfolioDir, old.symbol, old.name, this);
    if (!edited) {
        return;
    }
    Report(edited->result);
    if (!edited->result.ok) {
        return;
    }
    // After a key move the selected row need not be the series on screen, which then keeps its texts:
    // the quote commands go on addressing the series the quote list shows.
    if (state_.currentSymbol == old.symbol) {
        state_.currentSymbol = edited->symbol;
        state_.currentName = edited->name;
    }
    state_.selectedSymbolRow = symbols_->SetRowTexts(row, edited->symbol, edited->name);
    symbolList_->SelectRow(state_.selectedSymbolRow, true);
    SetCaption(ViewCaption(state_.portfolioDir.string(), state_.currentSymbol));
    StateChanged();
}

void CQuorbitView::OnDeleteSymbol() {
    if (symbols_->Rows() == 0) {
        return;
    }
    if (const auto result = RunDeleteSymbol(state_.portfolioDir, SelectedRowSymbol(), this)) {
        Report(*result);
        FillSymbolsGrid(0); // also after a failure: the list shows what is on disk
    }
}

void CQuorbitView::OnTransferSymbol(editing::TransferMode mode) {
    const auto result = RunTransferSymbol(state_.portfolioDir, state_.currentSymbol, state_.currentName, mode,
                                          form_->Portfolios(), portfolioList_->currentRow(), this);
    if (result) {
        Report(*result);
    }
    // A copy leaves the portfolio on screen as it was; a failed move has been undone.
    if (result && mode == editing::TransferMode::Move && result->ok) {
        FillSymbolsGrid(0);
    }
}

void CQuorbitView::OnSeriesFacts() {
    RunSeriesFacts(state_.portfolioDir, SelectedRowSymbol(), this);
}

// ---- Split search and export -------------------------------------------------------------------

void CQuorbitView::OnSplitSearch() {
    SetSplitSearchOpen(true);
    const QPointer<CQuorbitView> self(this);
    // The search reads the portfolio and its symbols as they are when "Search" is pressed.
    auto request = [self] {
        return self ? SplitSearchRequest{self->state_.portfolioDir,
                                         self->symbols_->Symbols(self->state_.symbolCount)}
                    : SplitSearchRequest{};
    };
    auto closed = [self] { self ? self->SetSplitSearchOpen(false) : void(); };
    QWidget* owner = frame_ != nullptr ? static_cast<QWidget*>(frame_) : window();
    (new CSplitSearchDlg(request, closed, owner))->show();
}

void CQuorbitView::OnExport() {
    Prompts::Get().Present(this,
                           RunExportCommand(settings_, state_.portfolioDir, state_.currentSymbol, this));
}

// ---- Bringing quotes in ------------------------------------------------------------------------------

// The portfolio made is listed (whatever the search found) and opened.
void CQuorbitView::OnNewPortfolio() {
    const std::filesystem::path dir = RunNewPortfolio(this);
    if (dir.empty()) {
        return;
    }
    const QString text = QString::fromStdString(dir.string());
    QList<QListWidgetItem*> listed = portfolioList_->findItems(text, Qt::MatchExactly);
    if (listed.isEmpty()) {
        portfolioList_->addItem(text);
        listed = portfolioList_->findItems(text, Qt::MatchExactly);
    }
    browse_.set_portfolios_found(true);
    portfolioList_->setCurrentItem(listed.front()); // opens it
    OnPortfolioChange();
}

void CQuorbitView::OnNewSymbol() {
    if (const auto result = RunNewSecurity(state_.portfolioDir, this)) {
        Report(*result);
        if (result->ok) {
            FillSymbolsGrid(state_.selectedSymbolRow >= 0 ? state_.selectedSymbolRow : 0);
        }
    }
}

void CQuorbitView::OnImportQuotes() {
    const auto result = RunImportCommand(state_.portfolioDir, state_.currentSymbol, this);
    if (!result) {
        return;
    }
    Report(*result);
    // New securities appear in the list; the series on screen shows the quotes it took.
    FillSymbolsGrid(state_.selectedSymbolRow >= 0 ? state_.selectedSymbolRow : 0);
}