// EMASTER follows every rewrite of MASTER byte for byte where it is usable and is never written where it
// is not (rename and delete: editing/symbol_commands_test.cpp; each failing step: the fault sweep).
#include "storage/emaster.h"

#include "support/builder.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

class Emaster : public ::testing::Test {
protected:
    void SetUp() override { // securities 2, 5, 3 in that order
        MasterBuilder builder;
        for (int number : {2, 5, 3})
            records_.push_back(master_record(security(number, "SYM" + std::to_string(number))));
        for (const MasterRecord& record : records_)
            builder.add(record);
        builder.write(tmp_.path());
        write_bytes(tmp_ / "EMASTER", old_ = emaster_bytes(records_));
    }
    std::string emaster() const { return read_bytes(tmp_ / "EMASTER"); }
    TempDir tmp_;
    std::vector<MasterRecord> records_;
    std::string old_;
};

TEST_F(Emaster, DatesAppendAndRemoveChangeOnlyTheirBytes) {
    std::uint8_t date[4];
    ieee_to_mbf(1070321.0f, date); // 21 March 2007: the float, and the integer of the first date
    ASSERT_EQ(master_set_date(tmp_ / "MASTER", 5, date, 0), 0);
    ASSERT_EQ(master_set_date(tmp_ / "MASTER", 5, date, 1), 0);
    std::string expected = old_;
    put_raw(expected, 2 * 192 + 64, 1070321.0f);
    put_raw(expected, 2 * 192 + 72, 1070321.0f);
    put_raw(expected, 2 * 192 + 126, std::int32_t{20070321});
    EXPECT_EQ(emaster(), expected);
    // Built by the layout rules: no trading times, no long name; the count rises, the highest stays 5.
    int number = 0;
    ASSERT_EQ(master_append(tmp_.path(), master_record(security(9, "NEWCO", "NEW COMPANY")), number), 0);
    std::string added = emaster_record_bytes(master_record(security(1, "NEWCO", "NEW COMPANY")));
    added.replace(80, 8, std::string(8, '\0')).replace(139, 53, std::string(53, '\0'));
    expected += added;
    expected[0] = 4;
    EXPECT_EQ(emaster(), expected);
    ASSERT_EQ(master_remove(tmp_.path(), 5, false), 0);
    expected.erase(2 * 192, 192);
    expected[0] = expected[2] = 3;
    EXPECT_EQ(emaster(), expected);
    EmasterRecord given; // from the source portfolio's EMASTER: taken as it is, under the new number
    given.bytes.fill(0x42);
    ASSERT_EQ(master_append(tmp_.path(), master_record(security(9, "X")), number, &given), 0);
    given.set_file_number(number);
    EXPECT_EQ(emaster().substr(4 * 192), std::string(given.bytes.begin(), given.bytes.end()));
}

TEST_F(Emaster, AnUnusableFileIsNeverWrittenAndTheCommandSaysWhy) {
    std::string wrong_order = old_, wrong_count = old_;
    std::swap_ranges(wrong_order.begin() + 192, wrong_order.begin() + 384, wrong_order.begin() + 384);
    wrong_count[0] = 2;
    const std::pair<std::string, const char*> cases[] = {{old_ + "x", "not a multiple of 192"},
                                                         {old_.substr(0, 192 * 3), "holds 2 records"},
                                                         {wrong_count, "lists 2 securities"},
                                                         {wrong_order, "record 1 names file number 5"}};
    int renamed = 0;
    for (const auto& [content, reason] : cases) {
        write_bytes(tmp_ / "EMASTER", content);
        std::string note;
        ASSERT_EQ(master_set_names(tmp_ / "MASTER", 2, "R" + std::to_string(++renamed), "N", &note), 0);
        EXPECT_EQ(emaster(), content) << reason;
        EXPECT_NE(note.find(reason), std::string::npos) << note;
    }
    EXPECT_FALSE(fs::exists(tmp_ / "EMASTER.BAK"));
    fs::remove(tmp_ / "EMASTER");
    std::string note; // a portfolio without one gets none
    ASSERT_EQ(master_remove(tmp_.path(), 5, false, &note), 0);
    EXPECT_TRUE(note.empty() && !fs::exists(tmp_ / "EMASTER"));
}

} // namespace
