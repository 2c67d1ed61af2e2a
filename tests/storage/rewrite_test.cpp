// The series rewrite of each kind, compared byte for byte with files built from the expected bars.
// Every failing step of every kind is swept in reliability/fault_sweep_test.cpp.
#include "storage/directory.h"
#include "storage/rewrite.h"

#include "storage/fileops.h"
#include "support/builder.h"
#include "support/fault_injection.h"

#include <gtest/gtest.h>

#include <limits>
#include <span>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

SeriesEdit edit(std::int16_t kind, DayNumber first, DayNumber last, std::array<float, 6> v = {}) {
    return {{v[0], v[1], v[2], v[3], v[4], v[5]}, first, last, kind};
}

class Rewrite : public ::testing::Test {
protected:
    void make(int count, SeriesSpec spec = SeriesSpec{}, bool with_time = false) {
        spec_ = std::move(spec);
        bars_ = random_series_bars(11, count, with_time);
        write_series_portfolio(dir_.path(), spec_, bars_);
        old_dat_ = read_bytes(dat());
        old_master_ = read_bytes(dir_ / (spec_.lower_case ? "master" : "MASTER"));
    }
    fs::path dat() const { return dir_ / (spec_.lower_case ? "f1.dat" : "F1.DAT"); }
    int run(const SeriesEdit& e, std::int32_t bar_count = 0) {
        return series_rewrite(e, dir_.path(), "IBM", bar_count, dir_ / "MASTER");
    }
    // The file holds exactly these bars, and no F1.NEW is left.
    void expect_bars(std::vector<SeriesBar> bars, std::size_t leave_out = SIZE_MAX) {
        if (leave_out < bars.size())
            bars.erase(bars.begin() + static_cast<long>(leave_out));
        EXPECT_EQ(read_bytes(dat()), dat_bytes(spec_, bars));
        EXPECT_FALSE(fs::exists(dir_ / "F1.NEW") || fs::exists(dir_ / "f1.new"));
    }
    std::pair<float, float> master_dates() const {
        MasterRecord r;
        fs::path found;
        EXPECT_EQ(master_find(dir_.path(), "IBM", r, found), 0);
        return {r.first_date_ieee(), r.last_date_ieee()};
    }
    std::pair<float, float> dates_of(int first, int last) const {
        return {date_to_yymmdd(bars_[first].date), date_to_yymmdd(bars_[last].date)};
    }

    TempDir dir_;
    SeriesSpec spec_;
    std::vector<SeriesBar> bars_;
    std::string old_dat_, old_master_;
};

TEST_F(Rewrite, SetScaleAndMultiplyChangeTheirBarsInAnyLayoutAndNothingElse) {
    // Fields shuffled, one unnamed; an unknown line in F1.DOP; stray header bytes; bytes after the last bar.
    make(40, {.fields = {"DATE", "CLOSE", "VOL", "HIGH", "OPEN", "LOW", "OI", "SPARE"},
              .dop_extra = {{2, "\"REMARK\",0,0"}},
              .lower_case = true,
              .header_fill = '\xA5',
              .trailing = "\x1A\x01"});
    std::vector<SeriesBar> want = bars_;
    want[17] = {bars_[17].date, 0, 10.5f, 11.25f, 9.75f, 10.0f, 12345, 777};
    ASSERT_EQ(run(edit(kEditSet, bars_[17].date, bars_[17].date, {10.5f, 11.25f, 9.75f, 10.0f, 12345, 777})),
              0);
    expect_bars(want);
    EXPECT_EQ(read_bytes(dir_ / "f1.bak"), old_dat_); // new files follow the portfolio's lower-case names
    const std::vector<SeriesBar> set = want;
    for (SeriesBar& b : std::span(want).subspan(10, 16))
        b = {b.date, 0, b.open * 2, b.high * 2, b.low * 2, b.close * 2, b.vol * 0.5f, b.oi * 4};
    ASSERT_EQ(run(edit(kEditScale, bars_[10].date, bars_[25].date, {2, 2, 2, 2, 0.5f, 4})), 0);
    expect_bars(want);
    ASSERT_EQ(run(edit(kEditMultiply, bars_[10].date, bars_[25].date, {0.5f, 0.5f, 0.5f, 0.5f, 2, 0.25f})),
              0);
    expect_bars(set); // kind 2 multiplies exactly as kind 3
    EXPECT_EQ(read_bytes(dir_ / "master"), old_master_);
}

