// The quote commands, each compared byte for byte with files built from the expected bars. How each
// kind of rewrite treats the bytes it does not change is in storage/rewrite_test.cpp.
#include "editing/quote_commands.h"

#include "editing/value_text.h"
#include "support/builder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

using namespace editing;
using namespace testing_support;

namespace {

DayNumber day(int d) {
    return date_pack(96, 1, d); // January 1996: Thursday the 4th, Monday the 8th
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
        original_master = master();
    }
    SeriesTarget target(const Security& s) const {
        return {tmp.path(), s.spec.symbol, static_cast<std::int32_t>(s.bars.size()), tmp / "master"};
    }
    QuoteDateRange range(const Security& s) const {
        return {date_text(s.bars.front().date), date_text(s.bars.back().date)};
    }
    std::string dat(const Security& s) const {
        return read_bytes(tmp / ("f" + std::to_string(s.spec.file_number) + ".dat"));
    }
    std::string master() const { return read_bytes(tmp / "master"); }
    bool unchanged() const { return snapshot(tmp.path()) == before; }
    // The file after multiplying the values of the bars dated first..last.
    std::string scaled(const Security& s, DayNumber first, DayNumber last, float price, float volume,
                       float oi) const {
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
    std::string with_bar(const Security& s, std::size_t index, const SeriesBar& bar) const {
        std::vector<SeriesBar> bars = s.bars;
        bars[index] = bar;
        return dat_bytes(s.spec, bars);
    }
    static std::vector<std::string> shown_dates(const Security& s) {
        std::vector<std::string> rows;
        for (auto it = s.bars.rbegin(); it != s.bars.rend(); ++it)
            rows.push_back(date_text(it->date));
        return rows;
    }

    TempDir tmp;
    Security ibm, other;
    std::vector<std::pair<std::string, std::string>> before;
    std::string original_master;
};

std::vector<std::string> log_of(const CommandResult& r) {
    std::vector<std::string> keys;
    for (const LogEntry& e : r.log)
        keys.push_back(e.section + "/" + e.key + "=" + e.value);
    return keys;
}

const std::vector<std::string> kInvalid = {kInvalidDataEntered};

TEST_F(QuoteCommands, SplitAndAdjustRestateTheirQuotesOnly) {
    write({0, day(4), day(5), day(8), day(9)}); // the oldest quote from before 1961, as in old index series
    const std::string original = dat(ibm);
    CommandResult r = split_quotes(target(ibm), {"01/09/96", "2", "1"}, range(ibm));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(dat(ibm), scaled(ibm, 0, day(8), 0.5f, 2.0f, 2.0f));
    EXPECT_EQ(read_bytes(tmp / "f2.bak"), original);
    EXPECT_EQ(master(), original_master);
    EXPECT_EQ(log_of(r), (std::vector<std::string>{"Split/Date=01/09/96", "Split/New=2", "Split/Old=1"}));
    // A reverse split of a series without OI keeps its record length.
    ASSERT_TRUE(split_quotes(target(other), {"01/08/96", "1", "2"}, range(other)).ok);
    EXPECT_EQ(dat(other), scaled(other, 0, day(5), 2.0f, 0.5f, 1.0f));
    write({day(4), day(5), day(8), day(9), day(10), day(11)});
    r = adjust_quotes(target(ibm), {"01/05/96", "01/09/96", "0.5", "2", "-4"}, range(ibm));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(dat(ibm), scaled(ibm, day(5), day(9), 0.5f, 2.0f, -4.0f));
    EXPECT_EQ(log_of(r),
              (std::vector<std::string>{"Adjust/Date1=01/05/96", "Adjust/Date2=01/09/96",
                                        "Adjust/PriceMult=0.5", "Adjust/VolMult=2", "Adjust/OIMult=-4"}));
    const std::optional<SplitFactors> f = split_factors("3", "2"); // rounded once from the ratio
    ASSERT_TRUE(f);
    EXPECT_EQ(f->price, static_cast<float>(2.0 / 3.0));
    EXPECT_EQ(f->volume, 1.5f);
}

TEST_F(QuoteCommands, InvalidInputIsRefusedAndAnEditThatChangesNothingWritesNothing) {
    const SplitInput bad_splits[] = {
        {"01/12/96", "2", "1"},   {"01/03/96", "2", "1"},       {"01/09/96", "0", "1"}, {"01/09/96", "2", ""},
        {"01/09/96", "", "1"},    {"01/09/96", "x", "1"},       {"01/ 9/96", "2", "1"}, {"1/9/96", "2", "1"},
        {"01/09/96", "2", "inf"}, {"01/09/96", "1e30", "1e-30"}};
    for (const SplitInput& in : bad_splits) {
        CommandResult r = split_quotes(target(ibm), in, range(ibm));
        EXPECT_EQ(r.messages, kInvalid) << in.date_text << " " << in.new_shares << " " << in.old_shares;
        EXPECT_TRUE(r.log.empty());
    }
    const AdjustInput bad_adjusts[] = {
        {"01/03/96", "01/11/96", "1", "1", "1"},   {"01/04/96", "01/12/96", "1", "1", "1"},
        {"01/04/96", "01/11/96", "0", "1", "1"},   {"01/04/96", "01/11/96", "1", "", "1"},
        {"01/04/96", "01/11/96", "1", "1", "N/A"}, {"01/04/96", "01/11/96", "1", "1", "0.0"},
        {"01/04/96", "1/11/96", "1", "1", "1"}};
    for (const AdjustInput& in : bad_adjusts)
        EXPECT_EQ(adjust_quotes(target(ibm), in, range(ibm)).messages, kInvalid)
            << in.from_date << in.open_interest;
    for (const char* bad : {"", "N/A", "abc", "-", "1e39", "nan"})
        EXPECT_EQ(edit_quote(target(ibm), "01/09/96", {"1", "2", bad, "1.5", "900", "3"}).messages, kInvalid)
            << bad;
    EXPECT_TRUE(unchanged());
    testing_support::write_bytes(tmp / "f2.bak", "the state before the last real change");
    before = snapshot(tmp.path());
    const CommandResult results[] = {
        split_quotes(target(ibm), {"01/04/96", "2", "1"}, range(ibm)), // no quote before the first date
        split_quotes(target(ibm), {"01/09/96", "1", "1"}, range(ibm)),
        adjust_quotes(target(ibm), {"01/10/96", "01/05/96", "3", "3", "3"}, range(ibm)), // From after To
        edit_quote(target(ibm), "01/09/96", {"23", "24.5", "22.25", "23.75", "12300", "303"})};
    for (const CommandResult& r : results) {
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.messages, std::vector<std::string>{kNothingChanged});
        EXPECT_FALSE(r.log.empty());
    }
    EXPECT_TRUE(unchanged());
}

