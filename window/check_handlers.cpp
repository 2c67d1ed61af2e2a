// The view's side of the data check and the chart: opening their windows, leading a finding to its
// quote, and keeping the chart on the series and quote on screen.
#include "analysis/data_check.h"
#include "analysis/ui/check_data_dlg.h"
#include "browser/ui/chart_wnd.h"
#include "browser/ui/quote_list_model.h"
#include "browser/ui/symbol_list_model.h"
#include "shell/ui/main_frame.h"
#include "storage/portfolio_files.h"
#include "window/quorbit_view.h"

#include <QListWidget>

namespace {

void Raise(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
}

bool SameDirectory(const std::filesystem::path& a, const std::filesystem::path& b) {
    return a.lexically_normal() == b.lexically_normal();
}

} // namespace

void CQuorbitView::OnCheckData() {
    if (checkData_ != nullptr) {
        Raise(checkData_);
        return;
    }
    checkData_ = new CCheckDataDlg(
        settings_, [this] { return state_.portfolioDir; }, window());
    frame_->PlaceOwnWindow(*checkData_, checkData_->size());
    connect(checkData_, &CCheckDataDlg::findingActivated, this,
            [this](const QString& dir, const QString& symbol, int bar, int date) {
                ShowFinding(dir.toStdString(), symbol.toStdString(), bar, static_cast<DayNumber>(date));
            });
    connect(checkData_, &QObject::destroyed, this, [this] {
        checkData_ = nullptr; // a widget says it is destroyed before its pointers are cleared
        UpdateCommandUI();
    });
    UpdateCommandUI();
    Raise(checkData_);
}

void CQuorbitView::OnChart() {
    if (chart_ == nullptr) {
        chart_ = new CChartWnd(window());
        frame_->PlaceOwnWindow(*chart_, QSize(900, 560));
        connect(chart_, &CChartWnd::barClicked, this,
                [this](int bar) { SelectQuoteRow(quotes_->Rows() - 1 - bar); });
        ChartFollowQuotes();
    }
    Raise(chart_);
}

bool CQuorbitView::ShowFinding(const std::filesystem::path& dir, const std::string& symbol, int bar,
                               DayNumber date) {
    if (!browse_.master_selected() || !SameDirectory(state_.portfolioDir, dir)) {
        if (const int entry = form_->PortfolioRow(dir); entry >= 0) {
            portfolioList_->setCurrentRow(entry); // opens it
        } else if (browse_.select_master(portfolio_files::master(dir).string(), state_)) {
            FillSymbolsGrid(0);
        }
        if (!browse_.master_selected() || !SameDirectory(state_.portfolioDir, dir)) {
            return false;
        }
    }
    const int symbolRow = symbols_->FindSymbolRow(symbol);
    if (symbolRow < 0) {
        return false;
    }
    if (symbolRow != state_.selectedSymbolRow || state_.currentSymbol != symbol) {
        symbolList_->SelectRow(symbolRow, true);
        FillQuotesGrid(0); // takes the highlighted row as the selected one
    }
    if (const int quoteRow = quotes_->FindBarRow(bar, date); quoteRow >= 0) {
        SelectQuoteRow(quoteRow);
    }
    Raise(window());
    quoteList_->setFocus();
    return true;
}

void CQuorbitView::SelectQuoteRow(int row) {
    quoteList_->SelectRow(row, true);
}

void CQuorbitView::ChartFollowQuotes() {
    if (chart_ == nullptr) {
        return;
    }
    std::vector<QuoteRowValues> bars = quotes_->OldestFirst();
    std::vector<int> marked =
        check_marked_bars(state_.portfolioDir, state_.currentSymbol, bars, ReadCheckLimits(settings_));
    const QString title =
        !bars.empty() ? QString::fromStdString(state_.currentSymbol + " - " + state_.portfolioDir.string())
                      : QString();
    chart_->SetSeries(title, std::move(bars), marked);
    ChartFollowSelection();
}

void CQuorbitView::ChartFollowSelection() {
    if (chart_ != nullptr) {
        chart_->SetSelectedBar(quotes_->Rows() > 0 ? quotes_->Rows() - 1 - state_.selectedQuoteRow : -1);
    }
}
