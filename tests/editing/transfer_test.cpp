// Moving and copying a security between portfolios. Every failing call of a transfer is swept in
// reliability/fault_sweep_test.cpp, and transfers killed at every call in reliability/kill_test.cpp.
#include "editing/transfer.h"

#include "storage/portfolio_files.h"
#include "support/builder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

using namespace editing;
using namespace testing_support;
using Files = std::vector<std::pair<std::string, std::string>>;

namespace {

// A source portfolio (lower-case names, records 7 then 2, IBM with a backup, AAA without F<n>.DOP) and a
// destination whose records use 1, 4 and 2 (upper-case names).
struct Portfolios {
    Portfolios() {
        const auto bars = bars_on({date_pack(99, 1, 4), date_pack(99, 1, 5), date_pack(99, 1, 6)});
        Security no_dop = make_security(2, "AAA", "ALPHA", bars, true);
        no_dop.spec.fields = {"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL"};
        no_dop.spec.write_dop = false;
        write_portfolio(src, {make_security(7, "IBM", "INTL BUS MACH", bars, true), no_dop}, true);
        write_bytes(src / "f7.bak", "an older F7.DAT");
        write_portfolio(dst, {make_security(1, "BBB", "BRAVO", bars), make_security(4, "DDD", "DELTA", bars),
                              make_security(2, "CCC", "CHARLIE", bars)});
        src_before = snapshot(src);
        dst_before = snapshot(dst);
    }
    CommandResult run(TransferMode mode, const std::string& symbol = "ibm") const {
        return transfer_symbol(view_of(src, symbol), mode, dst);
    }
    bool unchanged() const { return snapshot(src) == src_before && snapshot(dst) == dst_before; }
    // The destination MASTER after appending the source's first record under number 3.
    std::string appended_master() const {
        std::string record = read_bytes(src / "master").substr(slot_offset(1), kMasterRecordSize);
        record[0] = 3;
        std::string dest = read_bytes(dst / "MASTER");
        dest.insert(slot_offset(4), record);
        set_image_counters(dest, 4, 4);
        return dest;
    }

