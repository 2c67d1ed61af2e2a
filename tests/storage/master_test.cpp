// MASTER: the key rule, the lookup through nested portfolios, and the four rewrites byte for byte.
// Every failing step of each rewrite is swept in reliability/fault_sweep_test.cpp; climbing, circular
// and too deep nesting and lying counts are in reliability/hostile_test.cpp.
#include "storage/master.h"

#include "storage/encoding.h"
#include "support/builder.h"
#include "support/fault_injection.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

TEST(MasterKey, MatchesTheTrimmedNameOrAsManyWordsOfTheSymbolAsTheKeyHas) {
    const std::tuple<const char*, const char*, bool, const char*, bool> cases[] = {
        {"IBM", "INTL BUS MACH", false, "IBM", true},
        {"IBM", "INTL BUS MACH", false, "ibm", true},
        {"IBM", "INTL BUS MACH", false, "intl bus mach", true},
        {"IBM", "INTL BUS MACH", false, "INTL BUS MACH   ", true},
        {"IBM", "INTL BUS MACH", false, "IBM  ", true},
        {"IBM CL A", "X", false, "IBM", true},
        {"IBMX", "X", false, "IBM", false},
        {"IBM", "INTL BUS MACH", false, "INTL", false},
        {"IBM", "INTL BUS MACH", false, "", false},
        {"ABC CORP PFD", "X", false, "abc corp", true},
        {"ABC CORPX", "X", false, "ABC CORP", false},
        {"ABC", "X", false, "ABC CORP", false},
        {"IBM", "INTL BUS MACH", true, "IBM", true},
        {"IBM", "INTL BUS MACH", true, "INTL BUS MACH", true},
        {"ABCDEFGHIJKLMNOP", "X", false, "ABCDEFGHIJKLMNOP", true},
        {"X", "SIXTEEN CHAR NAM", false, "sixteen char nam", true},
        {"", "MSFT", false, "MSFT", true}};
    for (const auto& [symbol, name, nul_padded, key, matches] : cases) { // the last: the ticker in the name
        SecurityEntry entry = security(1, symbol, name);
        entry.nul_padded = nul_padded;
        EXPECT_EQ(master_key_matches(master_record(entry), key), matches) << symbol << " / " << key;
    }
    std::string name;
    EXPECT_TRUE(master_is_directory_entry(master_directory_entry(9, "LONGNAME12"), &name));
    EXPECT_EQ(name, "LONGNAME");
    EXPECT_FALSE(master_is_directory_entry(master_directory_entry(9, " SUB")));
}

// ---- Lookup -----------------------------------------------------------------------------------------

class MasterFind : public ::testing::Test {
protected:
    StatusCode find(const fs::path& dir, const std::string& key) {
        found_.clear();
        return master_find(dir, key, record_, found_);
    }
    // Nested entries first, then the securities, then two unused slots.
    static void make(const fs::path& dir, std::vector<SecurityEntry> entries,
                     std::vector<std::string> dirs = {}) {
        MasterBuilder builder;
        int number = 100;
        for (const auto& sub : dirs)
            builder.add_directory(number++, sub);
        for (const auto& entry : entries)
            builder.add(entry);
        builder.unused_slots(2).write(dir);
    }
    TempDir tmp_;
    MasterRecord record_;
    fs::path found_;
};

