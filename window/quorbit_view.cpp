#include "window/quorbit_view.h"

#include "browser/master_walk.h"
#include "browser/ui/grid_delegate.h"
#include "browser/ui/quote_list_model.h"
#include "browser/ui/scan_progress_dialog.h"
#include "browser/ui/search_filter_dialog.h"
#include "browser/ui/symbol_list_model.h"
#include "common/failure_text.h"
#include "common/quote_values.h"
#include "common/repair.h"
#include "common/symbol_list.h"
#include "shell/settings_store.h"
#include "shell/ui/dialog_units.h"
#include "shell/ui/main_frame.h"
#include "shell/ui/prompts.h"
#include "shell/ui/wait_cursor.h"
#include "storage/fileops.h"
#include "storage/portfolio_files.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QStorageInfo>
#include <QTableView>

#include <algorithm>
#include <filesystem>

namespace {

constexpr int kStartupTimerMs = 100;
// How long the keys must rest in the symbol list before the highlighted security's quotes are read.
constexpr int kSymbolSettleMs = 250;
constexpr std::size_t kMaxMasterPath = 298;
constexpr int kProgressStep = 10;
// A long list moves the progress bar at most this many times: every move repaints the bar at once.
constexpr int kProgressMoves = 20;
constexpr int kEarlyPaintRows = 30;
constexpr int kSymbolListId = 1037;
constexpr int kQuoteListId = 1038;
constexpr const char* kFillSymbolsFailure = "Failure while filling symbols grid";

std::vector<int> HeaderWidths(const QTableView* list, int columns) {
    std::vector<int> widths;
    for (int i = 0; i < columns; ++i) {
        widths.push_back(list->horizontalHeader()->sectionSize(i));
    }
    return widths;
}

int ClientWidth(const QTableView* list) {
    return list->width() - 2 * list->frameWidth();
}

// Sizes a list's columns from the widths saved under `section` ("col0", "col1", ...), a missing one
// taking `defaultWidth`, as `widthsFor` fits them to the list's client width.
template <typename Widths, typename Rule>
void ApplyColumnWidths(QTableView* list, const CSettingsStore& settings, const char* section,
                       int defaultWidth, Rule widthsFor) {
    Widths saved{};
    for (std::size_t i = 0; i < saved.size(); ++i)
        saved[i] = settings.GetInt(section, "col" + std::to_string(i), defaultWidth);
    const Widths widths = widthsFor(ClientWidth(list), saved);
    for (std::size_t i = 0; i < widths.size(); ++i)
        list->horizontalHeader()->resizeSection(static_cast<int>(i), widths[i]);
}

// The mounted volumes as the platform reports them, reduced to the chooser's entries.
std::vector<std::string> MountedDrives() {
    std::vector<MountedVolume> mounted;
    for (const QStorageInfo& storage : QStorageInfo::mountedVolumes()) {
        const QString root = storage.rootPath();
        mounted.push_back({QFile::encodeName(QDir::toNativeSeparators(root)).toStdString(),
                           storage.fileSystemType().toStdString(), storage.isValid() && storage.isReady(),
                           QFileInfo(root).isDir()});
    }
    std::vector<std::string> drives = DriveList(mounted);
    if (drives.empty()) {
        drives.push_back(QFile::encodeName(QDir::toNativeSeparators(QDir::rootPath())).toStdString());
    }
    return drives;
}

} // namespace

CQuorbitView::CQuorbitView(CSettingsStore& settings, CMainFrame* frame, QWidget* parent)
    : QScrollArea(parent), settings_(settings), frame_(frame) {
    setObjectName("quorbitView");
    autoRepairMasters_ = settings_.GetInt("Search", "MasterFix", 0) != 0;
    limitToFilter_ = settings_.GetInt("Search", "Limit", 1) != 0;
    startDirectory_ = QDir::currentPath().toStdString();
    filterPath_ = settings_.GetString("Search", "Name", startDirectory_);
    filterPathUpper_ = portfolio_files::to_upper(filterPath_);

    startupTimer_.setSingleShot(true);
    connect(&startupTimer_, &QTimer::timeout, this, &CQuorbitView::OnStartupTimer);
    symbolLoadTimer_.setSingleShot(true);
    symbolLoadTimer_.setInterval(kSymbolSettleMs);
    connect(&symbolLoadTimer_, &QTimer::timeout, this, &CQuorbitView::OnSymbolClick); // the keys have settled
    BuildForm();
}

