// Split Search and Export from the window, offscreen: the modeless search window with its notices,
// repeated searches and saved lines, and the export dialog's choices written byte for byte and kept.
#include "analysis/ui/split_search_dlg.h"
#include "shell/ui/dialog_units.h"
#include "support/builder.h"
#include "support/qt_window.h"

#include <QCheckBox>
#include <QEventLoop>
#include <QPointer>

#include <functional>

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

SeriesBar Bar(DayNumber day, float open, float high, float low, float close, float vol, float oi) {
    return {day, 0, open, high, low, close, vol, oi};
}

// AB (on screen, two quotes), XYZ (a fall 2 for 1 on 01/05/98, a rise 1 for 2 on 01/07/98), ZED (one
// quote).
class AnalysisWindow : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        const DayNumber d[] = {date_pack(98, 1, 2), date_pack(98, 1, 5), date_pack(98, 1, 6),
                               date_pack(98, 1, 7)};
        write_portfolio(
            dir_,
            {make_security(1, "AB", "A B",
                           {Bar(d[0], 12.5f, 12.75f, 12.25f, 12.625f, 15300, 40),
                            Bar(d[1], 13, 13.5f, 12.75f, 13.25f, 1200, 7)}),
             make_security(2, "XYZ", "X",
                           {Bar(d[0], 10, 10.25f, 9.75f, 10, 1, 1), Bar(d[1], 5, 5.125f, 4.875f, 5, 1, 1),
                            Bar(d[2], 5, 5.125f, 4.875f, 5, 1, 1), Bar(d[3], 10, 10.25f, 9.75f, 10, 1, 1)}),
             make_security(3, "ZED", "Z", {Bar(d[0], 1, 1, 1, 1, 1, 1)})});
        OpenWindow();
    }
    CSplitSearchDlg* SearchWindow() const { return frame_->findChild<CSplitSearchDlg*>(); }
    Prompts::Kind LastKind() const { return Prompts::Get().History().back().kind; }
    // Presses "Search" and serves the window's events until the search has ended.
    static void Search(CSplitSearchDlg& window, const std::function<void()>& while_searching = {}) {
        QEventLoop loop;
        bool ended = false;
        QObject::connect(&window, &CSplitSearchDlg::searchFinished, &loop,
                         [&] { ended = true, loop.quit(); });
        Click(window, "searchButton");
        if (while_searching)
            while_searching();
        if (!ended)
            loop.exec();
    }

    fs::path dir_ = root_ / "volume" / "stocks";
};

TEST_F(AnalysisWindow, SplitSearchListsAppendsSavesAndReopensOnlyAfterClose) {
    Trigger("actionSplitSearch");
    QPointer<CSplitSearchDlg> window = SearchWindow();
    ASSERT_TRUE(window);
    // Laid out as its template, in dialog units of its font: the group box, the status line, the list,
    // the notice, then the buttons Search, Save As... and Close.
    const DialogUnits units(window->font());
    const QRect layout[] = {units.Rect(8, 8, 184, 80),   units.Rect(56, 20, 88, 8),
                            units.Rect(16, 32, 169, 49), units.Rect(36, 92, 130, 20),
                            units.Rect(30, 120, 48, 16), units.Rect(85, 120, 48, 16),
                            units.Rect(140, 120, 48, 16)};
    const QList<QWidget*> controls = window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    ASSERT_EQ(static_cast<std::size_t>(controls.size()), std::size(layout));
    for (std::size_t i = 0; i < std::size(layout); ++i)
        EXPECT_EQ(controls[static_cast<qsizetype>(i)]->geometry(), layout[i]) << i;
    EXPECT_FALSE((window->windowFlags() & Qt::WindowCloseButtonHint) || Enabled(*window, "saveAsButton") ||
                 frame_->findChild<QAction*>("actionSplitSearch")->isEnabled());

    Search(*window);
    const std::vector<std::string> found = {"XYZ possible 2 for 1 split on 01/05/98",
                                            "XYZ possible 1 for 2 split on 01/07/98"};
    EXPECT_EQ(window->Lines(), found);
    EXPECT_EQ(Label(*window, "statusText"), "Done search");
    EXPECT_EQ(Shown(Prompts::Kind::Information),
              std::vector<QString>{
                  "For symbol ZED\nSplitSearch cannot perform search\nas there are fewer than 2 quotes."});
    const auto& history = Prompts::Get().History(); // the beep at the end, then the one note
    ASSERT_GE(history.size(), 2u);
    EXPECT_EQ(std::pair(history[history.size() - 2].kind, LastKind()),
              std::pair(Prompts::Kind::Beep, Prompts::Kind::Information));
    Prompts::Get().ClearHistory();
    Search(*window, [&] { // a second search lists its findings afresh, with the one note again
        EXPECT_TRUE(window->Lines().empty() && !window->isEnabled() &&
                    !window->findChild<QWidget*>("saveAsButton")->isEnabledTo(window));
    });
    EXPECT_EQ(window->Lines(), found);
    EXPECT_EQ(Shown(Prompts::Kind::Information).size(), 1u);

    Prompts::Get().AnswerFileName(QString::fromStdString((root_ / "result.txt").string()));
    Prompts::Get().AnswerFileName(QString::fromStdString((root_ / "none" / "result.txt").string()));
    Click(*window, "saveAsButton");
    EXPECT_EQ(read_bytes(root_ / "result.txt"), found[0] + "\n" + found[1] + "\n");
    Click(*window, "saveAsButton"); // a file that cannot be made is reported
    EXPECT_EQ(Shown(Prompts::Kind::Stop).size(), 1u);

    Click(*window, "closeButton");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(!window && frame_->findChild<QAction*>("actionSplitSearch")->isEnabled());

    write_portfolio(dir_,
                    {make_security(2, "XYZ", "X", bars_on({date_pack(98, 1, 2), date_pack(98, 1, 5)}))});
    view_->FillSymbolsGrid(0);
    Trigger("actionSplitSearch");
    Prompts::Get().ClearHistory();
    Search(*SearchWindow()); // the beep comes before the notice that nothing was found
    EXPECT_EQ(Prompts::Get().History().front().kind, Prompts::Kind::Beep);
    EXPECT_EQ(Shown(Prompts::Kind::Information), std::vector<QString>{"No candidate splits found"});
}

