// The five quote commands from the window, offscreen, on a portfolio the test builds: each action is
// triggered by name, its dialog answered through its real controls, and the files, the edit log and the
// reloaded list checked afterwards.
#include "browser/ui/quote_list_model.h"
#include "editing/ui/quote_dialogs.h"
#include "shell/ui/prompts.h"
#include "support/builder.h"
#include "support/fault_injection.h"
#include "support/qt_window.h"

#include <QTableView>

#include <gtest/gtest.h>

#include <span>

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

// Thursday 4 to Thursday 11 January 1996; Friday 5 is missing. Rows: 0 Thu 11, 1 Wed 10, 2 Tue 9,
// 3 Mon 8, 4 Thu 4.
const DayNumber kThu4 = date_pack(96, 1, 4), kMon8 = date_pack(96, 1, 8), kTue9 = date_pack(96, 1, 9),
                kWed10 = date_pack(96, 1, 10), kThu11 = date_pack(96, 1, 11);

// Presses OK; true when the dialog stayed open.
bool PressOk(QDialog& dialog) {
    Click(dialog, "okButton");
    return dialog.isVisible();
}

class QuoteCommandsWindow : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        dir_ = root_ / "volume" / "stocks";
        ibm_ = make_security(1, "IBM", "INTL BUS MACH", bars_on({kThu4, kMon8, kTue9, kWed10, kThu11}), true);
        write_portfolio(dir_, {ibm_}, true);
        OpenWindow();
        ASSERT_EQ(view_->Quotes().Rows(), 5);
    }

    void Run(const char* action, int row) {
        view_->QuoteList()->selectRow(row);
        Trigger(action);
    }
    std::string Dat() const { return read_bytes(dir_ / "f1.dat"); }
    std::string Logged(const char* section, const char* key) const { return Setting(section, key); }

    fs::path dir_;
    Security ibm_;
};

TEST_F(QuoteCommandsWindow, EditQuoteStepsThroughTheSeriesAndWritesTheQuoteShown) {
    Prompts::Get().AnswerDialog([](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Edit Selected Quote - IBM");
        EXPECT_EQ(Label(dialog, "dateText"), "01/10/96");
        Retype(dialog, "closeEdit", "99");
        Click(dialog, "previousButton"); // one quote older; the typed text is dropped
        EXPECT_EQ(Label(dialog, "dateText"), "01/09/96");
        EXPECT_EQ(Edit(dialog, "closeEdit")->text(), "22.7500");
        Click(dialog, "firstButton");
        EXPECT_FALSE(Enabled(dialog, "previousButton") || Enabled(dialog, "firstButton"));
        Click(dialog, "lastButton");
        EXPECT_FALSE(Enabled(dialog, "nextButton") || Enabled(dialog, "lastButton"));
        EXPECT_TRUE(Enabled(dialog, "previousButton") && Enabled(dialog, "firstButton"));
        for (int i = 0; i < 3; ++i)
            Click(dialog, "previousButton");
        EXPECT_EQ(Label(dialog, "dateText"), "01/08/96");
        Retype(dialog, "openEdit", "");
        EXPECT_TRUE(PressOk(dialog)); // an empty value is refused
        Retype(dialog, "openEdit", "25.5");
        Retype(dialog, "closeEdit", "26");
        EXPECT_FALSE(PressOk(dialog));
    });
    Run("actionEditQuote", 1);

    EXPECT_EQ(Shown(Prompts::Kind::Warning),
              std::vector<QString>{
                  "Invalid Data Entered\nOpen: '' is not a number (digits with at most one decimal point)"});
    std::vector<SeriesBar> bars = ibm_.bars;
    bars[1].open = 25.5f;
    bars[1].close = 26.0f;
    EXPECT_EQ(Dat(), dat_bytes(ibm_.spec, bars));
    EXPECT_EQ(
        std::vector<std::string>({Logged("Edit", "Date"), Logged("Edit", "Open"), Logged("Edit", "OI")}),
        (std::vector<std::string>{"01/08/96", "25.5", "301"}));
    EXPECT_EQ(
        std::tuple(view_->State().selectedQuoteRow, QuoteListModel::CellText(view_->Quotes().RowAt(3), 1)),
        std::tuple(0, "25.5000"));
}

