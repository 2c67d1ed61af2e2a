#include "storage/fileops.h"
#include "storage/quotes.h"
#include "support/fault_injection.h"
#include "support/series_builder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <random>

using namespace testing_support;

namespace {

FieldLayout layout_for(const std::filesystem::path& dop, int length, char periodicity = 'D') {
    FieldLayout layout;
    EXPECT_EQ(dop_read_layout(dop, layout, length, periodicity), 0);
    return layout;
}

std::vector<int> positions(const FieldLayout& l) {
    return {l.position, l.position + kFieldNames};
}

std::string mbf(float v) {
    std::uint8_t b[4];
    ieee_to_mbf(v, b);
    return std::string(reinterpret_cast<char*>(b), 4);
}

// Every element of the window equals the generated bar `first + i`.
void expect_window(const QuoteSeries& s, const std::vector<SeriesBar>& bars, int first,
                   const FieldLayout& layout) {
    for (int i = 0; i < s.count; ++i) {
        const SeriesBar& bar = bars[first + i];
        ASSERT_EQ(s.date(i), bar.date) << "bar " << first + i;
        ASSERT_EQ(s.time(i), layout.position[kFieldTime] ? bar.time : 0) << "bar " << first + i;
        for (int field = kFieldOpen; field < kFieldNames; ++field)
            ASSERT_EQ(s.value(field, i), expected_bar_value(bar, field, layout.position[field] != 0))
                << field_name(field) << " of bar " << first + i;
    }
}

} // namespace

// ---- Field layouts --------------------------------------------------------------------------------

TEST(FieldLayoutInference, RecordLengthsWithoutDop) {
    TempDir dir;
    auto dop = dir / "F1.DOP";
    EXPECT_EQ(positions(layout_for(dop, 8)), (std::vector<int>{1, 0, 0, 0, 0, 2, 0, 0}));
    EXPECT_EQ(positions(layout_for(dop, 12)), (std::vector<int>{1, 0, 0, 0, 0, 2, 3, 0}));
    EXPECT_EQ(positions(layout_for(dop, 16)), (std::vector<int>{1, 0, 0, 2, 3, 4, 0, 0}));
    EXPECT_EQ(positions(layout_for(dop, 24)), (std::vector<int>{1, 0, 2, 3, 4, 5, 6, 0}));
    FieldLayout daily = layout_for(dop, 28);
    EXPECT_EQ(positions(daily), (std::vector<int>{1, 0, 2, 3, 4, 5, 6, 7}));
    for (int field = 0; field < kFieldNames; ++field)
        EXPECT_EQ(daily.input_code[field] | daily.display_code[field], 0);
    EXPECT_EQ(positions(layout_for(dop, 28, 'I')), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 0}));
    EXPECT_EQ(positions(layout_for(dop, 32, 'I')), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
    FieldLayout none;
    EXPECT_EQ(dop_read_layout(dop, none, 36), status::kLayoutUnknown);
    EXPECT_EQ(dop_read_layout(dop, none, 20), status::kLayoutUnknown); // no F1.DAT to look at
}

TEST(FieldLayoutInference, TwentyByteRecordsAreToldApartByTheFirstBar) {
    TempDir dir;
    auto write_dat = [&](float second, float fifth, bool with_bar) {
        std::string header = std::string(2, ' ') + std::string("\x02\x00", 2) + std::string(16, ' ');
        std::string bar = mbf(960105) + mbf(second) + mbf(20) + mbf(21) + mbf(fifth);
        write_bytes(dir / "f1.dat", with_bar ? header + bar : bar); // without bars the header decides
    };
    write_dat(25.5f, 1500000, true);
    EXPECT_EQ(positions(layout_for(dir / "F1.DOP", 20)), (std::vector<int>{1, 0, 0, 2, 3, 4, 5, 0}));
    write_dat(25.5f, 26, true);
    EXPECT_EQ(positions(layout_for(dir / "F1.DOP", 20)), (std::vector<int>{1, 0, 2, 3, 4, 5, 0, 0}));
    write_dat(25.5f, 0, true);
    EXPECT_EQ(positions(layout_for(dir / "F1.DOP", 20)), (std::vector<int>{1, 0, 0, 2, 3, 4, 5, 0}));
    write_dat(25.5f, 26, false);
    EXPECT_EQ(positions(layout_for(dir / "F1.DOP", 20)), (std::vector<int>{1, 0, 2, 3, 4, 5, 0, 0}));
}

