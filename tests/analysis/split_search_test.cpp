#include "analysis/split_search.h"

#include "storage/encoding.h"
#include "support/fault_injection.h"
#include "support/series_builder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

constexpr const char* kNothingFound = "No candidate splits found";

// `count` weekday bars closing at 10 (range 9.8 to 10.2); from bar `split_at` on, prices are divided by
// `divisor` (no split when split_at is negative).
std::vector<SeriesBar> bars_with_split(int count, int split_at, float divisor = 2.0f, DayNumber first = 0) {
    std::vector<SeriesBar> bars;
    DayNumber day = first != 0 ? first : date_pack(97, 1, 2);
    for (int i = 0; i < count; ++i) {
        const float f = (split_at >= 0 && i >= split_at) ? 1.0f / divisor : 1.0f;
        bars.push_back({day, 0, 10.0f * f, 10.2f * f, 9.8f * f, 10.0f * f, 1000.0f, 0.0f});
        day = next_weekday(day);
    }
    return bars;
}

SeriesSpec spec_for(int number, const std::string& symbol, bool lower_case = false) {
    SeriesSpec spec;
    spec.file_number = number;
    spec.symbol = symbol;
    spec.name = symbol + " CORP";
    spec.lower_case = lower_case;
    return spec;
}

struct Security {
    SeriesSpec spec;
    std::vector<SeriesBar> bars;
};

void write_portfolio(const fs::path& dir, const std::vector<Security>& securities, bool lower_case = false) {
    std::vector<MasterRecord> records;
    for (const Security& s : securities) {
        write_security(dir, s.spec, s.bars);
        records.push_back(series_master_record(s.spec, s.bars));
    }
    write_series_master(dir, records, lower_case, 3);
}

std::vector<std::pair<SplitEventKind, std::string>> events_of(const SplitSearchOutcome& outcome) {
    std::vector<std::pair<SplitEventKind, std::string>> out;
    for (const SplitSearchEvent& e : outcome.events)
        out.emplace_back(e.kind, e.text);
    return out;
}

} // namespace

TEST(SplitRatio, ThePairTestOfTheWindowsAndTheGap) {
    struct Case {
        float ca, cb, la, ha, lb, hb;
        int p, q; // 0 when nothing is listed
    };
    const Case cases[] = {
        {10.0f, 5.0f, 9.8f, 10.2f, 4.9f, 5.1f, 2, 1},        // r 2.0, d 4.0, gap 4.7
        {10.0f, 5.0f, 9.8f, 10.2f, 4.9f, 6.1f, 0, 0},        // gap 3.7
        {5.0f, 10.0f, 4.9f, 5.1f, 9.8f, 10.2f, 1, 2},        // a rise
        {11.0f, 5.0f, 10.9f, 11.1f, 4.9f, 5.1f, 0, 0},       // r 2.2: on the window's end
        {9.0f, 5.0f, 8.9f, 9.1f, 4.9f, 5.1f, 0, 0},          // r 1.8
        {9.0f, 3.0f, 8.9f, 9.1f, 2.9f, 3.1f, 3, 1},          // 3:1
        {12.0f, 3.0f, 11.9f, 12.1f, 2.9f, 3.1f, 4, 1},       // 4:1
        {3.0f, 9.0f, 2.9f, 3.1f, 8.9f, 9.1f, 1, 3},          // 1:3
        {3.0f, 12.0f, 2.9f, 3.1f, 11.9f, 12.1f, 1, 4},       // 1:4
        {15.0f, 10.0f, 14.9f, 15.1f, 9.9f, 10.1f, 3, 2},     // 3:2
        {10.0f, 15.0f, 9.9f, 10.1f, 14.9f, 15.1f, 2, 3},     // 2:3
        {13.3f, 10.0f, 13.29f, 13.31f, 9.99f, 10.01f, 0, 0}, // near 4:3, never tried
        {7.5f, 10.0f, 7.49f, 7.51f, 9.99f, 10.01f, 0, 0},    // near 3:4
        {0.0f, 5.0f, 0.0f, 0.0f, 4.9f, 5.1f, 0, 0},          // a zero close
        {10.0f, 0.0f, 9.8f, 10.2f, 0.0f, 0.0f, 0, 0},        //
        {10.0f, 5.0f, -1.0f, -1.0f, -1.0f, -1.0f, 0, 0},     // no HIGH and LOW fields
        {10.0f, 5.0f, 5.0f, 10.2f, 4.9f, 5.0f, 0, 0},        // gap 0
    };
    for (const Case& c : cases) {
        const std::optional<SplitRatio> ratio = split_ratio_for(c.ca, c.cb, c.la, c.ha, c.lb, c.hb);
        if (c.p == 0) {
            EXPECT_FALSE(ratio.has_value()) << c.ca << " / " << c.cb;
        } else {
            ASSERT_TRUE(ratio.has_value()) << c.ca << " / " << c.cb;
            EXPECT_EQ(ratio->p, c.p) << c.ca << " / " << c.cb;
            EXPECT_EQ(ratio->q, c.q) << c.ca << " / " << c.cb;
        }
    }
}

