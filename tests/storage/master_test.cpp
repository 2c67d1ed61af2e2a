// MASTER: the key rule, the lookup through nested portfolios, and the four rewrites byte for byte.
// Every failing step of each rewrite is swept in reliability/fault_sweep_test.cpp; climbing, circular
// and too deep nesting and lying counts are in reliability/hostile_test.cpp.
#include "storage/directory.h"
#include "storage/master.h"

#include "support/builder.h"
#include "support/fault_injection.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

TEST(MasterKey, MatchesTheTrimmedNameOrAsManyWordsOfTheSymbolAsTheKeyHas) {
    // Symbol, name, NUL padding, key, whether it matches. The last: a blank symbol, the ticker in the name.
    // clang-format off
    const std::tuple<const char*, const char*, bool, const char*, bool> cases[] = {
        {"IBM", "INTL BUS MACH", false, "IBM", true}, {"IBM", "INTL BUS MACH", false, "ibm", true},
        {"IBM", "INTL BUS MACH", false, "intl bus mach", true}, {"IBM", "INTL BUS MACH", false, "INTL BUS MACH   ", true},
        {"IBM", "INTL BUS MACH", false, "IBM  ", true}, {"IBM CL A", "X", false, "IBM", true},
        {"IBMX", "X", false, "IBM", false}, {"IBM", "INTL BUS MACH", false, "INTL", false},
        {"IBM", "INTL BUS MACH", false, "", false}, {"ABC CORP PFD", "X", false, "abc corp", true},
        {"ABC CORPX", "X", false, "ABC CORP", false}, {"ABC", "X", false, "ABC CORP", false},
        {"IBM", "INTL BUS MACH", true, "IBM", true}, {"IBM", "INTL BUS MACH", true, "INTL BUS MACH", true},
        {"ABCDEFGHIJKLMNOP", "X", false, "ABCDEFGHIJKLMNOP", true}, {"X", "SIXTEEN CHAR NAM", false, "sixteen char nam", true},
        {"", "MSFT", false, "MSFT", true}};
    // clang-format on
    for (const auto& [symbol, name, nul_padded, key, matches] : cases) {
        SecurityEntry entry = security(1, symbol, name);
        entry.nul_padded = nul_padded;
        EXPECT_EQ(master_key_matches(master_record(entry), key), matches) << symbol << " / " << key;
    }
    std::string name;
    EXPECT_TRUE(master_is_directory_entry(master_directory_entry(9, "LONGNAME12"), &name));
    EXPECT_EQ(name, "LONGNAME");
    EXPECT_FALSE(master_is_directory_entry(master_directory_entry(9, " SUB")));
}

// A MASTER of nested entries first, then the securities, then two unused slots.
void make(const fs::path& dir, std::vector<SecurityEntry> entries, std::vector<std::string> dirs = {}) {
    MasterBuilder builder;
    for (const auto& sub : dirs)
        builder.add_directory(100, sub);
    for (const auto& entry : entries)
        builder.add(entry);
    builder.unused_slots(2).write(dir);
}

TEST(MasterFind, SearchesTheLevelsOwnSecuritiesThenEachNestedPortfolioDepthFirst) {
    TempDir tmp;
    make(tmp.path(), {security(1, "AAA"), security(2, "XYZ"), security(5, "BLANKDIR", " SUB       <DIR>")},
         {"A", "GONE", "EMPTY", "B"});
    make(tmp / "A", {security(1, "XYZ"), security(2, "AONLY")}, {"A1", "A2"});
    make(tmp / "A" / "A1", {security(1, "NOPE")});
    make(tmp / "A" / "a2",
         {security(1, "KEY"), security(7, "IBM", "INTL BUS MACH")}); // entered ignoring case
    fs::create_directories(tmp / "EMPTY");                           // no MASTER: skipped
    make(tmp / "B", {security(1, "KEY"), security(3, "BONLY")});
    MasterRecord record;
    fs::path found;
    const std::pair<const char*, fs::path> cases[] = {
        {"XYZ", tmp.path()}, {"BLANKDIR", tmp.path()}, {"BONLY", tmp / "B"}, {"KEY", tmp / "A" / "a2"}};
    for (const auto& [key, where] : cases) {
        ASSERT_EQ(master_find(tmp.path(), key, record, found), 0) << key;
        EXPECT_EQ(found, where) << key;
    }
    ASSERT_EQ(master_find(tmp.path(), "Intl Bus Mach", record, found), 0);
    EXPECT_EQ(std::pair(record.first_date_ieee(), record.last_date_ieee()), std::pair(991231.0f, 1000103.0f));
    record.dates_to_mbf();
    EXPECT_EQ(record.bytes, master_record(security(7, "IBM", "INTL BUS MACH")).bytes);
    EXPECT_EQ(master_find(tmp.path(), "NOWHERE", record, found), status::kFileNotFound);
    // Only counted records, in a lower-case MASTER; an empty start directory stays empty.
    MasterBuilder().add(security(1, "AAA")).add(security(2, "IBM")).count(1).write(tmp / "C", "master");
    EXPECT_EQ(master_find(tmp / "C", "IBM", record, found), status::kFileNotFound);
    const fs::path before = fs::current_path();
    fs::current_path(tmp / "C");
    EXPECT_TRUE(master_find("", "AAA", record, found) == 0 && found.empty());
    fs::current_path(before);
    FaultInjector faults;
    faults.fail_all(fileops::Op::Read, EIO);
    EXPECT_EQ(master_find(tmp / "C", "AAA", record, found), status::kFileRead);
}