TEST_F(Rewrite, AnEditAimedAtOneBarChangesItAloneAmongTheBarsOfItsDate) {
    make(6);
    bars_[1].date = bars_[0].date; // the oldest two share a date
    write_series_portfolio(dir_.path(), spec_, bars_);
    for (std::int32_t bar : {0, 1}) {
        SeriesEdit e =
            edit(kEditSet, bars_[0].date, bars_[0].date, {1, 2, 0.5f, 1.5f, 900, static_cast<float>(bar)});
        e.bar = bar;
        ASSERT_EQ(run(e), 0);
        bars_[static_cast<std::size_t>(bar)] = {bars_[0].date, 0,    1,   2,
                                                0.5f,          1.5f, 900, static_cast<float>(bar)};
        expect_bars(bars_);
    }
}

TEST_F(Rewrite, BytesTheEditDoesNotChangeSurviveAsRead) {
    make(8);
    // Bar 2 (outside the range) holds values without an exact IEEE counterpart: an MBF exponent of 1 and a
    // "zero" whose other bytes are not 0. Bar 5 (inside) stores its date as CCYYMMDD.
    std::string bytes = old_dat_;
    bytes.replace(28 * 3 + 4, 4, std::string("\x12\x34\x56\x01", 4));
    bytes.replace(28 * 3 + 20, 4, std::string("\x99\x88\x77\x00", 4));
    int y, m, d;
    date_unpack(bars_[5].date, y, m, d);
    bytes.replace(28 * 6, 4, mbf_bytes(static_cast<float>((1900 + y) * 10000 + m * 100 + d)));
    write_bytes(dat(), bytes);
    ASSERT_EQ(run(edit(kEditScale, bars_[4].date, bars_[6].date, {1, 1, 1, 1, 3, 1})), 0);
    for (int bar : {4, 5, 6})
        bytes.replace(28 * (bar + 1) + 20, 4, mbf_bytes(bars_[bar].vol * 3));
    EXPECT_EQ(read_bytes(dat()), bytes);
}

TEST_F(Rewrite, RefusalsAndEditsThatChangeNoByteWriteNothing) {
    make(30, {.fields = {"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL"}});
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const DayNumber a = bars_[0].date, b = bars_.back().date;
    DayNumber saturday = bars_[4].date;
    while (is_weekday(saturday))
        ++saturday;
    write_bytes(dir_ / "F1.BAK", "an older backup");
    const auto before = snapshot(dir_.path());
    // clang-format off
    const std::pair<SeriesEdit, int> cases[] = {
        {edit(kEditSet, a, a, {1, nan, 1, 1, 1, 1}), status::kInvalidParm}, {edit(kEditSet, a, a, {1, 1, 1, 1, -inf, 1}), status::kInvalidParm},
        {edit(kEditSet, a, a, {1, 1, 1, 1, 2e38f, 1}), status::kInvalidParm}, {edit(kEditScale, a, b, {1, 1, inf, 1, 1, 1}), status::kInvalidParm},
        {edit(kEditMultiply, a, b, {1, 1, 1, 1, 1e34f, 1}), status::kInvalidParm}, {edit(0, a, b), status::kInvalidParm},
        {edit(6, a, b), status::kInvalidParm}, {edit(kEditDelete, b + 1, b + 1), status::kDeleteNotFound},
        {edit(kEditDelete, a - 1, a - 1), status::kDeleteNotFound}, {edit(kEditSet, saturday, saturday, {1, 2, 3, 4, 5, 6}), 0},
        {edit(kEditScale, 0, b, {1, 1, 1, 1, 1, 1}), 0}, {edit(kEditInsert, saturday, saturday), 0},
        {edit(kEditInsert, b + 5, b + 9), 0}};
    // clang-format on
    for (const auto& [e, code] : cases) {
        bool changed = true;
        EXPECT_EQ(series_rewrite(e, dir_.path(), "IBM", 30, dir_ / "MASTER", &changed), code) << e.kind;
        EXPECT_FALSE(changed) << e.kind;
    }
    EXPECT_EQ(series_rewrite(cases[9].first, dir_.path(), "MSFT", 5, dir_ / "MASTER"), status::kFileNotFound);
    {
        FaultInjector faults;
        faults.fail_all(fileops::Op::Write, ENOSPC);
        EXPECT_EQ(run(edit(kEditSet, a, a, {1, 1, 1, 1, 1, 1})), status::kFileWrite);
    }
    EXPECT_EQ(snapshot(dir_.path()), before);
    EXPECT_EQ(run(edit(kEditSet, a, a, {1, 2, 0.5f, 1.5f, 100, nan})), 0); // no OI: its value is never read
    fs::remove(dir_ / "F1.BAK");
    fs::remove(dat());
    EXPECT_EQ(run(edit(kEditSet, a, a, {1, 1, 1, 1, 1, 1})), status::kFileOpen);
    EXPECT_FALSE(fs::exists(dir_ / "F1.BAK"));
}

