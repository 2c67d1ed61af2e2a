// The main window on portfolios the tests build, driven offscreen: finding portfolios on a volume, the
// search filter, fills, selection, repair question, command enabling, status panes, caption, saved
// placement and column widths, and the program's start-up without any input.
#include "browser/ui/quote_list_model.h"
#include "browser/ui/scan_progress_dialog.h"
#include "browser/ui/search_filter_dialog.h"
#include "browser/ui/symbol_list_model.h"
#include "shell/ui/help_wnd.h"
#include "shell/ui/prompts.h"
#include "storage/portfolio_files.h"
#include "support/builder.h"
#include "support/qt_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QTextBrowser>

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

struct Listed {
    std::string symbol, name;
    int bars;
};

// Counts the paints of the widget it filters.
struct PaintCounter : QObject {
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
    int paints = 0;
};

class WindowTest : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        fs::create_directories(root_ / "other");
    }
    // The start-up on the volumes `drives_` (the start directory "volume" and an empty "other").
    void OpenWindow() {
        WindowFixture::OpenWindow([this] { return drives_; });
    }
    std::string Volume(const char* name = "volume") const { return (root_ / name).string(); }
    QAction* Action(const char* name) const { return frame_->findChild<QAction*>(name); }

    // A portfolio below the start directory; a security's series starts on the same day for all.
    fs::path Portfolio(const std::string& name, const std::vector<Listed>& securities,
                       std::vector<std::string> fields = SeriesSpec{}.fields) {
        std::vector<Security> made;
        for (const Listed& s : securities)
            made.push_back({{static_cast<int>(made.size()) + 1, s.symbol, s.name, 'D', fields},
                            random_series_bars(7, s.bars)});
        write_portfolio(root_ / "volume" / name, made);
        return root_ / "volume" / name;
    }

    void Setting(const char* section, const char* key, int value) {
        CSettingsStore store(Locations());
        bool created = false;
        EXPECT_TRUE(store.Open(SettingsRoot::LocalMachine, SettingsBasePath(), created) &&
                    store.WriteInt(section, key, value));
    }

    bool OnlyTheBeep() const {
        const auto& history = Prompts::Get().History();
        return history.size() == 1 && history.front().kind == Prompts::Kind::Beep;
    }
    std::vector<std::string> PortfolioEntries() const {
        std::vector<std::string> entries;
        for (int i = 0; i < view_->PortfolioList()->count(); ++i)
            entries.push_back(view_->PortfolioList()->item(i)->text().toStdString());
        return entries;
    }
    std::string SavedString(const char* section, const char* key) const {
        return CSettingsStore(Locations()).GetString(section, key, "");
    }

    QString QuoteCell(int row, int column) const {
        return view_->Quotes().data(view_->Quotes().index(row, column)).toString();
    }
    void ClickSymbolRow(int row) {
        QTableView* list = view_->SymbolList();
        const QRect cell = list->visualRect(list->model()->index(row, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    }

    std::vector<std::string> drives_{Volume("other"), Volume()};
};

TEST_F(WindowTest, OpensThePortfolioSortedWithTheNewestQuoteFirstAndFollowsTheSelection) {
    const fs::path dir =
        Portfolio("stocks", {{"msft", "MICROSOFT", 5}, {"IBM", "INTL BUS MACH", 3}, {"aapl", "APPLE", 1000}},
                  {"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL"});
    OpenWindow();
    QSignalSpy inserted(&view_->Quotes(), &QAbstractItemModel::rowsInserted);
    PaintCounter painted;
    view_->QuoteList()->viewport()->installEventFilter(&painted);
    view_->FillQuotesGrid(0);
    view_->QuoteList()->viewport()->removeEventFilter(&painted);
    // The first rows are painted at once while the rest are read, not again for each window read (three).
    EXPECT_TRUE(painted.paints > 0 && painted.paints < 3) << painted.paints;

    ASSERT_EQ(view_->Symbols().Rows(), 3);
    EXPECT_EQ(view_->Symbols().RowAt(0).symbol + view_->Symbols().RowAt(1).symbol +
                  view_->Symbols().RowAt(2).symbol,
              "aaplIBMmsft");
    EXPECT_EQ(frame_->windowTitle().toStdString(), "Quorbit - " + dir.string() + " - aapl");

    ASSERT_EQ(inserted.count(), 3); // windows of 400, 400 and 200 from the newest end
    EXPECT_EQ(std::pair(inserted[0][2].toInt() - inserted[0][1].toInt(),
                        inserted[2][2].toInt() - inserted[2][1].toInt()),
              std::pair(399, 199));
    const auto bars = random_series_bars(7, 1000);
    ASSERT_EQ(view_->Quotes().Rows(), 1000);
    EXPECT_EQ(
        std::vector<DayNumber>({view_->Quotes().RowAt(0).date, view_->Quotes().RowAt(999).date,
                                view_->State().lastQuoteDate, view_->State().firstQuoteDate}),
        std::vector<DayNumber>({bars.back().date, bars.front().date, bars.back().date, bars.front().date}));
    EXPECT_EQ(QuoteCell(0, 4) + QuoteCell(0, 6), // no open interest in this series
              QString::number(bars.back().close, 'f', 4) + "N/A");
    EXPECT_EQ(std::tuple(frame_->SymbolPane(), frame_->QuotePane(), frame_->Progress(), OnlyTheBeep()),
              std::tuple("Symbol 1 of 3", "Quote 1000 of 1000", nullptr, true));

    // A keyboard move loads the highlighted security once the keys settle (here: at once, as the settle
    // timer would); until then the caption, the panes and every command stay on the series on screen.
    auto onScreen = [&] {
        return std::tuple(view_->State().currentSymbol, view_->Quotes().Rows(),
                          frame_->windowTitle().toStdString(), frame_->SymbolPane());
    };
    view_->SymbolList()->setFocus();
    QTest::keyClick(view_->SymbolList(), Qt::Key_Down);
    EXPECT_TRUE(view_->SymbolLoadPending());
    EXPECT_EQ(onScreen(), std::tuple("aapl", 1000, "Quorbit - " + dir.string() + " - aapl", "Symbol 1 of 3"));
    EXPECT_TRUE(view_->LoadPendingSymbol());
    EXPECT_EQ(onScreen(), std::tuple("IBM", 3, "Quorbit - " + dir.string() + " - IBM", "Symbol 2 of 3"));
    QTest::keyClick(view_->SymbolList(), Qt::Key_Down);
    QTest::keyClick(view_->SymbolList(), Qt::Key_Return); // Enter loads at once
    EXPECT_FALSE(view_->SymbolLoadPending());
    EXPECT_EQ(onScreen(), std::tuple("msft", 5, "Quorbit - " + dir.string() + " - msft", "Symbol 3 of 3"));
    QTest::keyClick(view_->SymbolList(), Qt::Key_Up);
    Trigger("actionExportQuotes"); // a command finishes the load first, and its dialog names the series
    EXPECT_EQ(Shown(Prompts::Kind::Dialog), std::vector<QString>{"Export - IBM"});
    EXPECT_EQ(std::get<0>(onScreen()), "IBM");
    // The settle timer's own expiry loads the series: its interval made 0, it fires as the next event.
    QTimer& settle = view_->SymbolSettleTimer();
    EXPECT_TRUE(settle.isSingleShot() && settle.interval() == 250);
    settle.setInterval(0);
    QTest::keyClick(view_->SymbolList(), Qt::Key_Down);
    EXPECT_EQ(std::get<0>(onScreen()), "IBM");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !view_->SymbolLoadPending(); }));
    EXPECT_EQ(onScreen(), std::tuple("msft", 5, "Quorbit - " + dir.string() + " - msft", "Symbol 3 of 3"));
    ClickSymbolRow(2);
    EXPECT_EQ(std::tuple(view_->State().currentSymbol, view_->Quotes().Rows(), frame_->SymbolPane(),
                         frame_->QuotePane()),
              std::tuple("msft", 5, "Symbol 3 of 3", "Quote 5 of 5"));

    // A click below the rows takes the highlight away: no command acts on a row the user cannot see.
    QTableView* quotes = view_->QuoteList();
    QTest::mouseClick(quotes->viewport(), Qt::LeftButton, {}, QPoint(10, quotes->viewport()->height() - 4));
    EXPECT_TRUE(quotes->selectionModel()->selectedRows().isEmpty());
    EXPECT_EQ(view_->State().selectedQuoteRow, -1);
    for (const char* action : {"actionEditQuote", "actionDeleteQuote", "actionAddQuote", "actionSplitQuotes"})
        EXPECT_FALSE(Action(action)->isEnabled()) << action;
    // In the symbol list the highlight stays on the series on screen.
    QTableView* symbols = view_->SymbolList();
    QTest::mouseClick(symbols->viewport(), Qt::LeftButton, {}, QPoint(10, symbols->viewport()->height() - 4));
    EXPECT_EQ(std::tuple(symbols->selectionModel()->selectedRows().size(), view_->State().currentSymbol),
              std::tuple(1, "msft"));
}

