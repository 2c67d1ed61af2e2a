#include "window/quorbit_view.h"

#include "browser/ui/browser_form.h"
#include "browser/ui/quote_list_fill.h"
#include "browser/ui/quote_list_model.h"
#include "browser/ui/search_filter_dialog.h"
#include "browser/ui/symbol_list_fill.h"
#include "browser/ui/symbol_list_model.h"
#include "common/failure_text.h"
#include "shell/ui/main_frame.h"
#include "shell/ui/prompts.h"
#include "shell/ui/wait_cursor.h"
#include "shell/view_settings.h"
#include "storage/fileops.h"
#include "storage/portfolio_files.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QListWidget>

#include <algorithm>

namespace {

constexpr int kStartupTimerMs = 100;
// How long the keys must rest in the symbol list before the highlighted security's quotes are read.
constexpr int kSymbolSettleMs = 250;

BrowseSession StartSession(const CSettingsStore& settings) {
    const std::string start = QDir::currentPath().toStdString();
    const StoredSearchFilter filter = ReadSearchFilter(settings, start);
    return BrowseSession({filter.limit, filter.path, filter.repair}, start);
}

} // namespace

CQuorbitView::CQuorbitView(CSettingsStore& settings, CMainFrame* frame, QWidget* parent)
    : QScrollArea(parent), settings_(settings), frame_(frame), browse_(StartSession(settings)) {
    setObjectName("quorbitView");
    startupTimer_.setSingleShot(true);
    connect(&startupTimer_, &QTimer::timeout, this, &CQuorbitView::OnStartupTimer);
    symbolLoadTimer_.setSingleShot(true);
    symbolLoadTimer_.setInterval(kSymbolSettleMs);
    connect(&symbolLoadTimer_, &QTimer::timeout, this, &CQuorbitView::OnSymbolClick); // the keys have settled
    BuildForm();
}

CQuorbitView::~CQuorbitView() = default;

void CQuorbitView::BuildForm() {
    symbols_ = new SymbolListModel(this);
    quotes_ = new QuoteListModel(this);
    form_ = new BrowserForm(symbols_, quotes_);
    driveChooser_ = form_->driveChooser;
    portfolioList_ = form_->portfolioList;
    symbolList_ = form_->symbolList;
    quoteList_ = form_->quoteList;
    connect(driveChooser_, &QComboBox::currentIndexChanged, this, [this] { OnDriveChange(); });
    connect(portfolioList_, &QListWidget::currentRowChanged, this, [this] { OnPortfolioChange(); });
    connect(symbolList_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CQuorbitView::OnSymbolSelectionChanged);
    connect(quoteList_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CQuorbitView::OnQuoteSelectionChanged);
    // Any click in the symbol list loads the highlighted row; Enter loads it at once.
    symbolList_->SetChoosesRows(true);
    connect(symbolList_, &GridList::released, this, &CQuorbitView::OnSymbolClick);
    connect(symbolList_, &GridList::enterPressed, this, [this] {
        if (!LoadPendingSymbol() && symbolList_->HighlightedRow() != state_.selectedSymbolRow) {
            OnSymbolClick();
        }
    });
    setWidget(form_);
    setWidgetResizable(true); // the form follows the window, down to its minimum size
}

// ---- Start-up and columns ----------------------------------------------------------------------

void CQuorbitView::showEvent(QShowEvent* event) {
    QScrollArea::showEvent(event);
    // The start-up work waits until the window is on the screen, and is done once.
    if (!startupDone_ && !startupTimer_.isActive()) {
        startupTimer_.start(kStartupTimerMs);
    }
}

void CQuorbitView::OnStartupTimer() {
    startupTimer_.stop();
    if (startupDone_) {
        return;
    }
    startupDone_ = true;
    SetupColumns();
    ChooseStartDrive();
    emit startupFinished();
}

void CQuorbitView::SetupColumns() {
    form_->SetSavedColumnWidths(settings_);
}

std::vector<int> CQuorbitView::SymbolHeaderWidths() const {
    return symbolList_->ColumnWidths();
}

std::vector<int> CQuorbitView::QuoteHeaderWidths() const {
    return quoteList_->ColumnWidths();
}

// ---- Browsing ------------------------------------------------------------------------------------