struct ExportCase {
    const char* delimiter; // its radio button
    const char* order;
    bool title;
    int omitted; // the first n of Open, High, Low, Close, Volume, Open Interest, counted from the end
    std::string text;
};

TEST_F(AnalysisWindow, ExportWritesTheChosenColumnsAndKeepsTheChoicesOfAStartedExportOnly) {
    const std::string file = (root_ / "ab.txt").string();
    Prompts::Get().AnswerDialog([](QDialog& dialog) {
        EXPECT_TRUE(LaidOutWithoutClipping(dialog));
        Click(dialog, "okButton"); // the defaults
    });
    Trigger("actionExportQuotes");
    EXPECT_EQ(read_bytes(root_ / "volume" / "output.txt"),
              "01/02/98 12.5000 12.7500 12.2500 12.6250 15300.00 40.00\n"
              "01/05/98 13.0000 13.5000 12.7500 13.2500 1200.00 7.00\n");
    EXPECT_EQ(LastKind(), Prompts::Kind::Beep);

    const char* omit[] = {"omitOpen", "omitHigh", "omitLow", "omitClose", "omitVol", "omitOI"};
    auto choose = [&](const ExportCase& c) {
        Prompts::Get().AnswerDialog([&](QDialog& dialog) {
            Retype(dialog, "pathEdit", QString::fromStdString(file));
            Click(dialog, c.delimiter);
            Click(dialog, c.order);
            dialog.findChild<QCheckBox*>("titleCheck")->setChecked(c.title);
            for (int i = 0; i < 6; ++i)
                dialog.findChild<QCheckBox*>(omit[i])->setChecked(i >= 6 - c.omitted);
            Click(dialog, "okButton");
        });
        if (fs::exists(file))
            Prompts::Get().AnswerYesNo(true);
        Trigger("actionExportQuotes");
    };
    const ExportCase cases[] = {
        {"commaRadio", "newestRadio", true, 1,
         "DATE,OPEN,HIGH,LOW,CLOSE,VOL\n01/05/98,13.0000,13.5000,12.7500,13.2500,1200.00\n"
         "01/02/98,12.5000,12.7500,12.2500,12.6250,15300.00\n"},
        {"tabRadio", "oldestRadio", true, 6, "DATE\n01/02/98\n01/05/98\n"},
        {"spaceRadio", "newestRadio", false, 3,
         "01/05/98 13.0000 13.5000 12.7500\n01/02/98 12.5000 12.7500 12.2500\n"}};
    for (const ExportCase& c : cases) {
        choose(c);
        EXPECT_EQ(read_bytes(file), c.text) << c.delimiter;
    }
    EXPECT_EQ(std::vector<std::string>({Setting("XportSel", "Starter"), Setting("XportSel", "Delim"),
                                        Setting("XportSel", "Newest"), Setting("XportSel", "OmitLow")}),
              (std::vector<std::string>{file, "0", "1", "0"}));

    Prompts::Get().AnswerYesNo(false); // then the question for an existing file is answered No
    Prompts::Get().AnswerDialog([&](QDialog& dialog) {
        Click(dialog, "tabRadio");
        Click(dialog, "okButton");
    });
    Trigger("actionExportQuotes");
    EXPECT_EQ(Shown(Prompts::Kind::Question),
              std::vector<QString>{
                  QString::fromStdString(file + "\nThis file already exists\n\nReplace existing file?")});
    EXPECT_EQ(read_bytes(file), cases[2].text);
    EXPECT_EQ(Setting("XportSel", "Delim"), "0");

    // A portfolio's own file is refused before any question, and the dialog stays open for another name.
    const auto before = snapshot(dir_);
    Prompts::Get().AnswerDialog([&](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Export - AB");
        Retype(dialog, "pathEdit", QString::fromStdString((dir_ / "MASTER").string()));
        Click(dialog, "okButton");
        EXPECT_TRUE(dialog.isVisible());
    });
    Trigger("actionExportQuotes");
    EXPECT_TRUE(Shown(Prompts::Kind::Question).empty());
    ASSERT_EQ(Shown(Prompts::Kind::Stop).size(), 1u);
    EXPECT_TRUE(Shown(Prompts::Kind::Stop)[0].contains("belongs to a portfolio"));
    EXPECT_EQ(snapshot(dir_), before);
}

} // namespace