TEST_F(WindowTest, ACountThatDisagreesWithTheRecordsEmptiesBothLists) {
    MasterBuilder master;
    for (int i = 1; i <= 12; ++i)
        master.add(security(i, "S" + std::to_string(i)));
    master.count(10).write(root_ / "volume" / "lying");
    // A portfolio listed after it, with a nested portfolio's record beside its two securities.
    write_portfolio(root_ / "volume" / "nesting",
                    {make_security(1, "AAA", "A", random_series_bars(3, 4)),
                     make_security(2, "BBB", "B", random_series_bars(4, 4))},
                    false, {master_directory_entry(3, "SUB")});
    OpenWindow();
    EXPECT_EQ(std::tuple(view_->Symbols().Rows(), view_->Quotes().Rows(), view_->State().symbolCount,
                         frame_->SymbolPane()),
              std::tuple(0, 0, 0, "No Symbols Read"));
    const std::vector<QString> stops = Shown(Prompts::Kind::Stop);
    ASSERT_EQ(stops.size(), 1u);
    EXPECT_TRUE(stops[0].startsWith("Failure while filling symbols grid\n") && stops[0].contains("lying"))
        << stops[0].toStdString();
    // The caption names the portfolio on screen, not a series of another one.
    EXPECT_EQ(frame_->windowTitle().toStdString(),
              "Quorbit - " + (root_ / "volume" / "lying").string() + " - (no symbols)");
    view_->PortfolioList()->setCurrentRow(1);
    view_->PortfolioList()->setCurrentRow(0);
    EXPECT_EQ(frame_->windowTitle().toStdString(),
              "Quorbit - " + (root_ / "volume" / "lying").string() + " - (no symbols)");
    view_->PortfolioList()->setCurrentRow(1);
    EXPECT_EQ(std::tuple(view_->Symbols().Rows(), frame_->SymbolPane()), std::tuple(2, "Symbol 1 of 2"));
}

