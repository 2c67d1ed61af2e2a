// New portfolios, new securities and quotes merged into a security, compared byte for byte with files
// built by hand from the layouts other programs read.
#include "storage/series_create.h"

#include "storage/directory.h"
#include "storage/rewrite.h"
#include "support/builder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

MergeQuote quote(DayNumber date, std::array<float, 6> v, std::uint8_t given = 0x3F, TimeOfDay time = 0) {
    MergeQuote q;
    q.date = date;
    q.time = time;
    std::copy(v.begin(), v.end(), q.values);
    q.given = given;
    return q;
}

SeriesBar bar_of(const MergeQuote& q) {
    return {q.date, q.time, q.values[0], q.values[1], q.values[2], q.values[3], q.values[4], q.values[5]};
}

std::string float_bytes(float value) {
    return std::string(reinterpret_cast<const char*>(&value), 4);
}

std::string le32(std::uint32_t value) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i)
        out[static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
    return out;
}

NewSecurity acme(char periodicity = 'D') {
    return {"ACME", "Acme Industries Incorporated", series_shape_default(periodicity)};
}

const DayNumber kJan2 = date_pack(2024, 1, 2), kJan3 = date_pack(2024, 1, 3), kJan4 = date_pack(2024, 1, 4);

TEST(NewPortfolio, IsAMasterAndAnEmasterOfHeadersAloneAndNeverReplacesOne) {
    TempDir dir;
    ASSERT_EQ(portfolio_create(dir / "new"), 0);
    EXPECT_EQ(read_bytes(dir / "new" / "MASTER"), std::string(53, '\0'));
    EXPECT_EQ(read_bytes(dir / "new" / "EMASTER"), std::string(192, '\0'));
    EXPECT_EQ(snapshot(dir / "new").size(), 2u);
    // A folder that already holds a directory file, in any letter case, or a plain file: refused as is.
    EXPECT_EQ(portfolio_create(dir / "new"), status::kFileExists);
    fs::create_directories(dir / "old");
    write_bytes(dir / "old" / "xmaster", "x");
    EXPECT_EQ(portfolio_create(dir / "old"), status::kFileExists);
    EXPECT_EQ(snapshot(dir / "old").size(), 1u);
    write_bytes(dir / "file", "text");
    EXPECT_EQ(portfolio_create(dir / "file"), status::kFileExists);
    EXPECT_EQ(portfolio_create(dir / "no" / "parent"), status::kFileOpen);
    EXPECT_FALSE(fs::exists(dir / "no"));
}

TEST(NewSecurity, WritesItsQuoteFileFieldFileAndBothDirectoryRecordsAsOtherProgramsLayThemOut) {
    TempDir dir;
    ASSERT_EQ(portfolio_create(dir.path()), 0);
    const std::vector<MergeQuote> quotes = {quote(kJan3, {2, 3, 1, 2.5f, 100, 7}),
                                            quote(kJan2, {1.5f, 2, 1, 1.75f, 1000, 0}, 0x1F)};
    int number = 0;
    MergeCounts counts;
    std::vector<MergeQuote> ordered = {quotes[1], quotes[0]};
    ASSERT_EQ(security_create(dir.path(), acme(), ordered, number, counts), 0);
    EXPECT_EQ(number, 1);
    EXPECT_EQ(counts.added, 2);
    EXPECT_EQ(counts.first, kJan2);
    EXPECT_EQ(counts.last, kJan3);

    SeriesSpec spec;
    spec.header_fill = '\0';
    EXPECT_EQ(read_bytes(dir / "F1.DAT"), dat_bytes(spec, {bar_of(ordered[0]), bar_of(ordered[1])}));
    EXPECT_EQ(read_bytes(dir / "F1.DOP"), "\"DATE\",0,0\r\n\"OPEN\",2,2\r\n\"HIGH\",2,2\r\n\"LOW\",2,2\r\n"
                                          "\"CLOSE\",2,2\r\n\"VOL\",0,0\r\n\"OI\",0,0\r\n");
    std::string master(53, '\0');
    set_image_counters(master, 1, 1);
    std::string record(53, '\0');
    record[0] = 1;
    record[3] = 28;
    record[4] = 7;
    put_text16(record, 7, "Acme Industries Incorporated");
    record.replace(25, 8, mbf_bytes(1240102.0f) + mbf_bytes(1240103.0f));
    record[33] = 'D';
    put_text16(record, 36, "ACME");
    EXPECT_EQ(read_bytes(dir / "MASTER"), master + record);

    std::string emaster(192, '\0');
    emaster[0] = 1;
    emaster[2] = 1;
    std::string e(192, '\0');
    e.replace(0, 3, "66\x01");
    e[6] = 7;
    e[7] = 0x7F;
    e[9] = ' ';
    e.replace(11, 4, "ACME");
    e.replace(32, 15, "Acme Industries"); // MASTER's trailing blank is no part of it
    e[60] = 'D';
    e.replace(64, 4, float_bytes(1240102.0f));
    e.replace(72, 4, float_bytes(1240103.0f));
    e.replace(126, 4, le32(20240102));
    e.replace(139, 28, "Acme Industries Incorporated");
    EXPECT_EQ(read_bytes(dir / "EMASTER"), emaster + e);
}