// ---- Rewrites ---------------------------------------------------------------------------------------

class MasterRewrite : public ::testing::Test {
protected:
    // Six securities out of order with a serial number in the header, two unused slots and a cut-off
    // record, beside EMASTER and the securities' files.
    void SetUp() override {
        builder_.header_marks();
        for (int number : {2, 1, 6, 5, 3, 4})
            builder_.add(security(number, "SYM" + std::to_string(number)));
        builder_.unused_slots(2).trailing("\x01\x02\x03").write(tmp_.path());
        write_bytes(tmp_ / "EMASTER", "emaster bytes");
        for (int number = 1; number <= 6; ++number)
            for (std::string ext : {".DAT", ".DOP", ".BAK"})
                write_bytes(tmp_ / ("F" + std::to_string(number) + ext), "series");
        old_ = master();
    }
    void TearDown() override {
        for (std::string name : {"MASTER.NEW", "MASTER.~NU", "master.new", "master.~nu"})
            EXPECT_FALSE(fs::exists(tmp_ / name)) << name;
        EXPECT_EQ(read_bytes(tmp_ / "EMASTER"), "emaster bytes");
    }
    std::string master() const { return read_bytes(tmp_ / "MASTER"); }
    TempDir tmp_;
    MasterBuilder builder_;
    std::string old_;
};

TEST_F(MasterRewrite, SetNamesAndDatesChangeOnlyTheirBytesAndKeepABackup) {
    ASSERT_EQ(master_set_names(tmp_ / "MASTER", 5, "ABCDEFGHIJKLMNOPQRST", "new name"), 0);
    std::string expected = old_;
    put_text16(expected, slot_offset(4) + 36, "ABCDEFGHIJKLMNOP"); // file number 5 is the fourth record
    put_text16(expected, slot_offset(4) + 7, "new name");
    EXPECT_EQ(master(), expected);
    EXPECT_EQ(read_bytes(tmp_ / "MASTER.BAK"), old_);
    const std::uint8_t date[4] = {0x11, 0x22, 0x33, 0x94};
    for (int which : {1, 0}) {
        ASSERT_EQ(master_set_date(tmp_ / "MASTER", 3, date, which), 0);
        expected.replace(slot_offset(5) + (which ? 29 : 25), 4, reinterpret_cast<const char*>(date), 4);
        EXPECT_EQ(master(), expected);
    }
    const std::string backup = read_bytes(tmp_ / "MASTER.BAK"); // the same date again writes nothing
    ASSERT_EQ(master_set_date(tmp_ / "MASTER", 3, date, 0), 0);
    EXPECT_EQ(read_bytes(tmp_ / "MASTER.BAK"), backup);
}

