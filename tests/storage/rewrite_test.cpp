#include "storage/fileops.h"
#include "storage/quotes.h"
#include "storage/rewrite.h"
#include "support/fault_injection.h"
#include "support/series_builder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <limits>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

SeriesEdit make_edit(std::int16_t kind, DayNumber first, DayNumber last, std::array<float, 6> values = {}) {
    SeriesEdit e;
    e.kind = kind;
    e.first_date = first;
    e.last_date = last;
    for (int i = 0; i < 6; ++i)
        e.values[i] = values[i];
    return e;
}

std::string mbf(float v) {
    std::uint8_t b[4];
    ieee_to_mbf(v, b);
    return std::string(reinterpret_cast<char*>(b), 4);
}

class RewriteTest : public ::testing::Test {
protected:
    void make(SeriesSpec spec, std::vector<SeriesBar> bars) {
        spec_ = std::move(spec);
        bars_ = std::move(bars);
        // Files a real portfolio keeps beside MASTER, which no rewrite touches.
        write_bytes(dir_ / "EMASTER", std::string(192, '\x11'));
        write_bytes(dir_ / "XMASTER", std::string(150, '\x22'));
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
    bool new_file_left() const { return fs::exists(dir_ / "F1.NEW") || fs::exists(dir_ / "f1.new"); }

    int run(const SeriesEdit& edit, std::int32_t bar_count = -1) {
        return series_rewrite(edit, dir_.path(), "IBM",
                              bar_count < 0 ? static_cast<std::int32_t>(bars_.size()) : bar_count, master());
    }
    std::string expected(const std::vector<SeriesBar>& bars) const { return dat_bytes(spec_, bars); }

    MasterRecord master_record() const {
        MasterRecord r;
        fs::path found;
        EXPECT_EQ(master_find(dir_.path(), "IBM", r, found), 0);
        return r;
    }

    TempDir dir_;
    SeriesSpec spec_;
    std::vector<SeriesBar> bars_;
    std::string old_dat_, old_master_;
};

// ---- Kinds 1 to 3 ---------------------------------------------------------------------------------

TEST_F(RewriteTest, AnEditThatChangesNoByteWritesNothingAndKeepsTheOlderBackup) {
    make(30);
    DayNumber saturday = next_weekday(bars_[4].date) - 1;
    while (is_weekday(saturday))
        --saturday;
    const SeriesEdit no_change[] = {
        make_edit(kEditSet, saturday, saturday, {1, 2, 3, 4, 5, 6}),     // a day without a bar
        make_edit(kEditScale, 0, bars_.back().date, {1, 1, 1, 1, 1, 1}), // a split of 1 for 1
        make_edit(kEditInsert, saturday, saturday),                      // no bar to copy
    };
    for (const SeriesEdit& edit : no_change) {
        write_bytes(bak(), "an older backup");
        bool changed = true;
        EXPECT_EQ(series_rewrite(edit, dir_.path(), "IBM", 30, master(), &changed), 0);
        EXPECT_FALSE(changed);
        EXPECT_EQ(read_bytes(dat()), old_dat_);
        EXPECT_EQ(read_bytes(bak()), "an older backup") << "kind " << edit.kind;
        EXPECT_EQ(read_bytes(master()), old_master_);
        EXPECT_FALSE(new_file_left());
    }
}

TEST_F(RewriteTest, SetChangesOneBarOfAnyLayoutAndNothingElse) {
    SeriesSpec spec;
    spec.fields = {"DATE", "CLOSE", "VOL", "HIGH", "OPEN", "LOW", "OI", "SPARE"}; // shuffled, one unnamed
    spec.dop_extra = {{2, "\"REMARK\",0,0"}};
    spec.dop_end_mark = true;
    spec.header_fill = 0xA5;
    spec.trailing = "\x1A\x01";
    spec.lower_case = true;
    make(40, spec);
    std::vector<SeriesBar> want = bars_;
    want[17].open = 10.5f;
    want[17].high = 11.25f;
    want[17].low = 9.75f;
    want[17].close = 10.0f;
    want[17].vol = 12345;
    want[17].oi = 777;
    ASSERT_EQ(
        run(make_edit(kEditSet, bars_[17].date, bars_[17].date, {10.5f, 11.25f, 9.75f, 10.0f, 12345, 777})),
        0);
    EXPECT_EQ(read_bytes(dat()), expected(want));
    EXPECT_EQ(read_bytes(bak()), old_dat_);
    EXPECT_FALSE(fs::exists(dir_ / "F1.BAK")) << "new files follow the portfolio's lower-case names";
    EXPECT_EQ(read_bytes(dir_ / "EMASTER"), std::string(192, '\x11'));
    EXPECT_FALSE(new_file_left());
}

TEST_F(RewriteTest, ScaleOverARangeOnlyTouchesThatRange) {
    SeriesSpec spec;
    spec.fields = {"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL"}; // no OI
    make(60, spec);
    std::vector<SeriesBar> want = bars_;
    for (int i = 10; i <= 25; ++i) {
        want[i].open *= 2;
        want[i].high *= 2;
        want[i].low *= 2;
        want[i].close *= 2;
        want[i].vol *= 0.5f;
    }
    const std::array<float, 6> split = {2, 2, 2, 2, 0.5f, 0.5f};
    ASSERT_EQ(run(make_edit(kEditScale, bars_[10].date, bars_[25].date, split)), 0);
    EXPECT_EQ(read_bytes(dat()), expected(want));
    EXPECT_EQ(read_bytes(dat()).size(), 24u * 61);
    // Kind 2 multiplies exactly as kind 3.
    ASSERT_EQ(run(make_edit(kEditMultiply, bars_[10].date, bars_[25].date, {0.5f, 0.5f, 0.5f, 0.5f, 2, 2})),
              0);
    EXPECT_EQ(read_bytes(dat()), old_dat_);
}

TEST_F(RewriteTest, BytesTheEditDoesNotChangeSurviveAsRead) {
    make(8);
    // Bar 2 (outside the range) holds values that have no exact IEEE counterpart: an MBF exponent of 1
    // and a "zero" whose other bytes are not 0. Bar 5 (inside) stores its date as CCYYMMDD.
    std::string bytes = old_dat_;
    const std::string odd_open("\x12\x34\x56\x01", 4), odd_zero("\x99\x88\x77\x00", 4);
    bytes.replace(28 * 3 + 4, 4, odd_open);
    bytes.replace(28 * 3 + 20, 4, odd_zero);
    int y, m, d;
    date_unpack(bars_[5].date, y, m, d);
    const std::string long_date = mbf(static_cast<float>((1900 + y) * 10000 + m * 100 + d));
    bytes.replace(28 * 6, 4, long_date);
    write_bytes(dat(), bytes);
    ASSERT_EQ(run(make_edit(kEditScale, bars_[4].date, bars_[6].date, {1, 1, 1, 1, 3, 1})), 0);
    std::string now = read_bytes(dat());
    EXPECT_EQ(now.substr(0, 28 * 4), bytes.substr(0, 28 * 4));
    EXPECT_EQ(now.substr(28 * 6, 4), long_date);
    EXPECT_EQ(now.substr(28 * 6 + 20, 4), mbf(bars_[5].vol * 3));
    EXPECT_EQ(now.substr(28 * 6 + 4, 16), bytes.substr(28 * 6 + 4, 16)); // multiplied by 1
    EXPECT_EQ(now.substr(28 * 8), bytes.substr(28 * 8));
}

TEST_F(RewriteTest, ValuesMbfCannotHoldAreRefusedBeforeAnyFileIsTouched) {
    SeriesSpec spec;
    spec.fields = {"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL"};
    make(spec, random_series_bars(3, 20));
    bars_[7].vol = 1e30f;
    write_series_portfolio(dir_.path(), spec_, bars_);
    old_dat_ = read_bytes(dat());
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const DayNumber a = bars_[0].date, b = bars_.back().date;
    auto before = snapshot(dir_.path());
    EXPECT_EQ(run(make_edit(kEditSet, a, a, {1, nan, 1, 1, 1, 1})), status::kInvalidParm);
    EXPECT_EQ(run(make_edit(kEditSet, a, a, {1, 1, 1, 1, -inf, 1})), status::kInvalidParm);
    EXPECT_EQ(run(make_edit(kEditSet, a, a, {1, 1, 1, 1, 2e38f, 1})), status::kInvalidParm);
    EXPECT_EQ(run(make_edit(kEditScale, a, b, {1, 1, inf, 1, 1, 1})), status::kInvalidParm);
    EXPECT_EQ(run(make_edit(kEditMultiply, a, b, {1, 1, 1, 1, 1e10f, 1})),
              status::kInvalidParm); // 1e30 x 1e10
    EXPECT_EQ(run(make_edit(0, a, b)), status::kInvalidParm);
    EXPECT_EQ(run(make_edit(6, a, b)), status::kInvalidParm);
    EXPECT_EQ(snapshot(dir_.path()), before);
    // A field the security does not have is never stored, whatever the request holds for it.
    EXPECT_EQ(run(make_edit(kEditSet, a, a, {1, 2, 0.5f, 1.5f, 100, nan})), 0);
}

TEST_F(RewriteTest, DamagedShapesAndMissingFilesAreRefused) {
    SeriesSpec spec;
    spec.last_record = 0;
    make(5, spec);
    auto before = snapshot(dir_.path());
    const SeriesEdit edit = make_edit(kEditSet, bars_[1].date, bars_[1].date, {1, 1, 1, 1, 1, 1});
    EXPECT_EQ(run(edit), status::kBadRecordShape);
    spec.last_record.reset();
    spec.record_length = 84;
    spec.field_count = 21;
    write_series_portfolio(dir_.path(), spec, bars_);
    before = snapshot(dir_.path());
    EXPECT_EQ(run(edit), status::kBadRecordShape);
    EXPECT_EQ(snapshot(dir_.path()), before);
    EXPECT_EQ(series_rewrite(edit, dir_.path(), "MSFT", 5, master()), status::kFileNotFound);
    spec.record_length.reset();
    spec.field_count.reset();
    write_series_portfolio(dir_.path(), spec, bars_);
    fs::remove(dir_ / "F1.DAT");
    EXPECT_EQ(run(edit), status::kFileOpen);
    EXPECT_FALSE(fs::exists(dir_ / "F1.BAK"));
}

// ---- Kind 4: delete -------------------------------------------------------------------------------

TEST_F(RewriteTest, DeletingTheFirstBarMovesTheFirstDate) {
    make(10);
    // The caller's count is stale; the file's own count decides.
    ASSERT_EQ(run(make_edit(kEditDelete, bars_[0].date, bars_[0].date), 1), 0);
    std::vector<SeriesBar> want(bars_.begin() + 1, bars_.end());
    EXPECT_EQ(read_bytes(dat()), expected(want));
    MasterRecord r = master_record();
    EXPECT_EQ(r.first_date_ieee(), date_to_yymmdd(bars_[1].date));
    EXPECT_EQ(r.last_date_ieee(), date_to_yymmdd(bars_[9].date));
    EXPECT_EQ(read_bytes(bak()), old_dat_);
}

TEST_F(RewriteTest, DeletingTheLastBarMovesTheLastDateAMiddleBarNeither) {
    make(10);
    ASSERT_EQ(run(make_edit(kEditDelete, bars_[9].date, bars_[9].date), 50), 0);
    EXPECT_EQ(read_bytes(dat()), expected({bars_.begin(), bars_.begin() + 9}));
    MasterRecord r = master_record();
    EXPECT_EQ(r.last_date_ieee(), date_to_yymmdd(bars_[8].date));
    EXPECT_EQ(r.first_date_ieee(), date_to_yymmdd(bars_[0].date));

    const std::string master_now = read_bytes(master());
    ASSERT_EQ(run(make_edit(kEditDelete, bars_[4].date, bars_[4].date)), 0);
    std::vector<SeriesBar> want(bars_.begin(), bars_.begin() + 9);
    want.erase(want.begin() + 4);
    EXPECT_EQ(read_bytes(dat()), expected(want));
    EXPECT_EQ(read_bytes(master()), master_now);
}

TEST_F(RewriteTest, DeletingTheOnlyBar) {
    make(1);
    ASSERT_EQ(run(make_edit(kEditDelete, bars_[0].date, bars_[0].date)), 0);
    EXPECT_EQ(read_bytes(dat()), expected({}));
    MasterRecord r = master_record();
    EXPECT_EQ(r.first_date_ieee(), date_to_yymmdd(bars_[0].date));
    EXPECT_EQ(r.last_date_ieee(), date_to_yymmdd(bars_[0].date));
}

TEST_F(RewriteTest, DeletingADateWithoutABarChangesNothing) {
    make(10);
    write_bytes(bak(), "older");
    auto before = snapshot(dir_.path());
    DayNumber between = bars_[3].date + 1 == bars_[4].date ? 0 : bars_[3].date + 1;
    if (between == 0)
        between = bars_[0].date - 1;
    EXPECT_EQ(run(make_edit(kEditDelete, between, between)), status::kDeleteNotFound);
    EXPECT_EQ(run(make_edit(kEditDelete, bars_[9].date + 1, bars_[9].date + 1)), status::kDeleteNotFound);
    EXPECT_EQ(snapshot(dir_.path()), before);
}

TEST_F(RewriteTest, DeletingAnIntraDayBarTakesTheFirstOfItsDay) {
    SeriesSpec spec;
    spec.fields = intraday_fields();
    spec.periodicity = 'I';
    spec.write_dop = false;
    make(spec, random_series_bars(8, 40, true));
    std::size_t k = 1;
    while (k < bars_.size() && bars_[k].date == bars_[k - 1].date)
        ++k; // k: the first bar of the second day
    ASSERT_LT(k, bars_.size());
    ASSERT_EQ(run(make_edit(kEditDelete, bars_[k].date, bars_[k].date)), 0);
    std::vector<SeriesBar> want = bars_;
    want.erase(want.begin() + static_cast<long>(k));
    EXPECT_EQ(read_bytes(dat()), expected(want));
}

TEST_F(RewriteTest, DeletingInANestedPortfolioKeepsItsOwnMasterRight) {
    // The top level lists IBM under file number 1 too; only the nested portfolio's record may change.
    SeriesSpec top;
    top.symbol = "TOP";
    top.name = "TOP LEVEL";
    auto top_bars = random_series_bars(2, 5);
    write_security(dir_.path(), top, top_bars);
    MasterRecord sub_entry;
    sub_entry.bytes[0] = 2;
    const std::string entry_name = "SUB        <DIR>";
    std::copy(entry_name.begin(), entry_name.end(), sub_entry.bytes.begin() + 7);
    write_series_master(dir_.path(), {series_master_record(top, top_bars), sub_entry});
    const std::string top_master = read_bytes(dir_ / "MASTER");
    fs::create_directory(dir_ / "SUB");
    bars_ = random_series_bars(4, 6);
    write_series_portfolio(dir_ / "SUB", SeriesSpec{}, bars_);

    ASSERT_EQ(series_rewrite(make_edit(kEditDelete, bars_[0].date, bars_[0].date), dir_.path(), "IBM", 6,
                             dir_ / "MASTER"),
              0);
    EXPECT_EQ(read_bytes(dir_ / "MASTER"), top_master);
    MasterRecord r;
    fs::path found;
    ASSERT_EQ(master_find(dir_ / "SUB", "IBM", r, found), 0);
    EXPECT_EQ(r.first_date_ieee(), date_to_yymmdd(bars_[1].date));
    EXPECT_EQ(read_bytes(dir_ / "SUB" / "F1.DAT"), dat_bytes(SeriesSpec{}, {bars_.begin() + 1, bars_.end()}));
}

// ---- Kind 5: insert -------------------------------------------------------------------------------

TEST_F(RewriteTest, InsertingInFrontOfAMondayAddsTheFriday) {
    std::vector<SeriesBar> bars;
    for (int day : {3, 4, 8, 9}) {
        SeriesBar b;
        b.date = date_pack(96, 1, day);
        b.open = b.high = b.low = b.close = static_cast<float>(day);
        b.vol = 1000.0f * day;
        bars.push_back(b);
    }
    make(SeriesSpec{}, bars);
    const DayNumber monday = date_pack(96, 1, 8);
    ASSERT_EQ(run(make_edit(kEditInsert, monday, monday)), 0);
    std::vector<SeriesBar> want = bars;
    SeriesBar friday = bars[2];
    friday.date = date_pack(96, 1, 5);
    want.insert(want.begin() + 2, friday);
    EXPECT_EQ(read_bytes(dat()), expected(want)); // R grew by one
    EXPECT_EQ(read_bytes(master()), old_master_);
}

TEST_F(RewriteTest, InsertingStatesTheTrueNumberOfBars) {
    make(12);
    // No bar in the range: the file stays as it was.
    ASSERT_EQ(run(make_edit(kEditInsert, bars_[11].date + 5, bars_[11].date + 9)), 0);
    EXPECT_EQ(read_bytes(dat()), old_dat_);
    // Three bars in the range: three copies, R up by three.
    ASSERT_EQ(run(make_edit(kEditInsert, bars_[2].date, bars_[4].date)), 0);
    std::vector<SeriesBar> want = bars_;
    for (int i = 4; i >= 2; --i) {
        SeriesBar copy = bars_[i];
        copy.date = previous_weekday(bars_[i].date);
        want.insert(want.begin() + i, copy);
    }
    EXPECT_EQ(read_bytes(dat()), expected(want));
}

TEST_F(RewriteTest, AHeaderThatPromisesTooManyBarsIsSetRightByAnInsert) {
    SeriesSpec spec;
    spec.last_record = 300;
    make(6, spec);
    ASSERT_EQ(run(make_edit(kEditInsert, bars_[5].date, bars_[5].date)), 0);
    std::string now = read_bytes(dat());
    EXPECT_EQ(now[2] | (now[3] << 8), 8); // six bars and the copy
}

// ---- Failures during the rewrite ------------------------------------------------------------------

struct FaultCase {
    const char* label;
    std::int16_t kind;
    int bar; // the bar the edit aims at
};

class RewriteFaults : public RewriteTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(RewriteFaults, EveryFailingStepLeavesTheOldOrTheNewFile) {
    const FaultCase c = GetParam();
    make(120);
    const SeriesEdit edit = make_edit(c.kind, bars_[c.bar].date, bars_[c.bar].date, {2, 2, 2, 2, 3, 3});
    // A clean run tells the new content and how many file-system calls the rewrite makes.
    std::size_t calls;
    {
        FaultInjector counter;
        ASSERT_EQ(run(edit), 0);
        calls = counter.calls();
    }
    const std::string new_dat = read_bytes(dat());
    const std::string new_master = read_bytes(master());
    ASSERT_NE(new_dat, old_dat_);
    ASSERT_GT(calls, 10u);