TEST_F(WindowTest, AnEmptyPortfolioDisablesItsCommandsWhileMovesAreRememberedAndHelpOpens) {
    const fs::path dir = Portfolio("empty", {});
    OpenWindow();
    EXPECT_EQ(std::tuple(frame_->windowTitle().toStdString(), frame_->QuotePane(), OnlyTheBeep()),
              std::tuple("Quorbit - " + dir.string() + " - (no symbols)", "No Quotes Read", true));
    for (const char* name : {"actionSplitSearch", "actionDeleteSymbol", "actionSeriesFacts",
                             "actionEditQuote", "actionAddQuote", "actionExportQuotes"})
        EXPECT_FALSE(Action(name)->isEnabled()) << name;
    EXPECT_TRUE(Action("actionReScan")->isEnabled() &&
                Action("actionReScan")->shortcut() == QKeySequence(Qt::Key_F5));

    CSettingsStore store(Locations()); // every move is saved, except while minimised
    frame_->move(-50, 40);
    EXPECT_EQ(store.GetInt("Screen", "x", -1) * 1000 + store.GetInt("Screen", "y", -1), 40);
    frame_->setWindowState(Qt::WindowMinimized);
    frame_->move(300, 200);
    EXPECT_EQ(store.GetInt("Screen", "x", -1), 0);
    frame_->setWindowState(Qt::WindowNoState); // restoring writes the restored placement
    EXPECT_EQ(store.GetInt("Screen", "x", -1), 300);
    frame_->resize(640, 480);
    EXPECT_EQ(store.GetInt("Screen", "cx", -1), 640);

    // F1 and Help Topics show the guide in the program's own window, one at a time, over the client
    // area: no browser is asked for.
    Prompts::Get().ClearHistory();
    frame_->resize(900, 700);
    frame_->statusBar()->showMessage(Action("actionHelp")->statusTip()); // its menu item's tip
    Action("actionHelp")->trigger();
    EXPECT_TRUE(frame_->statusBar()->currentMessage().isEmpty()); // not left over the prompt
    CHelpWnd* help = app_->HelpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible() && Shown(Prompts::Kind::OpenUrl).empty());
    EXPECT_EQ(help->windowTitle(), "Quorbit Help");
    EXPECT_TRUE(help->Browser()->toPlainText().contains("MASTER"));
    const QPoint client = frame_->centralWidget()->mapToGlobal(QPoint(0, 0));
    EXPECT_TRUE(QRect(client, frame_->centralWidget()->size()).contains(help->frameGeometry()));
    Action("actionHelpTopics")->trigger();
    EXPECT_EQ(frame_->findChildren<CHelpWnd*>().size(), 1);
}