TEST(FieldLayoutFile, NamesByPrefixUnknownLinesTakeNoPosition) {
    TempDir dir;
    write_bytes(dir / "F1.DOP", "Field description\r\n"
                                "\"date\",0,0\r\n"
                                "\"Spare\",3,3\r\n"
                                "\"CLOSE\",-3,2\r\n"
                                "\"VOLUME\",100,1000\r\n"
                                "; a comment\r\n"
                                "\"OPEN\", 4 ,5\r\n\x1A");
    FieldLayout l = layout_for(dir / "F1.DOP", 16);
    EXPECT_EQ(positions(l), (std::vector<int>{1, 0, 4, 0, 0, 2, 3, 0}));
    EXPECT_EQ(l.input_code[kFieldClose], -3);
    EXPECT_EQ(l.display_code[kFieldClose], 2);
    EXPECT_EQ(l.input_code[kFieldVol], 100);
    EXPECT_EQ(l.display_code[kFieldVol], 1000);
    EXPECT_EQ(l.input_code[kFieldOpen], 4);
    EXPECT_EQ(l.display_code[kFieldOpen], 5);
}

TEST(FieldLayoutFile, FiveFieldsAndAnEndMarkWithoutLineEnd) {
    TempDir dir;
    write_bytes(dir / "F1.DOP", "\"DATE\",0,0\n\"OPEN\",2,2\n\"HIGH\",2,2\n\"LOW\",2,2\n\"CLOSE\",2,2\x1A");
    EXPECT_EQ(positions(layout_for(dir / "F1.DOP", 20)), (std::vector<int>{1, 0, 2, 3, 4, 5, 0, 0}));
    write_bytes(dir / "F1.DOP", "\"DATE\",0,0\n\"" + std::string(5000, 'X') + "\",1,1\n\"CLOSE\",2");
    FieldLayout l = layout_for(dir / "F1.DOP", 8);
    EXPECT_EQ(positions(l), (std::vector<int>{1, 0, 0, 0, 0, 2, 0, 0}));
    EXPECT_EQ(l.display_code[kFieldClose], 0);
}

TEST(FieldLayoutFile, AnUnreadableDopIsNotGuessedAt) {
    TempDir dir;
    write_bytes(dir / "F1.DOP", "\"DATE\",0,0\r\n\"CLOSE\",2,2\r\n");
    FieldLayout l;
    {
        FaultInjector faults;
        faults.fail_all(fileops::Op::Open, EIO);
        EXPECT_EQ(dop_read_layout(dir / "F1.DOP", l, 28), status::kFileOpen);
    }
    {
        FaultInjector faults;
        faults.fail_all(fileops::Op::Read, EIO);
        EXPECT_EQ(dop_read_layout(dir / "F1.DOP", l, 28), status::kFileRead);
    }
    std::int16_t p[8], in[8], disp[8];
    EXPECT_EQ(dop_read(dir / "F1.DOP", p, in, disp, 8), 0);
    EXPECT_EQ(p[kFieldClose], 2);
    EXPECT_EQ(disp[kFieldClose], 2);
}

// ---- QuoteSeries storage --------------------------------------------------------------------------

TEST(QuoteSeriesStorage, InterleavedUpTo2321SevenArraysAbove) {
    QuoteSeries small, large;
    ASSERT_EQ(series_alloc(small, 2321), 0);
    ASSERT_EQ(series_alloc(large, 2322), 0);
    EXPECT_TRUE(small.block && !large.block && large.arrays[6]);
    EXPECT_EQ(small.columns[0].stride, 14);
    EXPECT_EQ(small.columns[1].offset, 1);
    EXPECT_EQ(small.columns[2].stride, 7);
    EXPECT_EQ(small.columns[7].offset, 6);
    EXPECT_EQ(large.columns[1].stride, 2);
    EXPECT_EQ(large.columns[1].offset, 1);
    EXPECT_EQ(large.columns[5].stride, 1);
    EXPECT_EQ(small.count, 2321);
    EXPECT_EQ(series_set_count(small, 2322), status::kMalloc);
    EXPECT_EQ(small.count, 2321);
    ASSERT_EQ(series_set_count(small, 10), 0);
    EXPECT_EQ(small.columns[4].count, 10);
    // The raw column description reaches the same element as the accessors.
    small.set_value(kFieldClose, 3, 12.5f);
    float raw;
    std::memcpy(&raw,
                static_cast<float*>(small.columns[5].data) + small.columns[5].stride * 3 +
                    small.columns[5].offset,
                4);
    EXPECT_EQ(raw, 12.5f);
    series_free(small);
    EXPECT_EQ(small.capacity, 0);
    EXPECT_EQ(small.columns[0].data, nullptr);
    EXPECT_FALSE(small.block);
}