void CQuorbitView::ResetView(int level) {
    if (level <= ResetDrive) {
        browse_.set_portfolios_found(false);
    }
    if (level <= ResetPortfolios) {
        const QSignalBlocker quiet(portfolioList_);
        portfolioList_->clear();
    }
    if (level <= ResetSymbols) {
        const WaitCursor wait;
        symbols_->Clear();
        state_.symbolCount = 0;
    }
    if (level <= ResetQuotes) {
        const WaitCursor wait;
        quotes_->Clear();
        state_.quoteCount = 0;
        if (level < ResetQuotes) { // a fill of the quotes shows the chart its series when it is done
            ChartFollowQuotes();
        }
    }
    StateChanged();
}

void CQuorbitView::ShowPortfolios(const std::vector<std::string>& directories) {
    ResetView(ResetPortfolios);
    {
        const QSignalBlocker quiet(portfolioList_);
        for (const std::string& directory : directories) {
            portfolioList_->addItem(QString::fromStdString(directory));
        }
    }
    browse_.set_portfolios_found(!directories.empty());
    if (browse_.portfolios_found()) {
        portfolioList_->setCurrentRow(0); // opens it
    }
    StateChanged();
}

void CQuorbitView::OnPortfolioChange() {
    const QListWidgetItem* entry = portfolioList_->currentItem();
    if (!browse_.portfolios_found() || entry == nullptr) {
        return;
    }
    browse_.select_master(portfolio_files::master(entry->text().toStdString()).string(), state_);
    FillSymbolsGrid(0);
}

void CQuorbitView::FillSymbolsGrid(int rowToSelect) {
    ResetView(ResetSymbols);
    const WaitCursor wait;
    // The open lists the directory and reads MASTER, EMASTER and XMASTER once: the symbol list, the
    // EMASTER comparison and the first security's quotes share what was read (checked against the files
    // at each use, and dropped for a file the repair rewrites).
    const fileops::OperationScope scope;
    const bool autoRepair = browse_.filter().repair;
    const SymbolListFilled filled =
        FillSymbolList(*symbols_, browse_.master_selected() ? state_.masterPath : std::filesystem::path(),
                       autoRepair, frame_, this);
    state_.symbolCount = filled.symbolCount;
    if (!filled.ok) {
        ResetView(ResetSymbols);
        // The caption names what is on screen: this portfolio, without symbols.
        return SetCaption(EmptyPortfolioCaption(state_.portfolioDir.string()));
    }
    OfferEmasterRebuild(state_.portfolioDir, autoRepair, this);
    state_.selectedSymbolRow = rowToSelect;
    symbolList_->SelectRow(rowToSelect, true);
    if (state_.symbolCount == 0) {
        SetCaption(EmptyPortfolioCaption(state_.portfolioDir.string()));
    }
    FillQuotesGrid(0);
}

void CQuorbitView::FillQuotesGrid(int rowToSelect, bool readAgain) {
    symbolLoadTimer_.stop();
    ResetView(ResetQuotes);
    if (symbols_->Rows() == 0) {
        series_.close();
        ChartFollowQuotes();
        return;
    }
    // The highlighted row is the series read; the highlight, the caption and the panes name it.
    if (const int highlighted = symbolList_->HighlightedRow(); highlighted >= 0) {
        state_.selectedSymbolRow = highlighted;
    }
    state_.selectedSymbolRow = std::clamp(state_.selectedSymbolRow, 0, symbols_->Rows() - 1);
    symbolList_->SelectRow(state_.selectedSymbolRow, false);
    const SymbolListModel::Row& symbol = symbols_->RowAt(state_.selectedSymbolRow);
    state_.currentSymbol = symbol.symbol;
    state_.currentName = symbol.name;
    SetCaption(ViewCaption(state_.portfolioDir.string(), symbol.symbol));

    QuoteListFill fill(*quotes_, *quoteList_, frame_);
    if (readAgain) {
        series_.open(state_.portfolioDir, state_.currentSymbol, &fill.Sink());
    } else if (series_.located()) {
        fill.Sink().begin(series_.quote_count(), series_.has_time());
        fill.Sink().window(series_.rows());
    }
    state_.quoteCount = fill.Count();
    quotesShownFrom_ = series_.reads();
    const QuoteValuesRead& read = series_.last_read();
    CommandResult readResult = read.result;
    explain_failure(readResult, SeriesOnScreenText());
    Prompts::Get().Present(this, readResult);
    if (fill.HeaderRead()) {
        state_.firstQuoteDate = read.first_date;
        state_.lastQuoteDate = read.last_date;
        state_.selectedQuoteRow = rowToSelect;
        if (state_.quoteCount != 0) {
            quoteList_->SelectRow(rowToSelect, false);
        }
    }
    fill.End();
    ChartFollowQuotes();
    StateChanged();
}