// A record with a blank symbol, repaired after Yes, left alone after No, repaired silently by the
// setting; in every case its row shows its name and its quotes.
enum class Answer { Yes, No, MasterFix };

class RepairTest : public WindowTest, public ::testing::WithParamInterface<Answer> {};

TEST_P(RepairTest, TheQuestionDecidesAndTheRowStillShowsItsQuotes) {
    const fs::path dir = Portfolio("damaged", {{"ABC", "ABC CORP", 4}, {"", "APX FUND", 6}});
    const std::string before = read_bytes(dir / "MASTER");
    if (GetParam() == Answer::MasterFix)
        Setting("Search", "MasterFix", 1);
    Prompts::Get().AnswerYesNo(GetParam() == Answer::Yes);
    OpenWindow();

    const auto questions = Shown(Prompts::Kind::Question);
    ASSERT_EQ(questions.size(), GetParam() == Answer::MasterFix ? 0u : 1u);
    for (const QString& question : questions) // none, or the one
        EXPECT_TRUE(
            question.startsWith("The master file\n" + QString::fromStdString((dir / "MASTER").string())));
    const std::string after = read_bytes(dir / "MASTER");
    EXPECT_EQ(GetParam() == Answer::No ? after : after.substr(2 * 53 + 36, 16),
              GetParam() == Answer::No ? before : "APX FUND        ");
    // Repaired, the row shows the symbol as the record now reads (the name's first word), and the
    // commands find it by that.
    ASSERT_EQ(view_->Symbols().Rows(), 2);
    EXPECT_EQ(view_->Symbols().RowAt(1).symbol, GetParam() == Answer::No ? "APX FUND        " : "APX");
    EXPECT_TRUE(Shown(Prompts::Kind::Stop).empty());
    ClickSymbolRow(1);
    EXPECT_EQ(view_->Quotes().Rows(), 6);
    Prompts::Get().AnswerDialog([](QDialog& dialog) { Click(dialog, "okButton"); });
    Trigger("actionEditSymbol");
    EXPECT_TRUE(Shown(Prompts::Kind::Stop).empty());
}

INSTANTIATE_TEST_SUITE_P(Answers, RepairTest, ::testing::Values(Answer::Yes, Answer::No, Answer::MasterFix));

TEST_F(WindowTest, CommandsFollowTheirRulesAsTheSelectionMoves) {
    Portfolio("one", {{"AAA", "FIRST", 3}});
    OpenWindow();
    EXPECT_FALSE(Action("actionMoveSymbol")->isEnabled()); // a single portfolio
    EXPECT_TRUE(Action("actionAddQuote")->isEnabled());
    QTest::keyClick(view_->QuoteList(), Qt::Key_End); // the oldest quote
    EXPECT_FALSE(Action("actionAddQuote")->isEnabled());
    EXPECT_EQ(frame_->QuotePane(), "Quote 1 of 3");
    QTest::keyClick(view_->QuoteList(), Qt::Key_Home);
    EXPECT_EQ(view_->State().selectedQuoteRow, 0);
    view_->QuoteList()->selectRow(2);
    view_->SetSplitSearchOpen(true);
    EXPECT_FALSE(Action("actionSplitSearch")->isEnabled());
    EXPECT_FALSE(Action("actionEditSymbol")->isEnabled());
    EXPECT_TRUE(Action("actionDeleteSymbol")->isEnabled());
    view_->ShowPortfolios({});
    EXPECT_FALSE(Action("actionDeleteSymbol")->isEnabled());
}

