// The quote commands, compared byte for byte with files built from the expected bars. How each kind of
// rewrite treats the bytes it does not change is in storage/rewrite_test.cpp.
#include "editing/quote_commands.h"

#include "editing/value_text.h"
#include "support/builder.h"

#include <gtest/gtest.h>

using namespace editing;
using namespace testing_support;
using Texts = std::vector<std::string>;

namespace {

DayNumber day(int d) {
    return date_pack(96, 1, d); // January 1996: Thursday the 4th, Monday the 8th
}

Texts log_of(const CommandResult& r) {
    Texts keys;
    for (const LogEntry& e : r.log)
        keys.push_back(e.section + "/" + e.key + "=" + e.value);
    return keys;
}

class QuoteCommands : public ::testing::Test {
protected:
    void SetUp() override { write({day(4), day(5), day(8), day(9), day(10), day(11)}); }
    // IBM on the given days, beside a 24-byte security without OI and without F<n>.DOP.
    void write(std::vector<DayNumber> ibm_days) {
        ibm = make_security(2, "IBM", "INTL BUS MACH", bars_on(ibm_days), true);
        other = make_security(1, "XYZ", "XYZ CORP", bars_on({day(4), day(5), day(8)}), true);
        other.spec.fields = {"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL"};
        other.spec.write_dop = false;
        write_portfolio(tmp.path(), {other, ibm}, true);
        before = snapshot(tmp.path());
    }
    // The view state with `s` on screen and row `selected` of its quote list selected.
    ViewState view(const Security& s, int selected = 0) const {
        return {tmp.path(), tmp / "master",      s.spec.symbol,     "", 2, 0, static_cast<int>(s.bars.size()),
                selected,   s.bars.front().date, s.bars.back().date};
    }
    std::string dat(const Security& s) const {
        return read_bytes(tmp / ("f" + std::to_string(s.spec.file_number) + ".dat"));
    }
    bool unchanged() const { return snapshot(tmp.path()) == before; }
    // The file after multiplying the values of the bars dated first..last, or after changing one bar.
    static std::string scaled(const Security& s, DayNumber first, DayNumber last, float price, float volume,
                              float oi) {
        std::vector<SeriesBar> bars = s.bars;
        for (SeriesBar& b : bars) {
            if (b.date < first || b.date > last)
                continue;
            for (float* v : {&b.open, &b.high, &b.low, &b.close})
                *v = static_cast<float>(static_cast<double>(*v) * price);
            b.vol = static_cast<float>(static_cast<double>(b.vol) * volume);
            b.oi = static_cast<float>(static_cast<double>(b.oi) * oi);
        }
        return dat_bytes(s.spec, bars);
    }
    static std::string with_bar(const Security& s, std::size_t index, const SeriesBar& bar) {
        std::vector<SeriesBar> bars = s.bars;
        bars[index] = bar;
        return dat_bytes(s.spec, bars);
    }
    static std::vector<DayNumber> shown_dates(const Security& s) {
        std::vector<DayNumber> rows;
        for (auto it = s.bars.rbegin(); it != s.bars.rend(); ++it)
            rows.push_back(it->date);
        return rows;
    }