CQuorbitView::~CQuorbitView() = default;

void CQuorbitView::BuildForm() {
    form_ = new QWidget;
    form_->setObjectName("form");
    const DialogUnits units(form_->font());
    // The layout in dialog units is the form's minimum; beyond it the three lists take the room.
    form_->setMinimumSize(units.Rect(0, 0, 405, 381).size());

    auto group = [&](const char* title) { return new QGroupBox(QString::fromLatin1(title), form_); };
    portfolioGroup_ = group("Portfolios");
    symbolGroup_ = group("Symbols");
    quoteGroup_ = group("Quotes");

    driveChooser_ = new QComboBox(form_);
    driveChooser_->setObjectName("driveChooser");
    driveChooser_->setEditable(false);
    const QRect chooser = units.Rect(10, 20, 96, 79);
    driveChooser_->setGeometry(chooser.x(), chooser.y(), chooser.width(), driveChooser_->sizeHint().height());

    connect(driveChooser_, &QComboBox::currentIndexChanged, this, [this] { OnDriveChange(); });

    portfolioList_ = new QListWidget(form_);
    portfolioList_->setObjectName("portfolioList");
    connect(portfolioList_, &QListWidget::currentRowChanged, this, [this] { OnPortfolioChange(); });

    symbols_ = new SymbolListModel(this);
    quotes_ = new QuoteListModel(this);
    symbolList_ = MakeList(kSymbolListId, symbols_);
    symbolList_->setObjectName("symbolList");
    quoteList_ = MakeList(kQuoteListId, quotes_);
    // The time of day stands right after the date, shown only for a series that has one.
    quoteList_->horizontalHeader()->moveSection(QuoteListModel::kTimeColumn, 1);
    quoteList_->setColumnHidden(QuoteListModel::kTimeColumn, true);
    quoteList_->setObjectName("quoteList");
    form_->installEventFilter(this);
    LayOutForm();

    connect(symbolList_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CQuorbitView::OnSymbolSelectionChanged);
    connect(quoteList_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CQuorbitView::OnQuoteSelectionChanged);
    symbolList_->viewport()->installEventFilter(this);
    symbolList_->installEventFilter(this);
    quoteList_->installEventFilter(this);
    quoteList_->viewport()->installEventFilter(this);

    setWidget(form_);
    setWidgetResizable(true); // the form follows the window, down to its minimum size
}

void CQuorbitView::LayOutForm() {
    const DialogUnits units(form_->font());
    const QSize minimum = form_->minimumSize();
    // The room beyond the minimum: half the width to each list of the upper row; a quarter of the height
    // to the upper row and three quarters to the quote list.
    const int wide = std::max(0, form_->width() - minimum.width());
    const int high = std::max(0, form_->height() - minimum.height());
    const int left = wide / 2, right = wide - left, upper = high / 4, lower = high - upper;
    auto grown = [&](QRect rect, int dx, int dw, int dy, int dh) {
        return rect.adjusted(dx, dy, dx + dw, dy + dh);
    };
    portfolioGroup_->setGeometry(grown(units.Rect(5, 5, 200, 110), 0, left, 0, upper));
    symbolGroup_->setGeometry(grown(units.Rect(220, 5, 180, 110), left, right, 0, upper));
    quoteGroup_->setGeometry(grown(units.Rect(5, 120, 395, 255), 0, wide, upper, lower));
    portfolioList_->setGeometry(grown(units.Rect(5, 40, 200, 74), 0, left, 0, upper));
    symbolList_->setGeometry(grown(units.Rect(220, 15, 180, 100), left, right, 0, upper));
    quoteList_->setGeometry(grown(units.Rect(5, 135, 395, 240), 0, wide, upper, lower));
}

QTableView* CQuorbitView::MakeList(int id, QAbstractItemModel* model) {
    auto* list = new QTableView(form_);
    list->setProperty("controlId", id);
    list->setModel(model);
    list->setItemDelegate(new GridDelegate(list));
    // The focus frame runs along the whole row: both rows are drawn again when it moves, not the one cell.
    connect(list->selectionModel(), &QItemSelectionModel::currentRowChanged, list->viewport(),
            qOverload<>(&QWidget::update));
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setShowGrid(false);
    list->setWordWrap(false);
    list->setTabKeyNavigation(false);
    list->setCornerButtonEnabled(false);
    QHeaderView* rows = list->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(list->fontMetrics().height() + 3);
    QHeaderView* columns = list->horizontalHeader();
    columns->setSectionsClickable(false);
    columns->setHighlightSections(false);
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setStretchLastSection(false);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return list;
}