    for (int error : {EIO, ENOSPC}) {
        for (std::size_t n = 1; n <= calls; ++n) {
            SCOPED_TRACE(std::string(c.label) + " call " + std::to_string(n) + " errno " +
                         std::to_string(error));
            write_series_portfolio(dir_.path(), spec_, bars_);
            fs::remove(bak());
            fs::remove(dir_ / "MASTER.BAK");
            int result;
            {
                FaultInjector faults;
                faults.fail_call(n, error);
                result = run(edit);
            }
            const std::string dat_now = read_bytes(dat());
            ASSERT_FALSE(new_file_left());
            if (result == 0) {
                ASSERT_EQ(dat_now, new_dat);
                ASSERT_EQ(read_bytes(master()), new_master);
            } else {
                ASSERT_EQ(dat_now, old_dat_) << "status " << result;
                ASSERT_EQ(read_bytes(master()), old_master_);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, RewriteFaults,
                         ::testing::Values(FaultCase{"set", kEditSet, 40}, FaultCase{"scale", kEditScale, 3},
                                           FaultCase{"delete first", kEditDelete, 0},
                                           FaultCase{"delete last", kEditDelete, 119},
                                           FaultCase{"insert", kEditInsert, 60}),
                         [](const auto& info) {
                             std::string name = info.param.label;
                             for (char& ch : name)
                                 ch = ch == ' ' ? '_' : ch;
                             return name;
                         });

TEST_F(RewriteTest, FailuresAreReportedWithTheirStatus) {
    make(20);
    const SeriesEdit edit = make_edit(kEditSet, bars_[3].date, bars_[3].date, {1, 1, 1, 1, 1, 1});
    {
        FaultInjector faults;
        faults.fail_all(fileops::Op::Write, ENOSPC);
        EXPECT_EQ(run(edit), status::kFileWrite); // the backup cannot be written
    }
    {
        FaultInjector faults;
        faults.fail_all(fileops::Op::Rename, EIO);
        EXPECT_EQ(run(edit), status::kFileWrite);
    }
    {
        FaultInjector faults;
        faults.fail_all(fileops::Op::Sync, EIO);
        EXPECT_EQ(run(edit), status::kFileWrite);
    }
    EXPECT_EQ(read_bytes(dat()), old_dat_);
    EXPECT_FALSE(new_file_left());
}

} // namespace