TEST_F(WindowTest, TheListsTakeTheRoomOfALargerWindowAndTheLayoutIsTheMinimum) {
    Portfolio("one", {{"AAA", "FIRST", 3}});
    OpenWindow();
    auto sizes = [this] {
        return std::vector<QSize>{view_->PortfolioList()->size(), view_->SymbolList()->size(),
                                  view_->QuoteList()->size()};
    };
    frame_->resize(200, 150); // smaller than the form: it keeps its layout and scrolls
    const std::vector<QSize> minimum = sizes();
    const int dateColumn = view_->QuoteList()->columnWidth(0);
    EXPECT_EQ(view_->Form()->size(), view_->Form()->minimumSize());
    frame_->resize(frame_->width() + 1200, frame_->height() + 800);
    const std::vector<QSize> grown = sizes();
    const QSize extra = view_->Form()->size() - view_->Form()->minimumSize();
    ASSERT_TRUE(extra.width() > 100 && extra.height() > 100);
    EXPECT_EQ(grown[1].width() - minimum[1].width(), extra.width() - extra.width() / 2); // half each
    EXPECT_EQ(grown[0].height() - minimum[0].height(), extra.height() / 4);
    EXPECT_EQ(grown[2].height() - minimum[2].height(), extra.height() - extra.height() / 4); // the most
    EXPECT_EQ(grown[2].width() - minimum[2].width(), extra.width());
    // The columns keep their share of the list.
    EXPECT_NEAR(view_->QuoteList()->columnWidth(0), dateColumn * grown[2].width() / minimum[2].width(), 1);
}

// ---- Finding portfolios --------------------------------------------------------------------------

TEST_F(WindowTest, TheWalkListsEveryPortfolioSortedAndOpensTheFirst) {
    Setting("Search", "Limit", 0);
    Portfolio("B", {{"BBB", "SECOND", 2}});
    Portfolio("a/deeper", {{"AAA", "FIRST", 4}}); // what the walk skips: browser/master_walk_test.cpp
    OpenWindow();

    EXPECT_EQ(view_->Drives(), drives_);
    EXPECT_EQ(view_->DriveChooser()->currentText().toStdString() + "|" + SavedString("Settings", "Drive"),
              Volume() + "|" + Volume());
    EXPECT_EQ(PortfolioEntries(), (std::vector<std::string>{Volume() + "/a/deeper", Volume() + "/B"}));
    EXPECT_EQ(std::tuple(view_->PortfolioList()->currentRow(), view_->State().portfolioDir,
                         view_->State().currentSymbol, view_->Quotes().Rows()),
              std::tuple(0, fs::path(Volume() + "/a/deeper"), "AAA", 4));
    EXPECT_TRUE(OnlyTheBeep() && frame_->findChild<ScanProgressDialog*>() == nullptr); // gone with the scan

    // Another volume is searched when the user picks it; it holds nothing.
    Prompts::Get().ClearHistory();
    view_->DriveChooser()->setCurrentIndex(0);
    EXPECT_EQ(view_->CurrentDrive() + "|" + SavedString("Settings", "Drive"),
              Volume("other") + "|" + Volume("other"));
    const auto& shown = Prompts::Get().History();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].kind, Prompts::Kind::Beep);
    EXPECT_EQ(shown[1].text.toStdString(), "No master files found on drive " + Volume("other") +
                                               "\nin the folder " + Volume("other") +
                                               " or any folder below it.\n\n(Is your Portfolio Search "
                                               "Filter setting correct?)");
    EXPECT_EQ(std::tuple(view_->PortfoliosFound(), view_->PortfolioList()->count(), view_->Symbols().Rows(),
                         view_->Quotes().Rows()),
              std::tuple(false, 0, 0, 0));

    // F5 searches the same volume again.
    Portfolio("../other/new", {});
    Action("actionReScan")->trigger();
    EXPECT_EQ(PortfolioEntries(), std::vector<std::string>{Volume("other") + "/new"});
}