    TempDir root;
    std::filesystem::path src = root / "src", dst = root / "dst";
    Files src_before, dst_before;
};

Files without(Files files, std::initializer_list<const char*> names) {
    std::erase_if(
        files, [&](const auto& f) { return std::find(names.begin(), names.end(), f.first) != names.end(); });
    return files;
}

TEST(Transfer, CopyCarriesTheSecurityToTheLowestFreeNumber) {
    Portfolios p;
    const std::string expected_master = p.appended_master();
    CommandResult r = p.run(TransferMode::Copy);
    ASSERT_TRUE(r.ok && r.messages.empty());
    EXPECT_EQ(read_bytes(p.dst / "MASTER"), expected_master);
    EXPECT_EQ(read_bytes(p.dst / "F3.DAT"), read_bytes(p.src / "f7.dat"));
    EXPECT_EQ(read_bytes(p.dst / "F3.DOP"), read_bytes(p.src / "f7.dop"));
    EXPECT_EQ(snapshot(p.src), p.src_before);
    EXPECT_EQ(without(snapshot(p.dst), {"F3.DAT", "F3.DOP", "MASTER"}), without(p.dst_before, {"MASTER"}));
}

TEST(Transfer, MoveTakesTheSecurityOutOfTheSourceWithItsFiles) {
    Portfolios p;
    const std::string expected_master = p.appended_master(), dat = read_bytes(p.src / "f7.dat");
    std::string expected_source = read_bytes(p.src / "master");
    expected_source.erase(slot_offset(1), kMasterRecordSize);
    set_image_counters(expected_source, 1, 1);
    ASSERT_TRUE(p.run(TransferMode::Move).ok);
    EXPECT_EQ(read_bytes(p.dst / "MASTER"), expected_master);
    EXPECT_EQ(read_bytes(p.dst / "F3.DAT"), dat);
    EXPECT_EQ(read_bytes(p.src / "master"), expected_source);
    EXPECT_EQ(without(snapshot(p.src), {"master"}),
              without(p.src_before, {"master", "f7.dat", "f7.dop", "f7.bak"}));
    // A security without F<n>.DOP is carried all the same.
    ASSERT_TRUE(p.run(TransferMode::Move, "AAA").ok);
    EXPECT_TRUE(portfolio_files::present(p.dst, "F5.DAT"));
    EXPECT_FALSE(portfolio_files::present(p.dst, "F5.DOP"));
    EXPECT_FALSE(portfolio_files::present(p.src, "F2.DAT"));
}

TEST(Transfer, RefusalsChangeNeitherPortfolio) {
    Portfolios p;
    const std::string dest = read_bytes(p.dst / "MASTER");
    std::string with_name = dest; // a destination security whose name equals the key
    put_text16(with_name, slot_offset(2) + 7, "ibm");
    write_bytes(p.dst / "MASTER", with_name);
    p.dst_before = snapshot(p.dst);
    for (TransferMode mode : {TransferMode::Move, TransferMode::Copy})
        EXPECT_EQ(p.run(mode).texts(),
                  std::vector<std::string>{"The Symbol addition failed.\n\nReason: Symbol IBM "
                                           "already exists in\n" +
                                           p.dst.string()});
    write_bytes(p.dst / "MASTER", dest);
    p.dst_before = snapshot(p.dst);
    EXPECT_FALSE(p.run(TransferMode::Move, "NOPE").ok);
    EXPECT_FALSE(
        transfer_symbol(view_of(p.src, "IBM"), TransferMode::Move, p.root / "none").ok); // no MASTER there
    CommandResult none = transfer_symbol(view_of(p.src, "IBM"), TransferMode::Move, "");
    EXPECT_FALSE(none.ok || !none.messages.empty());
    EXPECT_FALSE(transfer_symbol(view_of(p.src, "IBM"), TransferMode::Copy, p.src).ok); // into itself
    EXPECT_TRUE(p.unchanged());
    write_bytes(p.dst / "F3.DAT", "someone's data"); // never written over
    p.dst_before = snapshot(p.dst);
    for (TransferMode mode : {TransferMode::Move, TransferMode::Copy}) {
        CommandResult r = p.run(mode);
        ASSERT_EQ(r.messages.size(), 1u);
        EXPECT_NE(r.messages[0].text.find("already exists"), std::string::npos);
    }
    EXPECT_TRUE(p.unchanged());
}

TEST(Transfer, AFullDestinationRefuses) {
    for (int count : {215, 254, 255}) { // 255, the highest file number, as the second counter: not full
        Portfolios p;
        MasterBuilder full;
        for (int n = 1; n <= count; ++n)
            full.add(security(n, "S" + std::to_string(n)));
        full.second_counter(255).write(p.dst);
        p.dst_before = snapshot(p.dst);
        CommandResult r = p.run(TransferMode::Copy);
        if (count < 255) {
            EXPECT_TRUE(r.ok);
            EXPECT_TRUE(portfolio_files::present(p.dst, "F" + std::to_string(count + 1) + ".DAT"));
        } else {
            EXPECT_EQ(r.texts(),
                      std::vector<std::string>{"The portfolio already has the\nmaximum number of symbols "
                                               "(255).\nChoose a different or new portfolio."});
            EXPECT_TRUE(p.unchanged());
        }
    }
}

TEST(Transfer, ALeftoverOfAnInterruptedTransferOfTheSameSecurityIsWrittenOver) {
    Portfolios clean;
    ASSERT_TRUE(clean.run(TransferMode::Move).ok);
    Portfolios p; // as a run killed after its copies and before its record leaves it
    write_bytes(p.dst / "F3.DAT", read_bytes(p.src / "f7.dat"));
    write_bytes(p.dst / "F3.DOP", read_bytes(p.src / "f7.dop"));
    write_bytes(p.dst / "F3.DAT.TMP", "half a copy");
    ASSERT_TRUE(p.run(TransferMode::Move).ok);
    EXPECT_EQ(snapshot(p.src), snapshot(clean.src));
    EXPECT_EQ(snapshot(p.dst), snapshot(clean.dst));
}

} // namespace
