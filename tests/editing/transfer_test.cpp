// Moving and copying a security between portfolios. Every failing call of a transfer is swept in
// reliability/fault_sweep_test.cpp, transfers killed at every call (and a later run over what they left)
// in reliability/kill_test.cpp.
#include "editing/transfer.h"

#include "storage/portfolio_files.h"
#include "support/builder.h"

#include <gtest/gtest.h>

using namespace editing;
using namespace testing_support;

namespace {

// A source portfolio (lower-case names, records 7 then 2, AAA without F<n>.DOP) and a destination whose
// records use 1, 4 and 2 (upper-case names).
struct Portfolios {
    Portfolios() {
        const auto bars = bars_on({date_pack(99, 1, 4), date_pack(99, 1, 5), date_pack(99, 1, 6)});
        Security no_dop = make_security(2, "AAA", "ALPHA", bars, true);
        no_dop.spec.write_dop = false;
        write_portfolio(src, {make_security(7, "IBM", "INTL BUS MACH", bars, true), no_dop}, true);
        write_portfolio(dst, {make_security(1, "BBB", "B", bars), make_security(4, "DDD", "D", bars),
                              make_security(2, "CCC", "C", bars)});
        before = snapshot(root.path());
    }
    CommandResult run(TransferMode mode, const std::string& symbol = "ibm",
                      const std::filesystem::path& to = {}) {
        return transfer_symbol(src, symbol, mode, to.empty() ? dst : to);
    }
    TempDir root;
    std::filesystem::path src = root / "src", dst = root / "dst";
    Snapshot before;
};

TEST(Transfer, ACopyTakesTheLowestFreeNumberAndAMoveTakesTheSecurityOut) {
    Portfolios p;
    std::string record = image_slot(read_bytes(p.src / "master"), 1), expected = read_bytes(p.dst / "MASTER");
    record[0] = 3;
    expected.insert(slot_offset(4), record);
    set_image_counters(expected, 4, 4);
    ASSERT_TRUE(p.run(TransferMode::Copy).ok);
    EXPECT_EQ(read_bytes(p.dst / "MASTER"), expected);
    EXPECT_EQ(read_bytes(p.dst / "F3.DAT") + read_bytes(p.dst / "F3.DOP"),
              read_bytes(p.src / "f7.dat") + read_bytes(p.src / "f7.dop"));
    ASSERT_TRUE(p.run(TransferMode::Move, "AAA").ok); // a security without F<n>.DOP is carried all the same
    EXPECT_TRUE(portfolio_files::present(p.dst, "F5.DAT") && !portfolio_files::present(p.dst, "F5.DOP") &&
                !portfolio_files::present(p.src, "F2.DAT") && image_count(read_bytes(p.src / "master")) == 1);
}

TEST(Transfer, TheDestinationsAreTheOtherPortfoliosSortedIgnoringCase) {
    EXPECT_EQ(destination_choices({"/b", "/A", "/on", "/c", "/a"}, 2),
              (std::vector<std::string>{"/A", "/a", "/b", "/c"}));
}

TEST(Transfer, RefusalsChangeNeitherPortfolio) {
    Portfolios p;
    EXPECT_FALSE(p.run(TransferMode::Move, "NOPE").ok);
    EXPECT_FALSE(p.run(TransferMode::Move, "IBM", p.root / "none").ok); // no MASTER there
    EXPECT_FALSE(p.run(TransferMode::Copy, "IBM", p.src).ok);           // into itself
    CommandResult none = transfer_symbol(p.src, "IBM", TransferMode::Move, "");
    EXPECT_FALSE(none.ok || !none.messages.empty());
    EXPECT_EQ(snapshot(p.root.path()), p.before);
    write_bytes(p.dst / "F3.DAT", "someone's data");  // never written over
    std::string named = read_bytes(p.dst / "MASTER"); // a destination security whose name equals the key
    put_text16(named, slot_offset(2) + 7, "ibm");
    for (TransferMode mode : {TransferMode::Move, TransferMode::Copy}) {
        ASSERT_EQ(p.run(mode).texts().size(), 1u);
        EXPECT_NE(p.run(mode).texts()[0].find("F3.DAT"), std::string::npos);
    }
    write_bytes(p.dst / "MASTER", named);
    for (TransferMode mode : {TransferMode::Move, TransferMode::Copy})
        EXPECT_EQ(p.run(mode).texts(),
                  std::vector<std::string>{"The Symbol addition failed.\n\nReason: Symbol IBM "
                                           "already exists in\n" +
                                           p.dst.string()});
    MasterBuilder full; // 255 securities: full, whatever the second counter says
    for (int n = 1; n <= 255; ++n)
        full.add(security(n, "S" + std::to_string(n)));
    full.second_counter(255).write(p.dst);
    p.before = snapshot(p.root.path());
    EXPECT_EQ(p.run(TransferMode::Copy).texts(),
              std::vector<std::string>{"The portfolio already has the\nmaximum "
                                       "number of symbols (255).\nChoose a "
                                       "different or new portfolio."});
    EXPECT_EQ(snapshot(p.root.path()), p.before);
}

} // namespace
