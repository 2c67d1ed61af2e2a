// EMASTER follows every rewrite of MASTER byte for byte where it is usable, and is never written where
// it is not. Every failing step is swept in reliability/fault_sweep_test.cpp.
#include "storage/emaster.h"

#include "support/builder.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

class Emaster : public ::testing::Test {
protected:
    // Securities 2, 5, 3 in that order.
    void SetUp() override {
        for (int number : {2, 5, 3})
            records_.push_back(master_record(security(number, "SYM" + std::to_string(number))));
        MasterBuilder builder;
        for (const MasterRecord& record : records_)
            builder.add(record);
        builder.write(tmp_.path());
        old_ = emaster_bytes(records_);
        write_bytes(tmp_ / "EMASTER", old_);
    }
    std::string emaster() const { return read_bytes(tmp_ / "EMASTER"); }
    static float float_at(const std::string& bytes, std::size_t at) {
        float value;
        std::memcpy(&value, bytes.data() + at, 4);
        return value;
    }
    TempDir tmp_;
    std::vector<MasterRecord> records_;
    std::string old_;
};

TEST_F(Emaster, DatesChangeOnlyTheirFloatAndIntegerBytes) {
    std::uint8_t date[4];
    ieee_to_mbf(1070321.0f, date); // 21 March 2007
    ASSERT_EQ(master_set_date(tmp_ / "MASTER", 5, date, 0), 0);
    ieee_to_mbf(1080102.0f, date);
    ASSERT_EQ(master_set_date(tmp_ / "MASTER", 5, date, 1), 0);
    std::string expected = old_;
    const float first = 1070321.0f, last = 1080102.0f;
    const std::int32_t whole = 20070321;
    expected.replace(2 * 192 + 64, 4, reinterpret_cast<const char*>(&first), 4);
    expected.replace(2 * 192 + 72, 4, reinterpret_cast<const char*>(&last), 4);
    expected.replace(2 * 192 + 126, 4, reinterpret_cast<const char*>(&whole), 4);
    EXPECT_EQ(emaster(), expected);
    EXPECT_FLOAT_EQ(float_at(expected, 2 * 192 + 64), 1070321.0f);
}

TEST_F(Emaster, AppendBuildsTheRecordByTheLayoutRulesAndRemoveTakesItOutAgain) {
    int number = 0;
    ASSERT_EQ(master_append(tmp_.path(), master_record(security(9, "NEWCO", "NEW COMPANY")), number), 0);
    ASSERT_EQ(number, 1);
    std::string added = emaster_record_bytes(master_record(security(1, "NEWCO", "NEW COMPANY")));
    added.replace(80, 8, std::string(8, '\0'));    // no trading times
    added.replace(139, 53, std::string(53, '\0')); // the short name is the whole name
    std::string expected = old_ + added;
    expected[0] = 4; // count; the highest number stays 5
    EXPECT_EQ(emaster(), expected);
    ASSERT_EQ(master_remove(tmp_.path(), 5, false), 0);
    expected.erase(2 * 192, 192);
    expected[0] = 3;
    expected[2] = 3;
    EXPECT_EQ(emaster(), expected);
    // A record given (from the source portfolio's EMASTER) is taken as it is, under the new number.
    EmasterRecord given;
    given.bytes.fill(0x42);
    ASSERT_EQ(master_append(tmp_.path(), master_record(security(9, "X")), number, &given), 0);
    given.set_file_number(number);
    EXPECT_EQ(emaster().substr(4 * 192), std::string(given.bytes.begin(), given.bytes.end()));
}

TEST_F(Emaster, AnUnusableFileIsNeverWrittenAndTheCommandSaysWhyOnce) {
    std::string wrong_order = old_;
    std::swap_ranges(wrong_order.begin() + 192, wrong_order.begin() + 384, wrong_order.begin() + 384);
    std::string wrong_count = old_;
    wrong_count[0] = 2;
    // clang-format off
    const std::pair<std::string, const char*> cases[] = {
        {old_ + "x", "not a multiple of 192"}, {old_.substr(0, 192 * 3), "holds 2 records"},
        {wrong_count, "lists 2 securities"}, {wrong_order, "record 1 names file number 5"}};
    // clang-format on
    int renamed = 0;
    for (const auto& [content, reason] : cases) {
        write_bytes(tmp_ / "EMASTER", content);
        std::string note;
        ASSERT_EQ(master_set_names(tmp_ / "MASTER", 2, "RENAMED" + std::to_string(++renamed), "N", &note), 0);
        EXPECT_EQ(emaster(), content) << reason;
        EXPECT_NE(note.find(reason), std::string::npos) << note;
        EXPECT_FALSE(fs::exists(tmp_ / "EMASTER.BAK")) << reason;
    }
    fs::remove(tmp_ / "EMASTER");
    fs::create_directory(tmp_ / "EMASTER");
    std::string note;
    ASSERT_EQ(master_remove(tmp_.path(), 3, false, &note), 0);
    EXPECT_NE(note.find("no regular file"), std::string::npos);
    fs::remove(tmp_ / "EMASTER");
    note.clear();
    ASSERT_EQ(master_remove(tmp_.path(), 5, false, &note), 0);
    EXPECT_TRUE(note.empty());
    EXPECT_FALSE(fs::exists(tmp_ / "EMASTER")); // a portfolio without one gets none
}

} // namespace
