// Reading quote files: field layouts, windows of bars, the search by date. Damaged shapes and lying
// headers are in reliability/hostile_test.cpp.
#include "storage/bar_decoding.h"
#include "storage/fileops.h"
#include "storage/quotes.h"
#include "support/builder.h"
#include "support/fault_injection.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <random>

using namespace testing_support;

namespace {

using Positions = std::vector<int>;

Positions positions_of(const std::filesystem::path& dop, int length) {
    FieldLayout l;
    EXPECT_EQ(dop_read_layout(dop, l, length), 0);
    return {l.position, l.position + kFieldNames};
}

// Every bar of the window equals the generated bar `first + i`.
void expect_window(const QuoteSeries& s, const std::vector<SeriesBar>& bars, int first) {
    FieldLayout layout;
    std::memcpy(layout.position, s.header.get() + 53, sizeof layout.position);
    for (int i = 0; i < s.count; ++i) {
        const SeriesBar& bar = bars[first + i];
        ASSERT_EQ(s.date(i), bar.date) << "bar " << first + i;
        ASSERT_EQ(s.time(i), layout.position[kFieldTime] ? bar.time : 0) << "bar " << first + i;
        for (int field = kFieldOpen; field < kFieldNames; ++field)
            ASSERT_EQ(s.value(field, i),
                      layout.position[field] ? (&bar.open)[field - kFieldOpen] : FIELD_ABSENT)
                << field_name(field) << " of bar " << first + i;
    }
}

// Each length a layout is inferred from is read back bar for bar in WindowReads below; here the lengths
// that name no layout and the 20-byte choice on its edges.
TEST(FieldLayout, InferredFromTheRecordLengthWithoutDop) {
    TempDir dir;
    FieldLayout none;
    EXPECT_EQ(dop_read_layout(dir / "F1.DOP", none, 36), status::kLayoutUnknown);
    EXPECT_EQ(dop_read_layout(dir / "F1.DOP", none, 20), status::kLayoutUnknown); // no F1.DAT to look at
    // 20-byte records: a fifth field of 0 or above twice the second is a volume, else a close. The first
    // bar decides, the header when there are no bars.
    const Positions with_vol = {1, 0, 0, 2, 3, 4, 5, 0}, with_open = {1, 0, 2, 3, 4, 5, 0, 0};
    const std::string header = std::string(2, ' ') + std::string("\x02\x00", 2) + std::string(16, ' ');
    const std::tuple<float, bool, Positions> twenty[] = {
        {1500000, true, with_vol}, {26, true, with_open}, {0, true, with_vol}, {26, false, with_open}};
    for (const auto& [fifth, with_bar, expected] : twenty) {
        const std::string bar =
            mbf_bytes(960105) + mbf_bytes(25.5f) + mbf_bytes(20) + mbf_bytes(21) + mbf_bytes(fifth);
        write_bytes(dir / "f1.dat", with_bar ? header + bar : bar);
        EXPECT_EQ(positions_of(dir / "F1.DOP", 20), expected) << fifth;
    }
}

TEST(FieldLayout, ReadFromDopByNamePrefixAndNeverGuessedWhenUnreadable) {
    TempDir dir;
    write_bytes(dir / "F1.DOP",
                "Field description\r\n\"date\",0,0\r\n\"Spare\",3,3\r\n\"CLOSE\",-3,2\r\n"
                "\"VOLUME\",100,1000\r\n; a comment\r\n\"OPEN\", 4 ,5\r\n\x1A\"HIGH\",1,1\r\n");
    FieldLayout l;
    ASSERT_EQ(dop_read_layout(dir / "F1.DOP", l, 16), 0);
    EXPECT_EQ(Positions(l.position, l.position + 8), (Positions{1, 0, 4, 0, 0, 2, 3, 0}));
    EXPECT_EQ(
        std::vector<int>({l.input_code[kFieldClose], l.display_code[kFieldClose], l.input_code[kFieldVol],
                          l.display_code[kFieldVol], l.input_code[kFieldOpen], l.display_code[kFieldOpen]}),
        (std::vector<int>{-3, 2, 100, 1000, 4, 5}));
    write_bytes(dir / "F1.DOP", "\"DATE\",0,0\n\"" + std::string(5000, 'X') + "\",1,1\n\"CLOSE\",2");
    ASSERT_EQ(dop_read_layout(dir / "F1.DOP", l, 8), 0);
    EXPECT_EQ(Positions(l.position, l.position + 8), (Positions{1, 0, 0, 0, 0, 2, 0, 0}));
    EXPECT_EQ(l.input_code[kFieldClose] * 10 + l.display_code[kFieldClose], 20);
    for (fileops::Op op : {fileops::Op::Open, fileops::Op::Read}) {
        FaultInjector faults;
        faults.fail_all(op, EIO);
        EXPECT_EQ(dop_read_layout(dir / "F1.DOP", l, 28),
                  op == fileops::Op::Open ? status::kFileOpen : status::kFileRead);
    }
}

// ---- Windows of bars --------------------------------------------------------------------------------

SeriesSpec layout(std::vector<std::string> fields, bool dop = false, bool lower = false,
                  char periodicity = 'D') {
    SeriesSpec spec{1, "IBM", "INTL BUS MACH", periodicity, std::move(fields), dop};
    spec.lower_case = lower;
    return spec;
}

std::vector<SeriesSpec> layout_cases() {
    const std::vector<std::string> daily = SeriesSpec{}.fields, intraday = intraday_fields();
    // The last four with F1.DOP: fields shuffled, with unknown lines; fields no name covers; 76 bytes;
    // a daily record longer than eight words (its fields gathered, not loaded whole).
    // clang-format off
    std::vector<SeriesSpec> cases = {
        layout(daily, true), layout(daily), layout({"DATE", "CLOSE"}), layout({"DATE", "CLOSE", "VOL"}),
        layout({"DATE", "HIGH", "LOW", "CLOSE"}, false, true), layout({"DATE", "HIGH", "LOW", "CLOSE", "VOL"}),
        layout({"DATE", "OPEN", "HIGH", "LOW", "CLOSE"}), layout({"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL"}),
        layout(intraday, false, true, 'I'), layout({"DATE", "TIME", "OPEN", "HIGH", "LOW", "CLOSE", "VOL", "OI"}, false, true, 'I'),
        layout({"DATE", "CLOSE", "VOL", "HIGH", "OPEN", "OI", "LOW"}, true),
        layout({"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "SPARE", "SPARE2"}, true),
        layout({"DATE", "TIME", "OPEN", "HIGH", "LOW", "CLOSE", "VOL", "OI", "X1", "X2", "X3", "X4", "X5", "X6", "X7",
                "X8", "X9", "X10", "X11"}, true),
        layout({"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL", "OI", "X1", "X2"}, true)};
    // clang-format on
    cases[7].header_fill = '\xB7';
    cases[10].dop_extra = {{0, "Layout of F1.DAT"}, {3, "\"REMARK\",0,0"}};
    cases[10].dop_end_mark = true;
    cases[11].dop_crlf = false;
    return cases;
}

class WindowReads : public ::testing::TestWithParam<int> {};

TEST_P(WindowReads, EveryWindowEqualsTheGeneratedBars) {
    const SeriesSpec spec = layout_cases()[GetParam()];
    TempDir dir;
    auto bars = random_series_bars(GetParam() + 1, 1003, spec.fields[1] == "TIME");
    if (spec.fields.size() == 5) { // the 20-byte inference looks at the first bar: make it say what is meant
        bars[0].vol = 3.0f * bars[0].high;
        bars[0].close = bars[0].open;
    }
    write_series_portfolio(dir.path(), spec, bars);
    QuoteSeries s;
    ASSERT_EQ(series_alloc(s, 400), 0);
    for (int start = 0; start < 1003; start += 400) {
        ASSERT_EQ(series_read(s, dir.path(), "IBM", start, 400), 0);
        EXPECT_EQ(std::tuple(s.total, s.count), std::tuple(1003, std::min(400, 1003 - start)));
        expect_window(s, bars, start);
    }
    ASSERT_EQ(series_read(s, dir.path(), "IBM", -1, 400), 0); // from the newest end, as the quote list reads
    ASSERT_EQ(s.count, 400);
    expect_window(s, bars, 603);
}

INSTANTIATE_TEST_SUITE_P(Layouts, WindowReads, ::testing::Range(0, 14));

TEST(SeriesRead, SpecialCountsAndBothStorages) {
    TempDir dir;
    const auto bars = random_series_bars(42, 2400);
    write_series_portfolio(dir.path(), SeriesSpec{}, bars);
    QuoteSeries s;
    ASSERT_EQ(series_alloc(s, 400), 0);
    ASSERT_EQ(series_read(s, dir.path(), "INTL BUS MACH", 5, 0), 0); // count 0: total, key and header block
    EXPECT_EQ(s.key + " " + std::to_string(s.total), "INTL BUS MACH 2400");
    // File number, length, position, display and input code of CLOSE.
    EXPECT_EQ(std::vector<int>({s.header[0], s.header[3], s.header[63], s.header[79], s.header[95]}),
              (std::vector<int>{1, 28, 5, 4, 2}));
    ASSERT_EQ(series_read(s, dir.path(), "IBM", 2000, -1), 0); // a negative count takes the rest
    EXPECT_EQ(s.count, 400);
    expect_window(s, bars, 2000);
    s.set_value(kFieldClose, 400, 12.5f); // beyond the capacity: nothing is stored, nothing read
    EXPECT_EQ(s.value(kFieldClose, 400) + s.date(400) + s.time(-1), 0.0f);
    // Up to 2321 bars share one interleaved block, above that seven arrays: both read the same.
    QuoteSeries block, arrays;
    ASSERT_EQ(series_alloc(block, 2321) + series_alloc(arrays, 2322), 0);
    EXPECT_TRUE(block.block && !arrays.block && arrays.arrays[6]);
    ASSERT_EQ(
        series_read(block, dir.path(), "IBM", 0, 2321) + series_read(arrays, dir.path(), "IBM", 0, 2322), 0);
    expect_window(block, bars, 0);
    expect_window(arrays, bars, 0);
    std::filesystem::remove(dir / "F1.DAT"); // no bars at all: hostile_test.cpp; no quote file:
    EXPECT_EQ(series_find_date(dir.path(), "IBM", 9000, 0), status::kFileOpen);
}

// The storage of a window's bars, byte for byte.
std::string storage_of(const QuoteSeries& s) {
    const auto bytes = [&](const std::unique_ptr<std::uint8_t[]>& p, int width) {
        return std::string(reinterpret_cast<const char*>(p.get()), static_cast<std::size_t>(s.count) * width);
    };
    if (s.block)
        return bytes(s.block, 32);
    std::string all = bytes(s.arrays[0], 8);
    for (int k = 1; k < 7; ++k)
        all += bytes(s.arrays[k], 4);
    return all;
}

TEST(SeriesRead, EightBarsAtATimeGiveEveryDayOfTheRangeInOrder) {
    // Every third day from 1900 to the last day (into each next month, over the gap at 0, 1999 into
    // 2000, the last month of the range) and every 40th (past whole months): each bar's date is its day.
    for (DayNumber step : {3, 40}) {
        TempDir dir;
        std::vector<SeriesBar> bars;
        for (std::int64_t n = kFirstDay; n <= kLastDay; n += step)
            bars.push_back({static_cast<DayNumber>(n == 0 ? 1 : n), 0, 1, 2, 0.5f, 1.5f, 100, 0});
        write_series_portfolio(dir.path(), SeriesSpec{}, bars);
        const auto count = static_cast<std::int16_t>(bars.size());
        std::string ways[2];
        for (bool vector : {true, false}) {
            set_vector_decoding(vector);
            QuoteSeries s;
            ASSERT_EQ(series_alloc(s, count) + series_read(s, dir.path(), "IBM", 0, count), 0);
            for (std::int16_t i = 0; i < count; ++i)
                ASSERT_EQ(s.date(i), bars[static_cast<std::size_t>(i)].date)
                    << i << (vector ? " vector" : "");
            ways[vector] = storage_of(s);
        }
        set_vector_decoding(true);
        EXPECT_TRUE(ways[0] == ways[1]) << step;
    }
}

TEST(SeriesRead, EightBarsAtATimeAgreeWithTheWayOneAtATimeOnOddRecords) {
    // Every layout, with one stored word in six replaced by odd bits: any exponent byte (those read as
    // 0 among them), dates that are no whole number, out of order, before 1961 or beyond the range.
    std::mt19937 rng(5);
    const std::uint32_t odd_dates[] = {0,          0x7FFFFFFF, 0x81000000, 0x94700000,
                                       0x96317B00, 0x987FFFFF, 0x9F000000};
    for (const SeriesSpec& spec : layout_cases()) {
        TempDir dir;
        write_series_portfolio(dir.path(), spec, random_series_bars(7, 2500, spec.fields[1] == "TIME"));
        const std::filesystem::path dat = dir / (spec.lower_case ? "f1.dat" : "F1.DAT");
        std::string image = read_bytes(dat);
        const std::size_t length = 4 * spec.fields.size();
        for (std::size_t at = length; at + 4 <= image.size(); at += 4) {
            if (rng() % 6 != 0)
                continue;
            std::uint32_t word = rng();
            if (at % length == 0 && rng() % 2 == 0) {
                word = odd_dates[rng() % std::size(odd_dates)] ^ (rng() % 4);
            } else if (at % length == 0) { // days 00 and 99 of its month or of the next
                const float month =
                    std::floor(mbf_to_ieee(reinterpret_cast<std::uint8_t*>(&image[at])) / 100);
                const std::string stored = mbf_bytes(100 * month + static_cast<float>(rng() % 2 ? 99 : 0) +
                                                     static_cast<float>(rng() % 2 ? 100 : 0));
                std::memcpy(&word, stored.data(), 4);
            }
            std::memcpy(&image[at], &word, 4);
        }
        write_bytes(dat, image);
        for (std::int16_t capacity : {400, 2500}) { // one interleaved block, then seven arrays
            std::string ways[2];
            for (bool vector : {true, false}) {
                set_vector_decoding(vector);
                QuoteSeries s;
                ASSERT_EQ(series_alloc(s, capacity), 0);
                for (int start = 0; start < 2500; start += capacity) {
                    ASSERT_EQ(series_read(s, dir.path(), "IBM", start, capacity), 0);
                    ways[vector] += storage_of(s);
                }
            }
            set_vector_decoding(true);
            ASSERT_EQ(ways[0].size(), 2500u * 32);
            EXPECT_TRUE(ways[0] == ways[1]) << spec.fields.size() << " fields, capacity " << capacity;
        }
        // The whole-file reader, both ways: one field of every bar as the columns hold it, and bars
        // from anywhere as a window read stores them.
        SeriesLocation at;
        QuoteSeries whole, window;
        ASSERT_EQ(
            series_locate(dir.path(), "IBM", at) + series_alloc(whole, 2500) + series_alloc(window, 400), 0);
        ASSERT_EQ(series_read(whole, dir.path(), "IBM", 0, 2500) +
                      series_read(window, dir.path(), "IBM", 999, 400),
                  0);
        for (bool vector : {true, false}) {
            set_vector_decoding(vector);
            SeriesRecords records;
            QuoteSeries part;
            ASSERT_EQ(series_read_records(at, records) + series_alloc(part, 400), 0);
            ASSERT_EQ(records.bars, 2500);
            for (int field = kFieldOpen; field < kFieldNames; ++field) {
                std::vector<float> values(2500), column(2500);
                series_records_values(records, field, values.data());
                series_copy_values(whole, field, 2500, column.data());
                EXPECT_EQ(std::memcmp(values.data(), column.data(), 2500 * 4), 0) << field_name(field);
            }
            ASSERT_EQ(series_records_bars(records, 999, 400, part), 0);
            EXPECT_TRUE(storage_of(part) == storage_of(window)) << spec.fields.size() << " fields";
        }
        set_vector_decoding(true);
    }
}

// ---- Search by date ---------------------------------------------------------------------------------

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
            auto date = static_cast<DayNumber>(bars.front().date - 3 +
                                               rng() % (bars.back().date - bars.front().date + 7));
            TimeOfDay time = with_time ? hhmmss_after(90000, static_cast<int>(rng() % 40000)) : 0;
            if (with_time && probe % 2 == 1) { // a second before, at or after a bar's own time
                const SeriesBar& bar = bars[rng() % bars.size()];
                date = bar.date;
                time = hhmmss_after(bar.time, static_cast<int>(rng() % 3) - 1);
            }
            std::int32_t expected = 0;
            while (expected < n && (bars[expected].date < date ||
                                    (bars[expected].date == date && bars[expected].time < time)))
                ++expected;
            DayNumber found = 0;
            TimeOfDay found_time = 0;
            const std::int32_t got = series_find_date(dir.path(), "IBM", date, time, &found, &found_time);
            const SeriesBar& at = bars[std::min(expected, n - 1)];
            ASSERT_EQ(std::tuple(got, found, found_time),
                      std::tuple(expected == n ? status::kRecordNotFound : expected, at.date, at.time))
                << round << " " << date << " " << time;
        }
    }
}

} // namespace