// ---- Reading windows ------------------------------------------------------------------------------

struct LayoutCase {
    const char* label;
    SeriesSpec spec;
};

class WindowReads : public ::testing::TestWithParam<int> {};

std::vector<LayoutCase> layout_cases() {
    std::vector<LayoutCase> cases;
    SeriesSpec s;
    cases.push_back({"daily 28 with DOP", s});
    s.write_dop = false;
    cases.push_back({"daily 28 without DOP", s});
    s = SeriesSpec{};
    s.fields = {"DATE", "CLOSE"};
    s.write_dop = false;
    cases.push_back({"8 bytes inferred", s});
    s.fields = {"DATE", "CLOSE", "VOL"};
    cases.push_back({"12 bytes inferred", s});
    s.fields = {"DATE", "HIGH", "LOW", "CLOSE"};
    s.lower_case = true;
    cases.push_back({"16 bytes inferred, lower-case names", s});
    s = SeriesSpec{};
    s.fields = {"DATE", "HIGH", "LOW", "CLOSE", "VOL"};
    s.write_dop = false;
    cases.push_back({"20 bytes inferred with volume", s});
    s.fields = {"DATE", "OPEN", "HIGH", "LOW", "CLOSE"};
    cases.push_back({"20 bytes inferred with open", s});
    s.fields = {"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL"};
    s.header_fill = 0xB7;
    cases.push_back({"24 bytes inferred, stray header bytes", s});
    s = SeriesSpec{};
    s.periodicity = 'I';
    s.fields = intraday_fields();
    s.write_dop = false;
    s.lower_case = true;
    cases.push_back({"intra-day 28 without DOP", s});
    s.fields = {"DATE", "TIME", "OPEN", "HIGH", "LOW", "CLOSE", "VOL", "OI"};
    cases.push_back({"intra-day 32 without DOP", s});
    s = SeriesSpec{};
    s.fields = {"DATE", "CLOSE", "VOL", "HIGH", "OPEN", "OI", "LOW"};
    s.dop_extra = {{0, "Layout of F1.DAT"}, {3, "\"REMARK\",0,0"}};
    s.dop_end_mark = true;
    cases.push_back({"shuffled DOP with an unknown line", s});
    s.fields = {"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "SPARE", "SPARE2"};
    s.dop_crlf = false;
    cases.push_back({"fields no name covers", s});
    s.fields = {"DATE", "TIME", "OPEN", "HIGH", "LOW", "CLOSE", "VOL", "OI",  "X1", "X2",
                "X3",   "X4",   "X5",   "X6",   "X7",  "X8",    "X9",  "X10", "X11"};
    cases.push_back({"76-byte records", s});
    return cases;
}

TEST_P(WindowReads, EveryWindowEqualsTheGeneratedBars) {
    const LayoutCase c = layout_cases()[GetParam()];
    SCOPED_TRACE(c.label);
    TempDir dir;
    const bool with_time = c.spec.fields.size() > 1 && c.spec.fields[1] == "TIME";
    auto bars = random_series_bars(GetParam() + 1, 1003, with_time);
    // The 20-byte inference looks at the first bar: make it say what the case means.
    if (c.spec.fields.size() == 5 && !c.spec.write_dop)
        bars[0].vol = c.spec.fields[1] == "HIGH" ? 3.0f * bars[0].high : bars[0].vol;
    if (c.spec.fields.size() == 5 && c.spec.fields[1] == "OPEN")
        bars[0].close = bars[0].open;
    write_series_portfolio(dir.path(), c.spec, bars);

    QuoteSeries s;
    ASSERT_EQ(series_alloc(s, 400), 0);
    ASSERT_EQ(series_read(s, dir.path(), "IBM", 0, 0), 0);
    EXPECT_EQ(s.total, 1003);
    FieldLayout layout;
    for (int f = 0; f < kFieldNames; ++f)
        std::memcpy(&layout.position[f], s.header.get() + 53 + 2 * f, 2);
    EXPECT_EQ(layout.position[kFieldDate], 1);
    for (int start = 0; start < 1003; start += 400) {
        ASSERT_EQ(series_read(s, dir.path(), "IBM", start, 400), 0);
        EXPECT_EQ(s.count, std::min(400, 1003 - start));
        expect_window(s, bars, start, layout);
    }
    // From the newest end, as the quote list reads.
    ASSERT_EQ(series_read(s, dir.path(), "IBM", -1, 400), 0);
    EXPECT_EQ(s.count, 400);
    expect_window(s, bars, 603, layout);
}

INSTANTIATE_TEST_SUITE_P(Layouts, WindowReads, ::testing::Range(0, static_cast<int>(layout_cases().size())));

class SeriesReadTest : public ::testing::Test {
protected:
    void make(int bars, SeriesSpec spec = SeriesSpec{}) {
        bars_ = random_series_bars(42, bars);
        spec_ = spec;
        write_series_portfolio(dir_.path(), spec_, bars_);
    }
    FieldLayout daily_layout() { return layout_for(dir_ / "F1.DOP", 28); }
    TempDir dir_;
    SeriesSpec spec_;
    std::vector<SeriesBar> bars_;
};

TEST_F(SeriesReadTest, SpecialStartsAndCounts) {
    make(10);
    QuoteSeries s;
    ASSERT_EQ(series_alloc(s, 400), 0);
    ASSERT_EQ(series_read(s, dir_.path(), "ibm", -1, 1), 0);
    ASSERT_EQ(s.count, 1);
    expect_window(s, bars_, 9, daily_layout());
    ASSERT_EQ(series_read(s, dir_.path(), "IBM", 0, 1), 0);
    expect_window(s, bars_, 0, daily_layout());
    // Count 0: total, key and header block only, the bars stay.
    ASSERT_EQ(series_read(s, dir_.path(), "INTL BUS MACH", 5, 0), 0);
    EXPECT_EQ(s.count, 1);
    EXPECT_EQ(s.key, "INTL BUS MACH");
    EXPECT_EQ(s.header_capacity, kSeriesHeaderSize);
    EXPECT_EQ(s.header[0], 1);  // file number
    EXPECT_EQ(s.header[3], 28); // record length
    EXPECT_EQ(s.header[53 + 2 * kFieldClose], 5);
    EXPECT_EQ(s.header[69 + 2 * kFieldClose], 4); // display code
    EXPECT_EQ(s.header[85 + 2 * kFieldClose], 2); // input code
    // A window past the end stops at the last bar.
    ASSERT_EQ(series_read(s, dir_.path(), "IBM", 7, 400), 0);
    EXPECT_EQ(s.count, 3);
    expect_window(s, bars_, 7, daily_layout());
    // A negative count takes the rest.
    ASSERT_EQ(series_read(s, dir_.path(), "IBM", 4, -1), 0);
    EXPECT_EQ(s.count, 6);
    expect_window(s, bars_, 4, daily_layout());
    EXPECT_EQ(series_read(s, dir_.path(), "IBM", 10, 1), status::kRecordNotFound);
    EXPECT_EQ(s.count, 6);
    EXPECT_EQ(series_read(s, dir_.path(), "NOPE", 0, 1), status::kFileNotFound);
}

TEST_F(SeriesReadTest, EmptySeriesAndHeaderThatPromisesTooMuch) {
    make(0);
    QuoteSeries s;
    ASSERT_EQ(series_alloc(s, 1), 0);
    EXPECT_EQ(series_read(s, dir_.path(), "IBM", 0, 1), status::kRecordNotFound);
    EXPECT_EQ(s.total, 0);

    SeriesSpec lying;
    lying.last_record = 500; // says 499 bars
    lying.trailing = "\x01\x02\x03";
    make(20, lying);
    ASSERT_EQ(series_read(s, dir_.path(), "IBM", -1, 1), 0);
    EXPECT_EQ(s.total, 20);
    expect_window(s, bars_, 19, daily_layout());
}

TEST_F(SeriesReadTest, AbsentFieldsReadAsMinusOne) {
    SeriesSpec spec;
    spec.fields = {"DATE", "OPEN", "HIGH", "LOW", "CLOSE"};
    make(5, spec);
    QuoteSeries s;
    ASSERT_EQ(series_alloc(s, 400), 0);
    ASSERT_EQ(series_read(s, dir_.path(), "IBM", 0, 400), 0);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(s.value(kFieldVol, i), FIELD_ABSENT);
        EXPECT_EQ(s.value(kFieldOi, i), FIELD_ABSENT);
        EXPECT_EQ(s.time(i), 0);
    }
}

