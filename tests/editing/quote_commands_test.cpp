#include "editing/quote_commands.h"
#include "editing/value_text.h"

#include "editing_fixture.h"
#include "storage/portfolio_files.h"

#include <gtest/gtest.h>

using namespace editing;
using namespace editing_test;
using testing_support::dat_bytes;
using testing_support::read_bytes;
using testing_support::snapshot;
using testing_support::TempDir;

namespace {

// Thursday 4 January 1996 to Thursday 11 January 1996, without the weekend.
const DayNumber kThu4 = day(96, 1, 4), kFri5 = day(96, 1, 5), kSat6 = day(96, 1, 6), kSun7 = day(96, 1, 7),
                kMon8 = day(96, 1, 8), kTue9 = day(96, 1, 9), kWed10 = day(96, 1, 10),
                kThu11 = day(96, 1, 11);

std::vector<DayNumber> shown_dates(const std::vector<SeriesBar>& bars) {
    std::vector<DayNumber> rows;
    for (auto it = bars.rbegin(); it != bars.rend(); ++it)
        rows.push_back(it->date);
    return rows;
}

class QuoteCommands : public ::testing::Test {
protected:
    void write(std::vector<DayNumber> ibm_days) {
        ibm = security(2, "IBM", "INTL BUS MACH", bars_on(ibm_days));
        // A 24-byte security without OI and without F<n>.DOP.
        other = security(1, "XYZ", "XYZ CORP", bars_on({kThu4, kFri5, kMon8}));
        other.spec.fields = {"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL"};
        other.spec.write_dop = false;
        write_portfolio(tmp.path(), {other, ibm});
        before = snapshot(tmp.path());
        original_master = read_bytes(master_file(tmp.path()));
    }
    void SetUp() override { write({kThu4, kFri5, kMon8, kTue9, kWed10, kThu11}); }

    // The view state with `s` on screen and row `selected` of its quote list selected.
    ViewState view(const Security& s, int selected = 0) const {
        ViewState v;
        v.portfolioDir = tmp.path();
        v.masterPath = master_file(tmp.path());
        v.currentSymbol = s.spec.symbol;
        v.quoteCount = static_cast<int>(s.bars.size());
        v.selectedQuoteRow = selected;
        v.firstQuoteDate = s.bars.front().date;
        v.lastQuoteDate = s.bars.back().date;
        return v;
    }
    std::string dat(const Security& s) const {
        return read_bytes(tmp / file_name(s.spec.file_number, "DAT"));
    }
    std::string bak(const Security& s) const {
        return read_bytes(tmp / file_name(s.spec.file_number, "BAK"));
    }
    bool unchanged() const { return snapshot(tmp.path()) == before; }

    // The expected file after scaling the bars dated first..last.
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

    TempDir tmp;
    Security ibm, other;
    std::vector<std::pair<std::string, std::string>> before;
    std::string original_master;
};

std::vector<std::string> log_keys(const CommandResult& r) {
    std::vector<std::string> keys;
    for (const LogEntry& e : r.log)
        keys.push_back(e.section + "/" + e.key + "=" + e.value);
    return keys;
}

} // namespace

TEST_F(QuoteCommands, SplitTwoForOneRestatesOnlyTheQuotesBeforeTheDate) {
    std::string original = dat(ibm);
    CommandResult r = split_quotes(view(ibm), {"01/09/96", "2", "1"});
    ASSERT_TRUE(r.ok) << (r.messages.empty() ? "" : r.messages[0].text);
    EXPECT_EQ(dat(ibm), scaled(ibm, 0, kMon8, 0.5f, 2.0f, 2.0f));
    EXPECT_EQ(bak(ibm), original);
    EXPECT_EQ(read_bytes(master_file(tmp.path())), original_master);
    EXPECT_EQ(log_keys(r), (std::vector<std::string>{"Split/Date=01/09/96", "Split/New=2", "Split/Old=1"}));
}