TEST_F(WindowTest, ACancelledWalkListsWhatItFoundAndSaysSo) {
    Setting("Search", "Limit", 0);
    for (const char* name : {"a", "b", "c/deeper"})
        Portfolio(name, {{"AAA", "FIRST", 2}});
    WindowFixture::OpenWindow({}, false);
    view_->SetDriveLister([this] { return drives_; });
    int steps = 0;
    view_->SetScanObserver([&](ScanProgressDialog& progress, int found) {
        ++steps;
        EXPECT_TRUE(progress.isVisible() && progress.CancelButton()->isEnabled() == !progress.Cancelled());
        if (found == 1 && !progress.Cancelled())
            QTest::mouseClick(progress.CancelButton(), Qt::LeftButton);
    });
    view_->OnStartupTimer();

    // The walk stopped at the step that found the first portfolio: that one is listed and opened.
    const std::vector<std::string> entries = PortfolioEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(view_->State().currentSymbol, "AAA");
    const auto information = Shown(Prompts::Kind::Information);
    ASSERT_EQ(information.size(), 1u);
    EXPECT_EQ(information[0].toStdString(),
              "The search of drive " + Volume() +
                  " was cancelled.\n\nThe list shows the 1 portfolio found until then.");
    // F5 searches again, to the end.
    const int cancelled_at = steps;
    view_->SetScanObserver({});
    Action("actionReScan")->trigger();
    EXPECT_EQ(PortfolioEntries().size(), 3u);
    EXPECT_GE(cancelled_at, 2);
}

// Opening a portfolio offers, as the MASTER repair, to rebuild an EMASTER that disagrees with MASTER;
// an XMASTER that cannot be read is named once, in the status line.
TEST_F(WindowTest, AStaleEmasterIsOfferedItsRebuildAndAnUnusableXmasterIsNamed) {
    const fs::path dir = Portfolio("p", {{"AAA", "FIRST", 3}, {"BBB", "SECOND", 4}});
    const std::string in_step = read_bytes(dir / "EMASTER");
    std::string stale = in_step;
    stale.replace(192 + 11, 3, "OLD");
    write_bytes(dir / "EMASTER", stale);
    write_bytes(dir / "XMASTER", std::string(150, '*'));
    Prompts::Get().AnswerYesNo(false);
    OpenWindow();
    auto questions = Shown(Prompts::Kind::Question);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].toStdString(), "The extended directory file EMASTER in\n" + dir.string() +
                                              "\ndoes not agree with MASTER (F1 symbol).\n\nShould Quorbit "
                                              "rebuild its records from MASTER now?");
    EXPECT_EQ(read_bytes(dir / "EMASTER"), stale); // declined
    EXPECT_EQ(
        frame_->Prompt().toStdString(),
        "The XMASTER file of " + dir.string() +
            " could not be read: it does not begin with the marks of an XMASTER file. The securities it "
            "lists (numbered 256 and above) are not shown.");
    EXPECT_EQ(view_->Symbols().Rows(), 2);

    Prompts::Get().ClearHistory();
    Prompts::Get().AnswerYesNo(true);
    Action("actionReScan")->trigger();
    EXPECT_EQ(Shown(Prompts::Kind::Question).size(), 1u);
    EXPECT_EQ(read_bytes(dir / "EMASTER"), in_step);
    EXPECT_EQ(read_bytes(dir / "EMASTER.BAK"), stale);
    EXPECT_NE(Shown(Prompts::Kind::Information).at(0).indexOf("did not agree with MASTER (F1 symbol)"), -1);
    write_bytes(dir / "XMASTER", xmaster_bytes({}));
    Action("actionReScan")->trigger();
    EXPECT_EQ(frame_->Prompt(), "For Help, press F1");
}