TEST_F(MasterFind, FindsBySymbolOrNameWithDatesAsIeeeAndOnlyCountedRecords) {
    make(tmp_.path(), {security(3, "AAA"), security(7, "IBM", "INTL BUS MACH")});
    ASSERT_EQ(find(tmp_.path(), "Intl Bus Mach"), 0);
    EXPECT_EQ(record_.first_date_ieee(), 991231.0f);
    EXPECT_EQ(record_.last_date_ieee(), 1000103.0f);
    EXPECT_EQ(found_, tmp_.path());
    record_.dates_to_mbf();
    EXPECT_EQ(record_.bytes, master_record(security(7, "IBM", "INTL BUS MACH")).bytes);
    MasterBuilder().add(security(1, "AAA")).add(security(2, "IBM")).count(1).write(tmp_.path(), "master");
    fs::remove(tmp_ / "MASTER");
    EXPECT_EQ(find(tmp_.path(), "IBM"), status::kFileNotFound); // not counted
    ASSERT_EQ(find(tmp_.path(), "AAA"), 0);                     // a lower-case master
    const fs::path before = fs::current_path();
    fs::current_path(tmp_.path());
    EXPECT_EQ(find("", "AAA"), 0); // an empty start directory stays empty
    fs::current_path(before);
    EXPECT_TRUE(found_.empty());
    fs::remove(tmp_ / "master");
    EXPECT_EQ(find(tmp_.path(), "IBM"), status::kFileNotFound);
    MasterBuilder().write(tmp_.path());
    EXPECT_EQ(find(tmp_.path(), "IBM"), status::kFileNotFound);
    FaultInjector faults;
    faults.fail_all(fileops::Op::Read, EIO);
    EXPECT_EQ(find(tmp_.path(), "IBM"), status::kFileRead);
}

TEST_F(MasterFind, NestedPortfoliosAreSearchedDepthFirstAfterTheLevelsOwnSecurities) {
    make(tmp_.path(), {security(1, "AAA"), security(2, "XYZ"), security(5, "BLANKDIR", " SUB       <DIR>")},
         {"A", "GONE", "EMPTY", "B"});
    make(tmp_ / "A", {security(1, "XYZ"), security(2, "AONLY")}, {"A1", "A2"});
    make(tmp_ / "A" / "A1", {security(1, "NOPE")});
    make(tmp_ / "A" / "a2", {security(1, "KEY"), security(2, "SHARED")}); // entered ignoring case
    fs::create_directories(tmp_ / "EMPTY");                               // no MASTER: skipped
    make(tmp_ / "B", {security(1, "KEY"), security(3, "BONLY")});
    const std::pair<const char*, fs::path> cases[] = {
        {"XYZ", tmp_.path()}, {"BLANKDIR", tmp_.path()}, {"KEY", tmp_ / "A" / "a2"}, {"BONLY", tmp_ / "B"}};
    for (const auto& [key, where] : cases) {
        ASSERT_EQ(find(tmp_.path(), key), 0) << key;
        EXPECT_EQ(found_, where) << key;
    }
    EXPECT_EQ(record_.file_number(), 3);
    EXPECT_EQ(find(tmp_.path(), "NOWHERE"), status::kFileNotFound);
}

TEST_F(MasterFind, DamagedFilesGiveAStatus) {
    const std::string good = MasterBuilder().add(security(1, "IBM")).add(security(2, "XYZ")).bytes();
    std::string negative = good, over = good;
    set_image_counters(negative, -2, -2);
    set_image_counters(over, 30000, 30000);
    for (const auto& bytes :
         {std::string(), good.substr(0, 52), std::string(53 * 4, '\xFF'), good.substr(0, 126), negative}) {
        write_bytes(tmp_ / "MASTER", bytes);
        EXPECT_EQ(find(tmp_.path(), "XYZ"), status::kFileNotFound) << bytes.size();
    }
    write_bytes(tmp_ / "MASTER", over); // a count above the records present reads those that are there
    EXPECT_EQ(find(tmp_.path(), "XYZ"), 0);
}

// ---- Rewrites ---------------------------------------------------------------------------------------