// ---- Start-up and columns ----------------------------------------------------------------------

void CQuorbitView::showEvent(QShowEvent* event) {
    QScrollArea::showEvent(event);
    // The start-up work waits until the window is on the screen.
    if (!startupTimerArmed_) {
        startupTimerArmed_ = true;
        startupTimer_.start(kStartupTimerMs);
    }
}

void CQuorbitView::OnStartupTimer() {
    startupTimer_.stop();
    startupTimerArmed_ = true;
    if (startupDone_) {
        return;
    }
    startupDone_ = true;
    SetupColumns();
    ChooseStartDrive();
    emit startupFinished();
}

void CQuorbitView::SetupColumns() {
    ApplyColumnWidths<SymbolColumnWidths>(symbolList_, settings_, "SymbolGrid",
                                          DefaultSymbolColumnWidth(ClientWidth(symbolList_)),
                                          SymbolColumnWidthsFor);
    ApplyColumnWidths<QuoteColumnWidths>(quoteList_, settings_, "QuoteGrid",
                                         DefaultQuoteColumnWidth(ClientWidth(quoteList_)),
                                         QuoteColumnWidthsFor);
    // The time column, not among the saved widths, is as wide as its texts (and its title) need, and no
    // wider: the seven saved columns leave little room beside them.
    const QFontMetrics metrics = quoteList_->fontMetrics();
    const int timeWidth = std::max(metrics.horizontalAdvance(QStringLiteral("00:00:00")),
                                   metrics.horizontalAdvance(QStringLiteral("Time")));
    quoteList_->horizontalHeader()->resizeSection(QuoteListModel::kTimeColumn,
                                                  timeWidth + metrics.horizontalAdvance(QLatin1Char('0')) +
                                                      2 * GridDelegate::kPadding);
}

std::vector<int> CQuorbitView::SymbolHeaderWidths() const {
    return HeaderWidths(symbolList_, kSymbolColumns);
}

std::vector<int> CQuorbitView::QuoteHeaderWidths() const {
    return HeaderWidths(quoteList_, kQuoteColumns);
}

// ---- Browsing ------------------------------------------------------------------------------------

