// The series rewrite of each kind, compared byte for byte with files built from the expected bars.
// Every failing step of every kind is swept in reliability/fault_sweep_test.cpp.
#include "storage/fileops.h"
#include "storage/quotes.h"
#include "storage/rewrite.h"
#include "support/builder.h"
#include "support/fault_injection.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <limits>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

SeriesEdit make_edit(std::int16_t kind, DayNumber first, DayNumber last, std::array<float, 6> values = {}) {
    SeriesEdit e;
    e.kind = kind;
    e.first_date = first;
    e.last_date = last;
    std::copy(values.begin(), values.end(), e.values);
    return e;
}

std::string mbf(float v) {
    std::uint8_t b[4];
    ieee_to_mbf(v, b);
    return std::string(reinterpret_cast<char*>(b), 4);
}

class Rewrite : public ::testing::Test {
protected:
    void make(SeriesSpec spec, std::vector<SeriesBar> bars) {
        spec_ = std::move(spec);
        bars_ = std::move(bars);
        write_bytes(dir_ / "EMASTER", std::string(192, '\x11')); // no rewrite touches it
        write_series_portfolio(dir_.path(), spec_, bars_);
        old_dat_ = read_bytes(dat());
        old_master_ = read_bytes(master());
    }
    void make(int count, SeriesSpec spec = SeriesSpec{}) {
        make(std::move(spec), random_series_bars(11, count));
    }

