// CQuorbitView: the form of the main window, a presenter. What it shows lives in plain objects: the view
// state (the portfolio and series on screen, counts and selected rows), the browse session (the search
// filter, the volume, the MASTER chosen) and the series session (the quotes of the series on screen). It
// fills the lists from them, keeps every command's enabled state true to its rule, runs each command's
// dialog flow (which lives with the dialog) and shows the result.
#pragma once

#include "analysis/ui/check_data_dlg.h"
#include "browser/browse_session.h"
#include "browser/discovery_rules.h"
#include "browser/ui/browser_form.h"
#include "browser/ui/chart_wnd.h"
#include "browser/ui/scan_progress_dialog.h"
#include "browser/view_rules.h"
#include "common/view_state.h"
#include "editing/series_session.h"
#include "editing/transfer.h"
#include "shell/ui/frame_view.h"

#include <QPointer>
#include <QScrollArea>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

class CMainFrame;
struct CommandResult;
class QAbstractItemModel;
class CSettingsStore;
class QComboBox;
class QDialog;
class QListWidget;
class QTableView;
class QuoteListModel;
class SymbolListModel;

class CQuorbitView : public QScrollArea, public FrameView {
    Q_OBJECT
public:
    enum ResetLevel { ResetDrive = 1, ResetPortfolios = 2, ResetSymbols = 3, ResetQuotes = 4 };

    CQuorbitView(CSettingsStore& settings, CMainFrame* frame, QWidget* parent = nullptr);
    ~CQuorbitView() override;

    const ViewState& State() const { return state_; }
    bool PortfoliosFound() const { return browse_.portfolios_found(); }
    bool MasterSelected() const { return browse_.master_selected(); }
    bool AutoRepairMasters() const { return browse_.filter().repair; }
    void SetSplitSearchOpen(bool open);

    // ---- Browsing ---------------------------------------------------------------------------
    void ResetView(int level);
    void FillSymbolsGrid(int rowToSelect);
    // Reads the highlighted series into the session and shows it; with `readAgain` false, shows the
    // session as a command left it (it has read the series again itself).
    void FillQuotesGrid(int rowToSelect, bool readAgain = true);
    // Lists the portfolios (full directory paths, in the order given) and opens the first.
    void ShowPortfolios(const std::vector<std::string>& directories);
    void OnPortfolioChange();
    void OnSymbolClick();
    // A keyboard move in the symbol list loads the highlighted security once the keys have settled (a
    // short single-shot timer), so that holding an arrow key stays smooth. This finishes such a load
    // at once; every command runs it first. False when no load was pending.
    bool LoadPendingSymbol();
    bool SymbolLoadPending() const { return symbolLoadTimer_.isActive(); }
    // The settle timer, so that a test can make its interval 0 and let it fire without a clock.
    QTimer& SymbolSettleTimer() { return symbolLoadTimer_; }
    // The one-shot start-up work: the list columns, then the start volume is searched.
    void OnStartupTimer();
    void SetupColumns();

    // ---- Finding portfolios -----------------------------------------------------------------
    // The mounted volumes the drive chooser offers; tests may give their own.
    using DriveLister = std::function<std::vector<std::string>()>;
    void SetDriveLister(DriveLister lister) { driveLister_ = std::move(lister); }
    // Sees the progress window at every step of a walk: lets a test press Cancel at a chosen point.
    using ScanObserver = ::ScanObserver;
    void SetScanObserver(ScanObserver observer) { scanObserver_ = std::move(observer); }
    // Fills the drive chooser, selects the saved volume (or the current directory's, or the first)
    // and searches it.
    void ChooseStartDrive();
    // The chooser's selection changed: another volume is searched.
    void OnDriveChange();
    // Takes the volume at `root` as the one searched, unless it is already: saves it and searches it.
    void SearchVolume(const std::string& root);
    // Searches the current volume, lists the portfolios found and opens the first.
    void ScanDrive();
    void OnReScan() { ScanDrive(); }
    // Portfolio > Search Filter...: the dialog, then ApplySearchFilter.
    void OnSearchFilter();
    // Takes the dialog's values, saves them and searches again when the change asks for it.
    void ApplySearchFilter(const SearchFilterSettings& values);
    SearchFilterSettings SearchFilter() const { return browse_.filter(); }
    const std::string& CurrentDrive() const { return browse_.drive(); }
    std::vector<std::string> Drives() const;

    // ---- Commands ---------------------------------------------------------------------------
    CommandContext Context() const;
    bool IsEnabled(ViewCommand command) const;
    // Sets every command action's enabled state from its rule.
    void UpdateCommandUI();
    // Runs a command if its rule allows it now; false when it was refused.
    bool RunCommand(ViewCommand command);