TEST_F(WindowTest, TheFilterDialogChecksItsPathAndEnablesItByTheLimit) {
    SearchFilterDialog dialog({true, "relative/path", false}, drives_);
    EXPECT_TRUE(LaidOutWithoutClipping(dialog));
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(Shown(Prompts::Kind::Warning), std::vector<QString>{kUnknownDriveMessage});

    dialog.PathEdit()->setText(QString::fromStdString(Volume("other") + "/data"));
    dialog.RepairBox()->setChecked(true);
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog.result() == QDialog::Accepted && dialog.Values().repair);

    SearchFilterDialog unlimited({true, "relative/path", false}, drives_);
    QTest::mouseClick(unlimited.LimitBox(), Qt::LeftButton);
    EXPECT_FALSE(unlimited.PathEdit()->isEnabled());
    QTest::mouseClick(unlimited.OkButton(), Qt::LeftButton);
    EXPECT_TRUE(unlimited.result() == QDialog::Accepted && Prompts::Get().History().size() == 1u);
}

TEST_F(WindowTest, AFilterChangeRescansOnlyWhenItChangesWhatIsSearched) {
    Portfolio("stocks", {{"AAA", "FIRST", 3}});
    Portfolio("../other/bonds", {{"BND", "BOND", 2}});
    OpenWindow();
    ASSERT_EQ(PortfolioEntries(), std::vector<std::string>{Volume() + "/stocks"});
    const std::string filter = view_->SearchFilter().path;
    EXPECT_EQ(filter, Volume()); // the start directory
    const std::string other = Volume("other");
    // The command runs the dialog; Cancel changes nothing.
    Prompts::Get().ClearHistory();
    Prompts::Get().AnswerDialog([](QDialog& dialog) {
        auto& filterDialog = dynamic_cast<SearchFilterDialog&>(dialog);
        filterDialog.LimitBox()->setChecked(false);
        QTest::mouseClick(filterDialog.CancelButton(), Qt::LeftButton);
    });
    Action("actionSearchFilter")->trigger();
    EXPECT_TRUE(view_->SearchFilter().limit && Shown(Prompts::Kind::Beep).empty());
    // Each change: whether it rescans, and what the list then holds.
    const auto apply = [&](bool limit, const std::string& path, bool repair, bool scans,
                           const std::string& entry) {
        Prompts::Get().ClearHistory();
        view_->ApplySearchFilter({limit, path, repair});
        EXPECT_EQ(OnlyTheBeep(), scans) << path;
        EXPECT_EQ(PortfolioEntries(), std::vector<std::string>{entry}) << path;
        CSettingsStore store(Locations());
        EXPECT_EQ(std::tuple(view_->SearchFilter().path, store.GetInt("Search", "Limit", -1),
                             store.GetString("Search", "Name", ""), store.GetInt("Search", "MasterFix", -1)),
                  std::tuple(path, limit ? 1 : 0, path, repair ? 1 : 0));
    };
    apply(true, portfolio_files::to_lower(filter), true, false, Volume() + "/stocks");
    apply(true, other + "/BONDS", false, true, other + "/bonds");
    apply(false, other + "/BONDS", false, true, other + "/bonds");
    apply(false, "elsewhere", false, false, other + "/bonds");
    apply(true, Volume(), false, true, Volume() + "/stocks");
}

TEST_F(WindowTest, AQuoteWithoutADateIsNeverAddressed) {
    // One dated quote, newest; the two before it are stored with no date (0).
    write_series_portfolio(root_ / "volume" / "index", {.symbol = "DJIA"}, bars_on({0, 0, 400}));
    OpenWindow();
    view_->QuoteList()->selectRow(1);
    EXPECT_EQ(QuoteCell(1, 0), "00/00/00");
    for (const char* name : {"actionEditQuote", "actionSplitQuotes", "actionAddQuote", "actionDeleteQuote"}) {
        Prompts::Get().ClearHistory();
        Action(name)->trigger();
        EXPECT_EQ(Shown(Prompts::Kind::Stop), std::vector<QString>{kUndatedQuoteMessage}) << name;
    }
}

