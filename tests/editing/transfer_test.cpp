#include "editing/transfer.h"

#include "editing_fixture.h"
#include "storage/fileops.h"
#include "storage/portfolio_files.h"
#include "support/fault_injection.h"
#include "support/portfolio_builder.h"
#include "support/view_of.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace editing;
using namespace editing_test;
using testing_support::read_bytes;
using testing_support::snapshot;
using testing_support::TempDir;
using testing_support::view_of;
using testing_support::write_bytes;
using Files = std::vector<std::pair<std::string, std::string>>;

namespace {

const std::vector<DayNumber> kDays = {day(99, 1, 4), day(99, 1, 5), day(99, 1, 6), day(99, 1, 7)};

// A source portfolio (lower-case names, records 7 then 2, IBM with a backup) and a destination whose
// records use 1, 2 and 4 (upper-case names).
struct Portfolios {
    Portfolios() {
        Security no_dop = security(2, "AAA", "ALPHA", bars_on(kDays));
        no_dop.spec.fields = {"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL"};
        no_dop.spec.write_dop = false;
        write_portfolio(src, {security(7, "IBM", "INTL BUS MACH", bars_on(kDays)), no_dop});
        write_bytes(src / "f7.bak", "an older F7.DAT");
        write_portfolio(dst,
                        {security(1, "BBB", "BRAVO", bars_on(kDays), false),
                         security(4, "DDD", "DELTA", bars_on(kDays), false),
                         security(2, "CCC", "CHARLIE", bars_on(kDays), false)},
                        false);
        src_before = snapshot(src);
        dst_before = snapshot(dst);
    }
    CommandResult run(TransferMode mode, const std::string& symbol = "ibm") const {
        return transfer_symbol(view_of(src, symbol), mode, dst);
    }
    bool unchanged() const { return snapshot(src) == src_before && snapshot(dst) == dst_before; }

    TempDir root;
    std::filesystem::path src = root / "src";
    std::filesystem::path dst = root / "dst";
    Files src_before, dst_before;
};

std::string first_message(const CommandResult& r) {
    return r.messages.empty() ? std::string() : r.messages.front().text;
}

Files without(Files files, const std::string& name) {
    std::erase_if(files, [&](const auto& f) { return f.first == name; });
    return files;
}

// Every counted security has its quote file, and no temporary file is left.
void expect_sound(const std::filesystem::path& dir) {
    MasterImage image;
    ASSERT_TRUE(master_read_image(portfolio_files::master(dir), image)) << dir;
    for (int i = 0; i < image.records_counted(); ++i) {
        int n = image.record(i).file_number();
        EXPECT_TRUE(portfolio_files::present(dir, portfolio_files::series_file_name(n, "DAT")))
            << dir << " " << n;
    }
    for (const auto& [name, bytes] : snapshot(dir)) {
        std::string upper = portfolio_files::to_upper(name);
        for (const char* temp : {".TMP", ".NEW", ".~NU"})
            EXPECT_FALSE(upper.ends_with(temp)) << dir << " " << name;
    }
}

// The destination MASTER after appending the source's record 0 (IBM) under number `m`.
std::string appended_master(const Portfolios& p, int m) {
    std::string source = read_bytes(p.src / "master");
    std::string record = source.substr(slot_offset(1), kMasterRecordSize);
    record[0] = static_cast<char>(m);
    std::string dest = read_bytes(p.dst / "MASTER");
    std::string out = dest.substr(0, slot_offset(4)) + record + dest.substr(slot_offset(4));
    set_counters(out, 4);
    return out;
}

} // namespace

TEST(Transfer, CopyCarriesTheSecurityToTheLowestFreeNumber) {
    Portfolios p;
    std::string expected_master = appended_master(p, 3);
    CommandResult r = p.run(TransferMode::Copy);
    ASSERT_TRUE(r.ok) << first_message(r);
    EXPECT_TRUE(r.messages.empty());
    EXPECT_EQ(read_bytes(p.dst / "MASTER"), expected_master);
    EXPECT_EQ(read_bytes(p.dst / "F3.DAT"), read_bytes(p.src / "f7.dat"));
    EXPECT_EQ(read_bytes(p.dst / "F3.DOP"), read_bytes(p.src / "f7.dop"));
    EXPECT_FALSE(portfolio_files::present(p.dst, "F3.BAK"));
    EXPECT_EQ(snapshot(p.src), p.src_before);
    Files added = snapshot(p.dst);
    EXPECT_EQ(without(without(without(added, "F3.DAT"), "F3.DOP"), "MASTER"),
              without(p.dst_before, "MASTER"));
}

