#include "analysis/data_check.h"

#include "storage/quotes.h"
#include "support/builder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

// 30 weekday bars from a Monday, closing a little higher each day inside a range of +-0.25.
std::vector<SeriesBar> clean_bars(int count = 30) {
    std::vector<SeriesBar> bars;
    DayNumber day = date_pack(99, 3, 1);
    for (int i = 0; i < count; ++i, day = next_weekday(day)) {
        const float c = 10.0f + static_cast<float>(i) / 64.0f;
        bars.push_back({day, 0, c, c + 0.25f, c - 0.25f, c, 1000, 50});
    }
    return bars;
}

std::vector<QuoteRowValues> rows_of(const std::vector<SeriesBar>& bars) {
    std::vector<QuoteRowValues> rows;
    for (const SeriesBar& b : bars)
        rows.push_back({b.date, b.time, {b.open, b.high, b.low, b.close, b.vol, b.oi}});
    return rows;
}

std::vector<std::pair<std::int32_t, CheckKind>> kinds(const std::vector<CheckFinding>& findings) {
    std::vector<std::pair<std::int32_t, CheckKind>> out;
    for (const CheckFinding& f : findings)
        out.emplace_back(f.bar, f.kind);
    return out;
}

// Every bar moved back by whole weeks to before 1961, where the days count down from -1.
void move_before_1961(std::vector<SeriesBar>& bars) {
    for (SeriesBar& bar : bars) {
        const long long count = (bar.date > 0 ? bar.date : bar.date + 1LL) - 7LL * 3000;
        bar.date = static_cast<DayNumber>(count > 0 ? count : count - 1);
    }
}

void scale_from(std::vector<SeriesBar>& bars, std::size_t first, std::size_t last, float f) {
    for (std::size_t i = first; i <= last && i < bars.size(); ++i)
        for (float* v : {&bars[i].open, &bars[i].high, &bars[i].low, &bars[i].close})
            *v *= f;
}

TEST(DataCheck, EachPlantedFaultIsFoundOnceAtItsQuote) {
    using K = CheckKind;
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    using Plant = void (*)(std::vector<SeriesBar>&);
    const std::vector<std::tuple<Plant, K, std::string>> cases = {
        {[](auto& b) { b[10].high = 9, b[10].low = 9.5f; }, K::HighBelowLow, "high=9.0000 low=9.5000"},
        {[](auto& b) { b[10].open = 12; }, K::OpenOutsideRange, "open=12.0000 low=9.9062 high=10.4062"},
        {[](auto& b) { b[10].close = 10.5f; }, K::CloseOutsideRange, "close=10.5000 low=9.9062 high=10.4062"},
        {[](auto& b) { b[10].low = 0; }, K::NonPositivePrice, "low=0.0000"},
        {[](auto& b) { b[10].open = -2; }, K::NonPositivePrice, "open=-2.0000"},
        {[](auto& b) { b[10].vol = -5; }, K::NegativeVolume, "vol=-5"},
        {[](auto& b) { b[10].oi = -1; }, K::NegativeOpenInterest, "oi=-1"},
        {[](auto& b) { b[10].close = kNaN; }, K::NotFinite, "close=nan"},
        {[](auto& b) { b[10].high = INFINITY; }, K::NotFinite, "high=inf"},
        {[](auto& b) { std::swap(b[9].date, b[10].date); }, K::OutOfOrder, "previous=03/15/99"},
        {[](auto& b) { b[10].date = b[9].date; }, K::SameDate, "previous=03/12/99"},
        {[](auto& b) { b[10].date = b[9].date + 1; }, K::WeekendDate, "Saturday"},
        {[](auto& b) { b[10].date = b[9].date + 1, move_before_1961(b); }, K::WeekendDate, "Saturday"},
        {[](auto& b) {
             for (std::size_t i = 10; i < b.size(); ++i)
                 b[i].date += 14;
         },
         K::DateGap, "previous=03/12/99 days=17"},
        {[](auto& b) { scale_from(b, 10, 10, 10); }, K::Spike,
         "previous=10.1406 close=101.5625 next=10.1719"},
        {[](auto& b) { scale_from(b, 10, 10, 0.25f); }, K::Spike,
         "previous=10.1406 close=2.5391 next=10.1719"},
        {[](auto& b) { scale_from(b, 10, 29, 0.5f); }, K::PossibleSplit,
         "possible 2 for 1 previous=10.1406 close=5.0781"},
    };
    for (const auto& [plant, kind, values] : cases) {
        std::vector<SeriesBar> bars = clean_bars();
        plant(bars);
        const std::vector<CheckFinding> found = check_bars(rows_of(bars), {}, {});
        ASSERT_EQ(kinds(found), (std::vector<std::pair<std::int32_t, K>>{{10, kind}}))
            << check_kind_name(kind);
        EXPECT_EQ(found[0].values, values);
    }
    // A part of a series is checked as a series of its own: the quote after its last is never read.
    std::vector<SeriesBar> bars = clean_bars();
    scale_from(bars, 10, 10, 10);
    const std::vector<QuoteRowValues> rows = rows_of(bars);
    const std::vector<QuoteRowValues> alone(rows.begin(), rows.begin() + 11);
    const auto in_part = kinds(check_bars(std::span(rows).first(11), {}, {}));
    EXPECT_EQ(in_part, kinds(check_bars(alone, {}, {})));
    EXPECT_TRUE(std::none_of(in_part.begin(), in_part.end(), [](auto f) { return f.second == K::Spike; }));
}

