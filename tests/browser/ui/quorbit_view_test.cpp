// The main window on portfolios the tests build, driven offscreen: fills, selection, repair question,
// command enabling, status panes, caption, saved placement and column widths.
#include "browser/ui/quorbit_view.h"
#include "browser/ui/quote_list_model.h"
#include "browser/ui/symbol_list_model.h"
#include "shell/ui/main_frame.h"
#include "shell/ui/prompts.h"
#include "shell/ui/quorbit_app.h"
#include "support/builder.h"
#include "support/qt_window.h"
#include "support/temp_dir.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QListWidget>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableView>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

struct Listed {
    std::string symbol, name;
    int bars;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        Prompts::Get().Script();
        previousDirectory_ = QDir::currentPath();
        fs::create_directories(root_ / "volume");
        QDir::setCurrent(QString::fromStdString((root_ / "volume").string()));
    }
    void TearDown() override {
        app_.reset();
        QDir::setCurrent(previousDirectory_);
    }

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

    // The program's start-up: application object, frame, view; then the start-up work at once.
    void OpenWindow() {
        app_ = std::make_unique<CQuorbitApp>(Locations());
        app_->AddDocTemplate(MakeQuorbitView);
        ASSERT_TRUE(app_->InitInstance());
        frame_ = app_->MainFrame();
        view_ = static_cast<CQuorbitView*>(frame_->View());
        view_->OnStartupTimer();
    }

    SettingsLocations Locations() const {
        return {(root_ / "settings" / "Quorbit.ini").string(), (root_ / "windows").string()};
    }
    QAction* Action(const char* name) const { return frame_->findChild<QAction*>(name); }
    QString QuoteCell(int row, int column) const {
        return view_->Quotes().data(view_->Quotes().index(row, column)).toString();
    }
    void ClickSymbolRow(int row) {
        QTableView* list = view_->SymbolList();
        const QRect cell = list->visualRect(list->model()->index(row, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    }

    TempDir root_;
    QString previousDirectory_;
    std::unique_ptr<CQuorbitApp> app_;
    CMainFrame* frame_ = nullptr;
    CQuorbitView* view_ = nullptr;
};

TEST_F(WindowTest, OpensThePortfolioSortedWithTheNewestQuoteFirst) {
    const fs::path dir =
        Portfolio("stocks", {{"msft", "MICROSOFT", 5}, {"IBM", "INTL BUS MACH", 3}, {"aapl", "APPLE", 1000}},
                  {"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL"});
    OpenWindow();
    QSignalSpy inserted(&view_->Quotes(), &QAbstractItemModel::rowsInserted);
    view_->FillQuotesGrid(0);

    ASSERT_EQ(view_->Symbols().Rows(), 3);
    EXPECT_EQ(view_->Symbols().RowAt(0).symbol + view_->Symbols().RowAt(1).symbol +
                  view_->Symbols().RowAt(2).symbol,
              "aaplIBMmsft");
    EXPECT_EQ(frame_->windowTitle().toStdString(), "Quorbit - " + dir.string() + " - aapl");

    ASSERT_EQ(inserted.count(), 3); // windows of 400, 400 and 200 from the newest end
    EXPECT_EQ(inserted[0][2].toInt() - inserted[0][1].toInt() + 1, 400);
    EXPECT_EQ(inserted[2][2].toInt() - inserted[2][1].toInt() + 1, 200);
    const auto bars = random_series_bars(7, 1000);
    ASSERT_EQ(view_->Quotes().Rows(), 1000);
    EXPECT_EQ(
        std::vector<DayNumber>({view_->Quotes().RowAt(0).date, view_->Quotes().RowAt(999).date,
                                view_->State().lastQuoteDate, view_->State().firstQuoteDate}),
        std::vector<DayNumber>({bars.back().date, bars.front().date, bars.back().date, bars.front().date}));
    EXPECT_EQ(QuoteCell(0, 4), QString::number(bars.back().close, 'f', 4));
    EXPECT_EQ(QuoteCell(0, 6), "N/A"); // no open interest in this series
    EXPECT_EQ(frame_->SymbolPane(), "Symbol 1 of 3");
    EXPECT_EQ(frame_->QuotePane(), "Quote 1000 of 1000");
    EXPECT_EQ(frame_->Progress(), nullptr);
    EXPECT_TRUE(Prompts::Get().History().empty());
}

TEST_F(WindowTest, AKeyboardMoveChangesTheCaptionAndAClickLoadsTheQuotes) {
    const fs::path dir =
        Portfolio("stocks", {{"AAA", "FIRST", 5}, {"BBB", "SECOND", 7}, {"CCC", "THIRD", 9}});
    OpenWindow();
    view_->SymbolList()->setFocus();
    QTest::keyClick(view_->SymbolList(), Qt::Key_Down);
    EXPECT_EQ(view_->State().selectedSymbolRow, 1);
    EXPECT_EQ(frame_->windowTitle().toStdString(), "Quorbit - " + dir.string() + " - BBB");
    EXPECT_EQ(view_->State().currentSymbol, "AAA");
    EXPECT_EQ(view_->Quotes().Rows(), 5);

    ClickSymbolRow(2);
    EXPECT_EQ(view_->State().currentSymbol, "CCC");
    EXPECT_EQ(view_->Quotes().Rows(), 9);
    EXPECT_EQ(frame_->SymbolPane(), "Symbol 3 of 3");
    EXPECT_EQ(frame_->QuotePane(), "Quote 9 of 9");
}

TEST_F(WindowTest, MoreThan255SymbolsShowTheFirst255) {
    MasterBuilder master;
    for (int i = 1; i <= 300; ++i) {
        master.add(security(i % 255 + 1, "S" + std::to_string(i)));
    }
    fs::create_directories(root_ / "volume" / "big");
    master.write(root_ / "volume" / "big");
    OpenWindow();
    EXPECT_EQ(view_->Symbols().Rows(), 255);
    EXPECT_EQ(view_->State().symbolCount, 255);
    ASSERT_FALSE(Shown(Prompts::Kind::Warning).empty());
    EXPECT_EQ(Shown(Prompts::Kind::Warning).front(),
              "File has 300 symbols.\nWill only display the first 255 symbols");
}

TEST_F(WindowTest, ACountThatDisagreesWithTheRecordsEmptiesBothLists) {
    MasterBuilder master;
    for (int i = 1; i <= 12; ++i) {
        master.add(security(i, "S" + std::to_string(i)));
    }
    fs::create_directories(root_ / "volume" / "lying");
    master.count(10).write(root_ / "volume" / "lying");
    OpenWindow();
    EXPECT_EQ(view_->Symbols().Rows(), 0);
    EXPECT_EQ(view_->Quotes().Rows(), 0);
    EXPECT_EQ(view_->State().symbolCount, 0);
    EXPECT_EQ(Shown(Prompts::Kind::Stop), std::vector<QString>{"Failure while filling symbols grid"});
    EXPECT_EQ(frame_->SymbolPane(), "No Symbols Read");
}

TEST_F(WindowTest, AnEmptyPortfolioSaysSoInTheCaptionAndDisablesItsCommands) {
    const fs::path dir = Portfolio("empty", {});
    OpenWindow();
    EXPECT_EQ(frame_->windowTitle().toStdString(), "Quorbit - " + dir.string() + " - (no symbols)");
    EXPECT_TRUE(Prompts::Get().History().empty());
    for (const char* name : {"actionSplitSearch", "actionDeleteSymbol", "actionSeriesFacts",
                             "actionEditQuote", "actionAddQuote", "actionExportQuotes"}) {
        EXPECT_FALSE(Action(name)->isEnabled()) << name;
    }
    EXPECT_TRUE(Action("actionReScan")->isEnabled());
    EXPECT_EQ(Action("actionReScan")->shortcut(), QKeySequence(Qt::Key_F5));
}

// A record with a blank symbol, repaired after Yes, left alone after No, repaired silently by the
// setting; in every case its row shows its name and its quotes.
enum class Answer { Yes, No, MasterFix };

class RepairTest : public WindowTest, public ::testing::WithParamInterface<Answer> {};

TEST_P(RepairTest, TheQuestionDecidesAndTheRowStillShowsItsQuotes) {
    const fs::path dir = Portfolio("damaged", {{"ABC", "ABC CORP", 4}, {"", "APX FUND", 6}});
    const std::string before = read_bytes(dir / "MASTER");
    if (GetParam() == Answer::MasterFix) {
        Setting("Search", "MasterFix", 1);
    }
    Prompts::Get().AnswerYesNo(GetParam() == Answer::Yes);
    OpenWindow();

    const auto questions = Shown(Prompts::Kind::Question);
    ASSERT_EQ(questions.size(), GetParam() == Answer::MasterFix ? 0u : 1u);
    if (!questions.empty()) {
        EXPECT_TRUE(questions.front().startsWith("The master file\n" +
                                                 QString::fromStdString((dir / "MASTER").string())));
    }
    const std::string after = read_bytes(dir / "MASTER");
    if (GetParam() == Answer::No) {
        EXPECT_EQ(after, before);
    } else {
        EXPECT_EQ(after.substr(2 * 53 + 36, 16), "APX FUND        ");
    }
    ASSERT_EQ(view_->Symbols().Rows(), 2);
    EXPECT_EQ(view_->Symbols().RowAt(1).symbol, "APX FUND        ");
    EXPECT_TRUE(Shown(Prompts::Kind::Stop).empty());
    ClickSymbolRow(1);
    EXPECT_EQ(view_->Quotes().Rows(), 6);
    EXPECT_TRUE(Shown(Prompts::Kind::Stop).empty());
}

INSTANTIATE_TEST_SUITE_P(Answers, RepairTest, ::testing::Values(Answer::Yes, Answer::No, Answer::MasterFix));

TEST_F(WindowTest, CommandsFollowTheirRulesAsTheSelectionMoves) {
    Portfolio("one", {{"AAA", "FIRST", 3}});
    OpenWindow();
    EXPECT_FALSE(Action("actionMoveSymbol")->isEnabled()); // a single portfolio
    EXPECT_TRUE(Action("actionAddQuote")->isEnabled());
    view_->QuoteList()->selectRow(2); // the oldest quote
    EXPECT_FALSE(Action("actionAddQuote")->isEnabled());
    EXPECT_EQ(frame_->QuotePane(), "Quote 1 of 3");
    view_->SetSplitSearchOpen(true);
    EXPECT_FALSE(Action("actionSplitSearch")->isEnabled());
    EXPECT_FALSE(Action("actionEditSymbol")->isEnabled());
    EXPECT_TRUE(Action("actionDeleteSymbol")->isEnabled());
    view_->ShowPortfolios({});
    for (QAction* action : frame_->ToolBar()->actions()) {
        const QString name = action->objectName();
        if (action->isSeparator() || name == "actionExit" || name == "actionAbout") {
            continue;
        }
        EXPECT_EQ(action->isEnabled(), name == "actionSearchFilter" || name == "actionReScan")
            << name.toStdString();
    }
}

TEST_F(WindowTest, AQuoteWithoutADateIsNeverAddressed) {
    const fs::path dir = root_ / "volume" / "index";
    fs::create_directories(dir);
    SeriesSpec spec;
    spec.symbol = "DJIA";
    std::vector<SeriesBar> bars(3);
    bars[2].date = 400; // one dated quote, newest; the two before it lie before 1961
    for (auto& bar : bars) {
        bar.close = 10.0f;
    }
    write_series_portfolio(dir, spec, bars);
    OpenWindow();
    view_->QuoteList()->selectRow(1);
    EXPECT_EQ(QuoteCell(1, 0), "00/00/00");
    for (const char* name : {"actionEditQuote", "actionSplitQuotes", "actionAddQuote", "actionDeleteQuote"}) {
        Prompts::Get().ClearHistory();
        Action(name)->trigger();
        EXPECT_EQ(Shown(Prompts::Kind::Stop), std::vector<QString>{kUndatedQuoteMessage}) << name;
    }
    view_->QuoteList()->selectRow(0);
    Prompts::Get().ClearHistory();
    EXPECT_TRUE(view_->RunCommand(ViewCommand::EditQuote)); // its dialog, cancelled
    ASSERT_EQ(Prompts::Get().History().size(), 1u);
    EXPECT_EQ(Prompts::Get().History().front().kind, Prompts::Kind::Dialog);
}

TEST_F(WindowTest, AHeaderAnnouncingANegativeCountIsReported) {
    const fs::path dir = root_ / "volume" / "broken";
    fs::create_directories(dir);
    SeriesSpec spec;
    spec.last_record = -5;
    write_series_portfolio(dir, spec, random_series_bars(3, 20));
    OpenWindow();
    EXPECT_EQ(view_->Quotes().Rows(), 0);
    EXPECT_EQ(Shown(Prompts::Kind::Stop), std::vector<QString>{"Error in FillQuotesGrid"});
}

TEST_F(WindowTest, ColumnWidthsAreSavedOnCloseAndRestoredByTheRules) {
    Portfolio("stocks", {{"AAA", "FIRST", 3}});
    OpenWindow();
    view_->SymbolList()->horizontalHeader()->resizeSection(0, 61);
    view_->QuoteList()->horizontalHeader()->resizeSection(6, 57);
    frame_->close();
    CSettingsStore store(Locations());
    EXPECT_EQ(store.GetInt("SymbolGrid", "col0", 0), 61);
    EXPECT_EQ(store.GetInt("QuoteGrid", "col6", 0), 57);
    EXPECT_GT(store.GetInt("QuoteGrid", "col0", 0), 0);

    OpenWindow();
    EXPECT_EQ(view_->SymbolHeaderWidths()[0], 61);
    EXPECT_EQ(view_->QuoteHeaderWidths()[6], 57);
    Setting("QuoteGrid", "col3", 0);
    view_->SetupColumns();
    const std::vector<int> widths = view_->QuoteHeaderWidths();
    const int client = view_->QuoteList()->width() - 2 * view_->QuoteList()->frameWidth();
    EXPECT_EQ(widths, std::vector<int>(7, client * 9 / 70));
}

TEST_F(WindowTest, EveryMoveIsRememberedExceptWhileMinimised) {
    Portfolio("stocks", {{"AAA", "FIRST", 3}});
    OpenWindow();
    CSettingsStore store(Locations());
    frame_->move(-50, 40);
    EXPECT_EQ(store.GetInt("Screen", "x", -1), 0);
    EXPECT_EQ(store.GetInt("Screen", "y", -1), 40);
    frame_->setWindowState(Qt::WindowMinimized);
    frame_->move(300, 200);
    EXPECT_EQ(store.GetInt("Screen", "x", -1), 0);
    frame_->setWindowState(Qt::WindowNoState);
    frame_->resize(640, 480);
    EXPECT_EQ(store.GetInt("Screen", "x", -1), 300);
    EXPECT_EQ(store.GetInt("Screen", "cx", -1), 640);
}

TEST_F(WindowTest, HelpOpensTheUserGuide) {
    Portfolio("stocks", {{"AAA", "FIRST", 3}});
    OpenWindow();
    Prompts::Get().ClearHistory();
    Action("actionHelp")->trigger();
    const auto opened = Shown(Prompts::Kind::OpenUrl);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_TRUE(opened.front().endsWith("quorbit-help.html"));
    EXPECT_TRUE(QFile::exists(CQuorbitApp::HelpFilePath()));
}

} // namespace