TEST(Transfer, MoveTakesTheSecurityOutOfTheSource) {
    Portfolios p;
    std::string expected_master = appended_master(p, 3);
    std::string dat = read_bytes(p.src / "f7.dat");
    std::string source_master = read_bytes(p.src / "master");
    CommandResult r = p.run(TransferMode::Move);
    ASSERT_TRUE(r.ok) << first_message(r);
    EXPECT_EQ(read_bytes(p.dst / "MASTER"), expected_master);
    EXPECT_EQ(read_bytes(p.dst / "F3.DAT"), dat);
    for (const char* ext : {"DAT", "DOP", "BAK"})
        EXPECT_FALSE(portfolio_files::present(p.src, portfolio_files::series_file_name(7, ext))) << ext;
    std::string expected_source =
        source_master.substr(0, slot_offset(1)) + source_master.substr(slot_offset(2));
    set_counters(expected_source, 1);
    EXPECT_EQ(read_bytes(p.src / "master"), expected_source);
    EXPECT_EQ(read_bytes(p.src / "f2.dat"),
              std::get<1>(*std::find_if(p.src_before.begin(), p.src_before.end(),
                                        [](auto& f) { return f.first == "f2.dat"; })));
}

TEST(Transfer, ASecurityWithoutDopIsCarriedAllTheSame) {
    Portfolios p;
    CommandResult r = p.run(TransferMode::Move, "AAA");
    ASSERT_TRUE(r.ok) << first_message(r);
    EXPECT_TRUE(portfolio_files::present(p.dst, "F3.DAT"));
    EXPECT_FALSE(portfolio_files::present(p.dst, "F3.DOP"));
    EXPECT_FALSE(portfolio_files::present(p.src, "F2.DAT"));
    expect_sound(p.src);
    expect_sound(p.dst);
}

TEST(Transfer, RefusalsChangeNeitherPortfolio) {
    Portfolios p;
    // A destination security whose name equals the key.
    std::string dest = read_bytes(p.dst / "MASTER");
    std::string with_name = dest;
    put_text16(with_name, slot_offset(2) + 7, "ibm");
    write_bytes(p.dst / "MASTER", with_name);
    p.dst_before = snapshot(p.dst);
    for (TransferMode mode : {TransferMode::Move, TransferMode::Copy}) {
        CommandResult r = p.run(mode);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.texts(),
                  std::vector<std::string>{"The Symbol addition failed.\n\nReason: Symbol IBM already "
                                           "exists in\n" +
                                           p.dst.string()});
    }
    write_bytes(p.dst / "MASTER", dest);
    p.dst_before = snapshot(p.dst);

    EXPECT_FALSE(p.run(TransferMode::Move, "NOPE").ok); // not in the source
    EXPECT_FALSE(
        transfer_symbol(view_of(p.src, "IBM"), TransferMode::Move, p.root / "none").ok); // no MASTER there
    CommandResult none = transfer_symbol(view_of(p.src, "IBM"), TransferMode::Move, "");
    EXPECT_FALSE(none.ok);
    EXPECT_TRUE(none.messages.empty());
    EXPECT_FALSE(transfer_symbol(view_of(p.src, "IBM"), TransferMode::Copy, p.src).ok); // into itself
    EXPECT_TRUE(p.unchanged());

    // A file already named like the target: neither a move nor a copy overwrites it.
    write_bytes(p.dst / "F3.DAT", "someone's data");
    p.dst_before = snapshot(p.dst);
    for (TransferMode mode : {TransferMode::Move, TransferMode::Copy}) {
        CommandResult r = p.run(mode);
        EXPECT_FALSE(r.ok);
        EXPECT_NE(first_message(r).find("already exists"), std::string::npos);
    }
    EXPECT_TRUE(p.unchanged());
}