void CQuorbitView::ResetView(int level) {
    if (level <= ResetDrive) {
        portfoliosFound_ = false;
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

bool CQuorbitView::SelectMaster(const std::string& path) {
    const std::filesystem::path master(path);
    if (path.size() > kMaxMasterPath ||
        !portfolio_files::equals_ignoring_case(master.filename().string(), "MASTER")) {
        return false;
    }
    if (!fileops::stat(master).exists) {
        return false;
    }
    state_.masterPath = path;
    state_.portfolioDir = master.parent_path();
    masterSelected_ = true;
    return true;
}

void CQuorbitView::ShowPortfolios(const std::vector<std::string>& directories) {
    ResetView(ResetPortfolios);
    {
        const QSignalBlocker quiet(portfolioList_);
        for (const std::string& directory : directories) {
            portfolioList_->addItem(QString::fromStdString(directory));
        }
    }
    portfoliosFound_ = !directories.empty();
    if (portfoliosFound_) {
        portfolioList_->setCurrentRow(0); // opens it
    }
    StateChanged();
}

void CQuorbitView::OnPortfolioChange() {
    const QListWidgetItem* entry = portfolioList_->currentItem();
    if (!portfoliosFound_ || entry == nullptr) {
        return;
    }
    SelectMaster(portfolio_files::master(entry->text().toStdString()).string());
    FillSymbolsGrid(0);
}

CQuorbitView::RepairOutcome CQuorbitView::RepairMaster() {
    if (!autoRepairMasters_ &&
        !Prompts::Get().AskYesNo(this, QString::fromStdString(repair_question_text(state_.masterPath)))) {
        return RepairOutcome::Declined;
    }
    std::string emasterNote;
    const bool repaired = ::RepairMaster(state_.masterPath, &emasterNote) == 1;
    if (!emasterNote.empty()) {
        Prompts::Get().Present(this, CommandResult{true, 0, {{MessageKind::Warning, emasterNote}}, {}});
    }
    return repaired ? RepairOutcome::Repaired : RepairOutcome::Failed;
}

void CQuorbitView::OfferEmasterRebuild() {
    const std::filesystem::path dir = state_.portfolioDir;
    if (emaster_disagreement(dir).empty() ||
        (!autoRepairMasters_ &&
         !Prompts::Get().AskYesNo(this, QString::fromStdString(rebuild_question_text(dir))))) {
        return;
    }
    CommandResult rebuilt = CommandResult::success();
    heal_before_change(dir, rebuilt);
    Prompts::Get().Present(this, rebuilt);
}

void CQuorbitView::FillSymbolsGrid(int rowToSelect) {
    ResetView(ResetSymbols);
    const WaitCursor wait;
    // The open lists the directory and reads MASTER, EMASTER and XMASTER once: the symbol list, the
    // EMASTER comparison and the first security's quotes share what was read (checked against the files
    // at each use, and dropped for a file the repair rewrites).
    const fileops::OperationScope scope;
    // A failed read brings its own message (after the count cut to 255, when there was one).
    CommandResult failure = CommandResult::failure(kFillSymbolsFailure);
    bool failed = !masterSelected_;
    SymbolListing listing;
    if (!failed) {
        listing = symbol_list_read(state_.masterPath);
        failed = !listing.result.ok;
        failure = listing.result;
        explain_failure(failure,
                        listing.problem.empty() ? "File: " + state_.masterPath.string() : listing.problem);
        if (frame_ != nullptr) { // said once, while the portfolio is open
            frame_->SetNotice(QString::fromStdString(
                xmaster_notice(state_.portfolioDir, failed ? std::string() : listing.xmaster_unusable)));
        }
        if (!failed) {
            Prompts::Get().Present(this, listing.result);
        }
    }
    if (!failed) {
        ShowSymbolRows(listing);
        // Declined, the rows still show the names as symbols and the portfolio can be browsed: each
        // such row finds its series by its name.
        const RepairOutcome repair = listing.needs_repair ? RepairMaster() : RepairOutcome::Declined;
        failed = repair == RepairOutcome::Failed;
        failure = CommandResult::failure(kFillSymbolsFailure);
        // Repaired, the rows show the file as it now is: the symbols as the records now read.
        if (repair == RepairOutcome::Repaired) {
            listing = symbol_list_read(state_.masterPath);
            failed = !listing.result.ok;
            if (!failed) {
                ShowSymbolRows(listing);
            }
        }
        if (!failed) {
            OfferEmasterRebuild();
        }
    }
    if (failed) {
        ResetView(ResetSymbols);
        Prompts::Get().Present(this, failure);
        state_.symbolCount = 0;
        // The caption names what is on screen: this portfolio, without symbols.
        SetCaption(EmptyPortfolioCaption(state_.portfolioDir.string()));
        StateChanged();
        return;
    }
    state_.selectedSymbolRow = rowToSelect;
    SelectRow(symbolList_, rowToSelect, true);
    if (state_.symbolCount == 0) {
        SetCaption(EmptyPortfolioCaption(state_.portfolioDir.string()));
    }
    FillQuotesGrid(0);
}

void CQuorbitView::ShowSymbolRows(const SymbolListing& listing) {
    state_.symbolCount = listing.symbol_count;
    std::vector<SymbolListModel::Row> rows;
    rows.reserve(listing.rows.size());
    for (const SymbolRow& row : listing.rows) {
        // A record without a symbol shows its name as stored, trailing blanks included; the key drops
        // them.
        rows.push_back({std::string(row.damaged ? row.name() : row.symbol()), std::string(row.name())});
    }
    symbols_->SetRows(std::move(rows));
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
    if (const int highlighted = HighlightedSymbolRow(); highlighted >= 0) {
        state_.selectedSymbolRow = highlighted;
    }
    state_.selectedSymbolRow = std::clamp(state_.selectedSymbolRow, 0, symbols_->Rows() - 1);
    SelectRow(symbolList_, state_.selectedSymbolRow, false);
    const SymbolListModel::Row& symbol = symbols_->RowAt(state_.selectedSymbolRow);
    state_.currentSymbol = symbol.symbol;
    state_.currentName = symbol.name;
    SetCaption(ViewCaption(state_.portfolioDir.string(), symbol.symbol));

    bool headerRead = false;
    int shown = 0;
    bool painted = false;
    QuoteReadSink sink;
    sink.begin = [&](std::int32_t count, bool hasTime) {
        headerRead = true;
        quoteList_->setColumnHidden(QuoteListModel::kTimeColumn, !hasTime);
        state_.quoteCount = count;
        quotes_->Reserve(count);
        if (frame_ != nullptr) {
            frame_->BeginProgress(count - 1);
        }
    };
    int progressShown = 0;
    sink.window = [&](std::span<const QuoteRowValues> rows) {
        quotes_->Append(rows);
        shown += static_cast<int>(rows.size());
        if (frame_ != nullptr && shown - progressShown >= state_.quoteCount / kProgressMoves) {
            progressShown = shown;
            frame_->SetProgress(shown / kProgressStep * kProgressStep);
        }
        // Once per fill, the first rows are shown at once while the rest are read.
        if (!painted && shown >= kEarlyPaintRows) {
            painted = true;
            quoteList_->viewport()->repaint();
        }
    };
    if (readAgain) {
        series_.open(state_.portfolioDir, state_.currentSymbol, &sink);
    } else if (series_.located()) {
        sink.begin(series_.quote_count(), series_.has_time());
        sink.window(series_.rows());
    }
    quotesShownFrom_ = series_.reads();
    const QuoteValuesRead& read = series_.last_read();
    CommandResult readResult = read.result;
    explain_failure(readResult, SeriesOnScreenText());
    Prompts::Get().Present(this, readResult);
    if (headerRead) {
        state_.firstQuoteDate = read.first_date;
        state_.lastQuoteDate = read.last_date;
        state_.selectedQuoteRow = rowToSelect;
        if (state_.quoteCount != 0) {
            SelectRow(quoteList_, rowToSelect, false);
        }
    }
    if (frame_ != nullptr) {
        frame_->EndProgress();
    }
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

int CQuorbitView::HighlightedSymbolRow() const {
    const QModelIndexList rows = symbolList_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

int CQuorbitView::FindQuoteRow(DayNumber date) const {
    return quotes_->FindDateRow(date);
}

void CQuorbitView::SelectRow(QTableView* list, int row, bool focus) {
    QAbstractItemModel* model = list->model();
    if (row < 0 || row >= model->rowCount()) {
        return;
    }
    const QModelIndex index = model->index(row, 0);
    QItemSelectionModel* selection = list->selectionModel();
    selection->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    // Without the focus state the keyboard still moves on from the selected row.
    selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    if (focus) {
        list->scrollTo(index);
    }
}

void CQuorbitView::OnSymbolSelectionChanged() {
    // The state, the caption and the panes keep naming the series on screen until its load: a click
    // loads at once, a keyboard move once the keys have settled.
    const int row = HighlightedSymbolRow();
    if (row >= 0 && row != state_.selectedSymbolRow) {
        symbolLoadTimer_.start(); // again from the start at every move
    }
}

void CQuorbitView::OnQuoteSelectionChanged() {
    const QModelIndexList rows = quoteList_->selectionModel()->selectedRows();
    // No highlighted row (a click below the rows): the commands on the selected quote have none.
    state_.selectedQuoteRow = rows.isEmpty() ? -1 : rows.front().row();
    ChartFollowSelection();
    StateChanged();
}

bool CQuorbitView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == form_ && event->type() == QEvent::Resize) {
        LayOutForm();
    }
    // The saved columns of a list keep their share of it as the window grows or narrows.
    if ((watched == symbolList_ || watched == quoteList_) && event->type() == QEvent::Resize &&
        startupDone_) {
        const auto* resize = static_cast<QResizeEvent*>(event);
        auto* list = static_cast<QTableView*>(watched);
        const int columns = list == symbolList_ ? kSymbolColumns : kQuoteColumns;
        const std::vector<int> widths =
            ScaledColumnWidths(HeaderWidths(list, columns), resize->oldSize().width(), resize->size().width(),
                               list->horizontalHeader()->minimumSectionSize());
        for (int i = 0; i < columns; ++i) {
            list->horizontalHeader()->resizeSection(i, widths[static_cast<std::size_t>(i)]);
        }
    }
    const bool leftRelease = event->type() == QEvent::MouseButtonRelease &&
                             static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
    // A press below the symbol rows does nothing: the highlight stays on the series on screen.
    if (watched == symbolList_->viewport() &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) &&
        !symbolList_->indexAt(static_cast<QMouseEvent*>(event)->position().toPoint()).isValid()) {
        return true;
    }
    // Any click in the symbol list loads the highlighted row.
    if (watched == symbolList_->viewport() && leftRelease) {
        OnSymbolClick();
    }
    // Home and End go to the first and the last row of a list.
    if ((watched == symbolList_ || watched == quoteList_) && event->type() == QEvent::KeyPress) {
        const auto* keys = static_cast<QKeyEvent*>(event);
        auto* list = static_cast<QTableView*>(watched);
        const int rows = list->model()->rowCount();
        if ((keys->key() == Qt::Key_Home || keys->key() == Qt::Key_End) &&
            keys->modifiers() == Qt::NoModifier && rows > 0) {
            SelectRow(list, keys->key() == Qt::Key_Home ? 0 : rows - 1, true);
            return true;
        }
    }
    // Enter loads the highlighted symbol at once.
    if (watched == symbolList_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (!LoadPendingSymbol() && HighlightedSymbolRow() != state_.selectedSymbolRow) {
                OnSymbolClick();
            }
            return true;
        }
    }
    return QScrollArea::eventFilter(watched, event);
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
    std::vector<std::string> drives;
    for (int i = 0; i < driveChooser_->count(); ++i) {
        drives.push_back(driveChooser_->itemData(i).toString().toStdString());
    }
    return drives;
}