// A quote file holding its header alone is a series without quotes, not a damaged file: an edit finds
// no quote to change. A header counting no record at all is damaged.
TEST_F(Rewrite, ASeriesWithoutQuotesIsNoDamagedFileButAHeaderCountingNoRecordIs) {
    make(0);
    const DayNumber day = date_pack(2001, 3, 5);
    const auto before = snapshot(dir_.path());
    EXPECT_EQ(run(edit(kEditDelete, day, day)), status::kDeleteNotFound);
    EXPECT_EQ(run(edit(kEditSet, day, day, {1, 2, 3, 4, 5, 6})), 0);
    EXPECT_EQ(snapshot(dir_.path()), before);
    std::string header_only = read_bytes(dat());
    header_only[2] = header_only[3] = 0;
    write_bytes(dat(), header_only);
    EXPECT_EQ(run(edit(kEditSet, day, day, {1, 2, 3, 4, 5, 6})), status::kBadRecordShape);
}

TEST_F(Rewrite, DeletingTheFirstOrLastBarMovesThatDateInMasterAndAMiddleBarNeither) {
    make(10);
    // A stale count: the file's decides.
    ASSERT_EQ(run(edit(kEditDelete, bars_[0].date, bars_[0].date), 1), 0);
    expect_bars(bars_, 0);
    EXPECT_TRUE(master_dates() == dates_of(1, 9) && read_bytes(dir_ / "F1.BAK") == old_dat_);
    bars_.erase(bars_.begin());
    ASSERT_EQ(run(edit(kEditDelete, bars_[8].date, bars_[8].date), 50), 0);
    expect_bars(bars_, 8);
    EXPECT_EQ(master_dates(), dates_of(0, 7));
    bars_.pop_back();
    const std::string master_now = read_bytes(dir_ / "MASTER");
    ASSERT_EQ(run(edit(kEditDelete, bars_[3].date, bars_[3].date)), 0);
    expect_bars(bars_, 3);
    EXPECT_EQ(read_bytes(dir_ / "MASTER"), master_now);
    make(1);
    std::string stale = read_bytes(dir_ / "MASTER"); // dates another program left wrong
    stale.replace(53 + 25, 8, mbf_bytes(1010101.0f) + mbf_bytes(1010102.0f));
    write_bytes(dir_ / "MASTER", stale);
    ASSERT_EQ(run(edit(kEditDelete, bars_[0].date, bars_[0].date)), 0); // the only bar: its date, twice
    expect_bars({});
    EXPECT_EQ(master_dates(), dates_of(0, 0));
    make(40, {.periodicity = 'I', .fields = intraday_fields()}, true);
    std::size_t k = 1;
    while (bars_[k].date == bars_[k - 1].date)
        ++k; // the first bar of the second day: a delete takes the first of its day
    ASSERT_EQ(run(edit(kEditDelete, bars_[k].date, bars_[k].date)), 0);
    expect_bars(bars_, k);
}

TEST_F(Rewrite, DeletingInANestedPortfolioChangesOnlyItsOwnMaster) {
    const SeriesSpec top{.symbol = "TOP"}; // the top level lists a security under file number 1 too
    write_security(dir_.path(), top, bars_on({9000, 9001}));
    write_series_master(dir_.path(),
                        {series_master_record(top, bars_on({9000, 9001})), master_directory_entry(2, "SUB")});
    const std::string top_master = read_bytes(dir_ / "MASTER");
    bars_ = random_series_bars(4, 6);
    write_series_portfolio(dir_ / "SUB", SeriesSpec{}, bars_);
    ASSERT_EQ(series_rewrite(edit(kEditDelete, bars_[0].date, bars_[0].date), dir_.path(), "IBM", 6,
                             dir_ / "MASTER"),
              0);
    EXPECT_TRUE(read_bytes(dir_ / "MASTER") == top_master && master_dates() == dates_of(1, 5));
    EXPECT_EQ(read_bytes(dir_ / "SUB" / "F1.DAT"), dat_bytes(SeriesSpec{}, {bars_.begin() + 1, bars_.end()}));
}

TEST_F(Rewrite, InsertingCopiesEachBarInTheRangeToTheWeekdayBeforeAndStatesTheTrueCount) {
    make(12, {.last_record = 300}); // the header promises far more bars than the file holds
    ASSERT_EQ(run(edit(kEditInsert, bars_[2].date, bars_[4].date)), 0);
    std::vector<SeriesBar> want = bars_;
    for (int i = 4; i >= 2; --i) {
        want.insert(want.begin() + i, bars_[i]);
        want[i].date = previous_weekday(bars_[i].date);
    }
    spec_.last_record.reset(); // R is now 16: fifteen bars and the header
    expect_bars(want);
    EXPECT_EQ(read_bytes(dir_ / "MASTER"), old_master_);
}

} // namespace