    fs::path dat() const { return dir_ / (spec_.lower_case ? "f1.dat" : "F1.DAT"); }
    fs::path bak() const { return dir_ / (spec_.lower_case ? "f1.bak" : "F1.BAK"); }
    fs::path master() const { return dir_ / (spec_.lower_case ? "master" : "MASTER"); }
    int run(const SeriesEdit& edit, std::int32_t bar_count = -1) {
        return series_rewrite(edit, dir_.path(), "IBM",
                              bar_count < 0 ? static_cast<std::int32_t>(bars_.size()) : bar_count, master());
    }
    // The file holds exactly these bars, and no F1.NEW is left.
    void expect_bars(const std::vector<SeriesBar>& bars) {
        EXPECT_EQ(read_bytes(dat()), dat_bytes(spec_, bars));
        EXPECT_FALSE(fs::exists(dir_ / "F1.NEW") || fs::exists(dir_ / "f1.new"));
        EXPECT_EQ(read_bytes(dir_ / "EMASTER"), std::string(192, '\x11'));
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
    SeriesSpec spec;
    spec.fields = {"DATE", "CLOSE", "VOL", "HIGH", "OPEN", "LOW", "OI", "SPARE"}; // shuffled, one unnamed
    spec.dop_extra = {{2, "\"REMARK\",0,0"}};
    spec.dop_end_mark = true;
    spec.header_fill = '\xA5';
    spec.trailing = "\x1A\x01";
    spec.lower_case = true;
    make(40, spec);
    std::vector<SeriesBar> want = bars_;
    want[17] = {bars_[17].date, 0, 10.5f, 11.25f, 9.75f, 10.0f, 12345, 777};
    ASSERT_EQ(
        run(make_edit(kEditSet, bars_[17].date, bars_[17].date, {10.5f, 11.25f, 9.75f, 10.0f, 12345, 777})),
        0);
    expect_bars(want);
    EXPECT_EQ(read_bytes(bak()), old_dat_);
    EXPECT_FALSE(fs::exists(dir_ / "F1.BAK")) << "new files follow the portfolio's lower-case names";
    for (int i = 10; i <= 25; ++i) {
        for (float* v : {&want[i].open, &want[i].high, &want[i].low, &want[i].close})
            *v *= 2;
        want[i].vol *= 0.5f;
        want[i].oi *= 4;
    }
    ASSERT_EQ(run(make_edit(kEditScale, bars_[10].date, bars_[25].date, {2, 2, 2, 2, 0.5f, 4})), 0);
    expect_bars(want);
    // Kind 2 multiplies exactly as kind 3.
    ASSERT_EQ(
        run(make_edit(kEditMultiply, bars_[10].date, bars_[25].date, {0.5f, 0.5f, 0.5f, 0.5f, 2, 0.25f})), 0);
    want = bars_;
    want[17] = {bars_[17].date, 0, 10.5f, 11.25f, 9.75f, 10.0f, 12345, 777};
    expect_bars(want);
    EXPECT_EQ(read_bytes(master()), old_master_);
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
    const std::string long_date = mbf(static_cast<float>((1900 + y) * 10000 + m * 100 + d));
    bytes.replace(28 * 6, 4, long_date);
    write_bytes(dat(), bytes);
    ASSERT_EQ(run(make_edit(kEditScale, bars_[4].date, bars_[6].date, {1, 1, 1, 1, 3, 1})), 0);
    std::string expected = bytes;
    for (int bar : {4, 5, 6})
        expected.replace(28 * (bar + 1) + 20, 4, mbf(bars_[bar].vol * 3));
    EXPECT_EQ(read_bytes(dat()), expected);
}

TEST_F(Rewrite, AnEditThatChangesNoByteWritesNothingAndKeepsTheOlderBackup) {
    make(30);
    DayNumber saturday = next_weekday(bars_[4].date) - 1;
    while (is_weekday(saturday))
        --saturday;
    for (const SeriesEdit& edit :
         {make_edit(kEditSet, saturday, saturday, {1, 2, 3, 4, 5, 6}), // no bar that day
          make_edit(kEditScale, 0, bars_.back().date, {1, 1, 1, 1, 1, 1}),
          make_edit(kEditInsert, saturday, saturday),
          make_edit(kEditInsert, bars_[29].date + 5, bars_[29].date + 9)}) {
        write_bytes(bak(), "an older backup");
        bool changed = true;
        EXPECT_EQ(series_rewrite(edit, dir_.path(), "IBM", 30, master(), &changed), 0);
        EXPECT_FALSE(changed);
        expect_bars(bars_);
        EXPECT_EQ(read_bytes(bak()), "an older backup") << "kind " << edit.kind;
        EXPECT_EQ(read_bytes(master()), old_master_);
    }
}

TEST_F(Rewrite, RefusalsComeBeforeAnyFileIsTouched) {
    SeriesSpec spec;
    spec.fields = {"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL"};
    auto bars = random_series_bars(3, 20);
    bars[7].vol = 1e30f;
    make(spec, bars);
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const DayNumber a = bars_[0].date, b = bars_.back().date;
    const auto before = snapshot(dir_.path());
    const SeriesEdit refused[] = {make_edit(kEditSet, a, a, {1, nan, 1, 1, 1, 1}),
                                  make_edit(kEditSet, a, a, {1, 1, 1, 1, -inf, 1}),
                                  make_edit(kEditSet, a, a, {1, 1, 1, 1, 2e38f, 1}),
                                  make_edit(kEditScale, a, b, {1, 1, inf, 1, 1, 1}),
                                  make_edit(kEditMultiply, a, b, {1, 1, 1, 1, 1e10f, 1}), // 1e30 x 1e10
                                  make_edit(0, a, b),
                                  make_edit(6, a, b)};
    for (const SeriesEdit& edit : refused)
        EXPECT_EQ(run(edit), status::kInvalidParm) << edit.kind;
    EXPECT_EQ(run(make_edit(kEditDelete, b + 1, b + 1)), status::kDeleteNotFound);
    EXPECT_EQ(run(make_edit(kEditDelete, a - 1, a - 1)), status::kDeleteNotFound); // no bar that day
    EXPECT_EQ(series_rewrite(refused[0], dir_.path(), "MSFT", 5, master()), status::kFileNotFound);
    {
        FaultInjector faults;
        faults.fail_all(fileops::Op::Write, ENOSPC);
        EXPECT_EQ(run(make_edit(kEditSet, a, a, {1, 1, 1, 1, 1, 1})), status::kFileWrite);
    }
    EXPECT_EQ(snapshot(dir_.path()), before);
    // A field the security lacks is never stored, whatever the request holds for it.
    EXPECT_EQ(run(make_edit(kEditSet, a, a, {1, 2, 0.5f, 1.5f, 100, nan})), 0);
    fs::remove(bak());
    fs::remove(dat());
    EXPECT_EQ(run(make_edit(kEditSet, a, a, {1, 1, 1, 1, 1, 1})), status::kFileOpen);
    EXPECT_FALSE(fs::exists(bak()));
}

TEST_F(Rewrite, DeletingTheFirstOrLastBarMovesThatDateInMaster) {
    make(10);
    // The caller's count is stale: the file's own count decides.
    ASSERT_EQ(run(make_edit(kEditDelete, bars_[0].date, bars_[0].date), 1), 0);
    expect_bars({bars_.begin() + 1, bars_.end()});
    EXPECT_EQ(master_dates(), dates_of(1, 9));
    EXPECT_EQ(read_bytes(bak()), old_dat_);
    ASSERT_EQ(run(make_edit(kEditDelete, bars_[9].date, bars_[9].date), 50), 0);
    expect_bars({bars_.begin() + 1, bars_.begin() + 9});
    EXPECT_EQ(master_dates(), dates_of(1, 8));
    const std::string master_now = read_bytes(master());
    ASSERT_EQ(run(make_edit(kEditDelete, bars_[4].date, bars_[4].date)), 0); // a middle bar: MASTER stays
    std::vector<SeriesBar> want(bars_.begin() + 1, bars_.begin() + 9);
    want.erase(want.begin() + 3);
    expect_bars(want);
    EXPECT_EQ(read_bytes(master()), master_now);
    make(1);
    ASSERT_EQ(run(make_edit(kEditDelete, bars_[0].date, bars_[0].date)), 0); // the only bar: dates stay
    expect_bars({});
    EXPECT_EQ(master_dates(), dates_of(0, 0));
}

TEST_F(Rewrite, DeletingAnIntraDayBarTakesTheFirstOfItsDay) {
    SeriesSpec spec;
    spec.fields = intraday_fields();
    spec.periodicity = 'I';
    spec.write_dop = false;
    make(spec, random_series_bars(8, 40, true));
    std::size_t k = 1;
    while (k < bars_.size() && bars_[k].date == bars_[k - 1].date)
        ++k; // the first bar of the second day
    ASSERT_LT(k, bars_.size());
    ASSERT_EQ(run(make_edit(kEditDelete, bars_[k].date, bars_[k].date)), 0);
    std::vector<SeriesBar> want = bars_;
    want.erase(want.begin() + static_cast<long>(k));
    expect_bars(want);
}

TEST_F(Rewrite, DeletingInANestedPortfolioChangesOnlyItsOwnMaster) {
    SeriesSpec top; // the top level lists a security under file number 1 too
    top.symbol = "TOP";
    const auto top_bars = random_series_bars(2, 5);
    write_security(dir_.path(), top, top_bars);
    write_series_master(dir_.path(), {series_master_record(top, top_bars), master_directory_entry(2, "SUB")});
    const std::string top_master = read_bytes(dir_ / "MASTER");
    bars_ = random_series_bars(4, 6);
    fs::create_directory(dir_ / "SUB");
    write_series_portfolio(dir_ / "SUB", SeriesSpec{}, bars_);
    ASSERT_EQ(series_rewrite(make_edit(kEditDelete, bars_[0].date, bars_[0].date), dir_.path(), "IBM", 6,
                             dir_ / "MASTER"),
              0);
    EXPECT_EQ(read_bytes(dir_ / "MASTER"), top_master);
    EXPECT_EQ(master_dates(), dates_of(1, 5));
    EXPECT_EQ(read_bytes(dir_ / "SUB" / "F1.DAT"), dat_bytes(SeriesSpec{}, {bars_.begin() + 1, bars_.end()}));
}

TEST_F(Rewrite, InsertingCopiesEachBarInTheRangeToTheWeekdayBeforeAndStatesTheTrueCount) {
    SeriesSpec spec;
    spec.last_record = 300; // the header promises far more bars than the file holds
    make(12, spec);
    ASSERT_EQ(run(make_edit(kEditInsert, bars_[2].date, bars_[4].date)), 0);
    std::vector<SeriesBar> want = bars_;
    for (int i = 4; i >= 2; --i) {
        SeriesBar copy = bars_[i];
        copy.date = previous_weekday(bars_[i].date);
        want.insert(want.begin() + i, copy);
    }
    spec_.last_record.reset(); // R is now 16: fifteen bars and the header
    expect_bars(want);
    EXPECT_EQ(read_bytes(master()), old_master_);
}

} // namespace
