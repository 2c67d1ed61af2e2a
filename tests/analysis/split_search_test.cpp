#include "analysis/split_search.h"

#include "storage/display_text.h"
#include "storage/fileops.h"
#include "support/builder.h"
#include "support/fault_injection.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

// `count` weekday bars closing at 10 (range 9.8 to 10.2); from bar `split_at` on, prices are divided by 2.
std::vector<SeriesBar> bars_with_split(int count, int split_at, DayNumber day = date_pack(97, 1, 2)) {
    std::vector<SeriesBar> bars;
    for (int i = 0; i < count; ++i, day = next_weekday(day)) {
        const float f = (split_at >= 0 && i >= split_at) ? 0.5f : 1.0f;
        bars.push_back({day, 0, 10.0f * f, 10.2f * f, 9.8f * f, 10.0f * f, 1000.0f, 0.0f});
    }
    return bars;
}

TEST(SplitRatio, ThePairTestOfTheWindowsAndTheGap) {
    // Close, low and high of the earlier bar, then of the later; the ratio listed (0:0 for none). Gaps of 4.7
    // and 3.7; a gap equal to 0.8 of the move; ratios of 2.2 and 1.8; near 4:3 and 3:4, never tried; a zero
    // close; no HIGH and LOW fields; a gap of 0.
    // clang-format off
    const std::tuple<float, float, float, float, float, float, int, int> cases[] = {
        {10, 9.8f, 10.2f, 5, 4.9f, 5.1f, 2, 1}, {10, 9.8f, 10.2f, 5, 4.9f, 6.1f, 0, 0}, {10, 9.0f, 10.2f, 5, 4.9f, 5.0f, 0, 0},
        {5, 4.9f, 5.1f, 10, 9.8f, 10.2f, 1, 2}, {11, 10.9f, 11.1f, 5, 4.9f, 5.1f, 0, 0}, {9, 8.9f, 9.1f, 5, 4.9f, 5.1f, 0, 0},
        {9, 8.9f, 9.1f, 3, 2.9f, 3.1f, 3, 1}, {12, 11.9f, 12.1f, 3, 2.9f, 3.1f, 4, 1}, {3, 2.9f, 3.1f, 9, 8.9f, 9.1f, 1, 3},
        {3, 2.9f, 3.1f, 12, 11.9f, 12.1f, 1, 4}, {15, 14.9f, 15.1f, 10, 9.9f, 10.1f, 3, 2}, {10, 9.9f, 10.1f, 15, 14.9f, 15.1f, 2, 3},
        {13.3f, 13.29f, 13.31f, 10, 9.99f, 10.01f, 0, 0}, {7.5f, 7.49f, 7.51f, 10, 9.99f, 10.01f, 0, 0},
        {0, 0, 0, 5, 4.9f, 5.1f, 0, 0}, {10, 9.8f, 10.2f, 0, 0, 0, 0, 0}, {10, -1, -1, 5, -1, -1, 0, 0},
        {10, 5.0f, 10.2f, 5, 4.9f, 5.0f, 0, 0}};
    // clang-format on
    for (const auto& [ca, la, ha, cb, lb, hb, p, q] : cases) {
        const std::optional<SplitRatio> ratio = split_ratio_for(ca, cb, la, ha, lb, hb);
        EXPECT_EQ(ratio ? ratio->p * 10 + ratio->q : 0, p * 10 + q)
            << ca << " / " << cb << " gap " << la - hb;
    }
    // Ratios a few floats either side of every window's edge, with a gap that always confirms: the
    // answer is the first ratio of the table whose window holds the ratio, tried one by one.
    const int table[][2] = {{1, 2}, {1, 3}, {1, 4}, {2, 1}, {2, 3}, {3, 1}, {3, 2}, {4, 1}};
    for (const auto& [tp, tq] : table) {
        for (double edge : {0.9 * tp / tq, 1.1 * tp / tq}) {
            float r = std::nextafter(static_cast<float>(edge), 0.0f);
            for (int step = 0; step < 8; ++step, r = std::nextafter(r, 10.0f)) {
                int expected = 0;
                for (const auto& [p, q] : table) {
                    const double p_over_q = static_cast<double>(p) / q;
                    if (expected == 0 && 0.9 * p_over_q < r && r < 1.1 * p_over_q)
                        expected = p * 10 + q;
                }
                const std::optional<SplitRatio> ratio = split_ratio_for(r, 1.0f, 1000, 1000, 0, 0);
                ASSERT_EQ(ratio ? ratio->p * 10 + ratio->q : 0, expected) << r;
            }
        }
    }
}

