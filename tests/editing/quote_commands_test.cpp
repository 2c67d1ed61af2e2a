// The quote commands, compared byte for byte with files built from the expected bars. How each kind of
// rewrite treats the bytes it does not change is in storage/rewrite_test.cpp.
#include "editing/quote_commands.h"

#include "editing/value_text.h"
#include "storage/fileops.h"
#include "storage/portfolio_files.h"
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
    // The session with `s` open, read afresh.
    SeriesSession& open(const Security& s) {
        session.open(tmp.path(), s.spec.symbol);
        return session;
    }
    // The quote of row `row` of the quote list of `s` (0 = the newest), read afresh.
    QuoteRef row_of(const Security& s, int row) { return open(s).ref_of_row(row); }
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
    static std::vector<DayNumber> listed_dates(const Security& s) {
        std::vector<DayNumber> dates;
        for (const SeriesBar& bar : s.bars)
            dates.push_back(bar.date);
        return dates;
    }

    TempDir tmp;
    Security ibm, other;
    Snapshot before;
    SeriesSession session;
};

// A quote named by its date alone.
QuoteRef dated(DayNumber date) {
    return QuoteRef{-1, date, 0};
}

TEST_F(QuoteCommands, SplitAdjustAndEditRestateTheirQuotesOnlyAndLogTheTextsAsTyped) {
    write({0, day(4), day(5), day(8), day(9)}); // the oldest quote from before 1961, as in old index series
    // What a scaling rewrite keeps (backup, MASTER): storage/rewrite_test.cpp; the logs of a split and of
    // an added quote: browser/ui/quote_commands_test.cpp.
    CommandResult r = split_quotes(open(ibm), {"01/09/96", "2", "1"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(dat(ibm), scaled(ibm, 0, day(8), 0.5f, 2.0f, 2.0f));
    ASSERT_TRUE(split_quotes(open(other), {"01/08/96", "1", "2"}).ok); // a series without OI
    EXPECT_EQ(dat(other), scaled(other, 0, day(5), 2.0f, 0.5f, 1.0f));
    write({day(4), day(5), day(8), day(9), day(10), day(11)});
    r = adjust_quotes(open(ibm), {"01/05/96", "01/09/96", "0.5", "2", "4"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(dat(ibm), scaled(ibm, day(5), day(9), 0.5f, 2.0f, 4.0f));
    EXPECT_EQ(log_of(r), (Texts{"Adjust/Date1=01/05/96", "Adjust/Date2=01/09/96", "Adjust/PriceMult=0.5",
                                "Adjust/VolMult=2", "Adjust/OIMult=4"}));
    EXPECT_EQ(split_factors("3", "2")->price, static_cast<float>(2.0 / 3.0)); // rounded once from the ratio
    write({day(4), day(5), day(8), day(9)});
    r = edit_quote(open(ibm), dated(day(9)), "01/09/96",
                   {"25.5000", "26", "24.75", "25.25", "15000.4", "411"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(dat(ibm), with_bar(ibm, 3, {day(9), 0, 25.5f, 26, 24.75f, 25.25f, 15000.4f, 411}));
    EXPECT_EQ(log_of(r), (Texts{"Edit/Date=01/09/96", "Edit/Open=25.5000", "Edit/Hi=26", "Edit/Lo=24.75",
                                "Edit/Close=25.25", "Edit/Vol=15000.4", "Edit/OI=411"}));
    ASSERT_TRUE(
        edit_quote(open(other), dated(day(5)), "01/05/96", {"1", "2", "0.5", "1.5", "900", "N/A"}).ok);
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
        EXPECT_TRUE(refused_in(split_quotes(open(ibm), in), box)) << in.date_text << in.new_shares;
    for (const auto& [in, box] : bad_adjusts)
        EXPECT_TRUE(refused_in(adjust_quotes(open(ibm), in), box)) << in.from_date << in.open_interest;
    EXPECT_EQ(adjust_quotes(open(ibm), {"01/04/96", "01/11/96", "1", "1", "-1"}).texts(),
              Texts{"Invalid Data Entered\nOpen Interest: '-1' is negative; values are 0 or more"});
    for (const char* bad : {"", "abc", "1e39", "nan", " 24.75", "25.25abc", "1.2.3", "-3"})
        EXPECT_TRUE(refused_in(
            edit_quote(open(ibm), dated(day(9)), "01/09/96", {"1", "2", bad, "1.5", "900", "3"}), "Low"))
            << bad;
    EXPECT_TRUE(
        refused_in(edit_quote(open(ibm), dated(0), "02/30/96", {"1", "2", "1", "1.5", "900", "3"}), "Date"));
    // A product beyond what the file holds is refused before anything is written.
    EXPECT_EQ(
        adjust_quotes(open(ibm), {"01/04/96", "01/11/96", "1" + std::string(37, '0'), "1", "1"}).texts(),
        Texts{"Adjust Edit Failed\nA value would become larger than a quote file can hold; no file was "
              "written."});
    write_bytes(tmp / "f2.bak", "the state before the last real change");
    before = snapshot(tmp.path());
    for (const CommandResult& r : {split_quotes(open(ibm), {"01/04/96", "2", "1"}), // nothing before
                                   split_quotes(open(ibm), {"01/09/96", "1", "1"}),
                                   adjust_quotes(open(ibm), {"01/10/96", "01/05/96", "3", "3", "3"}),
                                   edit_quote(open(ibm), dated(day(9)), "01/09/96",
                                              {"23", "24.5", "22.25", "23.75", "12300", "303"})}) {
        EXPECT_EQ(r.texts(), Texts{kNothingChanged});
        EXPECT_TRUE(r.ok && !r.log.empty());
    }
    // A security that is not there: each command fails in its own words. (Split and Adjust check their
    // dates against the quotes first: a session without quotes has none to check them against.)
    SeriesSession missing;
    missing.open(tmp.path(), "NOPE");
    EXPECT_EQ(edit_quote(missing, dated(day(9)), "01/09/96", {"1", "1", "1", "1", "1", "1"}).texts(),
              Texts{"Single Date Edit Failed"});
    EXPECT_EQ(delete_quote(missing, dated(day(9))).texts(), Texts{"Delete Edit Failed"});
    EXPECT_EQ(add_quote(missing, dated(day(9))).result.texts(), Texts{"No quote is selected."});
    const CommandResult absent = delete_quote(open(ibm), dated(day(6)));
    EXPECT_EQ(std::pair(absent.status, absent.texts()),
              std::pair(-200, Texts{"failure in delete quote for findrec", "Delete Edit Failed"}));
    EXPECT_TRUE(unchanged());
}

TEST_F(QuoteCommands, NAKeepsAStoredValueTheListCannotShowAndAnyOtherBoxTakesANewValue) {
    ibm.bars[3].oi = -5; // left by an earlier faulty adjust or another program; the list shows N/A
    write_portfolio(tmp.path(), {other, ibm}, true);
    ASSERT_TRUE(
        edit_quote(open(ibm), row_of(ibm, 2), "01/09/96", {"25", "26", "24", "25.5", "1500", "N/A"}).ok);
    EXPECT_EQ(dat(ibm), with_bar(ibm, 3, {day(9), 0, 25, 26, 24, 25.5f, 1500, -5}));
    ASSERT_TRUE(
        edit_quote(open(ibm), row_of(ibm, 2), "01/09/96", {"25", "26", "24", "25.5", "1500", "7"}).ok);
    EXPECT_EQ(dat(ibm), with_bar(ibm, 3, {day(9), 0, 25, 26, 24, 25.5f, 1500, 7}));
}

TEST_F(QuoteCommands, AQuoteIsNamedByItsRowWhenSeveralShareItsDate) {
    // How a delete moves the dates in MASTER is in storage/rewrite_test.cpp, its dialog in browser/ui/.
    write({day(4), day(8), day(8), day(9)}); // rows: 0 Tue, 1 the later Monday, 2 the earlier, 3 Thu
    const ValueTexts values = {"1", "2", "0.5", "1.5", "900", "3"};
    EXPECT_EQ(edit_quote(open(ibm), dated(day(8)), "01/08/96", values).messages.size(), 1u); // names neither
    EXPECT_FALSE(delete_quote(open(ibm), dated(day(8))).ok);
    const QuoteRef tuesday = row_of(ibm, 0);
    EXPECT_FALSE(edit_quote(open(ibm), {tuesday.bar, day(8), 0}, "01/08/96", values).ok); // not dated so
    EXPECT_FALSE(add_quote(open(ibm), row_of(ibm, 1)).result.ok);
    EXPECT_FALSE(add_quote(open(ibm), dated(day(8))).result.ok);
    EXPECT_TRUE(unchanged());
    ASSERT_TRUE(edit_quote(open(ibm), row_of(ibm, 1), "01/08/96", values).ok);
    ibm.bars[2] = {day(8), 0, 1, 2, 0.5f, 1.5f, 900, 3};
    EXPECT_EQ(dat(ibm), dat_bytes(ibm.spec, ibm.bars));
    ASSERT_TRUE(delete_quote(open(ibm), row_of(ibm, 2)).ok);
    ibm.bars.erase(ibm.bars.begin() + 1);
    EXPECT_EQ(dat(ibm), dat_bytes(ibm.spec, ibm.bars));
}

TEST_F(QuoteCommands, AddCopiesTheSelectedQuoteToTheWeekdayBeforeItInDateOrder) {
    write({day(4), day(6), day(7), day(8), day(9)}); // rows: Tue, Mon, Sun, Sat, Thu
    // Tuesday: Monday is shown already; Monday and Sunday: Friday would come after a weekend quote; the
    // oldest quote has no older neighbour.
    EXPECT_EQ(add_quote(open(ibm), row_of(ibm, 0)).result.texts(), Texts{"Date 01/08/96 already exists."});
    for (int row : {1, 2, 4})
        EXPECT_FALSE(add_quote(open(ibm), row_of(ibm, row)).result.ok) << row;
    EXPECT_FALSE(add_quote(open(ibm), {7, day(6), 0}).result.ok); // no quote at that position
    EXPECT_TRUE(unchanged());
    const AddQuotePlan plan = plan_add_quote(listed_dates(ibm), dated(day(6)));
    EXPECT_TRUE(plan.check.ok && plan.new_date_text == "01/05/96" && plan.new_bar == 1);
    SeriesSession series = open(ibm);
    AddQuoteResult r = add_quote(series, row_of(ibm, 3)); // Saturday: Friday goes before it
    ASSERT_TRUE(r.result.ok);
    EXPECT_EQ(std::tuple(r.new_date_text, r.added.bar, r.added.date, series.row_of_bar(r.added.bar)),
              std::tuple(std::string("01/05/96"), 1, day(5), 4));
    ibm.bars.insert(ibm.bars.begin() + 1, ibm.bars[1]);
    ibm.bars[1].date = day(5);
    EXPECT_EQ(dat(ibm), dat_bytes(ibm.spec, ibm.bars));
}

} // namespace

namespace {

int g_master_opens = 0;
int g_dop_opens = 0;

int open_counting_directory_files(const fileops::Path& path, int mode) {
    const std::string name = path.filename().string();
    if (portfolio_files::equals_ignoring_case(name, "MASTER"))
        ++g_master_opens;
    if (portfolio_files::equals_ignoring_case(name, "F2.DOP"))
        ++g_dop_opens;
    return fileops::system_table().open(path, mode);
}

TEST_F(QuoteCommands, EditingOneQuoteOpensMasterOnceAndReadingItsLayoutOnce) {
    fileops::Table counting = fileops::system_table();
    counting.open = open_counting_directory_files;
    g_master_opens = g_dop_opens = 0;
    fileops::set_table(&counting);
    SeriesSession& series = open(ibm);
    fileops::set_table(nullptr);
    EXPECT_EQ(g_master_opens, 1);
    EXPECT_EQ(g_dop_opens, 1);

    g_master_opens = g_dop_opens = 0;
    fileops::set_table(&counting);
    const CommandResult r =
        edit_quote(series, series.ref_of_row(0), "01/11/96", {"25", "26", "24", "25.5", "1500", "7"});
    fileops::set_table(nullptr);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(g_master_opens, 1);
    EXPECT_EQ(dat(ibm), with_bar(ibm, 5, {day(11), 0, 25, 26, 24, 25.5f, 1500, 7}));
    EXPECT_EQ(series.rows().front().values[5], 7.0f); // the session follows what the command wrote
}

TEST_F(QuoteCommands, ASeriesChangedByAnotherProgramIsNotWrittenUntilReadAgain) {
    SeriesSession& series = open(ibm);
    const QuoteRef newest = series.ref_of_row(0);
    // Another program appends a quote after the session read the series.
    std::vector<SeriesBar> appended = ibm.bars;
    appended.push_back({date_pack(96, 1, 12), 0, 9, 9, 9, 9, 90, 9});
    write_bytes(tmp / "f2.dat", dat_bytes(ibm.spec, appended));
    before = snapshot(tmp.path());
    ASSERT_TRUE(series.changed_on_disk());
    const std::string refusal =
        "The quotes of IBM were changed by another program since Quorbit read them.\nNothing was written; "
        "the quotes are read again.";
    const ValueTexts values = {"1", "2", "0.5", "1.5", "900", "3"};
    for (const CommandResult& r : {edit_quote(series, newest, "01/11/96", values),
                                   delete_quote(series, newest), split_quotes(series, {"01/09/96", "2", "1"}),
                                   adjust_quotes(series, {"01/05/96", "01/09/96", "2", "1", "1"}),
                                   add_quote(series, series.ref_of_row(1)).result})
        EXPECT_EQ(std::pair(r.ok, r.texts()), std::pair(false, Texts{refusal}));
    EXPECT_TRUE(unchanged());
    series.reload();
    EXPECT_FALSE(series.changed_on_disk());
    EXPECT_EQ(series.rows().size(), appended.size());
    ASSERT_TRUE(edit_quote(series, series.ref_of_row(1), "01/11/96", values).ok);
    appended[5] = {day(11), 0, 1, 2, 0.5f, 1.5f, 900, 3};
    EXPECT_EQ(dat(ibm), dat_bytes(ibm.spec, appended));
}

} // namespace