// Selects the chooser's entry for a volume without announcing it as the user's change.
void CQuorbitView::SelectDrive(const std::string& root) {
    const QSignalBlocker quiet(driveChooser_);
    driveChooser_->setCurrentIndex(driveChooser_->findData(QString::fromStdString(root)));
}

void CQuorbitView::ChooseStartDrive() {
    const std::vector<std::string> drives = driveLister_ ? driveLister_() : MountedDrives();
    {
        const QSignalBlocker quiet(driveChooser_);
        driveChooser_->clear();
        for (const std::string& root : drives) {
            driveChooser_->addItem(QString::fromStdString(root), QString::fromStdString(root));
        }
    }
    const std::string saved = settings_.GetString("Settings", "Drive", "");
    const int index = StartVolumeIndex(drives, saved, QDir::currentPath().toStdString());
    if (index < 0) {
        return;
    }
    currentDrive_ = drives[static_cast<std::size_t>(index)];
    settings_.WriteString("Settings", "Drive", currentDrive_);
    SelectDrive(currentDrive_);
    ScanDrive();
}

void CQuorbitView::OnDriveChange() {
    const int index = driveChooser_->currentIndex();
    if (index < 0) {
        return;
    }
    const std::string chosen = driveChooser_->itemData(index).toString().toStdString();
    if (chosen == currentDrive_) {
        return;
    }
    currentDrive_ = chosen;
    settings_.WriteString("Settings", "Drive", currentDrive_);
    ResetView(ResetDrive);
    ScanDrive();
}