TEST(SplitSearch, PortfolioInSymbolOrderWithNoticesAndLines) {
    TempDir dir;
    const DayNumber june15 = date_pack(98, 6, 15);
    std::vector<SeriesBar> xyz = bars_with_split(30, 20, 2.0f, date_pack(98, 5, 18));
    ASSERT_EQ(xyz[20].date, june15);
    write_portfolio(dir.path(),
                    {{spec_for(3, "XYZ", true), xyz},
                     {spec_for(1, "bbb", true), bars_with_split(50, -1)},
                     {spec_for(7, "AAA", true), bars_with_split(1, -1)}},
                    true);

    std::vector<std::string> heard;
    const SplitSearchOutcome outcome = split_search_portfolio(dir.path(), [&](const SplitSearchEvent& e) {
        heard.push_back(e.text);
        return true;
    });
    EXPECT_TRUE(outcome.result.ok);
    EXPECT_EQ(outcome.lines, std::vector<std::string>{"XYZ possible 2 for 1 split on 06/15/98"});
    const std::string notice =
        "For symbol AAA\nSplitSearch cannot perform search\nas there are fewer than 2 quotes.";
    EXPECT_EQ(outcome.result.messages, (std::vector<Message>{{MessageKind::Information, notice}}));
    using K = SplitEventKind;
    const std::vector<std::pair<K, std::string>> expected = {
        {K::Notice, notice},    {K::SymbolDone, "AAA"},
        {K::SymbolDone, "bbb"}, {K::Line, "XYZ possible 2 for 1 split on 06/15/98"},
        {K::SymbolDone, "XYZ"}, {K::SymbolDone, "Done search"}};
    EXPECT_EQ(events_of(outcome), expected);
    ASSERT_EQ(heard.size(), expected.size());
    EXPECT_EQ(heard[3], "XYZ possible 2 for 1 split on 06/15/98");
}

TEST(SplitSearch, WindowsOf400OverlapByOneBar) {
    for (int count : {400, 401, 799, 800, 1200}) {
        TempDir dir;
        // A 2:1 split as the last pair of the first window, a 1:2 back as the pair across its end.
        std::vector<SeriesBar> bars = bars_with_split(count, 399);
        for (std::size_t i = 400; i < bars.size(); ++i) {
            bars[i].close = 10.0f;
            bars[i].high = 10.2f;
            bars[i].low = 9.8f;
        }
        write_portfolio(dir.path(), {{spec_for(1, "ACME"), bars}});
        std::vector<std::string> expected = {"ACME possible 2 for 1 split on " +
                                             date_format(bars[399].date, kMMDDYYSep, '/')};
        if (count > 400)
            expected.push_back("ACME possible 1 for 2 split on " +
                               date_format(bars[400].date, kMMDDYYSep, '/'));
        const SplitSearchOutcome outcome = split_search(dir.path(), {"ACME"});
        EXPECT_EQ(outcome.lines, expected) << count << " bars";
        EXPECT_TRUE(outcome.result.messages.empty()) << count << " bars";
    }
}

