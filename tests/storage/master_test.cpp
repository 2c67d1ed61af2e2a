#include "storage/master.h"

#include "storage/encoding.h"
#include "support/fault_injection.h"
#include "support/portfolio_builder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

MasterRecord record_with(const std::string& symbol, const std::string& name, bool nul_padded = false) {
    SecurityEntry entry = security(1, symbol, name);
    entry.nul_padded = nul_padded;
    return master_record(entry);
}

// A portfolio with only the given securities (and no files besides MASTER).
fs::path portfolio(const fs::path& dir, const std::vector<SecurityEntry>& entries,
                   const std::string& file = "MASTER") {
    fs::create_directories(dir);
    MasterBuilder builder;
    for (const auto& entry : entries)
        builder.add(entry);
    return builder.write(dir, file);
}

std::string symbol_field(const std::string& text) {
    std::string field = text.substr(0, 16);
    field.resize(16, ' ');
    return field;
}

} // namespace

// ---- Key matching and directory entries ---------------------------------------------------------

TEST(MasterKey, OneWordKeyMatchesFirstWordOfSymbolOrTrimmedName) {
    EXPECT_TRUE(master_key_matches(record_with("IBM", "INTL BUS MACH"), "IBM"));
    EXPECT_TRUE(master_key_matches(record_with("IBM", "INTL BUS MACH"), "ibm"));
    EXPECT_TRUE(master_key_matches(record_with("IBM", "INTL BUS MACH"), "intl bus mach"));
    EXPECT_TRUE(master_key_matches(record_with("IBM", "INTL BUS MACH"), "INTL BUS MACH   ")); // padding
    EXPECT_TRUE(master_key_matches(record_with("IBM", "INTL BUS MACH"), "IBM  "));
    EXPECT_TRUE(master_key_matches(record_with("IBM CL A", "X"), "IBM"));
    EXPECT_FALSE(master_key_matches(record_with("IBMX", "X"), "IBM"));
    EXPECT_FALSE(master_key_matches(record_with("IBM", "INTL BUS MACH"), "INTL"));
    EXPECT_FALSE(master_key_matches(record_with("IBM", "INTL BUS MACH"), ""));
}

TEST(MasterKey, KeyOfTwoWordsComparesTwoWordsOfSymbol) {
    EXPECT_TRUE(master_key_matches(record_with("ABC CORP", "X"), "ABC CORP"));
    EXPECT_TRUE(master_key_matches(record_with("ABC CORP PFD", "X"), "abc corp"));
    EXPECT_TRUE(master_key_matches(record_with("ABC CORP", "X"), "ABC"));
    EXPECT_FALSE(master_key_matches(record_with("ABC CORPX", "X"), "ABC CORP"));
    EXPECT_FALSE(master_key_matches(record_with("ABC", "X"), "ABC CORP"));
}

TEST(MasterKey, NulPaddedAndFullWidthTextsMatch) {
    EXPECT_TRUE(master_key_matches(record_with("IBM", "INTL BUS MACH", true), "IBM"));
    EXPECT_TRUE(master_key_matches(record_with("IBM", "INTL BUS MACH", true), "INTL BUS MACH"));
    EXPECT_TRUE(master_key_matches(record_with("ABCDEFGHIJKLMNOP", "X"), "ABCDEFGHIJKLMNOP"));
    EXPECT_TRUE(master_key_matches(record_with("X", "SIXTEEN CHAR NAM"), "sixteen char nam"));
    // Blank symbol with the ticker in the name field.
    EXPECT_TRUE(master_key_matches(record_with("", "MSFT"), "MSFT"));
}

TEST(MasterKey, DirectoryEntryNeedsMarkAndNonBlankFirstNameByte) {
    std::string name;
    EXPECT_TRUE(master_is_directory_entry(master_directory_entry(9, "SUB"), &name));
    EXPECT_EQ(name, "SUB");
    EXPECT_TRUE(master_is_directory_entry(master_directory_entry(9, "LONGNAME12"), &name));
    EXPECT_EQ(name, "LONGNAME");
    EXPECT_FALSE(master_is_directory_entry(master_directory_entry(9, " SUB")));
    EXPECT_FALSE(master_is_directory_entry(record_with("IBM", "INTL BUS MACH")));
}