TEST_F(SeriesReadTest, BothStoragesGiveTheSameElements) {
    make(2400);
    QuoteSeries a, b;
    ASSERT_EQ(series_alloc(a, 2321), 0);
    ASSERT_EQ(series_alloc(b, 2322), 0);
    ASSERT_EQ(series_read(a, dir_.path(), "IBM", 0, 2321), 0);
    ASSERT_EQ(series_read(b, dir_.path(), "IBM", 0, 2322), 0);
    for (int i = 0; i < 2321; ++i) {
        ASSERT_EQ(a.date(i), b.date(i));
        for (int f = kFieldOpen; f < kFieldNames; ++f)
            ASSERT_EQ(a.value(f, i), b.value(f, i));
    }
    expect_window(b, bars_, 0, daily_layout());
}

TEST_F(SeriesReadTest, AWindowIsOneReadWhateverItsSize) {
    make(1000);
    QuoteSeries s;
    ASSERT_EQ(series_alloc(s, 400), 0);
    FaultInjector counter;
    ASSERT_EQ(series_read(s, dir_.path(), "IBM", 0, 1), 0);
    std::size_t reads_for_one = counter.calls(fileops::Op::Read);
    std::size_t seeks_for_one = counter.calls(fileops::Op::Seek);
    counter.reset();
    ASSERT_EQ(series_read(s, dir_.path(), "IBM", 0, 400), 0);
    EXPECT_EQ(counter.calls(fileops::Op::Read), reads_for_one);
    EXPECT_EQ(counter.calls(fileops::Op::Seek), seeks_for_one);
}