TEST(SplitSearch, APortfolioInSymbolOrderWithNoticesAndLines) {
    TempDir dir;
    std::vector<SeriesBar> xyz = bars_with_split(30, 20, date_pack(98, 5, 18));
    ASSERT_EQ(xyz[20].date, date_pack(98, 6, 15));
    write_portfolio(dir.path(),
                    {make_security(3, "XYZ", "X", xyz, true),
                     make_security(1, "bbb", "B", bars_with_split(50, -1), true),
                     make_security(7, "AAA", "A", bars_with_split(1, -1), true)},
                    true);
    std::vector<std::string> heard;
    const SplitSearchOutcome outcome = split_search_portfolio(
        dir.path(), [&](const SplitSearchEvent& e) { return heard.push_back(e.text), true; });
    EXPECT_TRUE(outcome.result.ok);
    const std::string line = "XYZ possible 2 for 1 split on 06/15/98";
    EXPECT_EQ(outcome.lines, std::vector<std::string>{line});
    const std::string notice =
        "For symbol AAA\nSplitSearch cannot perform search\nas there are fewer than 2 quotes.";
    EXPECT_EQ(outcome.result.texts(), std::vector<std::string>{notice});
    using K = SplitEventKind;
    const std::vector<std::pair<K, std::string>> expected = {
        {K::Notice, notice}, {K::SymbolDone, "AAA"}, {K::SymbolDone, "bbb"},
        {K::Line, line},     {K::SymbolDone, "XYZ"}, {K::SymbolDone, "Done search"}};
    std::vector<std::pair<K, std::string>> events;
    for (const SplitSearchEvent& e : outcome.events)
        events.emplace_back(e.kind, e.text);
    EXPECT_EQ(events, expected);
    EXPECT_EQ(outcome.events[0].skipped, "AAA"); // the window gathers these into one note
    ASSERT_EQ(heard.size(), expected.size());
    // Taken one security a step, as the window takes it: the same events, the last step ends it.
    SplitSearchRun run(dir.path(), {"AAA", "bbb", "XYZ"});
    std::vector<std::pair<K, std::string>> stepped;
    int steps = 1;
    while (run.step(1, [&](const SplitSearchEvent& e) { return stepped.emplace_back(e.kind, e.text), true; }))
        ++steps;
    EXPECT_EQ(std::tuple(steps, stepped, run.outcome().lines, run.outcome().result.ok),
              std::tuple(3, expected, outcome.lines, true));
    EXPECT_FALSE(run.step(1, {})); // an ended run stays ended
    EXPECT_EQ(split_search_skipped_text({"AAA"}), notice);
    std::vector<std::string> many;
    for (int i = 0; i < 23; ++i)
        many.push_back("S" + std::to_string(i));
    EXPECT_EQ(
        split_search_skipped_text(many),
        "SplitSearch cannot perform search for 23 symbols,\nas they have fewer than 2 quotes:\nS0, S1, S2, "
        "S3, S4, S5, S6, S7, S8, S9, S10, S11, S12, S13, S14, S15, S16, S17, S18, S19 and 3 more.");
    write_portfolio(dir.path(), {make_security(1, "FLAT", "F", bars_with_split(100, -1))});
    EXPECT_EQ(split_search_portfolio(dir.path()).result.texts(),
              std::vector<std::string>{"No candidate splits found"});
}

TEST(SplitSearch, WindowsOf400OverlapByOneBar) {
    for (int count : {400, 401, 799, 800, 1200}) {
        TempDir dir;
        // A 2:1 split as the last pair of the first window, a 1:2 back as the pair across its end.
        std::vector<SeriesBar> bars = bars_with_split(count, 399);
        for (std::size_t i = 400; i < bars.size(); ++i)
            bars[i] = bars_with_split(1, -1, bars[i].date)[0];
        write_series_portfolio(dir.path(), SeriesSpec{}, bars);
        std::vector<std::string> expected = {"IBM possible 2 for 1 split on " +
                                             date_format(bars[399].date, kMMDDYYSep, '/')};
        if (count > 400)
            expected.push_back("IBM possible 1 for 2 split on " +
                               date_format(bars[400].date, kMMDDYYSep, '/'));
        const SplitSearchOutcome outcome = split_search(dir.path(), {"IBM"});
        EXPECT_EQ(outcome.lines, expected) << count << " bars";
        EXPECT_TRUE(outcome.result.messages.empty()) << count << " bars";
    }
}