TEST_F(QuoteCommandsWindow, SplitRestatesTheQuotesBeforeItsDateAfterRefusingADateBeforeThem) {
    Prompts::Get().AnswerDialog([](QDialog& dialog) {
        EXPECT_EQ(Edit(dialog, "splitDateEdit")->text(), "01/09/96");
        Retype(dialog, "newSharesEdit", "2");
        Retype(dialog, "splitDateEdit", "010396"); // before the first quote
        EXPECT_EQ(Edit(dialog, "splitDateEdit")->text(), "01/03/96");
        EXPECT_TRUE(PressOk(dialog));
        Retype(dialog, "splitDateEdit", "010996");
        EXPECT_FALSE(PressOk(dialog));
    });
    Run("actionSplitQuotes", 2);

    EXPECT_EQ(Shown(Prompts::Kind::Warning).size(), 1u);
    std::vector<SeriesBar> bars = ibm_.bars;
    for (SeriesBar& b : std::span(bars).first(2))
        b = {b.date, 0, b.open / 2, b.high / 2, b.low / 2, b.close / 2, b.vol * 2, b.oi * 2};
    EXPECT_EQ(Dat(), dat_bytes(ibm_.spec, bars));
    EXPECT_EQ(
        std::vector<std::string>({Logged("Split", "Date"), Logged("Split", "New"), Logged("Split", "Old")}),
        (std::vector<std::string>{"01/09/96", "2", "1"}));
}

TEST_F(QuoteCommandsWindow, AdjustTakesFromAfterToButNoEmptyOrWordyMultiplier) {
    Prompts::Get().AnswerDialog([](QDialog& dialog) {
        EXPECT_EQ(Edit(dialog, "fromEdit")->text(), "01/04/96");
        EXPECT_EQ(Edit(dialog, "toEdit")->text(), "01/11/96");
        Retype(dialog, "priceEdit", "");
        EXPECT_TRUE(PressOk(dialog));
        Retype(dialog, "priceEdit", "3");
        Retype(dialog, "openInterestEdit", "abc"); // this box takes any character
        EXPECT_TRUE(PressOk(dialog));
        Retype(dialog, "openInterestEdit", "1");
        Retype(dialog, "fromEdit", "011196");
        Retype(dialog, "toEdit", "010496");
        EXPECT_FALSE(PressOk(dialog));
    });
    const std::string before = Dat();
    Run("actionAdjustQuotes", 0);

    EXPECT_EQ(Shown(Prompts::Kind::Warning),
              (std::vector<QString>{
                  "Invalid Data Entered\nPrice: '' is not a number (digits with at most one decimal point)",
                  "Invalid Data Entered\nOpen Interest: 'abc' is not a number (digits with at most one "
                  "decimal point)"}));
    EXPECT_TRUE(Dat() == before && Shown(Prompts::Kind::Information).size() == 1u); // none in range, said so
    EXPECT_EQ(std::vector<std::string>(
                  {Logged("Adjust", "Date1"), Logged("Adjust", "Date2"), Logged("Adjust", "PriceMult")}),
              (std::vector<std::string>{"01/11/96", "01/04/96", "3"}));
}

// What reached the files through the boxes before: an impossible date that rolled over, a negative
// multiplier, a number cut short at its second point or at 16 digits. Each is refused in its own box, and
// a date is typed in either form the list shows.
TEST_F(QuoteCommandsWindow, BadValuesAreRefusedNamingTheirBoxAndNothingIsWritten) {
    const std::string before = Dat();
    Prompts::Get().AnswerDialog([](QDialog& dialog) {
        Retype(dialog, "fromEdit", "010496");
        Retype(dialog, "toEdit", "02/3096"); // a "/" typed where the box writes one
        EXPECT_EQ(Edit(dialog, "toEdit")->text(), "02/30/96");
        EXPECT_TRUE(PressOk(dialog));
        Retype(dialog, "fromEdit", "01041996");
        Retype(dialog, "toEdit", "01/11/1996");
        Retype(dialog, "openInterestEdit", "-1");
        EXPECT_TRUE(PressOk(dialog));
        Retype(dialog, "openInterestEdit", "1");
        Retype(dialog, "priceEdit", "1.2.3");
        EXPECT_TRUE(PressOk(dialog));
    });
    Run("actionAdjustQuotes", 0);
    EXPECT_EQ(
        Shown(Prompts::Kind::Warning),
        (std::vector<QString>{
            "Invalid Data Entered\nTo: '02/30/96' is not a date of the calendar (MM/DD/YY or MM/DD/YYYY)",
            "Invalid Data Entered\nOpen Interest: '-1' is negative; values are 0 or more",
            "Invalid Data Entered\nPrice: '1.2.3' is not a number (digits with at most one decimal point)"}));
    Prompts::Get().AnswerDialog([](QDialog& dialog) {
        Retype(dialog, "newSharesEdit", "1.2.3");
        EXPECT_TRUE(PressOk(dialog));
    });
    Run("actionSplitQuotes", 2);
    EXPECT_EQ(Dat(), before);
    EXPECT_EQ(
        Shown(Prompts::Kind::Warning),
        std::vector<QString>{"Invalid Data Entered\nNew Shares: '1.2.3' is not a number (digits with at "
                             "most one decimal point)"});

    Prompts::Get().AnswerDialog([](QDialog& dialog) {
        Retype(dialog, "highEdit", "1234567890123456789"); // kept whole: the value typed is the one stored
        EXPECT_EQ(Edit(dialog, "highEdit")->text(), "1234567890123456789");
        EXPECT_FALSE(PressOk(dialog));
    });
    Run("actionEditQuote", 0);
    std::vector<SeriesBar> bars = ibm_.bars;
    bars.back().high = 1234567890123456789.0f;
    EXPECT_EQ(Dat(), dat_bytes(ibm_.spec, bars));
}