TEST_F(SeriesReadTest, AFailingWindowReadIsReportedAndKeepsTheBars) {
    make(50);
    QuoteSeries s;
    ASSERT_EQ(series_alloc(s, 400), 0);
    FaultInjector faults;
    ASSERT_EQ(series_read(s, dir_.path(), "IBM", 0, 1), 0);
    std::size_t reads = faults.calls(fileops::Op::Read);
    faults.reset();
    faults.fail_nth(fileops::Op::Read, reads, EIO); // the window's own read
    EXPECT_EQ(series_read(s, dir_.path(), "IBM", 0, 50), status::kFileRead);
    EXPECT_EQ(s.count, 1);
}

// ---- Damaged shapes -------------------------------------------------------------------------------

struct ShapeCase {
    const char* label;
    SeriesSpec spec;
    std::string dop; // replaces the generated F1.DOP when not empty
};

TEST(DamagedShapes, AreRefusedWithoutReadingPastARecord) {
    std::vector<ShapeCase> cases;
    SeriesSpec s;
    s.record_length = 0;
    cases.push_back({"record length 0", s, ""});
    s = SeriesSpec{};
    s.record_length = 80;
    s.field_count = 20;
    cases.push_back({"record length 80", s, ""});
    s = SeriesSpec{};
    s.record_length = 24;
    cases.push_back({"length not 4 x fields", s, ""});
    s = SeriesSpec{};
    s.field_count = 0;
    s.record_length = 0;
    cases.push_back({"no fields", s, ""});
    s = SeriesSpec{};
    s.field_count = 200;
    s.record_length = 200;
    cases.push_back({"field count 200", s, ""});
    s = SeriesSpec{};
    s.fields = {"DATE", "OPEN", "HIGH", "LOW", "CLOSE"};
    cases.push_back({"DOP names more fields than the record has", s,
                     "\"DATE\"\n\"OPEN\"\n\"HIGH\"\n\"LOW\"\n\"CLOSE\"\n\"VOL\"\n"});
    cases.push_back({"layout without DATE", s, "\"OPEN\"\n\"HIGH\"\n\"LOW\"\n\"CLOSE\"\n"});
    s = SeriesSpec{};
    s.last_record = 0;
    cases.push_back({"header R 0", s, ""});
    s.last_record = -3;
    cases.push_back({"header R negative", s, ""});

    for (const ShapeCase& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        auto bars = random_series_bars(7, 12);
        write_series_portfolio(dir.path(), c.spec, bars);
        if (!c.dop.empty())
            write_bytes(dir / "F1.DOP", c.dop);
        QuoteSeries s400;
        ASSERT_EQ(series_alloc(s400, 400), 0);
        EXPECT_EQ(series_read(s400, dir.path(), "IBM", 0, 400), status::kBadRecordShape);
        EXPECT_EQ(series_find_date(dir.path(), "IBM", bars[3].date, 0), status::kBadRecordShape);
        SeriesFacts facts;
        facts.bytes[0] = 0xEE;
        EXPECT_EQ(series_describe(dir.path(), "IBM", facts), 1);
        EXPECT_EQ(facts.bytes[0], 0xEE);
    }
}