void CQuorbitView::OnSymbolClick() {
    const WaitCursor wait;
    FillQuotesGrid(0);
}

bool CQuorbitView::LoadPendingSymbol() {
    if (!symbolLoadTimer_.isActive()) {
        return false;
    }
    OnSymbolClick();
    return true;
}

void CQuorbitView::OnSymbolSelectionChanged() {
    // The state, the caption and the panes keep naming the series on screen until its load: a click
    // loads at once, a keyboard move once the keys have settled.
    const int row = symbolList_->HighlightedRow();
    if (row >= 0 && row != state_.selectedSymbolRow) {
        symbolLoadTimer_.start(); // again from the start at every move
    }
}

void CQuorbitView::OnQuoteSelectionChanged() {
    // No highlighted row (a click below the rows): the commands on the selected quote have none.
    state_.selectedQuoteRow = quoteList_->HighlightedRow();
    ChartFollowSelection();
    StateChanged();
}

void CQuorbitView::SetCaption(const std::string& caption) {
    window()->setWindowTitle(QString::fromLatin1(caption));
}

void CQuorbitView::StateChanged() {
    if (frame_ != nullptr) {
        frame_->UpdatePanes();
    }
    UpdateCommandUI();
}

// ---- Finding portfolios ---------------------------------------------------------------------------

std::vector<std::string> CQuorbitView::Drives() const {
    return driveChooser_->Drives();
}

void CQuorbitView::ChooseStartDrive() {
    const std::vector<std::string> drives = driveLister_ ? driveLister_() : MountedDrives();
    driveChooser_->SetDrives(drives);
    const int index = StartVolumeIndex(drives, ReadSearchDrive(settings_), QDir::currentPath().toStdString());
    if (index < 0) {
        return;
    }
    driveChooser_->Select(drives[static_cast<std::size_t>(index)]);
    SearchVolume(drives[static_cast<std::size_t>(index)]);
}

void CQuorbitView::OnDriveChange() {
    if (const std::string chosen = driveChooser_->Chosen(); !chosen.empty()) {
        SearchVolume(chosen);
    }
}

void CQuorbitView::SearchVolume(const std::string& root) {
    if (browse_.choose_drive(root)) { // a new volume: remembered and searched
        WriteSearchDrive(settings_, browse_.drive());
        ResetView(ResetDrive);
        ScanDrive();
    }
}

void CQuorbitView::ScanDrive() {
    if (!browse_.drive_chosen()) {
        return;
    }
    ResetView(ResetPortfolios);
    const SearchFilterSettings& filter = browse_.filter();
    const ScanOutcome scan =
        ScanForPortfolios(window(), browse_.drive(), filter.limit, browse_.filter_upper(), scanObserver_);
    if (!scan.finished) { // cancelled: what was found so far, and a word that the list may be short
        Prompts::Get().Information(this, QString::fromStdString(CancelledScanMessage(
                                             browse_.drive(), static_cast<int>(scan.found.size()))));
    } else if (scan.found.empty()) {
        browse_.set_portfolios_found(false);
        Prompts::Get().Information(
            this, QString::fromStdString(NoPortfoliosMessage(browse_.drive(), browse_.searched_folder())));
        return StateChanged();
    }
    ShowPortfolios(scan.found);
}

void CQuorbitView::OnSearchFilter() {
    SearchFilterDialog dialog(SearchFilter(), Drives(), window());
    if (Prompts::Get().RunDialog(dialog) == QDialog::Accepted) {
        ApplySearchFilter(dialog.Values());
    }
}