// Which number an added record takes, and where it goes, is compared byte for byte through a copy in
// editing/transfer_test.cpp.
TEST_F(MasterRewrite, AppendFillsThePortfolioUpTo255AndThenRefuses) {
    int number = 0;
    MasterBuilder full;
    for (int n = 1; n <= 254; ++n)
        full.add(security(n, "S"));
    full.second_counter(255).write(tmp_.path()); // real files keep their highest file number there
    ASSERT_EQ(master_append(tmp_.path(), master_record(security(1, "LAST")), number), 0);
    EXPECT_EQ(std::tuple(number, image_count(master().substr(2))),
              std::tuple(255, 256)); // the second counter
    const std::string at_limit = master();
    EXPECT_EQ(master_append(tmp_.path(), master_record(security(1, "MORE")), number), 2);
    EXPECT_EQ(std::pair(number, master()), std::pair(0, at_limit));
}

TEST_F(MasterRewrite, RemoveKeepsTheOrderAndDeletesOnlyTheSecuritysFiles) {
    fs::rename(tmp_ / "F5.DOP", tmp_ / "f5.dop"); // lower case, still the security's file
    write_bytes(tmp_ / "F5.NEW", "not ours");
    ASSERT_EQ(master_remove(tmp_.path(), 5, true), 0);
    std::string expected = old_;
    expected.erase(slot_offset(4), kMasterRecordSize);
    set_image_counters(expected, 5, 5);
    EXPECT_EQ(master(), expected);
    for (std::string name : {"F5.DAT", "f5.dop", "F5.BAK", "F5.NEW", "F4.DAT"})
        EXPECT_EQ(fs::exists(tmp_ / name), name == "F5.NEW" || name == "F4.DAT") << name;
    // A lower-case portfolio keeps its case, whatever case the caller names MASTER in.
    // (Through another name: Wine takes a rename to the same name in another case for no change.)
    fs::rename(tmp_ / "MASTER", tmp_ / "M.TMP");
    fs::rename(tmp_ / "M.TMP", tmp_ / "master");
    ASSERT_EQ(master_set_names(tmp_ / "MASTER", 1, "NEW", "NEW"), 0);
    EXPECT_EQ(read_bytes(tmp_ / "master.bak"), expected);
    int number = 0;
    ASSERT_EQ(master_append(tmp_.path(), master_record(security(1, "ADD")), number), 0);
    EXPECT_EQ(master_remove(tmp_.path(), number, false), 0);
    EXPECT_TRUE(has_entry(tmp_.path(), "master") && !has_entry(tmp_.path(), "MASTER"));
    fs::rename(tmp_ / "master", tmp_ / "M.TMP");
    fs::rename(tmp_ / "M.TMP", tmp_ / "MASTER");
}

TEST_F(MasterRewrite, RefusalsAndDamagedFilesChangeNothing) {
    builder_.add_directory(9, "SUB").count(7).second_counter(7).write(tmp_.path());
    const auto before = snapshot(tmp_.path());
    const std::uint8_t date[4] = {0, 0, 0, 0x81};
    for (int number : {9, 77, 0, 300}) { // a nested entry, numbers no record carries
        EXPECT_EQ(master_set_names(tmp_ / "MASTER", number, "X", "Y"), 1) << number;
        EXPECT_EQ(master_set_date(tmp_ / "MASTER", number, date, 1), 1) << number;
        EXPECT_EQ(master_remove(tmp_.path(), number, true), 1) << number;
    }
    EXPECT_EQ(master_set_names(tmp_ / "NOWHERE" / "MASTER", 1, "X", "Y"), 1);
    EXPECT_EQ(snapshot(tmp_.path()), before);
    // A cut-off header and bytes of no meaning; counts that lie are in reliability/hostile_test.cpp.
    for (const auto& bytes : {old_.substr(0, 40), std::string(159, '\xFF')}) {
        write_bytes(tmp_ / "MASTER", bytes);
        int number = 0;
        EXPECT_NE(master_append(tmp_.path(), master_record(security(1, "A")), number), 0);
        EXPECT_EQ(master_remove(tmp_.path(), 1, true) + master_set_names(tmp_ / "MASTER", 1, "X", "Y") +
                      master_set_date(tmp_ / "MASTER", 1, date, 1),
                  3);
        EXPECT_EQ(master(), bytes);
    }
    write_bytes(tmp_ / "MASTER", old_);
    FaultInjector injector; // the backup is made; the new MASTER cannot be put in place
    injector.fail_nth(fileops::Op::Rename, 2, EIO);
    EXPECT_EQ(master_set_names(tmp_ / "MASTER", 1, "X", "Y"), 1);
    EXPECT_EQ(master(), old_);
}

} // namespace