TEST_F(QuoteCommands, ReverseSplitOnASeriesWithoutOpenInterestKeepsItsRecordLength) {
    CommandResult r = split_quotes(view(other), {"01/08/96", "1", "2"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(dat(other), scaled(other, 0, kFri5, 2.0f, 0.5f, 1.0f));
    EXPECT_EQ(dat(other).size(), 4u * 24u);
}

TEST_F(QuoteCommands, SplitFactorsAreRoundedOnceFromTheRatio) {
    std::optional<SplitFactors> f = split_factors("3", "2");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->price, static_cast<float>(2.0 / 3.0));
    EXPECT_EQ(f->volume, 1.5f);
    EXPECT_TRUE(check_split_input({"01/04/96", "1.5", "1"}, view(ibm)).ok);
}

TEST_F(QuoteCommands, AnEditThatChangesNothingWritesNothingAndSaysSo) {
    testing_support::write_bytes(tmp / file_name(2, "BAK"), "the state before the last real change");
    before = snapshot(tmp.path());
    const CommandResult results[] = {
        split_quotes(view(ibm), {"01/04/96", "2", "1"}), // no quote before the first date
        split_quotes(view(ibm), {"01/09/96", "1", "1"}),
        adjust_quotes(view(ibm), {"01/10/96", "01/05/96", "3", "3", "3"}), // From after To
        edit_quote(view(ibm), "01/09/96", {"23", "24.5", "22.25", "23.75", "12300", "303"}),
    };
    for (const CommandResult& r : results) {
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.messages, (std::vector<Message>{{MessageKind::Information, kNothingChanged}}));
        EXPECT_FALSE(r.log.empty());
    }
    EXPECT_TRUE(unchanged());
}

TEST_F(QuoteCommands, InvalidSplitOrAdjustInputIsRefusedAndChangesNothing) {
    const SplitInput bad_splits[] = {
        {"01/12/96", "2", "1"},        {"01/03/96", "2", "1"}, {"01/09/96", "0", "1"},
        {"01/09/96", "2", ""},         {"01/09/96", "", "1"},  {"01/09/96", "x", "1"},
        {"01/ 9/96", "2", "1"},        {"1/9/96", "2", "1"},   {"01/09/96", "2", "inf"},
        {"01/09/96", "1e30", "1e-30"},
    };
    for (const SplitInput& in : bad_splits) {
        CommandResult r = split_quotes(view(ibm), in);
        EXPECT_FALSE(r.ok) << in.date_text << " " << in.new_shares << " " << in.old_shares;
        EXPECT_EQ(r.messages, (std::vector<Message>{{MessageKind::Warning, "Invalid Data Entered"}}));
        EXPECT_TRUE(r.log.empty());
    }
    const AdjustInput bad_adjusts[] = {
        {"01/03/96", "01/11/96", "1", "1", "1"},   {"01/04/96", "01/12/96", "1", "1", "1"},
        {"01/04/96", "01/11/96", "0", "1", "1"},   {"01/04/96", "01/11/96", "1", "", "1"},
        {"01/04/96", "01/11/96", "1", "1", "N/A"}, {"01/04/96", "01/11/96", "1", "1", "0.0"},
        {"01/04/96", "1/11/96", "1", "1", "1"},
    };
    for (const AdjustInput& in : bad_adjusts) {
        CommandResult r = adjust_quotes(view(ibm), in);
        EXPECT_EQ(r.texts(), std::vector<std::string>{"Invalid Data Entered"})
            << in.from_date << in.open_interest;
    }
    EXPECT_TRUE(unchanged());
}