TEST_F(QuoteCommands, EditSetsTheValuesOfOneQuoteAndLogsTheTextsAsTyped) {
    CommandResult r =
        edit_quote(target(ibm), "01/09/96", {"25.5000", "26", " 24.75", "25.25abc", "15000.4", "411"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(dat(ibm), with_bar(ibm, 3, {day(9), 0, 25.5f, 26, 24.75f, 25.25f, 15000.4f, 411}));
    EXPECT_EQ(log_of(r), (std::vector<std::string>{"Edit/Date=01/09/96", "Edit/Open=25.5000", "Edit/Hi=26",
                                                   "Edit/Lo= 24.75", "Edit/Close=25.25abc",
                                                   "Edit/Vol=15000.4", "Edit/OI=411"}));
    // The text of a field the series lacks is not read.
    ASSERT_TRUE(edit_quote(target(other), "01/05/96", {"1", "2", "0.5", "1.5", "900", "N/A"}).ok);
    EXPECT_EQ(dat(other), with_bar(other, 1, {day(5), 0, 1, 2, 0.5f, 1.5f, 900, 0}));
}

TEST_F(QuoteCommands, AQuoteIsNamedByItsRowWhenSeveralShareItsDate) {
    write({day(4), day(8), day(8), day(9)}); // rows: 0 Tue, 1 the later Monday, 2 the earlier, 3 Thu
    const ValueTexts values = {"1", "2", "0.5", "1.5", "900", "3"};
    EXPECT_EQ(edit_quote(target(ibm), "01/08/96", values).messages.size(), 1u); // the date names neither
    EXPECT_FALSE(delete_quote(target(ibm), "01/08/96").ok);
    EXPECT_FALSE(edit_quote(target(ibm), "01/08/96", values, 0).ok); // row 0 is dated Tuesday
    EXPECT_FALSE(add_quote(target(ibm), shown_dates(ibm), 1).result.ok);
    EXPECT_TRUE(unchanged());
    ASSERT_TRUE(edit_quote(target(ibm), "01/08/96", values, 1).ok);
    const std::string edited = with_bar(ibm, 2, {day(8), 0, 1, 2, 0.5f, 1.5f, 900, 3});
    EXPECT_EQ(dat(ibm), edited);
    ASSERT_TRUE(delete_quote(target(ibm), "01/08/96", 2).ok);
    std::vector<SeriesBar> bars = ibm.bars;
    bars[2] = {day(8), 0, 1, 2, 0.5f, 1.5f, 900, 3};
    bars.erase(bars.begin() + 1);
    EXPECT_EQ(dat(ibm), dat_bytes(ibm.spec, bars));
}

TEST_F(QuoteCommands, DeleteTakesTheQuoteAndMovesTheFirstDateInMaster) {
    CommandResult r = delete_quote(target(ibm), "01/04/96");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(dat(ibm), dat_bytes(ibm.spec, {ibm.bars.begin() + 1, ibm.bars.end()}));
    std::string expected = original_master;
    put_mbf_date(expected, slot_offset(2) + 25, day(5));
    EXPECT_EQ(master(), expected);
    EXPECT_EQ(log_of(r), std::vector<std::string>{"Delete/Date=01/04/96"});
    before = snapshot(tmp.path());
    r = delete_quote(target(ibm), "01/06/96");
    EXPECT_EQ(r.status, -200);
    EXPECT_EQ(r.messages,
              (std::vector<std::string>{"failure in delete quote for findrec", "Delete Edit Failed"}));
    EXPECT_TRUE(unchanged());
}

TEST_F(QuoteCommands, RewriteFailuresGiveEachCommandsOwnMessage) {
    SeriesTarget missing = target(ibm);
    missing.symbol = "NOPE";
    EXPECT_EQ(edit_quote(missing, "01/09/96", {"1", "1", "1", "1", "1", "1"}).messages,
              std::vector<std::string>{"Single Date Edit Failed"});
    CommandResult split = split_quotes(missing, {"01/09/96", "2", "1"}, range(ibm));
    EXPECT_EQ(split.messages, std::vector<std::string>{"Split Edit Failed"});
    EXPECT_NE(split.status, 0);
    EXPECT_EQ(adjust_quotes(missing, {"01/09/96", "01/09/96", "2", "1", "1"}, range(ibm)).messages,
              std::vector<std::string>{"Adjust Edit Failed"});
    EXPECT_EQ(delete_quote(missing, "01/09/96").messages, std::vector<std::string>{"Delete Edit Failed"});
    AddQuoteResult add = add_quote(missing, {"01/08/96", "01/04/96"}, 0);
    EXPECT_EQ(add.result.messages, std::vector<std::string>{"Add Quote Failed"});
    EXPECT_EQ(add.row_to_select, 0);
    EXPECT_TRUE(unchanged());
}

TEST_F(QuoteCommands, AddCopiesTheSelectedQuoteToTheWeekdayBeforeIt) {
    write({day(4), day(8), day(9)});
    AddQuotePlan plan = plan_add_quote(shown_dates(ibm), 1); // Monday: Friday
    ASSERT_TRUE(plan.check.ok);
    EXPECT_EQ(plan.new_date_text, "01/05/96");
    AddQuoteResult r = add_quote(target(ibm), shown_dates(ibm), 1);
    ASSERT_TRUE(r.result.ok);
    EXPECT_EQ(r.row_to_select, 2);
    EXPECT_EQ(log_of(r.result), std::vector<std::string>{"Add/Date=01/05/96"});
    std::vector<SeriesBar> bars = ibm.bars;
    bars.insert(bars.begin() + 1, bars[1]);
    bars[1].date = day(5);
    EXPECT_EQ(dat(ibm), dat_bytes(ibm.spec, bars));
    EXPECT_EQ(master(), original_master);
    write({day(4), day(8), day(9)});
    r = add_quote(target(ibm), shown_dates(ibm), 0); // Tuesday: Monday is shown already
    EXPECT_EQ(r.result.messages, std::vector<std::string>{"Date 01/08/96 already exists."});
    EXPECT_TRUE(r.result.log.empty());
    EXPECT_TRUE(unchanged());
}

TEST_F(QuoteCommands, AddKeepsTheQuotesInDateOrderAroundWeekendQuotes) {
    write({day(4), day(6), day(7), day(8)}); // rows: Mon, Sun, Sat, Thu
    // Monday and Sunday: Friday would come after a weekend quote; the oldest quote has no older neighbour.
    for (int row : {0, 1, 3})
        EXPECT_FALSE(add_quote(target(ibm), shown_dates(ibm), row).result.ok) << row;
    EXPECT_TRUE(unchanged());
    AddQuoteResult r = add_quote(target(ibm), shown_dates(ibm), 2); // Saturday: Friday goes before it
    ASSERT_TRUE(r.result.ok);
    EXPECT_EQ(r.new_date_text, "01/05/96");
    EXPECT_EQ(r.row_to_select, 3);
    std::vector<SeriesBar> bars = ibm.bars;
    bars.insert(bars.begin() + 1, bars[1]);
    bars[1].date = day(5);
    EXPECT_EQ(dat(ibm), dat_bytes(ibm.spec, bars));
}

} // namespace
