// CQuorbitView: the form of the main window. It owns the browsing state: the portfolio list, the symbols
// of the chosen portfolio, the quotes of the chosen symbol, the selected rows and the dates of the
// series on screen. It fills the lists from disk through the browser's plain functions, keeps every
// command's enabled state true to its rule, and asks the user (through the prompts seam) only what the
// rules ask.
#pragma once

#include "analysis/ui/check_data_dlg.h"
#include "browser/discovery_rules.h"
#include "browser/ui/chart_wnd.h"
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
#include <string>
#include <vector>

class CMainFrame;
struct CommandResult;
struct SymbolListing;
class QAbstractItemModel;
class CSettingsStore;
class QComboBox;
class QDialog;
class QListWidget;
class QTableView;
class QuoteListModel;
class ScanProgressDialog;
class SymbolListModel;

class CQuorbitView : public QScrollArea, public FrameView {
    Q_OBJECT
public:
    enum ResetLevel { ResetDrive = 1, ResetPortfolios = 2, ResetSymbols = 3, ResetQuotes = 4 };
    enum class RepairOutcome { Repaired, Declined, Failed };

    CQuorbitView(CSettingsStore& settings, CMainFrame* frame, QWidget* parent = nullptr);
    ~CQuorbitView() override;

    const ViewState& State() const { return state_; }
    bool PortfoliosFound() const { return portfoliosFound_; }
    bool MasterSelected() const { return masterSelected_; }
    bool AutoRepairMasters() const { return autoRepairMasters_; }
    void SetSplitSearchOpen(bool open);

    // ---- Browsing ---------------------------------------------------------------------------
    void ResetView(int level);
    // Accepts an existing file whose name is MASTER in any letter case, in a path of at most 298
    // characters; a refused path changes nothing.
    bool SelectMaster(const std::string& path);
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
    // Asks before repairing, unless "Search"/"MasterFix" says to repair at once.
    RepairOutcome RepairMaster();
    // Offers, as the MASTER repair, to rebuild an EMASTER out of step with MASTER; a decline changes nothing.
    void OfferEmasterRebuild();
    // The first quote row, from row 0, dated `date`; -1 when there is none.
    int FindQuoteRow(DayNumber date) const;

    // ---- Finding portfolios -----------------------------------------------------------------
    // The mounted volumes the drive chooser offers; tests may give their own.
    using DriveLister = std::function<std::vector<std::string>()>;
    void SetDriveLister(DriveLister lister) { driveLister_ = std::move(lister); }
    // Called with the progress window and the number found at every step of a walk, before the window
    // takes the step's texts: lets a test press Cancel at a chosen point.
    using ScanObserver = std::function<void(ScanProgressDialog&, int found)>;
    void SetScanObserver(ScanObserver observer) { scanObserver_ = std::move(observer); }
    // Fills the drive chooser, selects the saved volume (or the current directory's, or the first)
    // and searches it.
    void ChooseStartDrive();
    // The chooser's selection changed: another volume is searched.
    void OnDriveChange();
    // Searches the current volume, lists the portfolios found and opens the first.
    void ScanDrive();
    void OnReScan() { ScanDrive(); }
    // Portfolio > Search Filter...: the dialog, then ApplySearchFilter.
    void OnSearchFilter();
    // Takes the dialog's values, saves them and searches again when the change asks for it.
    void ApplySearchFilter(const SearchFilterSettings& values);
    SearchFilterSettings SearchFilter() const { return {limitToFilter_, filterPath_, autoRepairMasters_}; }
    const std::string& CurrentDrive() const { return currentDrive_; }
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
    void OnSeriesFacts();
    // Opens the modeless split-search window (the main frame's child); the command stays disabled
    // until the window closes.
    void OnSplitSearch();
    void OnExport();

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
    const std::string& StartDirectory() const { return startDirectory_; }

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
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildForm();
    // Places the groups and lists: the layout in dialog units, grown by the room beyond it.
    void LayOutForm();
    QTableView* MakeList(int id, QAbstractItemModel* model);
    void OnSymbolSelectionChanged();
    // The symbol-list row the selection highlights; -1 when none is.
    int HighlightedSymbolRow() const;
    void OnQuoteSelectionChanged();
    void SelectRow(QTableView* list, int row, bool focus);
    void SetCaption(const std::string& caption);
    bool QuoteRowShown(int row) const;
    QString QuoteCellText(int row, int column) const;
    // Runs a command's dialog with the series it changes or exports named in its caption.
    int RunSeriesDialog(QDialog& dialog, const std::string& symbol);
    // "Security SYMBOL in DIR": what a failure on the series on screen concerns.
    std::string SeriesOnScreenText() const;
    // After a command's work: its messages (a failure explained); on success the edit log and the quote
    // list reloaded.
    bool FinishQuoteCommand(const CommandResult& result, int rowToSelect);
    // The selected symbol row's column-0 text; empty when the list has no such row.
    std::string SelectedRowSymbol() const;
    void StateChanged();
    bool SymbolFillSucceeded();
    void ShowSymbolRows(const SymbolListing& listing);
    bool RunDiscoveryCommand(ViewCommand command);
    void SelectDrive(const std::string& root);
    // The chart follows the quote list: its series after every fill, its mark after every selection.
    void ChartFollowQuotes();
    void ChartFollowSelection();

    CSettingsStore& settings_;
    CMainFrame* frame_;
    ViewState state_;
    editing::SeriesSession series_;     // the series on screen
    std::uint64_t quotesShownFrom_ = 0; // the reading of the session the quote list shows

    // Search settings and start-up, read at construction.
    bool autoRepairMasters_ = false;
    bool limitToFilter_ = true;
    std::string filterPath_;
    std::string filterPathUpper_;
    std::string startDirectory_;
    bool startupTimerArmed_ = false;
    bool startupDone_ = false;
    QTimer startupTimer_;
    QTimer symbolLoadTimer_; // a keyboard move's load, once the keys settle

    // Finding portfolios.
    DriveLister driveLister_;
    std::string currentDrive_ = "?";               // the volume's root path; "?" before the first choice
    ScanProgressDialog* progressDialog_ = nullptr; // only while a scan runs
    ScanObserver scanObserver_;
    int mastersFound_ = 0;

    bool portfoliosFound_ = false;
    bool masterSelected_ = false;
    bool splitSearchOpen_ = false;

    QWidget* form_ = nullptr;
    QWidget* portfolioGroup_ = nullptr;
    QWidget* symbolGroup_ = nullptr;
    QWidget* quoteGroup_ = nullptr;
    QComboBox* driveChooser_ = nullptr;
    QListWidget* portfolioList_ = nullptr;
    QTableView* symbolList_ = nullptr;
    QTableView* quoteList_ = nullptr;
    SymbolListModel* symbols_ = nullptr;
    QuoteListModel* quotes_ = nullptr;
    std::map<ViewCommand, QAction*> actions_;
    QPointer<CCheckDataDlg> checkData_;
    QPointer<CChartWnd> chart_;
};

// The document template's view: makes the one CQuorbitView of a main frame.
FrameView* MakeQuorbitView(CSettingsStore& settings, CMainFrame& frame);