TEST(MasterRecordFields, NewRecordsHoldTheLayoutByteForByte) {
    MasterRecord made;
    made.set_file_number(7);
    made.set_record_length(24);
    made.set_field_count(6);
    made.set_periodicity('W');
    made.set_name("ACME INDUSTRIES");
    made.set_symbol("ACME");
    made.set_stored_dates(date_pack(99, 1, 4), date_pack(121, 12, 31));
    SecurityEntry entry = security(7, "ACME", "ACME INDUSTRIES");
    entry.fields = 6;
    entry.periodicity = 'W';
    entry.first_date = 990104.0f;
    entry.last_date = 1211231.0f;
    entry.mark_uninterpreted = false;
    EXPECT_EQ(made.bytes, master_record(entry).bytes);
    EXPECT_EQ(made.stored_first_date(), date_pack(99, 1, 4));
    EXPECT_EQ(made.stored_last_date(), date_pack(121, 12, 31));

    const MasterRecord sub = master_directory_entry("SUB");
    std::string dir_name;
    EXPECT_TRUE(master_is_directory_entry(sub, &dir_name));
    EXPECT_EQ(dir_name, "SUB");
    EXPECT_EQ(sub.name_bytes(), std::string("SUB        <DIR>"));
    EXPECT_EQ(sub.symbol_bytes(), std::string(16, ' '));
    EXPECT_FALSE(master_record_damaged(sub));
    master_put_name_as_symbol(made);
    EXPECT_EQ(master_symbol_text(made), "ACME");
    EXPECT_EQ(made.symbol_bytes(), std::string("ACME INDUSTRIES ", 16));
}

// ---- Lookup -------------------------------------------------------------------------------------