void CQuorbitView::ScanDrive() {
    if (currentDrive_ == "?") {
        return; // no volume chosen yet
    }
    ResetView(ResetPortfolios);
    ScanProgressDialog progress(window());
    progressDialog_ = &progress;
    mastersFound_ = 0;
    progress.Start();
    std::vector<std::string> found;
    const bool finished =
        SearchForMasters(currentDrive_, found, limitToFilter_, filterPathUpper_,
                         [this](const std::string& directory, int count) {
                             mastersFound_ = count;
                             if (scanObserver_) {
                                 scanObserver_(*progressDialog_, count);
                             }
                             return progressDialog_->Update(QString::fromStdString(directory), count);
                         });
    Prompts::Get().Beep();
    progressDialog_ = nullptr;
    progress.hide();
    if (!finished) { // cancelled: what was found so far, and a word that the list may be short
        Prompts::Get().Information(this, QString::fromStdString(CancelledScanMessage(
                                             currentDrive_, static_cast<int>(found.size()))));
        ShowPortfolios(found);
        return;
    }
    if (found.empty()) {
        portfoliosFound_ = false;
        Prompts::Get().Information(this, QString::fromStdString(NoPortfoliosMessage(
                                             currentDrive_, limitToFilter_ ? filterPath_ : currentDrive_)));
        StateChanged();
        return;
    }
    ShowPortfolios(found);
}