void CQuorbitView::ApplySearchFilter(const SearchFilterSettings& values) {
    const bool scanDue = browse_.set_filter(values);
    WriteSearchFilter(settings_, {values.limit, values.path, values.repair});
    if (!scanDue) {
        return;
    }
    // The filter's volume; a path on no listed volume (accepted with the limit off) keeps the current one.
    const std::string volume = VolumeOf(values.path, Drives());
    if (!volume.empty()) {
        driveChooser_->Select(volume);
    }
    browse_.forget_drive(); // so that the change is always seen
    OnDriveChange();
}

// ---- Commands ------------------------------------------------------------------------------------

void CQuorbitView::SetSplitSearchOpen(bool open) {
    splitSearchOpen_ = open;
    UpdateCommandUI();
}

CommandContext CQuorbitView::Context() const {
    return {browse_.portfolios_found(), splitSearchOpen_, !checkData_.isNull(),    portfolioList_->count(),
            symbols_->Rows(),           quotes_->Rows(),  state_.selectedQuoteRow, state_.symbolCount};
}

bool CQuorbitView::IsEnabled(ViewCommand command) const {
    return CommandEnabled(command, Context());
}

void CQuorbitView::UpdateCommandUI() {
    const CommandContext context = Context();
    for (const auto& [command, action] : actions_) {
        action->setEnabled(CommandEnabled(command, context));
    }
}

bool CQuorbitView::RunCommand(ViewCommand command) {
    using VC = ViewCommand;
    static const std::map<ViewCommand, void (CQuorbitView::*)()> handlers = {
        {VC::SearchFilter, &CQuorbitView::OnSearchFilter}, {VC::ReScan, &CQuorbitView::OnReScan},
        {VC::EditQuote, &CQuorbitView::OnEditQuote},       {VC::SplitQuotes, &CQuorbitView::OnSplitQuotes},
        {VC::AdjustQuotes, &CQuorbitView::OnAdjustQuotes}, {VC::DeleteQuote, &CQuorbitView::OnDeleteQuote},
        {VC::AddQuote, &CQuorbitView::OnAddQuote},         {VC::EditSymbol, &CQuorbitView::OnEditSymbol},
        {VC::DeleteSymbol, &CQuorbitView::OnDeleteSymbol}, {VC::MoveSymbol, &CQuorbitView::OnMoveSymbol},
        {VC::CopySymbol, &CQuorbitView::OnCopySymbol},     {VC::SeriesFacts, &CQuorbitView::OnSeriesFacts},
        {VC::SplitSearch, &CQuorbitView::OnSplitSearch},   {VC::ExportQuotes, &CQuorbitView::OnExport},
        {VC::CheckData, &CQuorbitView::OnCheckData},       {VC::Chart, &CQuorbitView::OnChart},
        {VC::NewPortfolio, &CQuorbitView::OnNewPortfolio}, {VC::NewSymbol, &CQuorbitView::OnNewSymbol},
        {VC::ImportQuotes, &CQuorbitView::OnImportQuotes}};
    // A keyboard move's load finishes first, so that no command acts on the series it leaves.
    LoadPendingSymbol();
    if (!IsEnabled(command)) {
        return false;
    }
    const int row = state_.selectedQuoteRow;
    if (CommandAddressesSelectedQuote(command) && row >= 0 && row < quotes_->Rows() &&
        quotes_->RowAt(row).date == 0) {
        Prompts::Get().Stop(this, QString::fromLatin1(kUndatedQuoteMessage));
        return false;
    }
    if (const auto handler = handlers.find(command); handler != handlers.end()) {
        (this->*handler->second)();
    }
    return true;
}

void CQuorbitView::AttachCommands(CMainFrame& frame) {
    for (ViewCommand command : kViewCommands) {
        if (QAction* action = frame.Action(static_cast<int>(command)); action != nullptr) {
            actions_[command] = action;
            connect(action, &QAction::triggered, this, [this, command] { RunCommand(command); });
        }
    }
    UpdateCommandUI();
}

StatusCounts CQuorbitView::Counts() const {
    // The panes count the rows the symbol list shows (a nested portfolio's record is none of them).
    return {state_.selectedSymbolRow, symbols_->Rows(), state_.selectedQuoteRow, state_.quoteCount};
}

FrameView* MakeQuorbitView(CSettingsStore& settings, CMainFrame& frame) {
    return new CQuorbitView(settings, &frame);
}