TEST(SplitSearch, EveryPairNearTheEdgeOfAnOrdinaryMoveIsTested) {
    // Closes whose ratios lie a few floats either side of the bounds of an ordinary day's move (and of
    // the 2:3 and 3:2 windows behind them), each followed by 1, then 2 and 1; low = high = close, so any
    // ratio in a window is confirmed. The search lists exactly the pairs the pair test confirms.
    std::vector<SeriesBar> bars;
    DayNumber day = date_pack(97, 1, 2);
    auto add = [&](float close) {
        bars.push_back({day, 0, close, close, close, close, 1000.0f, 0.0f});
        day = next_weekday(day);
    };
    for (double edge : {1.1 * (2.0 / 3.0), 0.9 * (3.0 / 2.0)}) {
        float r = static_cast<float>(edge);
        for (int step = 0; step < 4; ++step)
            r = std::nextafter(r, 0.0f);
        for (int step = 0; step < 9; ++step, r = std::nextafter(r, 10.0f)) {
            add(r);
            add(1.0f);
        }
    }
    add(2.0f);
    add(1.0f);
    TempDir dir;
    write_series_portfolio(dir.path(), SeriesSpec{}, bars);
    std::vector<std::string> expected;
    for (std::size_t k = 0; k + 1 < bars.size(); ++k) {
        const SeriesBar& a = bars[k];
        const SeriesBar& b = bars[k + 1];
        if (const std::optional<SplitRatio> ratio =
                split_ratio_for(a.close, b.close, a.low, a.high, b.low, b.high))
            expected.push_back("IBM possible " + std::to_string(ratio->p) + " for " +
                               std::to_string(ratio->q) + " split on " +
                               date_format(b.date, kMMDDYYSep, '/'));
    }
    EXPECT_GE(expected.size(), 10u);
    EXPECT_EQ(split_search(dir.path(), {"IBM"}).lines, expected);
}

TEST(SplitSearch, AFailedReadOrAListenerSayingStopEndsTheWholeSearch) {
    TempDir dir;
    write_portfolio(dir.path(), {make_security(1, "ALPHA", "A", bars_with_split(10, 5)),
                                 make_security(2, "BROKEN", "B", bars_with_split(10, -1)),
                                 make_security(3, "ZULU", "Z", bars_with_split(10, 5))});
    const std::vector<std::string> kReadError = {"Error in SplitSearch bars read"};
    std::size_t reads = 0;
    {
        FaultInjector counter;
        ASSERT_TRUE(split_search(dir.path(), {"ALPHA"}).result.ok);
        reads = counter.calls(fileops::Op::Read);
    }
    for (std::size_t failing : {reads, reads - 1}) { // the window of bars, then the header before it
        FaultInjector faults;
        faults.fail_nth(fileops::Op::Read, failing, EIO);
        const SplitSearchOutcome outcome = split_search(dir.path(), {"ALPHA", "ZULU"});
        EXPECT_FALSE(outcome.result.ok) << failing;
        EXPECT_EQ(outcome.result.texts(), kReadError) << failing;
        EXPECT_TRUE(outcome.lines.empty()) << failing;
    }
    int heard = 0; // a listener that says stop at the first line ends the search at once, without a message
    const SplitSearchOutcome stopped = split_search_portfolio(
        dir.path(), [&](const SplitSearchEvent& e) { return ++heard, e.kind != SplitEventKind::Line; });
    EXPECT_TRUE(stopped.cancelled && !stopped.result.ok && stopped.result.messages.empty());
    EXPECT_EQ(std::pair(stopped.lines.size(), heard), std::pair(std::size_t{1}, 1)); // ZULU is never searched
    fs::remove(dir / "F2.DAT");
    const SplitSearchOutcome outcome = split_search_portfolio(dir.path());
    EXPECT_EQ(outcome.lines.size(), 1u); // ALPHA's line stays; ZULU is never searched
    EXPECT_EQ(outcome.result.texts(), kReadError);
    EXPECT_EQ(outcome.events.back().kind, SplitEventKind::Notice);
}

} // namespace