// An intra-day series shows each quote's time, to the second, right after its date; a daily one has no
// time column.
TEST_F(WindowTest, IntradayQuotesShowTheirTimeBesideTheDate) {
    const fs::path dir = root_ / "volume" / "intra";
    SeriesSpec daily{.file_number = 2};
    write_security(dir, intraday_real_spec(), intraday_real_bars());
    write_security(dir, daily, random_series_bars(3, 4));
    write_series_master(dir, {series_master_record(intraday_real_spec(), intraday_real_bars()),
                              series_master_record(daily, random_series_bars(3, 4))});
    OpenWindow();
    const QTableView* list = view_->QuoteList();
    const int time = QuoteListModel::kTimeColumn;
    ASSERT_EQ(view_->State().currentSymbol, "ABAN.N0000");
    EXPECT_EQ(std::tuple(list->isColumnHidden(time), list->horizontalHeader()->visualIndex(time),
                         view_->Quotes().headerData(time, Qt::Horizontal).toString()),
              std::tuple(false, 1, QString("Time")));
    QStringList shown;
    for (int row : {0, 1, 2, 4, 5, 10})
        shown << QuoteCell(row, 0) + " " + QuoteCell(row, time);
    EXPECT_EQ(shown.join(", "), "05/09/11 10:00:01, 05/09/11 09:30:59, 05/09/11 09:30:01, 05/06/11 10:41:13, "
                                "05/06/11 10:40:07, 05/06/11 10:38:39");
    ClickSymbolRow(1);
    EXPECT_EQ(std::pair(view_->State().currentSymbol, list->isColumnHidden(time)),
              std::pair(std::string("IBM"), true));
}

TEST_F(WindowTest, AHeaderAnnouncingANegativeCountIsReported) {
    write_series_portfolio(root_ / "volume" / "broken", {.last_record = -5}, random_series_bars(3, 20));
    OpenWindow();
    // The message keeps its own first line and says which series and why.
    const std::vector<QString> stops = Shown(Prompts::Kind::Stop);
    ASSERT_EQ(std::pair(view_->Quotes().Rows(), stops.size()), std::pair(0, std::size_t{1}));
    EXPECT_EQ(stops[0].toStdString(), "Error in FillQuotesGrid\nSecurity " + view_->State().currentSymbol +
                                          " in " + (root_ / "volume" / "broken").string() + "\nProblem: " +
                                          "its records have a length or layout that cannot be read.");
}

TEST_F(WindowTest, ColumnWidthsAreSavedOnCloseAndRestoredByTheRules) {
    Portfolio("stocks", {{"AAA", "FIRST", 3}});
    OpenWindow();
    view_->SymbolList()->horizontalHeader()->resizeSection(0, 61);
    view_->QuoteList()->horizontalHeader()->resizeSection(6, 57);
    frame_->close();
    CSettingsStore store(Locations());
    EXPECT_EQ(store.GetInt("SymbolGrid", "col0", 0) * 100 + store.GetInt("QuoteGrid", "col6", 0), 6157);
    EXPECT_GT(store.GetInt("QuoteGrid", "col0", 0), 0);

    OpenWindow();
    EXPECT_EQ(std::pair(view_->SymbolHeaderWidths()[0], view_->QuoteHeaderWidths()[6]), std::pair(61, 57));
    Setting("QuoteGrid", "col3", 0);
    view_->SetupColumns();
    const std::vector<int> widths = view_->QuoteHeaderWidths();
    const int client = view_->QuoteList()->width() - 2 * view_->QuoteList()->frameWidth();
    EXPECT_EQ(widths, std::vector<int>(7, client * 9 / 70));
}

// The program as it starts: the real volumes, the start directory holding a portfolio, no input.
TEST_F(WindowTest, TheWindowComesUpAndOpensThePortfolioByItself) {
    write_series_portfolio(root_ / "volume" / "alpha", {.symbol = "Salpha"}, random_series_bars(3, 12));
    WindowFixture::OpenWindow({}, false);
    EXPECT_EQ(view_->Quotes().Rows(), 0); // nothing is searched before the window is up
    QSignalSpy finished(view_, &CQuorbitView::startupFinished);
    for (int events = 0; events < 1000 && finished.isEmpty(); ++events)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    ASSERT_EQ(finished.count(), 1);
    EXPECT_FALSE(view_->Drives().empty());
    EXPECT_EQ(view_->DriveChooser()->currentText().toStdString(), VolumeOf(Volume(), view_->Drives()));
    EXPECT_EQ(std::tuple(view_->State().portfolioDir, view_->State().currentSymbol, view_->Quotes().Rows()),
              std::tuple(root_ / "volume" / "alpha", "Salpha", 12));
}

} // namespace