TEST(NewSecurity, TakesTheLowestFreeNumberInTheCaseThePortfolioUsesAndAnIntradayShape) {
    TempDir dir;
    write_portfolio(dir.path(),
                    {make_security(1, "IBM", "IBM", random_series_bars(1, 5), true),
                     make_security(3, "GE", "GE", random_series_bars(3, 5), true)},
                    true);
    int number = 0;
    MergeCounts counts;
    ASSERT_EQ(security_create(dir.path(), acme('I'), {quote(kJan2, {1, 2, 1, 2, 5, 0}, 0x1F, 93000)}, number,
                              counts),
              0);
    EXPECT_EQ(number, 2);
    SeriesSpec spec;
    spec.header_fill = '\0';
    spec.fields = intraday_fields();
    EXPECT_EQ(read_bytes(dir / "f2.dat"), dat_bytes(spec, {SeriesBar{kJan2, 93000, 1, 2, 1, 2, 5, 0}}));
    EXPECT_TRUE(has_entry(dir.path(), "f2.dop"));
    SeriesLocation at;
    ASSERT_EQ(series_locate(dir.path(), "ACME", at), 0);
    EXPECT_EQ(at.record.file_number(), 2);
    EXPECT_EQ(at.record.periodicity(), 'I');
    EXPECT_EQ(at.layout.position[kFieldTime], 2);
    EmasterRecord extended;
    ASSERT_EQ(emaster_find(dir.path(), 2, extended), EmasterState::Usable);
    EXPECT_EQ(extended.bytes[7], 0xBF); // date, time, open, high, low, close, volume
}

