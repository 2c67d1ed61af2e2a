// The Check Data window and the chart in the main window, driven offscreen: a finding leads to its
// quote in one double-click, a click on the chart selects a quote and the chart follows the list.
#include "browser/ui/quote_list_model.h"
#include "support/builder.h"
#include "support/qt_window.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QTableView>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

std::vector<SeriesBar> steady_bars(int count) {
    std::vector<SeriesBar> bars;
    DayNumber day = date_pack(99, 3, 1);
    for (int i = 0; i < count; ++i, day = next_weekday(day)) {
        const float c = 10.0f + static_cast<float>(i % 8) / 64.0f;
        bars.push_back({day, 0, c, c + 0.25f, c - 0.25f, c, 1000, 50});
    }
    return bars;
}

class CheckChartTest : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        std::vector<SeriesBar> spiked = steady_bars(40), broken = steady_bars(30);
        spiked[5].close = spiked[5].high = 100;
        broken[7].high = 1;
        write_portfolio(
            one(), {make_security(1, "ALPHA", "A", steady_bars(50)), make_security(2, "BETA", "B", spiked)},
            false, {master_directory_entry(9, "SUB")});
        write_portfolio(one() / "SUB", {make_security(1, "GAMMA", "G", broken)});
        OpenWindow();
        ASSERT_EQ(view_->State().currentSymbol, "ALPHA");
    }
    fs::path one() const { return root_ / "volume" / "one"; }
    QAction* Action(const char* name) const { return frame_->findChild<QAction*>(name); }
    // Clicks Check and serves the window's events until the check has ended.
    static void RunCheck(CCheckDataDlg& dialog) {
        QEventLoop ended;
        QObject::connect(&dialog, &CCheckDataDlg::checkFinished, &ended, &QEventLoop::quit);
        QTest::mouseClick(dialog.findChild<QPushButton*>("checkButton"), Qt::LeftButton);
        EXPECT_TRUE(dialog.Running());
        ended.exec();
    }
};

// A finding names its quote by position and date: the position while the quote there holds the date,
// else the first quote of that date (the file changed since the check), else none.
TEST(QuoteListRows, AFindingsQuoteIsFoundByPositionWhileItHoldsTheDateElseByDate) {
    QuoteListModel model;
    const std::vector<QuoteRowValues> rows = {{30, 0, {}}, {20, 0, {}}, {10, 0, {}}}; // newest first
    model.Append(rows);
    EXPECT_EQ(std::vector<int>({model.FindBarRow(0, 10), model.FindBarRow(0, 20), model.FindBarRow(5, 30),
                                model.FindBarRow(-1, 20), model.FindBarRow(1, 99)}),
              std::vector<int>({2, 1, 0, -1, -1}));
}

TEST_F(CheckChartTest, ADoubleClickOnAFindingSelectsItsSecurityAndQuote) {
    Action("actionCheckData")->trigger();
    CCheckDataDlg* dialog = view_->CheckDataWindow();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(Action("actionCheckData")->isEnabled());
    // Cancel is clicked while the window serves its events between the steps of the check, before the
    // first security: the click was queued before the first step.
    QMetaObject::invokeMethod(dialog->findChild<QPushButton*>("cancelButton"), "click", Qt::QueuedConnection);
    RunCheck(*dialog);
    EXPECT_EQ(dialog->StatusText(), "Cancelled: 0 findings");
    RunCheck(*dialog);
    ASSERT_EQ(dialog->Findings().size(), 2u);
    EXPECT_EQ(dialog->StatusText(), "2 findings in 3 securities");
    EXPECT_TRUE(dialog->findChild<QPushButton*>("saveAsButton")->isEnabled());

    QTableView* results = dialog->Results();
    const auto doubleClick = [results](int row) {
        const QRect cell = results->visualRect(results->model()->index(row, 2));
        QTest::mouseClick(results->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(results->viewport(), Qt::LeftButton, {}, cell.center());
    };
    const auto shown = [this] {
        return std::tuple(view_->State().portfolioDir, view_->State().currentSymbol,
                          view_->State().selectedQuoteRow);
    };
    doubleClick(1); // SUB/GAMMA, quote 7 of 30: the nested portfolio is opened
    EXPECT_EQ(shown(), std::tuple(one() / "SUB", "GAMMA", 30 - 1 - 7));
    doubleClick(0); // BETA, quote 5 of 40
    EXPECT_EQ(shown(), std::tuple(one(), "BETA", 40 - 1 - 5));
    EXPECT_EQ(view_->QuoteList()->selectionModel()->selectedRows().front().row(), 34);

    dialog->close(); // the window deletes itself
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(view_->CheckDataWindow() == nullptr && Action("actionCheckData")->isEnabled());
}

TEST_F(CheckChartTest, TheChartMarksFindingsSelectsByClickAndFollowsTheList) {
    Action("actionChart")->trigger();
    CChartWnd* chart = view_->ChartWindow();
    ASSERT_NE(chart, nullptr);
    EXPECT_EQ(std::pair(chart->Bars(), chart->SelectedBar()), std::pair(50, 49)); // row 0, the newest
    // It opens over the client area, below the menu bar and the toolbar.
    const QPoint client = frame_->centralWidget()->mapToGlobal(QPoint(0, 0));
    EXPECT_TRUE(QRect(client, frame_->centralWidget()->size()).contains(chart->frameGeometry()));
    QCheckBox* log = chart->findChild<QCheckBox*>("logScale");
    QTest::mouseClick(log, Qt::LeftButton, {}, QPoint(4, log->height() / 2));
    EXPECT_TRUE(chart->PriceAxis().logarithmic);
    EXPECT_EQ(chart->AxisDateText(0), "03/01/99");

    ASSERT_TRUE(view_->ShowFinding(one(), "BETA", 5, steady_bars(6)[5].date));
    ASSERT_EQ(chart->Bars(), 40);
    EXPECT_TRUE(chart->Marked(5) && !chart->Marked(4));
    EXPECT_EQ(chart->SelectedBar(), 5);

    const QPoint atQuote12(chart_x_of(chart->Scale(), 12), chart->PlotRect().center().y());
    QTest::mouseClick(chart, Qt::LeftButton, {}, atQuote12);
    EXPECT_EQ(view_->State().selectedQuoteRow, 40 - 1 - 12);

    QTest::keyClick(chart, Qt::Key_Left);
    EXPECT_EQ(view_->State().selectedQuoteRow, 40 - 1 - 11);
    view_->SelectQuoteRow(0);
    EXPECT_EQ(chart->SelectedBar(), 39);
    chart->ZoomAround(20, 0.25);
    EXPECT_EQ(chart->Scale().count, 10);
    view_->FillQuotesGrid(3); // a reload keeps the zoom of the same series
    EXPECT_EQ(std::pair(chart->Scale().count, chart->SelectedBar()), std::pair(10, 36));
}

} // namespace
