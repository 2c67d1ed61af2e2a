// EMASTER follows every rewrite of MASTER byte for byte where it is usable and is never written where it
// is not (rename and delete: editing/symbol_commands_test.cpp; each failing step: the fault sweep).
#include "storage/directory.h"
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

TEST_F(Emaster, RemovingEverySecurityLeavesTheHeaderCountingNone) {
    for (int number : {5, 2, 3})
        ASSERT_EQ(master_remove(tmp_.path(), number, false), 0);
    std::string expected = old_.substr(0, 192);
    expected[0] = expected[2] = 0; // no record, and no highest file number
    EXPECT_EQ(emaster(), expected);
}

TEST_F(Emaster, AnUnusableFileIsNeverWrittenAndTheCommandSaysWhy) {
    std::string wrong_order = old_;
    std::swap_ranges(wrong_order.begin() + 192, wrong_order.begin() + 384, wrong_order.begin() + 384);
    const std::pair<std::string, const char*> cases[] = {{old_ + "x", "not a multiple of 192"},
                                                         {old_.substr(0, 192 * 3), "holds 2 records"},
                                                         {wrong_order, "record 1 names file number 5"},
                                                         {std::string(192 * 1025, '\0'), "sensible size"}};
    int renamed = 0;
    for (const auto& [content, reason] : cases) {
        write_bytes(tmp_ / "EMASTER", content);
        EXPECT_EQ(emaster_heal(tmp_.path()), 0) << reason;
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

// What a run killed between the two rewrites leaves, or another program that changed MASTER alone: the
// heal rebuilds the records that disagree from MASTER, keeps the bytes only EMASTER holds (trading times,
// long names, the header's serial and text) and the stale file as EMASTER.BAK, and says what differed.
TEST_F(Emaster, AFileOutOfStepIsRebuiltFromMasterKeepingWhatOnlyItHolds) {
    auto record = [&](int index) { return old_.substr(static_cast<std::size_t>(index + 1) * 192, 192); };
    std::string renamed = old_, dated = old_, counted_short = old_;
    put_text0(renamed, 2 * 192 + 11, "OLD", 14); // record 2 is F5
    put_text0(renamed, 2 * 192 + 32, "OLD NAME", 16);
    put_raw(dated, 3 * 192 + 64, 990101.0f);
    put_raw(dated, 3 * 192 + 72, 0.0f);
    dated[3 * 192 + 6] = 5;
    dated[3 * 192 + 60] = 'W';
    counted_short[0] = 2; // F3 stands after the count
    std::string without_f5 = old_.substr(0, 2 * 192) + record(2);
    without_f5[0] = 2;
    std::string with_f9 = old_ + record(1);
    with_f9[0] = 4;
    with_f9[4 * 192 + 2] = 9;
    // A record standing after the count that no security claims stays where it stands.
    std::string f9_after_count = record(1);
    f9_after_count[2] = 9;
    // The record of F5 as a delete's undoing append would give it: built from MASTER, no times or long name.
    std::string built = old_;
    built.replace(2 * 192 + 80, 8, std::string(8, '\0')).replace(2 * 192 + 139, 53, std::string(53, '\0'));
    const struct {
        std::string stale, rebuilt;
        const char* differences;
    } cases[] = {{renamed, old_, "F5 symbol, F5 name"},
                 {dated, old_, "F3 first date, F3 last date, F3 field count, F3 periodicity"},
                 {without_f5, built, "F5 missing from EMASTER"},
                 {with_f9, old_, "F9 only in EMASTER"},
                 {counted_short, old_, "F3 missing from EMASTER"},
                 {renamed + f9_after_count, old_ + f9_after_count, "F5 symbol, F5 name"}};
    for (const auto& c : cases) {
        write_bytes(tmp_ / "EMASTER", c.stale);
        std::string message;
        ASSERT_EQ(emaster_heal(tmp_.path(), &message), 1) << c.differences;
        EXPECT_EQ(emaster(), c.rebuilt) << c.differences;
        EXPECT_EQ(read_bytes(tmp_ / "EMASTER.BAK"), c.stale) << c.differences;
        EXPECT_NE(message.find("(" + std::string(c.differences) + ")"), std::string::npos) << message;
        EXPECT_EQ(emaster_heal(tmp_.path(), &message), 0) << c.differences;
    }
    // A change of MASTER that meets a stale EMASTER rebuilds it first and then follows the change.
    write_bytes(tmp_ / "EMASTER", renamed);
    std::string note;
    ASSERT_EQ(master_set_names(tmp_ / "MASTER", 3, "NEW3", "NEW NAME", &note), 0);
    std::string expected = old_;
    put_text0(expected, 3 * 192 + 11, "NEW3", 14);
    put_text0(expected, 3 * 192 + 32, "NEW NAME", 16);
    put_text0(expected, 3 * 192 + 139, "NEW NAME", 53);
    EXPECT_EQ(emaster(), expected);
    EXPECT_EQ(read_bytes(tmp_ / "EMASTER.BAK"), renamed);
    EXPECT_NE(note.find("F5 symbol"), std::string::npos) << note;
}

} // namespace