void CQuorbitView::OnSearchFilter() {
    SearchFilterDialog dialog(SearchFilter(), Drives(), window());
    if (Prompts::Get().RunDialog(dialog) == QDialog::Accepted) {
        ApplySearchFilter(dialog.Values());
    }
}

void CQuorbitView::ApplySearchFilter(const SearchFilterSettings& values) {
    const bool scanDue = FilterChangeNeedsScan(limitToFilter_, filterPathUpper_, values.limit, values.path);
    autoRepairMasters_ = values.repair;
    limitToFilter_ = values.limit;
    filterPath_ = values.path;
    filterPathUpper_ = portfolio_files::to_upper(filterPath_);
    settings_.WriteInt("Search", "Limit", limitToFilter_ ? 1 : 0);
    settings_.WriteString("Search", "Name", filterPath_);
    settings_.WriteInt("Search", "MasterFix", autoRepairMasters_ ? 1 : 0);
    if (!scanDue) {
        return;
    }
    // The filter's volume; a path on no listed volume (accepted with the limit off) keeps the current one.
    const std::string volume = VolumeOf(filterPath_, Drives());
    if (!volume.empty()) {
        SelectDrive(volume);
    }
    currentDrive_ = "?"; // so that the change is always seen
    OnDriveChange();
}

bool CQuorbitView::RunDiscoveryCommand(ViewCommand command) {
    switch (command) {
    case ViewCommand::SearchFilter:
        OnSearchFilter();
        return true;
    case ViewCommand::ReScan:
        OnReScan();
        return true;
    default:
        return false;
    }
}

// ---- Commands ------------------------------------------------------------------------------------

void CQuorbitView::SetSplitSearchOpen(bool open) {
    splitSearchOpen_ = open;
    UpdateCommandUI();
}

CommandContext CQuorbitView::Context() const {
    CommandContext context;
    context.portfoliosFound = portfoliosFound_;
    context.splitSearchOpen = splitSearchOpen_;
    context.checkDataOpen = !checkData_.isNull();
    context.portfolioEntries = portfolioList_->count();
    context.symbolRows = symbols_->Rows();
    context.quoteRows = quotes_->Rows();
    context.selectedQuoteRow = state_.selectedQuoteRow;
    context.symbolCount = state_.symbolCount;
    return context;
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
    if (RunDiscoveryCommand(command)) {
        return true;
    }
    switch (command) {
    case ViewCommand::EditQuote:
        OnEditQuote();
        break;
    case ViewCommand::SplitQuotes:
        OnSplitQuotes();
        break;
    case ViewCommand::AdjustQuotes:
        OnAdjustQuotes();
        break;
    case ViewCommand::DeleteQuote:
        OnDeleteQuote();
        break;
    case ViewCommand::AddQuote:
        OnAddQuote();
        break;
    case ViewCommand::EditSymbol:
        OnEditSymbol();
        break;
    case ViewCommand::DeleteSymbol:
        OnDeleteSymbol();
        break;
    case ViewCommand::MoveSymbol:
        OnTransferSymbol(editing::TransferMode::Move);
        break;
    case ViewCommand::CopySymbol:
        OnTransferSymbol(editing::TransferMode::Copy);
        break;
    case ViewCommand::SeriesFacts:
        OnSeriesFacts();
        break;
    case ViewCommand::SplitSearch:
        OnSplitSearch();
        break;
    case ViewCommand::ExportQuotes:
        OnExport();
        break;
    case ViewCommand::CheckData:
        OnCheckData();
        break;
    case ViewCommand::Chart:
        OnChart();
        break;
    default:
        break;
    }
    return true;
}

void CQuorbitView::AttachCommands(CMainFrame& frame) {
    for (ViewCommand command : kViewCommands) {
        QAction* action = frame.Action(static_cast<int>(command));
        if (action == nullptr) {
            continue;
        }
        actions_[command] = action;
        connect(action, &QAction::triggered, this, [this, command] { RunCommand(command); });
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