    // ---- The quote commands: dialog, command function, edit log, reload -----------------------
    void OnEditQuote();
    void OnSplitQuotes();
    void OnAdjustQuotes();
    void OnDeleteQuote();
    void OnAddQuote();

    // ---- The symbol commands, the series facts, the split search and the export ---------------
    void OnEditSymbol();
    void OnDeleteSymbol();
    void OnTransferSymbol(editing::TransferMode mode);
    void OnMoveSymbol() { OnTransferSymbol(editing::TransferMode::Move); }
    void OnCopySymbol() { OnTransferSymbol(editing::TransferMode::Copy); }
    void OnSeriesFacts();
    // Opens the modeless split-search window (the main frame's child); the command stays disabled
    // until the window closes.
    void OnSplitSearch();
    void OnExport();
    void OnNewPortfolio();
    void OnNewSymbol();
    void OnImportQuotes();

    // ---- The data check and the chart (check_handlers.cpp) ------------------------------------
    // Portfolio > Check Data...: the modeless results window for the portfolio on screen.
    void OnCheckData();
    // View > Chart: the chart window of the series on screen (raised when it is open already).
    void OnChart();
    // Opens the portfolio at `dir` (from the portfolio list when it is there), selects the security
    // `symbol` and its quote `bar` (0 the oldest; found by `date` when the file has changed since).
    // False when the portfolio or the security is not there.
    bool ShowFinding(const std::filesystem::path& dir, const std::string& symbol, int bar, DayNumber date);
    // Selects quote row `row` (0 the newest) and scrolls it into view.
    void SelectQuoteRow(int row);
    CCheckDataDlg* CheckDataWindow() const { return checkData_; }
    CChartWnd* ChartWindow() const { return chart_; }

    // ---- The form's controls ----------------------------------------------------------------
    QWidget* Form() const { return form_; }
    QComboBox* DriveChooser() const { return driveChooser_; }
    QListWidget* PortfolioList() const { return portfolioList_; }
    QTableView* SymbolList() const { return symbolList_; }
    QTableView* QuoteList() const { return quoteList_; }
    const SymbolListModel& Symbols() const { return *symbols_; }
    const QuoteListModel& Quotes() const { return *quotes_; }
    const std::string& StartDirectory() const { return browse_.start_directory(); }

    // ---- FrameView --------------------------------------------------------------------------
    QWidget* Widget() override { return this; }
    StatusCounts Counts() const override;
    std::vector<int> SymbolHeaderWidths() const override;
    std::vector<int> QuoteHeaderWidths() const override;
    void AttachCommands(CMainFrame& frame) override;

signals:
    // The start-up work is done: the start volume was searched and its first portfolio opened.
    void startupFinished();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildForm();
    void OnSymbolSelectionChanged();
    void OnQuoteSelectionChanged();
    void SetCaption(const std::string& caption);
    // "Security SYMBOL in DIR": what a failure on the series on screen concerns.
    std::string SeriesOnScreenText() const;
    // A command's result shown, and its edit log written after a success.
    void Report(const CommandResult& result);
    // After a quote command's dialog (nothing when it was cancelled): its messages (a failure explained);
    // on success the edit log and the quote list reloaded. False unless the command succeeded.
    bool FinishQuoteCommand(const std::optional<CommandResult>& ran, int rowToSelect);
    // The selected symbol row's column-0 text; empty when the list has no such row.
    std::string SelectedRowSymbol() const;
    void StateChanged();
    // The chart follows the quote list: its series after every fill, its mark after every selection.
    void ChartFollowQuotes();
    void ChartFollowSelection();

    CSettingsStore& settings_;
    CMainFrame* frame_;
    ViewState state_;
    BrowseSession browse_;
    editing::SeriesSession series_;     // the series on screen
    std::uint64_t quotesShownFrom_ = 0; // the reading of the session the quote list shows

    bool startupDone_ = false;
    QTimer startupTimer_;
    QTimer symbolLoadTimer_; // a keyboard move's load, once the keys settle
    DriveLister driveLister_;
    ScanObserver scanObserver_;
    bool splitSearchOpen_ = false;

    BrowserForm* form_ = nullptr;
    VolumeChooser* driveChooser_ = nullptr;
    QListWidget* portfolioList_ = nullptr;
    GridList* symbolList_ = nullptr;
    GridList* quoteList_ = nullptr;
    SymbolListModel* symbols_ = nullptr;
    QuoteListModel* quotes_ = nullptr;
    std::map<ViewCommand, QAction*> actions_;
    QPointer<CCheckDataDlg> checkData_;
    QPointer<CChartWnd> chart_;
};

// The document template's view: makes the one CQuorbitView of a main frame.
FrameView* MakeQuorbitView(CSettingsStore& settings, CMainFrame& frame);