TEST(NewSecurity, GoesToXmasterWhenMasterIsFullWithTheLowestFreeNumberFrom256) {
    TempDir dir;
    MasterBuilder full;
    for (int n = 1; n <= 255; ++n)
        full.add(security(n, "S" + std::to_string(n)));
    full.write(dir.path());
    int number = 0;
    MergeCounts counts;
    ASSERT_EQ(security_create(dir.path(), acme(), {quote(kJan2, {1, 2, 1, 2, 5, 9})}, number, counts), 0);
    EXPECT_EQ(number, 256);
    EXPECT_TRUE(has_entry(dir.path(), "F256.MWD"));
    EXPECT_TRUE(has_entry(dir.path(), "F256.DOP"));
    std::string header(150, '\0');
    header.replace(0, 4, "\x5D\xFEXM");
    put_int16(header, 10, 1);
    put_int16(header, 14, 1);
    put_int16(header, 18, 257);
    std::string r(150, '\0');
    r[0] = 1;
    r.replace(1, 4, "ACME");
    r.replace(16, 28, "Acme Industries Incorporated");
    r[62] = 'D';
    put_int16(r, 65, 256);
    r[70] = 0x7F;
    r.replace(104, 4, le32(19000101));
    r.replace(108, 4, le32(20240102));
    r.replace(116, 4, le32(20240102));
    EXPECT_EQ(read_bytes(dir / "XMASTER"), header + r);
    SeriesLocation at;
    ASSERT_EQ(series_locate(dir.path(), "ACME", at), 0);
    EXPECT_EQ(at.record.file_number(), 256);

    // A gap among the numbers is filled first; the next number to give out stays above every one used.
    TempDir gap;
    full.write(gap.path());
    write_bytes(gap / "XMASTER", xmaster_bytes({{256, "A", "A"}, {258, "B", "B"}}));
    ASSERT_EQ(security_create(gap.path(), acme(), {}, number, counts), 0);
    EXPECT_EQ(number, 257);
    const std::string bytes = read_bytes(gap / "XMASTER");
    EXPECT_EQ(bytes.size(), 4u * 150);
    EXPECT_EQ(bytes.substr(10, 2), std::string("\x03\x00", 2));
    EXPECT_EQ(bytes.substr(18, 2), std::string("\xE7\x03", 2)); // 999, as the vendor left it

    // Numbers run from 256 to 65535; the next number to give out cannot pass 65535.
    for (int refused : {255, 65536, 257})
        EXPECT_EQ(xmaster_append(gap.path(), {.number = refused, .symbol = "X", .name = "X"}), 1) << refused;
    EXPECT_EQ(read_bytes(gap / "XMASTER"), bytes);
    ASSERT_EQ(xmaster_append(gap.path(), {.number = 65535, .symbol = "LAST", .name = "LAST"}), 0);
    const std::string last = read_bytes(gap / "XMASTER");
    EXPECT_EQ(last.substr(18, 2) + last.substr(4 * 150 + 65, 2), std::string("\xFF\xFF\xFF\xFF", 4));
    EXPECT_EQ(last.size(), 5u * 150);
}

TEST(NewSecurity, RefusesAFileInTheWayUnlessItHoldsWhatWouldBeWritten) {
    TempDir dir;
    ASSERT_EQ(portfolio_create(dir.path()), 0);
    write_bytes(dir / "f1.dop", "someone's notes");
    const Snapshot before = snapshot(dir.path());
    int number = 0;
    MergeCounts counts;
    EXPECT_EQ(security_create(dir.path(), acme(), {}, number, counts), status::kFileExists);
    EXPECT_EQ(snapshot(dir.path()), before);
    // What a run cut short before the record was added leaves behind is written again.
    write_bytes(dir / "f1.dop", series_shape_default('D').dop_text());
    EXPECT_EQ(security_create(dir.path(), acme(), {}, number, counts), 0);
    EXPECT_EQ(number, 1);
}

// ---- Merge ----------------------------------------------------------------------------------------

class Merge : public ::testing::Test {
protected:
    void SetUp() override {
        bars_ = {{kJan2, 0, 1, 2, 0.5f, 1.5f, 100, 7}, {kJan4, 0, 2, 3, 1.5f, 2.5f, 200, 8}};
        spec_.trailing = "tail";
        write_series_portfolio(dir_.path(), spec_, bars_);
        write_bytes(dir_ / "EMASTER", emaster_bytes({series_master_record(spec_, bars_)}));
        ASSERT_EQ(series_locate(dir_.path(), "IBM", at_), 0);
    }
    int merge(const std::vector<MergeQuote>& quotes, bool keep = false) {
        return series_merge_at(at_, quotes, keep, dir_.path(), dir_ / "MASTER", counts_);
    }

    TempDir dir_;
    SeriesSpec spec_;
    std::vector<SeriesBar> bars_;
    SeriesLocation at_;
    MergeCounts counts_;
};

