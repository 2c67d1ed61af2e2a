#include "browser/repair.h"
#include "browser/symbol_list.h"

#include "support/fault_injection.h"
#include "support/portfolio_builder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

MasterRecord with_symbol_bytes(MasterRecord record, const std::string& bytes) {
    std::memset(&record.bytes[36], ' ', 16);
    std::memcpy(&record.bytes[36], bytes.data(), bytes.size());
    return record;
}

// The record as the repair must leave it: the 16 name bytes over the symbol.
std::string repaired(const MasterRecord& record) {
    std::string bytes = record_as_string(record);
    std::memcpy(&bytes[36], &bytes[7], 16);
    return bytes;
}

} // namespace

TEST(RepairMaster, ThreeDamagedOfTenChangedAndEverythingElseKept) {
    TempDir dir;
    MasterBuilder builder;
    builder.header_marks();
    std::vector<MasterRecord> records;
    for (int i = 1; i <= 10; ++i)
        records.push_back(
            master_record(security(i, "SYM" + std::to_string(i), "NAME NUMBER " + std::to_string(i))));
    records[1] = with_symbol_bytes(records[1], " ABC"); // blank, then letters
    records[4] =
        with_symbol_bytes(master_record(security(5, "", "ABCDEFGHIJKLMNOP")), "\xC4"
                                                                              "ABC"); // a high byte first
    records[8] = with_symbol_bytes(records[8], std::string(16, '\0'));
    for (const MasterRecord& r : records)
        builder.add(r);
    builder.unused_slots(3).trailing("\x01\x02\x03");
    const fs::path master = builder.write(dir.path(), "master");
    write_bytes(dir / "EMASTER", "emaster bytes");
    write_bytes(dir / "XMASTER", "xmaster bytes");
    const std::string before = read_bytes(master);

    ASSERT_EQ(RepairMaster(master), 1);

    std::string expected = builder.header_bytes();
    for (std::size_t i = 0; i < records.size(); ++i)
        expected += (i == 1 || i == 4 || i == 8) ? repaired(records[i]) : record_as_string(records[i]);
    expected += builder.tail_bytes();
    const std::string after = read_bytes(master);
    EXPECT_EQ(after, expected);
    // Bytes 50 and 51 hold name characters 15 and 16.
    EXPECT_EQ(image_slot(after, 5).substr(50, 2), "OP");
    EXPECT_EQ(read_bytes(dir / "master.bak"), before); // the backup, in the portfolio's letter case
    EXPECT_FALSE(fs::exists(dir / "master.new"));
    EXPECT_EQ(read_bytes(dir / "EMASTER"), "emaster bytes");
    EXPECT_EQ(read_bytes(dir / "XMASTER"), "xmaster bytes");
    EXPECT_FALSE(symbol_list_read(master).needs_repair);
}

TEST(RepairMaster, NameEndedByNulFillsTheRestOfTheSymbolWithZeros) {
    TempDir dir;
    SecurityEntry entry = security(1, "", "ACME");
    entry.nul_padded = true;
    MasterRecord record = master_record(entry);
    record.bytes[36] = ' ';
    std::memset(&record.bytes[37], 'Q', 15); // leftovers that must not survive behind the name
    MasterBuilder builder;
    builder.add(record);
    const fs::path master = builder.write(dir.path());

    ASSERT_EQ(RepairMaster(master), 1);
    const std::string slot = image_slot(read_bytes(master), 1);
    EXPECT_EQ(slot.substr(36, 16), std::string("ACME") + std::string(12, '\0'));
    std::string expected = record_as_string(record);
    std::memcpy(&expected[36], slot.data() + 36, 16);
    EXPECT_EQ(slot, expected);
    EXPECT_EQ(symbol_list_read(master).rows.at(0).symbol, "ACME");
}

TEST(RepairMaster, UnusedSlotsAndSoundFilesStayUntouched) {
    TempDir dir;
    MasterBuilder builder;
    builder.add(security(1, "IBM", "INTL BUS MACH")).unused_slots(4);
    const fs::path master = builder.write(dir.path());
    const std::string before = read_bytes(master);
    FaultInjector faults;
    ASSERT_EQ(RepairMaster(master), 1);
    EXPECT_EQ(faults.calls(fileops::Op::Rename), 0u); // nothing to repair: no rewrite
    EXPECT_EQ(read_bytes(master), before);
}

TEST(RepairMaster, EveryFailingFileStepLeavesMasterExactlyAsItWas) {
    TempDir dir;
    MasterBuilder builder;
    builder.add(security(1, "IBM", "INTL BUS MACH"))
        .add(with_symbol_bytes(master_record(security(2, "", "BLANK")), " "));
    const fs::path master = builder.write(dir.path());
    const std::string before = read_bytes(master);

    std::size_t calls = 0;
    {
        FaultInjector counter;
        ASSERT_EQ(RepairMaster(master), 1);
        calls = counter.calls();
    }
    ASSERT_GT(calls, 3u);
    const std::string good = read_bytes(master);
    for (std::size_t n = 1; n <= calls; ++n) {
        write_bytes(master, before);
        FaultInjector faults;
        faults.fail_call(n, EIO);
        const int result = RepairMaster(master);
        const std::string now = read_bytes(master);
        if (result == 1) {
            EXPECT_EQ(now, good) << "call " << n;
        } else {
            EXPECT_EQ(now, before) << "call " << n;
        }
        EXPECT_FALSE(fs::exists(dir / "MASTER.NEW")) << "call " << n;
        if (fs::exists(dir / "MASTER.BAK")) {
            EXPECT_EQ(read_bytes(dir / "MASTER.BAK"), before) << "call " << n;
        }
    }
}

TEST(RepairMaster, MissingOrDirectoryMasterIsRefused) {
    TempDir dir;
    EXPECT_EQ(RepairMaster(dir / "MASTER"), 0);
    fs::create_directory(dir / "MASTER");
    EXPECT_EQ(RepairMaster(dir / "MASTER"), 0);
}