TEST(DataCheck, CleanSeriesOfEveryShapeHaveNoFinding) {
    const std::vector<QuoteRowValues> daily = rows_of(clean_bars(400));
    EXPECT_TRUE(check_bars(daily, {}, {}).empty());
    EXPECT_TRUE(check_bars({}, {}, {}).empty());
    // Weekly quotes dated on Saturdays, a week apart; no high and low, which stay FIELD_ABSENT.
    std::vector<QuoteRowValues> weekly = daily;
    for (std::size_t i = 0; i < weekly.size(); ++i) {
        weekly[i].date = static_cast<DayNumber>(date_pack(99, 3, 6) + 7 * i);
        weekly[i].values[1] = weekly[i].values[2] = FIELD_ABSENT;
    }
    SeriesTraits traits{.daily = false};
    traits.present[1] = traits.present[2] = false;
    EXPECT_TRUE(check_bars(weekly, traits, {}).empty());
    // Intra-day quotes: several a day at rising times, each day a weekday.
    std::vector<QuoteRowValues> intraday = daily;
    for (std::size_t i = 0; i < intraday.size(); ++i) {
        intraday[i].date = daily[i / 4].date;
        intraday[i].time = std::array{93000, 93001, 94517, 100059}[i % 4]; // one second apart, too
    }
    EXPECT_TRUE(check_bars(intraday, {.has_time = true}, {}).empty());
    // Quotes without a date, and a move of 25 % that stays.
    std::vector<SeriesBar> bars = clean_bars();
    bars[3].date = bars[4].date = 0;
    scale_from(bars, 20, 29, 1.25f);
    EXPECT_TRUE(check_bars(rows_of(bars), {}, {}).empty());
    // Limits move the line: a spike of 2.5 times is within 150 %, a gap of 17 days within 20.
    bars = clean_bars();
    scale_from(bars, 10, 10, 2.5f);
    for (std::size_t i = 20; i < bars.size(); ++i)
        bars[i].date += 14;
    EXPECT_EQ(
        kinds(check_bars(rows_of(bars), {}, {})),
        (std::vector<std::pair<std::int32_t, CheckKind>>{{10, CheckKind::Spike}, {20, CheckKind::DateGap}}));
    EXPECT_TRUE(check_bars(rows_of(bars), {}, {150, 20}).empty());
    // A spike is judged by the quote right after it, whatever comes later: here a split.
    bars = clean_bars();
    scale_from(bars, 10, 10, 10);
    scale_from(bars, 12, 29, 0.5f);
    EXPECT_EQ(kinds(check_bars(rows_of(bars), {}, {})),
              (std::vector<std::pair<std::int32_t, CheckKind>>{{10, CheckKind::Spike},
                                                               {12, CheckKind::PossibleSplit}}));
}