TEST_F(QuoteCommands, AdjustScalesTheQuotesFromToInclusive) {
    CommandResult r = adjust_quotes(view(ibm), {"01/05/96", "01/09/96", "0.5", "2", "-4"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(dat(ibm), scaled(ibm, kFri5, kTue9, 0.5f, 2.0f, -4.0f));
    EXPECT_EQ(log_keys(r),
              (std::vector<std::string>{"Adjust/Date1=01/05/96", "Adjust/Date2=01/09/96",
                                        "Adjust/PriceMult=0.5", "Adjust/VolMult=2", "Adjust/OIMult=-4"}));
}

TEST_F(QuoteCommands, EditQuoteSetsTheDaysValuesAndLogsTheTextsAsTyped) {
    ValueTexts values = {"25.5000", "26", " 24.75", "25.25abc", "15000.4", "411"};
    CommandResult r = edit_quote(view(ibm), "01/09/96", values);
    ASSERT_TRUE(r.ok);
    std::vector<SeriesBar> bars = ibm.bars;
    bars[3].open = 25.5f, bars[3].high = 26.0f, bars[3].low = 24.75f, bars[3].close = 25.25f;
    bars[3].vol = 15000.4f, bars[3].oi = 411.0f;
    EXPECT_EQ(dat(ibm), dat_bytes(ibm.spec, bars));
    EXPECT_EQ(log_keys(r), (std::vector<std::string>{"Edit/Date=01/09/96", "Edit/Open=25.5000", "Edit/Hi=26",
                                                     "Edit/Lo= 24.75", "Edit/Close=25.25abc",
                                                     "Edit/Vol=15000.4", "Edit/OI=411"}));
}

TEST_F(QuoteCommands, EditQuoteIgnoresTheTextOfAFieldTheSeriesLacks) {
    CommandResult r = edit_quote(view(other), "01/05/96", {"1", "2", "0.5", "1.5", "900", "N/A"});
    ASSERT_TRUE(r.ok);
    std::vector<SeriesBar> bars = other.bars;
    bars[1].open = 1, bars[1].high = 2, bars[1].low = 0.5f, bars[1].close = 1.5f, bars[1].vol = 900;
    EXPECT_EQ(dat(other), dat_bytes(other.spec, bars));
}

TEST_F(QuoteCommands, EditQuoteRefusesAValueThatIsNotANumber) {
    for (const char* bad : {"", "N/A", "abc", "-", "1e39", "nan"}) {
        CommandResult r = edit_quote(view(ibm), "01/09/96", {"1", "2", bad, "1.5", "900", "3"});
        EXPECT_EQ(r.texts(), std::vector<std::string>{"Invalid Data Entered"}) << bad;
    }
    EXPECT_EQ(check_edit_quote_input("01/09/96", {"1", "2", "3", "4", "5", "N/A"},
                                     {true, true, true, true, true, false})
                  .ok,
              true);
    EXPECT_TRUE(unchanged());
}

TEST_F(QuoteCommands, RewriteFailuresGiveEachCommandsOwnMessage) {
    ViewState missing = view(ibm);
    missing.currentSymbol = "NOPE";
    EXPECT_EQ(edit_quote(missing, "01/09/96", {"1", "1", "1", "1", "1", "1"}).texts(),
              std::vector<std::string>{"Single Date Edit Failed"});
    CommandResult split = split_quotes(missing, {"01/09/96", "2", "1"});
    EXPECT_EQ(split.texts(), std::vector<std::string>{"Split Edit Failed"});
    EXPECT_NE(split.status, 0);
    EXPECT_EQ(adjust_quotes(missing, {"01/09/96", "01/09/96", "2", "1", "1"}).texts(),
              std::vector<std::string>{"Adjust Edit Failed"});
    EXPECT_EQ(delete_quote(missing, "01/09/96").texts(), std::vector<std::string>{"Delete Edit Failed"});
    AddQuoteResult add = add_quote(missing, {kMon8, kThu4});
    EXPECT_EQ(add.result.texts(), std::vector<std::string>{"Add Quote Failed"});
    EXPECT_EQ(add.row_to_select, 0);
    EXPECT_TRUE(unchanged());
}

TEST_F(QuoteCommands, AQuoteIsNamedByItsRowWhenSeveralShareItsDate) {
    write({kThu4, kMon8, kMon8, kTue9}); // rows: 0 Tue, 1 the later Monday, 2 the earlier, 3 Thu
    const ValueTexts values = {"1", "2", "0.5", "1.5", "900", "3"};
    // The date alone names neither Monday quote.
    EXPECT_EQ(edit_quote(view(ibm), "01/08/96", values).messages.size(), 1u);
    EXPECT_FALSE(delete_quote(view(ibm), "01/08/96").ok);
    EXPECT_FALSE(edit_quote(view(ibm), "01/08/96", values, 0).ok); // row 0 is dated Tuesday
    EXPECT_TRUE(unchanged());

    ASSERT_TRUE(edit_quote(view(ibm), "01/08/96", values, 1).ok);
    std::vector<SeriesBar> bars = ibm.bars;
    bars[2].open = 1, bars[2].high = 2, bars[2].low = 0.5f, bars[2].close = 1.5f, bars[2].vol = 900;
    bars[2].oi = 3;
    EXPECT_EQ(dat(ibm), dat_bytes(ibm.spec, bars));
    ASSERT_TRUE(delete_quote(view(ibm), "01/08/96", 2).ok);
    bars.erase(bars.begin() + 1);
    EXPECT_EQ(dat(ibm), dat_bytes(ibm.spec, bars));
}

// ---- Delete quote -------------------------------------------------------------------------------

TEST_F(QuoteCommands, DeletingTheOldestQuoteMovesTheFirstDateInMaster) {
    CommandResult r = delete_quote(view(ibm), "01/04/96");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(dat(ibm), dat_bytes(ibm.spec, {ibm.bars.begin() + 1, ibm.bars.end()}));
    std::string expected = original_master;
    put_mbf_date(expected, slot_offset(2) + 25, kFri5);
    EXPECT_EQ(read_bytes(master_file(tmp.path())), expected);
    EXPECT_EQ(log_keys(r), std::vector<std::string>{"Delete/Date=01/04/96"});
}

TEST_F(QuoteCommands, DeletingTheNewestQuoteMovesTheLastDateInMaster) {
    ASSERT_TRUE(delete_quote(view(ibm), "01/11/96").ok);
    EXPECT_EQ(dat(ibm), dat_bytes(ibm.spec, {ibm.bars.begin(), ibm.bars.end() - 1}));
    std::string expected = original_master;
    put_mbf_date(expected, slot_offset(2) + 29, kWed10);
    EXPECT_EQ(read_bytes(master_file(tmp.path())), expected);
}

TEST_F(QuoteCommands, DeletingAMiddleQuoteLeavesMasterAlone) {
    ASSERT_TRUE(delete_quote(view(ibm), "01/09/96").ok);
    std::vector<SeriesBar> bars = ibm.bars;
    bars.erase(bars.begin() + 3);
    EXPECT_EQ(dat(ibm), dat_bytes(ibm.spec, bars));
    EXPECT_EQ(read_bytes(master_file(tmp.path())), original_master);
}

TEST_F(QuoteCommands, DeletingADateWithoutAQuoteReportsBothMessages) {
    std::string original = dat(ibm);
    CommandResult r = delete_quote(view(ibm), "01/06/96");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status, -200);
    EXPECT_EQ(r.messages, (std::vector<Message>{{MessageKind::Error, "failure in delete quote for findrec"},
                                                {MessageKind::Error, "Delete Edit Failed"}}));
    EXPECT_EQ(dat(ibm), original);
    EXPECT_EQ(read_bytes(master_file(tmp.path())), original_master);
}

// ---- Add quote ----------------------------------------------------------------------------------

TEST_F(QuoteCommands, AddOnAMondayInsertsTheFridayBeforeAsACopy) {
    write({kThu4, kMon8, kTue9});
    std::vector<DayNumber> rows = shown_dates(ibm.bars); // 01/09, 01/08, 01/04
    AddQuotePlan plan = plan_add_quote(rows, 1);
    ASSERT_TRUE(plan.check.ok);
    EXPECT_EQ(plan.new_date_text, "01/05/96");

    AddQuoteResult r = add_quote(view(ibm, 1), rows);
    ASSERT_TRUE(r.result.ok);
    EXPECT_EQ(r.row_to_select, 2);
    EXPECT_EQ(log_keys(r.result), std::vector<std::string>{"Add/Date=01/05/96"});
    std::vector<SeriesBar> bars = ibm.bars;
    SeriesBar copy = bars[1];
    copy.date = kFri5;
    bars.insert(bars.begin() + 1, copy);
    EXPECT_EQ(dat(ibm), dat_bytes(ibm.spec, bars));
    EXPECT_EQ(read_bytes(master_file(tmp.path())), original_master);
}

TEST_F(QuoteCommands, AddRefusesADateThatIsShownAlready) {
    AddQuoteResult r = add_quote(view(ibm, 1), shown_dates(ibm.bars)); // Wednesday; Tuesday exists
    EXPECT_FALSE(r.result.ok);
    EXPECT_EQ(r.result.texts(), std::vector<std::string>{"Date 01/09/96 already exists."});
    EXPECT_TRUE(r.result.log.empty());
    EXPECT_TRUE(unchanged());
}

TEST_F(QuoteCommands, AddKeepsTheQuotesInDateOrderAroundWeekendQuotes) {
    write({kThu4, kSat6, kSun7, kMon8});
    std::vector<DayNumber> rows = shown_dates(ibm.bars); // Mon, Sun, Sat, Thu
    // Monday: Friday would come after the Sunday and Saturday quotes.
    EXPECT_FALSE(add_quote(view(ibm, 0), rows).result.ok);
    // Sunday: Friday would come after the Saturday quote.
    EXPECT_FALSE(add_quote(view(ibm, 1), rows).result.ok);
    // The oldest quote has no older neighbour.
    EXPECT_FALSE(add_quote(view(ibm, 3), rows).result.ok);
    EXPECT_TRUE(unchanged());

    // Saturday: Friday goes between Thursday and Saturday, copied from Saturday.
    AddQuoteResult r = add_quote(view(ibm, 2), rows);
    ASSERT_TRUE(r.result.ok);
    EXPECT_EQ(r.new_date_text, "01/05/96");
    EXPECT_EQ(r.row_to_select, 3);
    std::vector<SeriesBar> bars = ibm.bars;
    SeriesBar copy = bars[1];
    copy.date = kFri5;
    bars.insert(bars.begin() + 1, copy);
    EXPECT_EQ(dat(ibm), dat_bytes(ibm.spec, bars));
}

TEST_F(QuoteCommands, AddRefusesADateHeldByTwoQuotes) {
    write({kThu4, kMon8, kMon8});
    EXPECT_FALSE(add_quote(view(ibm, 0), shown_dates(ibm.bars)).result.ok);
    EXPECT_TRUE(unchanged());
}