    TempDir tmp;
    Security ibm, other;
    Snapshot before;
};

TEST_F(QuoteCommands, SplitAdjustAndEditRestateTheirQuotesOnlyAndLogTheTextsAsTyped) {
    write({0, day(4), day(5), day(8), day(9)}); // the oldest quote from before 1961, as in old index series
    // What a scaling rewrite keeps (backup, MASTER): storage/rewrite_test.cpp; the logs of a split and of
    // an added quote: browser/ui/quote_commands_test.cpp.
    CommandResult r = split_quotes(view(ibm), {"01/09/96", "2", "1"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(dat(ibm), scaled(ibm, 0, day(8), 0.5f, 2.0f, 2.0f));
    ASSERT_TRUE(split_quotes(view(other), {"01/08/96", "1", "2"}).ok); // a series without OI
    EXPECT_EQ(dat(other), scaled(other, 0, day(5), 2.0f, 0.5f, 1.0f));
    write({day(4), day(5), day(8), day(9), day(10), day(11)});
    r = adjust_quotes(view(ibm), {"01/05/96", "01/09/96", "0.5", "2", "4"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(dat(ibm), scaled(ibm, day(5), day(9), 0.5f, 2.0f, 4.0f));
    EXPECT_EQ(log_of(r), (Texts{"Adjust/Date1=01/05/96", "Adjust/Date2=01/09/96", "Adjust/PriceMult=0.5",
                                "Adjust/VolMult=2", "Adjust/OIMult=4"}));
    EXPECT_EQ(split_factors("3", "2")->price, static_cast<float>(2.0 / 3.0)); // rounded once from the ratio
    write({day(4), day(5), day(8), day(9)});
    r = edit_quote(view(ibm), "01/09/96", {"25.5000", "26", "24.75", "25.25", "15000.4", "411"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(dat(ibm), with_bar(ibm, 3, {day(9), 0, 25.5f, 26, 24.75f, 25.25f, 15000.4f, 411}));
    EXPECT_EQ(log_of(r), (Texts{"Edit/Date=01/09/96", "Edit/Open=25.5000", "Edit/Hi=26", "Edit/Lo=24.75",
                                "Edit/Close=25.25", "Edit/Vol=15000.4", "Edit/OI=411"}));
    ASSERT_TRUE(
        edit_quote(view(other), "01/05/96", {"1", "2", "0.5", "1.5", "900", "N/A"}).ok); // OI not read
    EXPECT_EQ(dat(other), with_bar(other, 1, {day(5), 0, 1, 2, 0.5f, 1.5f, 900, 0}));
}

TEST_F(QuoteCommands, InvalidInputIsRefusedAndAnEditThatChangesNothingWritesNothing) {
    // Each refusal keeps "Invalid Data Entered" as its first line and names the box on the second.
    // clang-format off
    const std::pair<SplitInput, const char*> bad_splits[] = {{{"01/12/96", "2", "1"}, "Split Date"},
        {{"01/03/96", "2", "1"}, "Split Date"}, {{"01/09/96", "0", "1"}, "New Shares"},
        {{"01/09/96", "2", ""}, "Old Shares"}, {{"01/09/96", "x", "1"}, "New Shares"},
        {{"01/ 9/96", "2", "1"}, "Split Date"}, {{"1/9/96", "2", "1"}, "Split Date"},
        {{"01/09/96", "2", "inf"}, "Old Shares"}, {{"01/09/96", "1.2.3", "1"}, "New Shares"},
        {{"02/30/96", "2", "1"}, "Split Date"}, {{"01/09/96", "2", "1e-30"}, "Old Shares"}};
    const std::pair<AdjustInput, const char*> bad_adjusts[] = {
        {{"01/03/96", "01/11/96", "1", "1", "1"}, "From"}, {{"01/04/96", "01/12/96", "1", "1", "1"}, "To"},
        {{"01/04/96", "01/11/96", "0", "1", "1"}, "Price"}, {{"01/04/96", "01/11/96", "1", "", "1"}, "Volume"},
        {{"01/04/96", "01/11/96", "1", "1", "N/A"}, "Open Interest"}, {{"01/04/96", "1/11/96", "1", "1", "1"}, "To"},
        {{"01/04/96", "01/11/96", "1", "1", "-1"}, "Open Interest"}, {{"02/30/96", "02/30/96", "2", "1", "1"}, "From"},
        {{"01/04/96", "01/11/96", "1", "1", "1 "}, "Open Interest"}};
    // clang-format on
    auto refused_in = [](const CommandResult& r, const char* box) {
        return !r.ok && r.messages.size() == 1 &&
               r.messages[0].text.rfind(std::string(kInvalidDataEntered) + "\n" + box + ": '", 0) == 0;
    };
    for (const auto& [in, box] : bad_splits)
        EXPECT_TRUE(refused_in(split_quotes(view(ibm), in), box)) << in.date_text << in.new_shares;
    for (const auto& [in, box] : bad_adjusts)
        EXPECT_TRUE(refused_in(adjust_quotes(view(ibm), in), box)) << in.from_date << in.open_interest;
    EXPECT_EQ(adjust_quotes(view(ibm), {"01/04/96", "01/11/96", "1", "1", "-1"}).texts(),
              Texts{"Invalid Data Entered\nOpen Interest: '-1' is negative; values are 0 or more"});
    for (const char* bad : {"", "abc", "1e39", "nan", " 24.75", "25.25abc", "1.2.3", "-3"})
        EXPECT_TRUE(refused_in(edit_quote(view(ibm), "01/09/96", {"1", "2", bad, "1.5", "900", "3"}), "Low"))
            << bad;
    EXPECT_TRUE(refused_in(edit_quote(view(ibm), "02/30/96", {"1", "2", "1", "1.5", "900", "3"}), "Date"));
    // A product beyond what the file holds is refused before anything is written.
    EXPECT_EQ(
        adjust_quotes(view(ibm), {"01/04/96", "01/11/96", "1" + std::string(37, '0'), "1", "1"}).texts(),
        Texts{"Adjust Edit Failed\nA value would become larger than a quote file can hold; no file was "
              "written."});
    write_bytes(tmp / "f2.bak", "the state before the last real change");
    before = snapshot(tmp.path());
    for (const CommandResult& r :
         {split_quotes(view(ibm), {"01/04/96", "2", "1"}), // nothing before
          split_quotes(view(ibm), {"01/09/96", "1", "1"}),
          adjust_quotes(view(ibm), {"01/10/96", "01/05/96", "3", "3", "3"}),
          edit_quote(view(ibm), "01/09/96", {"23", "24.5", "22.25", "23.75", "12300", "303"})}) {
        EXPECT_EQ(r.texts(), Texts{kNothingChanged});
        EXPECT_TRUE(r.ok && !r.log.empty());
    }
    ViewState missing = view(ibm); // rewrite failures give each command's own message
    missing.currentSymbol = "NOPE";
    EXPECT_EQ(edit_quote(missing, "01/09/96", {"1", "1", "1", "1", "1", "1"}).texts(),
              Texts{"Single Date Edit Failed"});
    EXPECT_EQ(split_quotes(missing, {"01/09/96", "2", "1"}).texts(), Texts{"Split Edit Failed"});
    EXPECT_EQ(adjust_quotes(missing, {"01/09/96", "01/09/96", "2", "1", "1"}).texts(),
              Texts{"Adjust Edit Failed"});
    EXPECT_EQ(delete_quote(missing, "01/09/96").texts(), Texts{"Delete Edit Failed"});
    EXPECT_EQ(add_quote(missing, {day(8), day(4)}).result.texts(), Texts{"Add Quote Failed"});
    const CommandResult absent = delete_quote(view(ibm), "01/06/96");
    EXPECT_EQ(std::pair(absent.status, absent.texts()),
              std::pair(-200, Texts{"failure in delete quote for findrec", "Delete Edit Failed"}));
    EXPECT_TRUE(unchanged());
}

TEST_F(QuoteCommands, NAKeepsAStoredValueTheListCannotShowAndAnyOtherBoxTakesANewValue) {
    ibm.bars[3].oi = -5; // left by an earlier faulty adjust or another program; the list shows N/A
    write_portfolio(tmp.path(), {other, ibm}, true);
    ASSERT_TRUE(edit_quote(view(ibm), "01/09/96", {"25", "26", "24", "25.5", "1500", "N/A"}, 2).ok);
    EXPECT_EQ(dat(ibm), with_bar(ibm, 3, {day(9), 0, 25, 26, 24, 25.5f, 1500, -5}));
    ASSERT_TRUE(edit_quote(view(ibm), "01/09/96", {"25", "26", "24", "25.5", "1500", "7"}, 2).ok);
    EXPECT_EQ(dat(ibm), with_bar(ibm, 3, {day(9), 0, 25, 26, 24, 25.5f, 1500, 7}));
}

TEST_F(QuoteCommands, AQuoteIsNamedByItsRowWhenSeveralShareItsDate) {
    // How a delete moves the dates in MASTER is in storage/rewrite_test.cpp, its dialog in browser/ui/.
    write({day(4), day(8), day(8), day(9)}); // rows: 0 Tue, 1 the later Monday, 2 the earlier, 3 Thu
    const ValueTexts values = {"1", "2", "0.5", "1.5", "900", "3"};
    EXPECT_EQ(edit_quote(view(ibm), "01/08/96", values).messages.size(), 1u); // the date names neither
    EXPECT_FALSE(delete_quote(view(ibm), "01/08/96").ok);
    EXPECT_FALSE(edit_quote(view(ibm), "01/08/96", values, 0).ok); // row 0 is dated Tuesday
    EXPECT_FALSE(add_quote(view(ibm, 1), shown_dates(ibm)).result.ok);
    EXPECT_TRUE(unchanged());
    ASSERT_TRUE(edit_quote(view(ibm), "01/08/96", values, 1).ok);
    ibm.bars[2] = {day(8), 0, 1, 2, 0.5f, 1.5f, 900, 3};
    EXPECT_EQ(dat(ibm), dat_bytes(ibm.spec, ibm.bars));
    ASSERT_TRUE(delete_quote(view(ibm), "01/08/96", 2).ok);
    ibm.bars.erase(ibm.bars.begin() + 1);
    EXPECT_EQ(dat(ibm), dat_bytes(ibm.spec, ibm.bars));
}

TEST_F(QuoteCommands, AddCopiesTheSelectedQuoteToTheWeekdayBeforeItInDateOrder) {
    write({day(4), day(6), day(7), day(8), day(9)}); // rows: Tue, Mon, Sun, Sat, Thu
    // Tuesday: Monday is shown already; Monday and Sunday: Friday would come after a weekend quote; the
    // oldest quote has no older neighbour.
    EXPECT_EQ(add_quote(view(ibm, 0), shown_dates(ibm)).result.texts(),
              Texts{"Date 01/08/96 already exists."});
    for (int row : {1, 2, 4})
        EXPECT_FALSE(add_quote(view(ibm, row), shown_dates(ibm)).result.ok) << row;
    EXPECT_TRUE(unchanged());
    const AddQuotePlan plan = plan_add_quote(shown_dates(ibm), 3);
    EXPECT_TRUE(plan.check.ok && plan.new_date_text == "01/05/96");
    AddQuoteResult r = add_quote(view(ibm, 3), shown_dates(ibm)); // Saturday: Friday goes before it
    ASSERT_TRUE(r.result.ok);
    EXPECT_EQ(std::pair(r.new_date_text, r.row_to_select), std::pair(std::string("01/05/96"), 4));
    ibm.bars.insert(ibm.bars.begin() + 1, ibm.bars[1]);
    ibm.bars[1].date = day(5);
    EXPECT_EQ(dat(ibm), dat_bytes(ibm.spec, ibm.bars));
}

} // namespace