// Quotes a second apart are distinct; a date and time held by several quotes, next to each other or
// far apart, is one finding with their number; a step back names the quote before to the second.
TEST(DataCheck, IntradayQuotesAreOrderedAndRepeatedToTheSecond) {
    std::vector<SeriesBar> bars = intraday_real_bars();
    const SeriesTraits intraday{
        .present = {true, true, true, true, true, false}, .daily = false, .has_time = true};
    std::vector<CheckFinding> found = check_bars(rows_of(bars), intraday, {});
    std::vector<std::string> lines;
    for (const CheckFinding& f : found)
        lines.push_back(check_line({{"", "X", "X"}, f}));
    EXPECT_EQ(lines, (std::vector<std::string>{"X\t05/06/11 10:40:07\tsame-date\tquotes=3",
                                               "X\t05/09/11 09:30:01\tsame-date\tquotes=2"}));
    EXPECT_EQ(kinds(found), (std::vector<std::pair<std::int32_t, CheckKind>>{{4, CheckKind::SameDate},
                                                                             {8, CheckKind::SameDate}}));
    // The whole day written again after itself: one step back, and each quote of it repeated once more.
    bars.resize(7);
    const std::vector<SeriesBar> again(bars.begin(), bars.begin() + 3);
    bars.insert(bars.end(), again.begin(), again.end());
    lines.clear();
    for (const CheckFinding& f : check_bars(rows_of(bars), intraday, {}))
        lines.push_back(check_line({{"", "X", "X"}, f}));
    EXPECT_EQ(lines,
              (std::vector<std::string>{"X\t05/06/11 10:40:07\tsame-date\tquotes=3",
                                        "X\t05/06/11 10:38:39\tdate-out-of-order\tprevious=05/06/11 10:41:13",
                                        "X\t05/06/11 10:38:39\tsame-date\tquotes=2",
                                        "X\t05/06/11 10:38:51\tsame-date\tquotes=2",
                                        "X\t05/06/11 10:39:02\tsame-date\tquotes=2"}));
}

TEST(DataCheck, APortfolioWithItsNestedPortfolioIsCheckedAndSaved) {
    TempDir dir;
    std::vector<SeriesBar> spiked = clean_bars(), broken = clean_bars();
    scale_from(spiked, 5, 5, 10);
    broken[7].high = 1;
    write_portfolio(dir.path(),
                    {make_security(1, "BETA", "B", spiked), make_security(2, "ALPHA", "A", clean_bars()),
                     make_security(3, "GONE", "G", clean_bars())},
                    false, {master_directory_entry(9, "sub")});
    write_portfolio(dir / "sub", {make_security(1, "GAMMA", "G", broken, true)}, true);
    fs::remove(dir / "F3.DAT");

    std::vector<std::string> heard;
    CheckListener listener;
    listener.security = [&](std::size_t i, std::size_t n, const CheckTarget& t) {
        return heard.push_back(std::to_string(i) + "/" + std::to_string(n) + " " + t.label), true;
    };
    const CheckOutcome outcome = check_portfolio(dir.path(), {}, listener);
    EXPECT_EQ(
        std::pair(outcome.result.ok, heard),
        std::pair(true, std::vector<std::string>{"0/4 ALPHA", "1/4 BETA", "2/4 GONE", "3/4 sub/GAMMA"}));
    std::vector<std::string> lines;
    for (const SecurityFinding& f : outcome.findings)
        lines.push_back(check_line(f));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "BETA\t03/08/99\tspike\tprevious=10.0625 close=100.7812 next=10.0938");
    EXPECT_EQ(lines[1].substr(0, 20), "GONE\t00/00/00\tunread");
    EXPECT_EQ(lines[2], "sub/GAMMA\t03/10/99\thigh-below-low\thigh=1.0000 low=9.8594");
    EXPECT_EQ(outcome.findings[2].target.dir, dir / "sub");

    ASSERT_TRUE(check_save(dir / "found.txt", outcome.findings).ok &&
                !check_save(dir / "master", outcome.findings).ok);
    EXPECT_EQ(read_bytes(dir / "found.txt"), lines[0] + "\n" + lines[1] + "\n" + lines[2] + "\n");

    // Run a security at a time (as the window runs it), the check hears and finds the same.
    CheckRun run(dir.path(), {});
    heard.clear();
    int steps = 1;
    while (run.step(1, listener))
        ++steps;
    EXPECT_EQ(std::tuple(steps, heard.size(), run.outcome().checked, run.outcome().result.ok),
              std::tuple(4, 4u, 4u, true)); // the fourth step checks the last security and ends the run
    std::vector<std::string> stepped;
    for (const SecurityFinding& f : run.outcome().findings)
        stepped.push_back(check_line(f));
    EXPECT_EQ(stepped, lines);
    EXPECT_FALSE(run.step(1, listener)); // an ended run stays ended

    listener.finding = [](const SecurityFinding&) { return false; };
    const CheckOutcome stopped = check_portfolio(dir.path(), {}, listener);
    EXPECT_TRUE(stopped.cancelled && !stopped.result.ok && stopped.findings.size() == 1u);
    EXPECT_FALSE(check_portfolio(dir / "nowhere", {}).result.ok);
}

} // namespace