TEST_F(Merge, InsertsInDateOrderReplacesWhatDiffersAndKeepsEveryOtherByte) {
    const DayNumber jan1 = date_pack(2024, 1, 1), jan5 = date_pack(2024, 1, 5);
    // Jan 4 gives CLOSE and VOL alone: the other values keep their bytes. OI is given only to new quotes.
    ASSERT_EQ(merge({quote(jan1, {1, 1, 1, 1, 1, 0}, 0x1F), quote(kJan3, {5, 6, 4, 5, 50, 1}),
                     quote(kJan4, {0, 0, 0, 9, 300, 0}, 0x18), quote(jan5, {7, 8, 6, 7, 70, 2})}),
              0);
    EXPECT_EQ(counts_.added, 3);
    EXPECT_EQ(counts_.replaced, 1);
    EXPECT_EQ(counts_.unchanged, 0);
    std::vector<SeriesBar> expected = {{jan1, 0, 1, 1, 1, 1, 1, 0},
                                       bars_[0],
                                       {kJan3, 0, 5, 6, 4, 5, 50, 1},
                                       {kJan4, 0, 2, 3, 1.5f, 9, 300, 8},
                                       {jan5, 0, 7, 8, 6, 7, 70, 2}};
    EXPECT_EQ(read_bytes(dir_ / "F1.DAT"), dat_bytes(spec_, expected)); // header fill and tail as they were
    EXPECT_EQ(read_bytes(dir_ / "F1.BAK"), dat_bytes(spec_, bars_));
    // Both dates moved, in MASTER and in EMASTER alike.
    MasterRecord record = series_master_record(spec_, expected);
    EXPECT_EQ(image_slot(read_bytes(dir_ / "MASTER"), 1), record_as_string(record));
    EXPECT_EQ(read_bytes(dir_ / "EMASTER"), emaster_bytes({record}));
}

TEST_F(Merge, QuotesAlreadyThereWriteNothingAndKeepExistingKeepsTheStoredValues) {
    const Snapshot before = snapshot(dir_.path());
    ASSERT_EQ(merge({quote(kJan2, {1, 2, 0.5f, 1.5f, 100, 7}), quote(kJan4, {9, 9, 9, 9, 9, 9}, 0)}), 0);
    EXPECT_EQ(counts_.unchanged, 2);
    EXPECT_EQ(snapshot(dir_.path()), before);
    ASSERT_EQ(merge({quote(kJan3, {5, 6, 4, 5, 50, 1}), quote(kJan4, {9, 9, 9, 9, 9, 9})}, true), 0);
    EXPECT_EQ(counts_.added, 1);
    EXPECT_EQ(counts_.unchanged, 1);
    EXPECT_EQ(read_bytes(dir_ / "F1.DAT"),
              dat_bytes(spec_, {bars_[0], {kJan3, 0, 5, 6, 4, 5, 50, 1}, bars_[1]}));
    EXPECT_EQ(counts_.last, kJan4);
}

TEST_F(Merge, RefusesStoredBarsOutOfOrderValuesMbfCannotHoldAndTooManyBars) {
    const Snapshot before = snapshot(dir_.path());
    EXPECT_EQ(merge({quote(kJan3, {3e38f, 1, 1, 1, 1, 1})}), status::kInvalidParm);
    EXPECT_EQ(merge({quote(kJan4, {1, 1, 1, 1, 1, 1}), quote(kJan3, {1, 1, 1, 1, 1, 1})}),
              status::kInvalidParm);
    EXPECT_EQ(snapshot(dir_.path()), before);
    std::vector<std::uint8_t> bytes(28, 0), out;
    bytes[2] = 1;
    std::vector<MergeQuote> many(32767);
    for (std::size_t i = 0; i < many.size(); ++i)
        many[i] = quote(kFirstDay + static_cast<DayNumber>(i), {1, 1, 1, 1, 1, 1});
    EXPECT_EQ(series_merge_image(bytes, 28, at_.layout, many, false, out, counts_), status::kInvalidParm);
    many.pop_back();
    EXPECT_EQ(series_merge_image(bytes, 28, at_.layout, many, false, out, counts_), 0);
    EXPECT_EQ(counts_.bars, 32766);
    // Stored bars out of date order: no place for a new one can be told.
    write_series_portfolio(dir_.path(), spec_, {bars_[1], bars_[0]});
    const Snapshot swapped = snapshot(dir_.path());
    EXPECT_EQ(merge({quote(kJan3, {1, 1, 1, 1, 1, 1})}), status::kRecordNotFound);
    EXPECT_EQ(counts_.bars, 1);
    EXPECT_EQ(snapshot(dir_.path()), swapped);
}

} // namespace