// ---- Search by date -------------------------------------------------------------------------------

TEST(SeriesFindDate, JanuaryExample) {
    TempDir dir;
    std::vector<SeriesBar> bars;
    for (int day : {1, 2, 5, 6, 7}) {
        SeriesBar b;
        b.date = date_pack(96, 1, day);
        b.close = static_cast<float>(day);
        bars.push_back(b);
    }
    write_series_portfolio(dir.path(), SeriesSpec{}, bars);
    DayNumber found = 0;
    EXPECT_EQ(series_find_date(dir.path(), "IBM", date_pack(96, 1, 5), 0, &found), 2);
    EXPECT_EQ(found, date_pack(96, 1, 5));
    found = 0;
    EXPECT_EQ(series_find_date(dir.path(), "IBM", date_pack(96, 1, 3), 0, &found), 2);
    EXPECT_EQ(found, date_pack(96, 1, 5));
    EXPECT_EQ(series_find_date(dir.path(), "IBM", date_pack(95, 12, 29), 0, &found), 0);
    EXPECT_EQ(found, date_pack(96, 1, 1));
    // Between the first two bars the later one is found, as anywhere else.
    bars.erase(bars.begin() + 1);
    write_series_portfolio(dir.path(), SeriesSpec{}, bars);
    EXPECT_EQ(series_find_date(dir.path(), "IBM", date_pack(96, 1, 3), 0, &found), 1);
    EXPECT_EQ(found, date_pack(96, 1, 5));
    EXPECT_EQ(series_find_date(dir.path(), "IBM", date_pack(96, 1, 8), 0, &found), status::kRecordNotFound);
    EXPECT_EQ(found, date_pack(96, 1, 7));
}

TEST(SeriesFindDate, AgreesWithALinearSearchOnRandomSeries) {
    std::mt19937 rng(99);
    for (int round = 0; round < 24; ++round) {
        TempDir dir;
        const bool with_time = round % 2 == 1;
        SeriesSpec spec;
        if (with_time) {
            spec.fields = intraday_fields();
            spec.periodicity = 'I';
            spec.write_dop = round % 4 == 1;
        }
        const int n = 1 + static_cast<int>(rng() % 300);
        auto bars = random_series_bars(round, n, with_time);
        write_series_portfolio(dir.path(), spec, bars);
        for (int probe = 0; probe < 40; ++probe) {
            DayNumber date = static_cast<DayNumber>(bars.front().date - 3 +
                                                    rng() % (bars.back().date - bars.front().date + 7));
            PackedTime time = with_time ? static_cast<PackedTime>(17000 + rng() % 20000) : 0;
            std::int32_t expected = 0;
            while (expected < n && (bars[expected].date < date ||
                                    (bars[expected].date == date && bars[expected].time < time)))
                ++expected;
            DayNumber found = 0;
            PackedTime found_time = 0;
            std::int32_t got = series_find_date(dir.path(), "IBM", date, time, &found, &found_time);
            if (expected == n) {
                ASSERT_EQ(got, status::kRecordNotFound);
                ASSERT_EQ(found, bars.back().date);
            } else {
                ASSERT_EQ(got, expected) << "round " << round << " date " << date << " time " << time;
                ASSERT_EQ(found, bars[expected].date);
                ASSERT_EQ(found_time, bars[expected].time);
            }
        }
    }
}