class MasterFindTest : public ::testing::Test {
protected:
    StatusCode find(const fs::path& dir, const std::string& key) {
        found_dir_.clear();
        return master_find(dir, key, record_, found_dir_);
    }
    // Builds dir with the given securities and directory entries (securities first unless mixed).
    void make(const fs::path& dir, std::vector<SecurityEntry> entries, std::vector<std::string> dirs = {}) {
        fs::create_directories(dir);
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
    fs::path found_dir_;
};

TEST_F(MasterFindTest, FindsBySymbolAndNameWithDatesAsIeee) {
    make(tmp_.path(), {security(3, "AAA"), security(7, "IBM", "INTL BUS MACH")});
    ASSERT_EQ(find(tmp_.path(), "IBM"), 0);
    EXPECT_EQ(record_.file_number(), 7);
    EXPECT_EQ(record_.first_date_ieee(), 991231.0f);
    EXPECT_EQ(record_.last_date_ieee(), 1000103.0f);
    EXPECT_EQ(record_.symbol_bytes(), symbol_field("IBM"));
    EXPECT_EQ(found_dir_, tmp_.path());
    ASSERT_EQ(find(tmp_.path(), "Intl Bus Mach"), 0);
    EXPECT_EQ(record_.file_number(), 7);
    MasterRecord back = record_;
    back.dates_to_mbf();
    EXPECT_EQ(back.bytes, master_record(security(7, "IBM", "INTL BUS MACH")).bytes);
}

TEST_F(MasterFindTest, LowerCaseMasterAndEmptyStartDirectory) {
    portfolio(tmp_.path(), {security(1, "IBM")}, "master");
    ASSERT_EQ(find(tmp_.path(), "IBM"), 0);
    fs::path before = fs::current_path();
    fs::current_path(tmp_.path());
    StatusCode status = find("", "IBM");
    fs::current_path(before);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(found_dir_.empty());
}

TEST_F(MasterFindTest, MissingOrEmptyPortfolioIsNotFound) {
    EXPECT_EQ(find(tmp_.path(), "IBM"), status::kFileNotFound);
    MasterBuilder().write(tmp_.path());
    EXPECT_EQ(find(tmp_.path(), "IBM"), status::kFileNotFound);
}

TEST_F(MasterFindTest, OnlyCountedRecordsAreRead) {
    MasterBuilder builder;
    builder.add(security(1, "AAA")).add(security(2, "IBM")).count(1).second_counter(1);
    builder.write(tmp_.path());
    EXPECT_EQ(find(tmp_.path(), "IBM"), status::kFileNotFound);
}

TEST_F(MasterFindTest, NestedPortfolioIsSearchedAfterParentSecurities) {
    make(tmp_.path(), {security(1, "AAA"), security(2, "XYZ")}, {"SUB"});
    make(tmp_ / "SUB", {security(1, "XYZ"), security(2, "DEEP")});
    ASSERT_EQ(find(tmp_.path(), "XYZ"), 0);
    EXPECT_EQ(found_dir_, tmp_.path());
    ASSERT_EQ(find(tmp_.path(), "DEEP"), 0);
    EXPECT_EQ(found_dir_, tmp_ / "SUB");
    EXPECT_EQ(record_.file_number(), 2);
}

TEST_F(MasterFindTest, DeeperLevelExhaustedContinuesWithNextEntryOfEachLevel) {
    make(tmp_.path(), {}, {"A", "B"});
    make(tmp_ / "A", {security(1, "AONLY")}, {"A1", "A2"});
    make(tmp_ / "A" / "A1", {security(1, "NOPE")});
    make(tmp_ / "A" / "A2", {security(1, "KEY"), security(2, "SHARED")});
    make(tmp_ / "B", {security(1, "KEY"), security(2, "BONLY")});
    ASSERT_EQ(find(tmp_.path(), "KEY"), 0);
    EXPECT_EQ(found_dir_, tmp_ / "A" / "A2");
    ASSERT_EQ(find(tmp_.path(), "BONLY"), 0);
    EXPECT_EQ(found_dir_, tmp_ / "B");
    EXPECT_EQ(find(tmp_.path(), "NOWHERE"), status::kFileNotFound);
}

TEST_F(MasterFindTest, NestedDirectoryMatchedIgnoringCaseAndMissingMasterSkipped) {
    make(tmp_.path(), {}, {"GONE", "EMPTY", "SUB"});
    fs::create_directories(tmp_ / "empty");
    make(tmp_ / "sub", {security(4, "LOW")});
    ASSERT_EQ(find(tmp_.path(), "LOW"), 0);
    EXPECT_EQ(found_dir_, tmp_ / "sub");
}

TEST_F(MasterFindTest, HostileDirectoryNamesAreNotFollowed) {
    // Each of these exists on this host but must not be entered.
    for (const std::string name : {"C:", "A\\B"})
        make(tmp_ / name, {security(1, "BAIT")});
    make(tmp_.path(), {}, {"C:", "A\\B", ".", ".."});
    EXPECT_EQ(find(tmp_.path(), "BAIT"), status::kFileNotFound);
    // A subdirectory pointing back up: ".." inside it, and a link to its parent.
    make(tmp_ / "SUB", {}, {"..", "UP"});
    fs::create_directory_symlink(tmp_.path(), tmp_ / "SUB" / "UP");
    MasterBuilder().add_directory(1, "SUB").add_directory(2, "SUB").write(tmp_.path());
    EXPECT_EQ(find(tmp_.path(), "BAIT"), status::kFileNotFound);
}

TEST_F(MasterFindTest, NestingIsBoundedAndReportedPastTheBound) {
    fs::path dir = tmp_.path();
    for (int depth = 0; depth < kMaxNesting; ++depth) {
        make(dir, {}, {"N"});
        dir /= "N";
    }
    make(dir, {security(1, "BOTTOM")});
    ASSERT_EQ(find(tmp_.path(), "BOTTOM"), 0);
    EXPECT_EQ(found_dir_, dir);
    make(dir, {}, {"N"});
    make(dir / "N", {security(1, "BELOW")});
    EXPECT_EQ(find(tmp_.path(), "BELOW"), status::kNestingTooDeep);
}

TEST_F(MasterFindTest, EntryWithBlankFirstByteIsASecurity) {
    SecurityEntry entry = security(5, "BLANKDIR", " SUB       <DIR>");
    make(tmp_.path(), {entry});
    make(tmp_ / "SUB", {security(1, "BLANKDIR")});
    ASSERT_EQ(find(tmp_.path(), "BLANKDIR"), 0);
    EXPECT_EQ(record_.file_number(), 5);
    EXPECT_EQ(found_dir_, tmp_.path());
}

TEST_F(MasterFindTest, DamagedFilesGiveStatusWithoutCrash) {
    std::string good = MasterBuilder().add(security(1, "IBM")).add(security(2, "XYZ")).bytes();
    std::vector<std::string> damaged = {
        "", good.substr(0, 52), std::string(53 * 4, '\xFF'),
        good.substr(0, 53 + 53 + 20), // second record cut off
    };
    std::string negative = good;
    set_image_counters(negative, -2, -2);
    damaged.push_back(negative);
    for (const auto& bytes : damaged) {
        write_bytes(tmp_ / "MASTER", bytes);
        EXPECT_EQ(find(tmp_.path(), "XYZ"), status::kFileNotFound) << bytes.size();
    }
    // A count above the records present reads the records that are there.
    std::string over = good;
    set_image_counters(over, 30000, 30000);
    write_bytes(tmp_ / "MASTER", over);
    EXPECT_EQ(find(tmp_.path(), "XYZ"), 0);
}

TEST_F(MasterFindTest, ReadErrorIsReported) {
    make(tmp_.path(), {security(1, "IBM")});
    FaultInjector faults;
    faults.fail_all(fileops::Op::Read, EIO);
    EXPECT_EQ(find(tmp_.path(), "IBM"), status::kFileRead);
}

// ---- Rewrites -----------------------------------------------------------------------------------

class MasterRewriteTest : public ::testing::Test {
protected:
    // Six securities out of order with a serial number in the header, two unused slots and a cut-off
    // record, beside EMASTER, XMASTER and series files.
    MasterBuilder standard() {
        MasterBuilder builder;
        builder.header_marks();
        for (int number : {2, 1, 6, 5, 3, 4})
            builder.add(security(number, "SYM" + std::to_string(number)));
        builder.unused_slots(2).trailing("\x01\x02\x03");
        return builder;
    }
    void write_portfolio(const MasterBuilder& builder, const std::string& master = "MASTER") {
        builder.write(tmp_.path(), master);
        write_bytes(tmp_ / "EMASTER", "emaster bytes");
        write_bytes(tmp_ / "XMASTER", "xmaster bytes");
        for (int number = 1; number <= 6; ++number) {
            for (std::string ext : {".DAT", ".DOP", ".BAK"})
                write_bytes(tmp_ / ("F" + std::to_string(number) + ext), "series " + std::to_string(number));
        }
    }
    std::string master() const { return read_bytes(tmp_ / "MASTER"); }
    bool leftovers() const {
        for (std::string name : {"MASTER.NEW", "MASTER.~NU", "master.new", "master.~nu"}) {
            if (fs::exists(tmp_ / name))
                return true;
        }
        return false;
    }