class MasterRewrite : public ::testing::Test {
protected:
    // Six securities out of order with a serial number in the header, two unused slots and a cut-off
    // record, beside EMASTER, XMASTER and the securities' files.
    static MasterBuilder standard() {
        MasterBuilder builder;
        builder.header_marks();
        for (int number : {2, 1, 6, 5, 3, 4})
            builder.add(security(number, "SYM" + std::to_string(number)));
        return builder.unused_slots(2).trailing("\x01\x02\x03");
    }
    void write(const MasterBuilder& builder, const std::string& master = "MASTER") {
        builder.write(tmp_.path(), master);
        write_bytes(tmp_ / "EMASTER", "emaster bytes");
        for (int number = 1; number <= 6; ++number) {
            for (std::string ext : {".DAT", ".DOP", ".BAK"})
                write_bytes(tmp_ / ("F" + std::to_string(number) + ext), "series");
        }
    }
    std::string master() const { return read_bytes(tmp_ / "MASTER"); }
    void expect_no_leftovers() const {
        for (std::string name : {"MASTER.NEW", "MASTER.~NU", "master.new", "master.~nu"})
            EXPECT_FALSE(fs::exists(tmp_ / name)) << name;
        EXPECT_EQ(read_bytes(tmp_ / "EMASTER"), "emaster bytes");
    }
    TempDir tmp_;
};

TEST_F(MasterRewrite, SetNamesAndDatesChangeOnlyTheirBytesAndKeepABackup) {
    write(standard());
    const std::string old = master();
    ASSERT_EQ(master_set_names(tmp_ / "MASTER", 5, "ABCDEFGHIJKLMNOPQRST", "new name"), 0);
    std::string expected = old;
    put_text16(expected, slot_offset(4) + 36, "ABCDEFGHIJKLMNOP"); // file number 5 is the fourth record
    put_text16(expected, slot_offset(4) + 7, "new name");
    EXPECT_EQ(master(), expected);
    EXPECT_EQ(read_bytes(tmp_ / "MASTER.BAK"), old);
    const std::uint8_t date[4] = {0x11, 0x22, 0x33, 0x94};
    for (int which : {1, 0}) {
        ASSERT_EQ(master_set_date(tmp_ / "MASTER", 3, date, which), 0);
        expected.replace(slot_offset(5) + (which ? 29 : 25), 4, reinterpret_cast<const char*>(date), 4);
        EXPECT_EQ(master(), expected);
    }
    // The same date again writes nothing: the backup of the last change stays.
    const std::string backup = read_bytes(tmp_ / "MASTER.BAK");
    ASSERT_EQ(master_set_date(tmp_ / "MASTER", 3, date, 0), 0);
    EXPECT_EQ(read_bytes(tmp_ / "MASTER.BAK"), backup);
    expect_no_leftovers();
}

TEST_F(MasterRewrite, AppendTakesTheLowestFreeNumberBeforeTheUnusedSlots) {
    MasterBuilder builder;
    builder.header_marks();
    for (int number : {1, 4, 2})
        builder.add(security(number, "S" + std::to_string(number)));
    builder.second_counter(300).unused_slots(3).trailing("xy");
    write(builder);
    MasterRecord added = master_record(security(77, "NEW"));
    int number = 0;
    ASSERT_EQ(master_append(tmp_.path(), added, number), 0);
    EXPECT_EQ(number, 3);
    added.bytes[0] = 3;
    std::string header = builder.header_bytes();
    set_image_counters(header, 4, 301);
    EXPECT_EQ(master(), header + builder.record_bytes() + record_as_string(added) + builder.tail_bytes());
    expect_no_leftovers();
}

TEST_F(MasterRewrite, AppendRefusesAFullPortfolioButNotASecondCounterOf255) {
    MasterBuilder full;
    for (int number = 1; number <= 254; ++number)
        full.add(security(number, "S"));
    write(full.unused_slots(1));
    int number = 0;
    ASSERT_EQ(master_append(tmp_.path(), master_record(security(1, "LAST")), number), 0);
    EXPECT_EQ(number, 255);
    const std::string at_limit = master();
    EXPECT_EQ(master_append(tmp_.path(), master_record(security(1, "MORE")), number), 2);
    EXPECT_EQ(number, 0);
    EXPECT_EQ(master(), at_limit);
    // Real files keep their highest file number in the second counter; it still moves with the count.
    MasterBuilder().add(security(1, "A")).second_counter(255).write(tmp_.path());
    ASSERT_EQ(master_append(tmp_.path(), master_record(security(1, "B")), number), 0);
    EXPECT_EQ(number, 2);
    EXPECT_EQ(image_second_counter(master()), 256);
}