TEST(SeriesFindDate, EndsOnUnorderedAndEmptyFiles) {
    TempDir dir;
    auto bars = random_series_bars(3, 200);
    std::shuffle(bars.begin(), bars.end(), std::mt19937(5));
    write_series_portfolio(dir.path(), SeriesSpec{}, bars);
    for (const SeriesBar& b : bars) {
        std::int32_t got = series_find_date(dir.path(), "IBM", b.date, 0);
        EXPECT_TRUE(got == status::kRecordNotFound || (got >= 0 && got < 200));
    }
    write_series_portfolio(dir.path(), SeriesSpec{}, {});
    EXPECT_EQ(series_find_date(dir.path(), "IBM", 9000, 0), status::kFileRead);
    std::filesystem::remove(dir / "F1.DAT");
    EXPECT_EQ(series_find_date(dir.path(), "IBM", 9000, 0), status::kFileOpen);
}

// ---- New files ------------------------------------------------------------------------------------

TEST(NewSeriesFiles, ReadBackAsWritten) {
    const std::vector<std::uint8_t> dat =
        series_file_image(3, {{980105.0f, 12.5f, 900.0f}, {980106.0f, 13.0f}});
    std::string header(12, '\0'); // one record long, R = 3 at bytes 2-3
    header[2] = 3;
    const std::string expected =
        header + mbf(980105.0f) + mbf(12.5f) + mbf(900.0f) + mbf(980106.0f) + mbf(13.0f) + mbf(0.0f);
    EXPECT_EQ(std::string(dat.begin(), dat.end()), expected);
    EXPECT_EQ(dop_line(kFieldClose, 2, 3), "\"CLOSE\",2,3\r\n");
}

// ---- Facts ----------------------------------------------------------------------------------------

TEST(SeriesDescribe, FillsTheFactsBlock) {
    TempDir dir;
    SeriesSpec spec;
    spec.periodicity = 'W';
    spec.fields = {"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL"};
    spec.input_code = 1000;
    spec.display_code = -5;
    auto bars = random_series_bars(1, 33);
    write_series_portfolio(dir.path(), spec, bars);
    SeriesFacts f;
    std::memset(f.bytes, 0x55, sizeof f.bytes);
    ASSERT_EQ(series_describe(dir.path(), "IBM", f), 0);
    EXPECT_STREQ(reinterpret_cast<char*>(f.bytes), dir.path().string().c_str());
    EXPECT_EQ(f.bytes[300], 1);
    EXPECT_EQ(f.bytes[301], 24);
    EXPECT_EQ(f.bytes[302], 6);
    EXPECT_EQ(f.bytes[303] | (f.bytes[304] << 8), 33);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(f.bytes + 305), 16), "INTL BUS MACH   ");
    EXPECT_EQ(f.bytes[321], 0);
    float first, last;
    std::memcpy(&first, f.bytes + 322, 4);
    std::memcpy(&last, f.bytes + 326, 4);
    EXPECT_EQ(first, date_to_yymmdd(bars.front().date));
    EXPECT_EQ(last, date_to_yymmdd(bars.back().date));
    EXPECT_STREQ(reinterpret_cast<char*>(f.bytes + 330), "W Weekly");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(f.bytes + 347), 16), "IBM             ");
    EXPECT_STREQ(reinterpret_cast<char*>(f.bytes + 364 + 17 * kFieldVol), "1,000s");
    EXPECT_STREQ(reinterpret_cast<char*>(f.bytes + 500 + 17 * kFieldOpen), "32nds");
    EXPECT_STREQ(reinterpret_cast<char*>(f.bytes + 364 + 17 * kFieldOi), "");
    EXPECT_STREQ(reinterpret_cast<char*>(f.bytes + 500 + 17 * kFieldTime), "");

    spec.periodicity = 'X';
    write_series_portfolio(dir.path(), spec, bars);
    ASSERT_EQ(series_describe(dir.path(), "IBM", f), 0);
    EXPECT_STREQ(reinterpret_cast<char*>(f.bytes + 330), "ERROR");
    EXPECT_EQ(series_describe(dir.path(), "MSFT", f), 1);
}