    TempDir tmp_;
};

TEST_F(MasterRewriteTest, SetNamesChangesOnlyTheFieldsAndKeepsBackup) {
    MasterBuilder builder = standard();
    write_portfolio(builder);
    std::string old = master();
    ASSERT_EQ(master_set_names(tmp_ / "MASTER", 5, "ABCDEFGHIJKLMNOPQRST", "new name"), 0);
    std::string expected = old;
    std::size_t slot = 4 * 53; // file number 5 is the fourth record
    expected.replace(slot + 36, 16, "ABCDEFGHIJKLMNOP");
    expected.replace(slot + 7, 16, symbol_field("new name"));
    EXPECT_EQ(master(), expected);
    EXPECT_EQ(read_bytes(tmp_ / "MASTER.BAK"), old);
    EXPECT_FALSE(leftovers());
    EXPECT_EQ(read_bytes(tmp_ / "EMASTER"), "emaster bytes");
}

TEST_F(MasterRewriteTest, SetDateWritesLastOrFirstDate) {
    write_portfolio(standard());
    std::string old = master();
    const std::uint8_t date[4] = {0x11, 0x22, 0x33, 0x94};
    ASSERT_EQ(master_set_date(tmp_ / "MASTER", 3, date, 1), 0);
    std::string expected = old;
    std::size_t slot = 5 * 53;
    expected.replace(slot + 29, 4, reinterpret_cast<const char*>(date), 4);
    EXPECT_EQ(master(), expected);
    ASSERT_EQ(master_set_date(tmp_ / "MASTER", 3, date, 0), 0);
    expected.replace(slot + 25, 4, reinterpret_cast<const char*>(date), 4);
    EXPECT_EQ(master(), expected);
    // The same date again changes nothing: nothing is written, the backup of the last change stays.
    const std::string backup = read_bytes(tmp_ / "MASTER.BAK");
    ASSERT_EQ(master_set_date(tmp_ / "MASTER", 3, date, 0), 0);
    EXPECT_EQ(read_bytes(tmp_ / "MASTER.BAK"), backup);
    EXPECT_FALSE(leftovers());
}

TEST_F(MasterRewriteTest, SetNamesRefusesUnknownNumberAndDirectoryEntries) {
    MasterBuilder builder = standard();
    builder.add_directory(9, "SUB");
    builder.count(7).second_counter(7);
    write_portfolio(builder);
    std::string old = master();
    EXPECT_EQ(master_set_names(tmp_ / "MASTER", 9, "X", "Y"), 1);
    EXPECT_EQ(master_set_names(tmp_ / "MASTER", 77, "X", "Y"), 1);
    EXPECT_EQ(master_set_names(tmp_ / "MASTER", 0, "X", "Y"), 1);
    EXPECT_EQ(master_set_names(tmp_ / "NOWHERE" / "MASTER", 1, "X", "Y"), 1);
    EXPECT_EQ(master(), old);
    EXPECT_FALSE(fs::exists(tmp_ / "MASTER.BAK"));
}

TEST_F(MasterRewriteTest, LowerCasePortfolioKeepsItsCase) {
    write_portfolio(standard(), "master");
    std::string old = read_bytes(tmp_ / "master");
    // The caller may name the file in upper case; the lower-case one is rewritten.
    ASSERT_EQ(master_set_names(tmp_ / "MASTER", 1, "NEW", "NEW"), 0);
    EXPECT_FALSE(fs::exists(tmp_ / "MASTER"));
    EXPECT_EQ(read_bytes(tmp_ / "master.bak"), old);
    int number = 0;
    ASSERT_EQ(master_append(tmp_.path(), master_record(security(1, "ADD")), number), 0);
    EXPECT_EQ(number, 7);
    EXPECT_EQ(image_count(read_bytes(tmp_ / "master")), 7);
    EXPECT_EQ(master_remove(tmp_.path(), 7, false), 0);
    EXPECT_FALSE(fs::exists(tmp_ / "MASTER"));
    EXPECT_FALSE(leftovers());
}

TEST_F(MasterRewriteTest, AppendTakesLowestFreeNumberBeforeUnusedSlots) {
    MasterBuilder builder;
    builder.header_marks();
    for (int number : {1, 4, 2})
        builder.add(security(number, "S" + std::to_string(number)));
    builder.second_counter(300).unused_slots(3).trailing("xy");
    write_portfolio(builder);
    MasterRecord added = master_record(security(77, "NEW"));
    int number = 0;
    ASSERT_EQ(master_append(tmp_.path(), added, number), 0);
    EXPECT_EQ(number, 3);
    added.bytes[0] = 3;
    std::string header = builder.header_bytes();
    set_image_counters(header, 4, 301);
    EXPECT_EQ(master(), header + builder.record_bytes() + record_as_string(added) + builder.tail_bytes());
    EXPECT_FALSE(leftovers());
}

TEST_F(MasterRewriteTest, AppendRefusesFullOrDamagedPortfolio) {
    MasterBuilder full;
    for (int number = 1; number <= 254; ++number)
        full.add(security(number, "S"));
    full.unused_slots(1);
    write_portfolio(full);
    int number = 0;
    ASSERT_EQ(master_append(tmp_.path(), master_record(security(1, "LAST")), number), 0);
    EXPECT_EQ(number, 255);
    std::string at_limit = master();
    EXPECT_EQ(master_append(tmp_.path(), master_record(security(1, "MORE")), number), 2);
    EXPECT_EQ(number, 0);
    EXPECT_EQ(master(), at_limit);

    // A second counter of 255 (real files keep their highest file number there) is no full portfolio;
    // it still moves with the count.
    MasterBuilder second_at_limit = MasterBuilder().add(security(1, "A")).second_counter(255);
    write_bytes(tmp_ / "MASTER", second_at_limit.bytes());
    ASSERT_EQ(master_append(tmp_.path(), master_record(security(1, "B")), number), 0);
    EXPECT_EQ(number, 2);
    EXPECT_EQ(image_second_counter(master()), 256);

    for (std::int16_t count : {std::int16_t{-1}, std::int16_t{3}}) {
        std::string damaged =
            MasterBuilder().add(security(1, "A")).add(security(2, "B")).count(count).bytes();
        write_bytes(tmp_ / "MASTER", damaged);
        EXPECT_EQ(master_append(tmp_.path(), master_record(security(1, "C")), number), 1);
        EXPECT_EQ(master(), damaged);
    }
    EXPECT_FALSE(leftovers());
}

TEST_F(MasterRewriteTest, RemoveKeepsOrderAndDeletesOnlyTheSecurityFiles) {
    MasterBuilder builder = standard();
    write_portfolio(builder);
    fs::rename(tmp_ / "F5.DOP", tmp_ / "f5.dop"); // lower case, still the security's file
    write_bytes(tmp_ / "F5.NEW", "not ours");
    ASSERT_EQ(master_remove(tmp_.path(), 5, true), 0);
    std::string header = builder.header_bytes();
    set_image_counters(header, 5, 5);
    std::string records = builder.record_bytes();
    records.erase(3 * 53, 53);
    EXPECT_EQ(master(), header + records + builder.tail_bytes());
    for (std::string name : {"F5.DAT", "f5.dop", "F5.BAK"})
        EXPECT_FALSE(fs::exists(tmp_ / name)) << name;
    for (std::string name : {"F5.NEW", "F4.DAT", "F6.DOP", "EMASTER", "XMASTER"})
        EXPECT_TRUE(fs::exists(tmp_ / name)) << name;
    EXPECT_FALSE(leftovers());
}

TEST_F(MasterRewriteTest, RemoveWithoutFlagOrOfUnknownNumber) {
    write_portfolio(standard());
    auto before = snapshot(tmp_.path());
    EXPECT_EQ(master_remove(tmp_.path(), 42, true), 1);
    EXPECT_EQ(master_remove(tmp_.path(), 0, true), 1);
    EXPECT_EQ(master_remove(tmp_.path(), 300, true), 1);
    EXPECT_EQ(snapshot(tmp_.path()), before);
    ASSERT_EQ(master_remove(tmp_.path(), 2, false), 0);
    EXPECT_TRUE(fs::exists(tmp_ / "F2.DAT"));
    EXPECT_EQ(image_count(master()), 5);
    EXPECT_EQ(image_slot(master(), 1)[0], 1);
}

TEST_F(MasterRewriteTest, DamagedMasterChangesNothing) {
    std::string good = standard().bytes();
    std::vector<std::string> damaged = {good.substr(0, 40), std::string(53 * 3, '\xFF')};
    std::string over = good;
    set_image_counters(over, 9, 9);
    damaged.push_back(over);
    std::string negative = good;
    set_image_counters(negative, -3, -3);
    damaged.push_back(negative);
    const std::uint8_t date[4] = {0, 0, 0, 0x81};
    for (const auto& bytes : damaged) {
        write_bytes(tmp_ / "MASTER", bytes);
        int number = 0;
        EXPECT_NE(master_append(tmp_.path(), master_record(security(1, "A")), number), 0);
        EXPECT_EQ(master_remove(tmp_.path(), 1, true), 1);
        EXPECT_EQ(master(), bytes);
        EXPECT_EQ(master_set_names(tmp_ / "MASTER", 1, "X", "Y"), 1);
        EXPECT_EQ(master_set_date(tmp_ / "MASTER", 1, date, 1), 1);
        EXPECT_EQ(master(), bytes);
    }
}

// ---- Injected failures: MASTER is always the old or the new complete file -----------------------

class MasterFaultTest : public MasterRewriteTest {
protected:
    void check_every_step(const std::function<int()>& rewrite) {
        write_portfolio(standard());
        const std::string old = master();
        std::size_t calls = 0;
        {
            FaultInjector counting;
            ASSERT_EQ(rewrite(), 0);
            calls = counting.calls();
        }
        const std::string fresh = master();
        ASSERT_NE(fresh, old);
        ASSERT_GT(calls, 3u);
        for (std::size_t n = 1; n <= calls; ++n) {
            fs::remove_all(tmp_.path());
            fs::create_directories(tmp_.path());
            write_portfolio(standard());
            int result;
            {
                FaultInjector faults;
                faults.fail_call(n, EIO);
                result = rewrite();
            }
            std::string now = master();
            EXPECT_TRUE(now == old || now == fresh) << "call " << n;
            if (now == old) {
                EXPECT_NE(result, 0) << "call " << n;
            }
            if (result == 0) {
                EXPECT_EQ(now, fresh) << "call " << n;
            }
            EXPECT_FALSE(leftovers()) << "call " << n;
            EXPECT_EQ(read_bytes(tmp_ / "EMASTER"), "emaster bytes");
        }
    }
};

TEST_F(MasterFaultTest, SetNames) {
    check_every_step([&] { return master_set_names(tmp_ / "MASTER", 6, "RENAMED", "RENAMED NAME"); });
}

TEST_F(MasterFaultTest, SetDate) {
    const std::uint8_t date[4] = {0x00, 0x40, 0x74, 0x94};
    check_every_step([&] { return master_set_date(tmp_ / "MASTER", 2, date, 0); });
}

TEST_F(MasterFaultTest, Append) {
    check_every_step([&] {
        int number = 0;
        return master_append(tmp_.path(), master_record(security(1, "NEW")), number);
    });
}

TEST_F(MasterFaultTest, RemoveWithFiles) {
    check_every_step([&] { return master_remove(tmp_.path(), 3, true); });
}