TEST_F(MasterRewrite, RemoveKeepsTheOrderAndDeletesOnlyTheSecuritysFiles) {
    MasterBuilder builder = standard();
    write(builder);
    fs::rename(tmp_ / "F5.DOP", tmp_ / "f5.dop"); // lower case, still the security's file
    write_bytes(tmp_ / "F5.NEW", "not ours");
    ASSERT_EQ(master_remove(tmp_.path(), 5, true), 0);
    std::string header = builder.header_bytes(), records = builder.record_bytes();
    set_image_counters(header, 5, 5);
    records.erase(slot_offset(3), kMasterRecordSize);
    EXPECT_EQ(master(), header + records + builder.tail_bytes());
    for (std::string name : {"F5.DAT", "f5.dop", "F5.BAK"})
        EXPECT_FALSE(fs::exists(tmp_ / name)) << name;
    for (std::string name : {"F5.NEW", "F4.DAT", "F6.DOP"})
        EXPECT_TRUE(fs::exists(tmp_ / name)) << name;
    ASSERT_EQ(master_remove(tmp_.path(), 2, false), 0);
    EXPECT_TRUE(fs::exists(tmp_ / "F2.DAT"));
    EXPECT_EQ(image_slot(master(), 1)[0], 1);
    expect_no_leftovers();
}

TEST_F(MasterRewrite, ALowerCasePortfolioKeepsItsCase) {
    write(standard(), "master");
    const std::string old = read_bytes(tmp_ / "master");
    ASSERT_EQ(master_set_names(tmp_ / "MASTER", 1, "NEW", "NEW"), 0); // named in upper case by the caller
    EXPECT_EQ(read_bytes(tmp_ / "master.bak"), old);
    int number = 0;
    ASSERT_EQ(master_append(tmp_.path(), master_record(security(1, "ADD")), number), 0);
    EXPECT_EQ(image_count(read_bytes(tmp_ / "master")), 7);
    EXPECT_EQ(master_remove(tmp_.path(), 7, false), 0);
    EXPECT_FALSE(fs::exists(tmp_ / "MASTER"));
    expect_no_leftovers();
}

TEST_F(MasterRewrite, RefusalsAndDamagedFilesChangeNothing) {
    MasterBuilder builder = standard();
    builder.add_directory(9, "SUB").count(7).second_counter(7);
    write(builder);
    const auto before = snapshot(tmp_.path());
    const std::uint8_t date[4] = {0, 0, 0, 0x81};
    for (int number : {9, 77, 0, 300}) { // a nested entry, numbers no record carries
        EXPECT_EQ(master_set_names(tmp_ / "MASTER", number, "X", "Y"), 1) << number;
        EXPECT_EQ(master_set_date(tmp_ / "MASTER", number, date, 1), 1) << number;
        EXPECT_EQ(master_remove(tmp_.path(), number, true), 1) << number;
    }
    EXPECT_EQ(master_set_names(tmp_ / "NOWHERE" / "MASTER", 1, "X", "Y"), 1);
    EXPECT_EQ(snapshot(tmp_.path()), before);
    const std::string good = standard().bytes();
    std::string over = good, negative = good;
    set_image_counters(over, 9, 9);
    set_image_counters(negative, -3, -3);
    for (const auto& bytes : {good.substr(0, 40), std::string(53 * 3, '\xFF'), over, negative}) {
        write_bytes(tmp_ / "MASTER", bytes);
        int number = 0;
        EXPECT_NE(master_append(tmp_.path(), master_record(security(1, "A")), number), 0);
        EXPECT_EQ(master_remove(tmp_.path(), 1, true), 1);
        EXPECT_EQ(master_set_names(tmp_ / "MASTER", 1, "X", "Y"), 1);
        EXPECT_EQ(master_set_date(tmp_ / "MASTER", 1, date, 1), 1);
        EXPECT_EQ(master(), bytes);
    }
}

} // namespace