TEST_F(QuoteCommandsWindow, AFailureKeepsItsOwnTextAndSaysWhichSeriesAndWhy) {
    const std::string before = Dat();
    FaultInjector faults;
    faults.fail_all(fileops::Op::Write, ENOSPC);
    Prompts::Get().AnswerDialog([](QDialog& dialog) {
        Retype(dialog, "closeEdit", "99");
        EXPECT_FALSE(PressOk(dialog));
    });
    Run("actionEditQuote", 0);
    EXPECT_EQ(Dat(), before);
    EXPECT_EQ(Shown(Prompts::Kind::Stop), std::vector<QString>{QString::fromStdString(
                                              "Single Date Edit Failed\nSecurity IBM in " + dir_.string() +
                                              "\nProblem: a file could not be written.\n"
                                              "Reason: No space left on device.")});
}

TEST_F(QuoteCommandsWindow, ASeriesChangedByAnotherProgramIsReadAgainNotWritten) {
    // While the dialog is open, another program adds a quote for Friday 12th.
    std::vector<SeriesBar> bars = ibm_.bars;
    bars.push_back(bars.back());
    bars.back().date = date_pack(96, 1, 12);
    Prompts::Get().AnswerDialog([&](QDialog& dialog) {
        write_bytes(dir_ / "f1.dat", dat_bytes(ibm_.spec, bars));
        Retype(dialog, "closeEdit", "99");
        EXPECT_FALSE(PressOk(dialog));
    });
    Run("actionEditQuote", 0);
    EXPECT_EQ(Dat(), dat_bytes(ibm_.spec, bars));
    EXPECT_EQ(
        Shown(Prompts::Kind::Warning),
        std::vector<QString>{"The quotes of IBM were changed by another program since Quorbit read them.\n"
                             "Nothing was written; the quotes are read again."});
    EXPECT_EQ(std::tuple(view_->Quotes().Rows(), view_->Quotes().RowAt(0).date),
              std::tuple(6, date_pack(96, 1, 12)));
}

TEST_F(QuoteCommandsWindow, DeleteAsksOnceMoreAndNoKeepsTheDialogOpen) {
    Prompts::Get().AnswerYesNo(false);
    Prompts::Get().AnswerYesNo(true);
    Prompts::Get().AnswerDialog([](QDialog& dialog) {
        EXPECT_EQ(Label(dialog, "dateText"), "01/09/96");
        EXPECT_TRUE(PressOk(dialog));
        EXPECT_FALSE(PressOk(dialog));
    });
    Run("actionDeleteQuote", 2);

    EXPECT_EQ(Shown(Prompts::Kind::Question),
              std::vector<QString>(2, "You are about to delete the data for date\n01/09/96\nAre you sure?"));
    std::vector<SeriesBar> bars = ibm_.bars;
    bars.erase(bars.begin() + 2);
    EXPECT_EQ(Dat(), dat_bytes(ibm_.spec, bars));
    EXPECT_EQ(std::tuple(Logged("Delete", "Date"), view_->Quotes().Rows()), std::tuple("01/09/96", 4));
}

TEST_F(QuoteCommandsWindow, AddQuoteFillsTheGapAndOpensEditQuoteOnIt) {
    Prompts::Get().AnswerDialog([](QDialog& dialog) {
        EXPECT_EQ(Label(dialog, "newDateText"), "01/05/96");
        EXPECT_FALSE(PressOk(dialog));
    });
    Prompts::Get().AnswerDialog([](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Edit Selected Quote - IBM");
        EXPECT_EQ(Label(dialog, "dateText"), "01/05/96");
        EXPECT_EQ(Edit(dialog, "openEdit")->text(), "21.0000"); // Monday's values
    });                                                         // left open: cancelled, the new quote stays
    Run("actionAddQuote", 3);

    std::vector<SeriesBar> bars = ibm_.bars;
    SeriesBar friday = bars[1];
    friday.date = date_pack(96, 1, 5);
    bars.insert(bars.begin() + 1, friday);
    EXPECT_EQ(Dat(), dat_bytes(ibm_.spec, bars));
    EXPECT_EQ(std::tuple(Logged("Add", "Date"), view_->State().selectedQuoteRow), std::tuple("01/05/96", 4));
    EXPECT_EQ(Shown(Prompts::Kind::Dialog),
              (std::vector<QString>{"Add Data - IBM", "Edit Selected Quote - IBM"}));

    Run("actionAddQuote", 1); // Wednesday: Tuesday is there already
    EXPECT_EQ(Shown(Prompts::Kind::Warning), std::vector<QString>{"Date 01/09/96 already exists."});
    EXPECT_TRUE(Shown(Prompts::Kind::Dialog).empty());
}

} // namespace