TEST(SplitSearch, NothingFoundAndSearchingTwice) {
    TempDir dir;
    write_portfolio(dir.path(), {{spec_for(1, "FLAT"), bars_with_split(100, -1)}});
    const SplitSearchOutcome outcome = split_search_portfolio(dir.path());
    EXPECT_TRUE(outcome.result.ok);
    EXPECT_TRUE(outcome.lines.empty());
    EXPECT_EQ(outcome.result.texts(), std::vector<std::string>{kNothingFound});
    EXPECT_EQ(outcome.events.back().kind, SplitEventKind::Notice);
}

TEST(SplitSearch, AFailedReadEndsTheWholeSearch) {
    TempDir dir;
    Security broken{spec_for(2, "BROKEN"), bars_with_split(10, -1)};
    write_portfolio(dir.path(), {{spec_for(1, "ALPHA"), bars_with_split(10, 5)},
                                 broken,
                                 {spec_for(3, "ZULU"), bars_with_split(10, 5)}});
    fs::remove(dir / "F2.DAT");
    const SplitSearchOutcome outcome = split_search_portfolio(dir.path());
    EXPECT_FALSE(outcome.result.ok);
    EXPECT_EQ(outcome.lines.size(), 1u); // ALPHA's line stays; ZULU is never searched
    EXPECT_EQ(outcome.result.messages,
              (std::vector<Message>{{MessageKind::Error, "Error in SplitSearch bars read"}}));
    EXPECT_EQ(outcome.events.back().kind, SplitEventKind::Notice);
    for (const SplitSearchEvent& e : outcome.events)
        EXPECT_NE(e.text, "Done search");
}

TEST(SplitSearch, AListenerThatSaysStopEndsTheSearchAtOnceWithoutAMessage) {
    TempDir dir;
    write_portfolio(dir.path(), {{spec_for(1, "ALPHA"), bars_with_split(10, 5)},
                                 {spec_for(2, "BETA"), bars_with_split(10, 5)}});
    int heard = 0;
    const SplitSearchOutcome outcome = split_search_portfolio(dir.path(), [&](const SplitSearchEvent& e) {
        ++heard;
        return e.kind != SplitEventKind::Line;
    });
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_FALSE(outcome.result.ok);
    EXPECT_TRUE(outcome.result.messages.empty());
    EXPECT_EQ(outcome.lines.size(), 1u); // BETA is never searched
    EXPECT_EQ(heard, 1);
}

TEST(SplitSearch, SavedFileHoldsTheLinesAndAFailedSaveKeepsTheOldFile) {
    TempDir dir;
    const std::vector<std::string> lines = {"XYZ possible 2 for 1 split on 06/15/98",
                                            "ABC possible 1 for 2 split on 01/02/03"};
    ASSERT_TRUE(split_search_save(dir / "result.txt", lines).ok);
    EXPECT_EQ(read_bytes(dir / "result.txt"),
              "XYZ possible 2 for 1 split on 06/15/98\nABC possible 1 for 2 split on 01/02/03\n");

    write_bytes(dir / "old.txt", "keep me");
    FaultInjector faults;
    faults.fail_all(fileops::Op::Write, ENOSPC);
    const CommandResult failed = split_search_save(dir / "old.txt", lines);
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.texts(),
              std::vector<std::string>{"Cannot write the file " + (dir / "old.txt").string()});
    EXPECT_EQ(read_bytes(dir / "old.txt"), "keep me");
    EXPECT_EQ(snapshot(dir.path()).size(), 2u);
}