TEST(Transfer, AFullDestinationRefuses) {
    // 215 securities with 255, the highest file number, as the second counter: not full.
    for (int count : {215, 254, 255}) {
        Portfolios p;
        std::vector<MasterRecord> records;
        for (int n = 1; n <= count; ++n) {
            SeriesSpec spec;
            spec.file_number = n;
            spec.symbol = "S" + std::to_string(n);
            spec.name = "N" + std::to_string(n);
            records.push_back(testing_support::series_master_record(spec, {}));
        }
        std::filesystem::remove(p.dst / "MASTER");
        testing_support::write_series_master(p.dst, records);
        std::string image = read_bytes(p.dst / "MASTER");
        testing_support::set_image_counters(image, static_cast<std::int16_t>(count), 255);
        write_bytes(p.dst / "MASTER", image);
        p.dst_before = snapshot(p.dst);
        CommandResult r = p.run(TransferMode::Copy);
        if (count < 255) {
            EXPECT_TRUE(r.ok) << first_message(r);
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
    Portfolios p;
    // What a run killed after its copies and before its record leaves behind.
    write_bytes(p.dst / "F3.DAT", read_bytes(p.src / "f7.dat"));
    write_bytes(p.dst / "F3.DOP", read_bytes(p.src / "f7.dop"));
    write_bytes(p.dst / "F3.DAT.TMP", "half a copy");
    CommandResult r = p.run(TransferMode::Move);
    ASSERT_TRUE(r.ok) << first_message(r);
    EXPECT_EQ(snapshot(p.src), snapshot(clean.src));
    EXPECT_EQ(snapshot(p.dst), snapshot(clean.dst));
}

// Watches the two portfolios after every call that changes a directory: each counted record of each
// MASTER must have its quote file, complete. Reads with std::filesystem, around the table it watches.
struct Watch {
    std::filesystem::path dirs[2];
    std::string ibm_dat;
    int checks = 0;
    std::vector<std::string> faults;
};
Watch* g_watch = nullptr;

std::string file_ignoring_case(const std::filesystem::path& dir, const std::string& name) {
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (portfolio_files::equals_ignoring_case(entry.path().filename().string(), name))
            return read_bytes(entry.path());
    }
    return "<missing>";
}

void check_watched() {
    ++g_watch->checks;
    for (const auto& dir : g_watch->dirs) {
        std::string master = file_ignoring_case(dir, "MASTER");
        int count = static_cast<unsigned char>(master[0]) | (static_cast<unsigned char>(master[1]) << 8);
        for (int i = 1; i <= count; ++i) {
            std::string record = master.substr(slot_offset(i), kMasterRecordSize);
            int n = static_cast<unsigned char>(record[0]);
            std::string dat = file_ignoring_case(dir, portfolio_files::series_file_name(n, "DAT"));
            bool is_ibm = record.substr(36, 3) == "IBM";
            if (dat == "<missing>" || (is_ibm && dat != g_watch->ibm_dat))
                g_watch->faults.push_back(dir.string() + " record of F" + std::to_string(n) +
                                          " after check " + std::to_string(g_watch->checks));
        }
    }
}

int watched_rename(const fileops::Path& from, const fileops::Path& to) {
    int result = fileops::system_table().rename(from, to);
    check_watched();
    return result;
}
int watched_remove(const fileops::Path& path) {
    int result = fileops::system_table().remove(path);
    check_watched();
    return result;
}

TEST(Transfer, AtEveryStepEveryRecordHasItsCompleteFile) {
    for (TransferMode mode : {TransferMode::Move, TransferMode::Copy}) {
        Portfolios p;
        Watch watch{{p.src, p.dst}, read_bytes(p.src / "f7.dat"), 0, {}};
        fileops::Table table = fileops::system_table();
        table.rename = watched_rename;
        table.remove = watched_remove;
        g_watch = &watch;
        fileops::set_table(&table);
        CommandResult r = p.run(mode);
        fileops::set_table(nullptr);
        g_watch = nullptr;
        ASSERT_TRUE(r.ok) << first_message(r);
        EXPECT_GE(watch.checks, mode == TransferMode::Move ? 5 : 3);
        EXPECT_TRUE(watch.faults.empty()) << watch.faults.front();
    }
}

// Every file-system call of a transfer fails once in turn: the command either completes or leaves both
// portfolios exactly as they were; nothing is lost and no temporary file remains.
class TransferFaults : public ::testing::TestWithParam<TransferMode> {};

TEST_P(TransferFaults, NeitherPortfolioLosesDataWhicheverCallFails) {
    TransferMode mode = GetParam();
    Portfolios clean;
    std::size_t calls = 0;
    {
        testing_support::FaultInjector counter;
        ASSERT_TRUE(clean.run(mode).ok);
        calls = counter.calls();
    }
    ASSERT_GT(calls, 10u);
    Files clean_src = without(snapshot(clean.src), "f7.bak");
    Files clean_dst = snapshot(clean.dst);
    for (std::size_t call = 1; call <= calls; ++call) {
        SCOPED_TRACE("failing call " + std::to_string(call));
        Portfolios p;
        CommandResult r;
        {
            testing_support::FaultInjector faults;
            faults.fail_call(call, EIO);
            r = p.run(mode);
            EXPECT_TRUE(faults.fired());
        }
        expect_sound(p.src);
        expect_sound(p.dst);
        if (r.ok) {
            // A move is complete once the source record is gone; a source file that could not be
            // deleted afterwards stays behind, unreferenced, and is named in a message.
            Files src = without(snapshot(p.src), "f7.bak");
            if (r.messages.size() == 1 && first_message(r).starts_with("The symbol was moved, but\n")) {
                src = without(without(src, "f7.dat"), "f7.dop");
            } else {
                EXPECT_TRUE(r.messages.empty()) << first_message(r);
            }
            EXPECT_EQ(src, clean_src);
            EXPECT_EQ(snapshot(p.dst), clean_dst);
        } else {
            EXPECT_FALSE(r.messages.empty());
            EXPECT_TRUE(p.unchanged()) << first_message(r);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(MoveAndCopy, TransferFaults,
                         ::testing::Values(TransferMode::Move, TransferMode::Copy),
                         [](const auto& info) { return info.param == TransferMode::Move ? "Move" : "Copy"; });
