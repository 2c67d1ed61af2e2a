// The fault-injection sweep: every operation that changes files runs once to count its file-system
// calls, then again on a fresh copy of the same portfolios for each call, with that call failing
// (EIO, ENOSPC, EACCES). After each run every file holds its complete old or its complete new
// content, the portfolios make sense together, no security is lost, no temporary file is left, and
// the result says failure whenever the work was not done.
#include "analysis/export.h"
#include "analysis/import.h"
#include "analysis/split_search.h"
#include "common/quote_cells.h"
#include "common/repair.h"
#include "consistency.h"
#include "editing/quote_commands.h"
#include "editing/symbol_commands.h"
#include "editing/transfer.h"
#include "storage/directory.h"
#include "storage/rewrite.h"
#include "support/builder.h"
#include "support/fault_injection.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <optional>

namespace {

namespace fs = std::filesystem;
using namespace testing_support;
using Files = Snapshot; // path below the root -> content

std::optional<std::string> content(const Files& files, const std::string& name) {
    auto it = files.find(name);
    return it == files.end() ? std::nullopt : std::optional<std::string>(it->second);
}

// ---- The portfolios ------------------------------------------------------------------------------
//
// main   lower-case names, MASTER.BAK of an earlier rename, a usable emaster, an xmaster, two unused slots:
//        1 IBM (with f1.bak), 3 MSFT (no f3.dop), 4 GE, 6 a record with a blank symbol, 9 the nested SUB
// main/SUB  upper-case names: 1 XOM, 2 CVX
// other  upper-case names, a usable EMASTER: 1 AAPL, 2 ORCL, 4 T; a usable XMASTER: 300 HPQ
// out    an earlier export file

Security sec(int number, const std::string& symbol, const std::string& name, unsigned seed,
             bool lower = false) {
    return make_security(number, symbol, name, random_series_bars(seed, 40 + static_cast<int>(seed % 7)),
                         lower);
}

void build_portfolios(const fs::path& root) {
    Security msft = sec(3, "MSFT", "MICROSOFT", 3, true);
    msft.spec = {3, "MSFT", "MICROSOFT", 'D', {"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL"}, false};
    msft.spec.lower_case = true;
    write_portfolio(root / "main",
                    {sec(1, "IBM", "INTL BUS MACH", 1, true), msft, sec(4, "GE", "GENERAL ELEC", 4, true),
                     sec(6, "", "DAMAGED CO", 6, true)},
                    true, {master_directory_entry(9, "SUB")});
    write_bytes(root / "main" / "f1.bak", "an older f1.dat");
    write_bytes(root / "main" / "master.bak", "an older master");
    write_portfolio(root / "main" / "SUB", {sec(1, "XOM", "EXXON", 11), sec(2, "CVX", "CHEVRON", 12)});
    write_portfolio(root / "other",
                    {sec(1, "AAPL", "APPLE", 21), sec(2, "ORCL", "ORACLE", 22), sec(4, "T", "AT AND T", 24)});
    const auto hpq = sec(1, "", "", 30).bars;
    write_bytes(root / "other" / "F300.MWD", dat_bytes(SeriesSpec{}, hpq));
    write_bytes(root / "other" / "XMASTER", xmaster_bytes({{300, "HPQ", "HEWLETT PACKARD COMPANY", 0, 0}}));
    fs::create_directories(root / "out");
    write_bytes(root / "out" / "export.txt", "an older export\n");
}

// ---- The operations ------------------------------------------------------------------------------

struct Outcome {
    bool ok = false;
    // Failure reported for work that is done, where the operation documents it (a file that could not
    // be deleted after its record was removed).
    bool done_but_reported = false;
    // A command told the user something besides success (a file it could not delete afterwards).
    bool explained = false;
};

struct Operation {
    std::string name;
    std::function<Outcome(const fs::path& root)> run;
    // The files whose change is the operation's purpose: all old or all new, never half.
    std::vector<std::string> primary;
    // Prepared before the snapshot of the old state, as a real caller would have it.
    std::function<void(const fs::path& root)> prepare = {};
};

Outcome of(int status) {
    return {status == 0};
}
Outcome of(const CommandResult& result) {
    return {result.ok, false, !result.messages.empty()};
}

std::vector<Operation> operations() {
    using editing::TransferMode;
    auto rewrite = [](std::string key, std::int16_t kind, DayNumber first, DayNumber last,
                      std::vector<float> v) {
        v.resize(6);
        const SeriesEdit edit{{v[0], v[1], v[2], v[3], v[4], v[5]}, first, last, kind};
        return [=](const fs::path& root) {
            return of(series_rewrite(edit, root / "main", key, 0, root / "main/master"));
        };
    };
    auto transfer = [](TransferMode mode, std::string from, std::string symbol, std::string to) {
        return [=](const fs::path& root) {
            return of(editing::transfer_symbol(root / from, symbol, mode, root / to));
        };
    };
    const Security added =
        sec(3, "NEW", "NEW ISSUE", 31); // its files put in place before the record, as callers do
    const auto ibm = sec(1, "", "", 1).bars, msft = sec(1, "", "", 3).bars, ge = sec(1, "", "", 4).bars,
               xom = sec(1, "", "", 11).bars, hpq = sec(1, "", "", 30).bars;
    const std::string kMain = "main/master", kMainE = "main/emaster";
    // The kind 4 rewrite deletes the first bar of a security of the nested portfolio: its first date moves.
    // clang-format off
    return {
        {"master_set_names", [](auto& root) { return of(master_set_names(root / "main/master", 4, "GEX", "GE X")); }, {kMain, kMainE}},
        {"master_set_date", [](auto& root) {
             std::uint8_t date[4];
             date_to_mbf(date_pack(2001, 2, 3), date);
             return of(master_set_date(root / "main/master", 1, date, 1)); }, {kMain, kMainE}},
        {"master_append", [=](auto& root) {
             int number = 0;
             const int result = master_append(root / "other", series_master_record(added.spec, added.bars), number);
             return Outcome{result == 0 && number == 3}; },
         {"other/MASTER", "other/EMASTER"}, [=](auto& root) { write_security(root / "other", added.spec, added.bars); }},
        {"master_remove with files", [](auto& root) {
             const int result = master_remove(root / "main", 4, true);
             return Outcome{result == 0, result == 3}; }, {kMain, kMainE}},
        {"master_remove without files", [](auto& root) { return of(master_remove(root / "main", 4, false)); }, {kMain, kMainE}},
        {"RepairMaster", [](auto& root) { return Outcome{RepairMaster(root / "main/master") == 1}; }, {kMain, kMainE}},
        {"series_rewrite kind 1", rewrite("IBM", kEditSet, ibm[5].date, ibm[5].date, {10, 12, 9, 11, 5000, 7}), {"main/f1.dat"}},
        {"series_rewrite kind 2", rewrite("MSFT", kEditMultiply, 0, msft[20].date, {0.5f, 0.5f, 0.5f, 0.5f, 2, 2}), {"main/f3.dat"}},
        {"series_rewrite kind 3", rewrite("IBM", kEditScale, ibm[3].date, ibm[30].date, {1.5f, 1.5f, 1.5f, 1.5f, 1, 1}), {"main/f1.dat"}},
        {"series_rewrite kind 4", rewrite("XOM", kEditDelete, xom[0].date, xom[0].date, {}), {"main/SUB/F1.DAT", "main/SUB/MASTER", "main/SUB/EMASTER"}},
        {"series_rewrite kind 5", rewrite("GE", kEditInsert, ge[10].date, ge[12].date, {}), {"main/f4.dat"}},
        {"series_rewrite kind 4 in XMASTER", [=](auto& root) {
             return of(series_rewrite(SeriesEdit{{}, hpq[0].date, hpq[0].date, kEditDelete}, root / "other", "HPQ", 0, root / "other/MASTER")); },
         {"other/F300.MWD", "other/XMASTER"}},
        {"edit_symbol in XMASTER", [](auto& root) { return of(editing::edit_symbol(root / "other", "HPQ", "HPQX", "HP")); }, {"other/XMASTER"}},
        {"delete_symbol in XMASTER", [](auto& root) {
             const CommandResult r = editing::delete_symbol(root / "other", "HPQ");
             return Outcome{r.ok, r.status == 3, !r.messages.empty()}; }, {"other/XMASTER"}},
        {"edit_symbol", [](auto& root) { return of(editing::edit_symbol(root / "main", "IBM", "IBMX", "INTL BUS MACH X")); }, {kMain, kMainE}},
        // A run killed between the two directory rewrites left emaster naming IBM by its old symbol: the
        // next command rebuilds it (emaster.bak keeping the stale one) before its own change.
        {"edit_quote after a stale emaster", [=](auto& root) {
             editing::SeriesSession series;
             series.open(root / "main", "IBM");
             return of(editing::edit_quote(series, {-1, ibm[5].date, 0}, quote_date_text(ibm[5].date),
                                           {"10", "12", "9", "11", "5000", "7"})); },
         {"main/f1.dat"}, [](auto& root) {
             std::string stale = read_bytes(root / "main/emaster");
             stale.replace(192 + 11, 4, std::string("OLD\0", 4));
             write_bytes(root / "main/emaster", stale); }},
        {"delete_symbol", [](auto& root) {
             const CommandResult r = editing::delete_symbol(root / "main", "GE");
             return Outcome{r.ok, r.status == 3, !r.messages.empty()}; }, {kMain, kMainE}},
        {"transfer Move", transfer(TransferMode::Move, "main", "IBM", "other"), {kMain, kMainE, "other/MASTER", "other/EMASTER"}},
        {"transfer Copy", transfer(TransferMode::Copy, "other", "AAPL", "main"), {kMain, kMainE}},
        {"transfer Move out of a nested portfolio", transfer(TransferMode::Move, "main", "XOM", "other"), {"main/SUB/MASTER", "main/SUB/EMASTER", "other/MASTER", "other/EMASTER"}},
        {"transfer Copy without DOP", transfer(TransferMode::Copy, "main", "MSFT", "other"), {"other/MASTER", "other/EMASTER"}},
        {"export_quotes", [](auto& root) {
             return of(export_quotes(root / "main", "IBM", root / "out/export.txt", ExportOptions{{}, 1, false, true})); },
         {"out/export.txt"}},
        {"new_portfolio", [](auto& root) { return of(new_portfolio(root / "fresh")); }, {"fresh/MASTER", "fresh/EMASTER"}},
        {"new_security", [](auto& root) { return of(new_security(root / "other", "NEW", "A NEW ISSUE OF LONG NAME", series_shape_default('D'))); },
         {"other/MASTER", "other/EMASTER"}},
        // Quotes after IBM's last and one in place of its sixth: its quote file and its last date change.
        {"import into a security", [](auto& root) {
             std::vector<ImportOutcome> outcomes;
             return of(import_quotes(root / "main", "IBM", root / "in.txt", ImportOptions{}, outcomes)); },
         {"main/f1.dat", kMain, kMainE}, [=](auto& root) {
             write_bytes(root / "in.txt", "Date,Close\n" + quote_date_text(ibm[5].date) + ",99.5\n01/02/2030,7\n01/03/2030,8\n"); }},
        // A vendor's file for a security another portfolio does not hold yet: it is made.
        {"import_all making a security", [](auto& root) {
             std::vector<ImportOutcome> outcomes;
             ImportOptions options;
             options.create = true;
             return of(import_all(root / "other", {root / "day.txt"}, options, outcomes)); },
         {"other/MASTER", "other/EMASTER"}, [](auto& root) {
             write_bytes(root / "day.txt", "<TICKER>,<DTYYYYMMDD>,<CLOSE>,<VOL>\nNEWCO,20300102,6,200\nNEWCO,20300103,6.5,300\n"); }},
        {"split_search_save", [](auto& root) {
             return of(split_search_save(root / "out/splits.txt", {"IBM possible 2 for 1 split on 01/05/99", "GE x"})); },
         {"out/splits.txt"}}};
    // clang-format on
}

// ---- The checks ----------------------------------------------------------------------------------

struct States {
    fs::path old_root, new_root;
    Files old_files, new_files;
    reliability::TreeCheck old_tree, new_tree;
};

// The tree holds the security: at the same place (directory below the root and file number), or, for
// one that has a symbol, anywhere under that symbol.
bool holds(const reliability::TreeCheck& tree, const fs::path& root,
           const reliability::SecurityRecord& wanted, const fs::path& wanted_root) {
    auto below = [](const fs::path& dir, const fs::path& top) {
        return dir.lexically_normal().lexically_relative(top.lexically_normal());
    };
    return std::any_of(tree.securities.begin(), tree.securities.end(), [&](const auto& s) {
        return (below(s.dir, root) == below(wanted.dir, wanted_root) &&
                s.file_number == wanted.file_number) ||
               (!wanted.symbol.empty() && s.symbol == wanted.symbol);
    });
}

reliability::TreeCheck check_portfolios(const fs::path& root) {
    return reliability::check_trees({root / "main", root / "other"});
}

enum class Primary { Old, New, Half };

// What a run that failed at one call left behind; an empty list when it is sound.
std::vector<std::string> faults_after(const Operation& op, const fs::path& root, const Outcome& outcome,
                                      const States& states, bool& data_lost, bool& inconsistent) {
    std::vector<std::string> faults;
    const Files now = snapshot(root);
    bool all_old = true, all_new = true;
    for (const std::string& name : op.primary) {
        all_old = all_old && content(now, name) == content(states.old_files, name);
        all_new = all_new && content(now, name) == content(states.new_files, name);
    }
    const Primary primary = all_new ? Primary::New : all_old ? Primary::Old : Primary::Half;
    // Every file holds its old or its new content; a temporary one is only left behind.
    std::map<std::string, int> names;
    for (const Files* files : {&states.old_files, &states.new_files, &now})
        for (const auto& entry : *files)
            names[entry.first] = 0;
    for (const auto& [name, unused] : names) {
        const auto is = content(now, name);
        if (is == content(states.old_files, name) || is == content(states.new_files, name))
            continue;
        const bool left = is && !content(states.old_files, name) &&
                          reliability::is_temporary_name(fs::path(name).filename().string());
        faults.push_back(name + (left ? " is left behind" : " holds neither its old nor its new content"));
        data_lost = data_lost || !left;
    }
    // The portfolios make sense, and no security is lost that the operation does not remove. A state
    // equal to the old or the new one file for file was checked once already.
    if (now != states.old_files && now != states.new_files) {
        const reliability::TreeCheck tree = check_portfolios(root);
        faults.insert(faults.end(), tree.faults.begin(), tree.faults.end());
        // A failed command puts EMASTER back where MASTER could not follow: the two agree as before.
        if (tree.emaster_out_of_step.size() > states.old_tree.emaster_out_of_step.size()) {
            faults.push_back(tree.emaster_out_of_step.front().string() + " disagrees with its MASTER");
            inconsistent = true;
        }
        data_lost = data_lost || !tree.ok();
        for (const auto& wanted : states.old_tree.securities) {
            const bool removed_by_op = !holds(states.new_tree, states.new_root, wanted, states.old_root);
            if (holds(tree, root, wanted, states.old_root) || (removed_by_op && primary == Primary::New))
                continue;
            faults.push_back("security " + wanted.symbol + " (" + wanted.name + ") is lost");
            data_lost = true;
        }
    }
    // The result tells the truth.
    if (outcome.ok && now != states.new_files && !outcome.explained)
        faults.push_back("success reported without a word, but not every file is as the operation leaves it");
    if (primary == Primary::Half)
        faults.push_back("the files the operation changes are half old, half new");
    if (primary == Primary::Old && outcome.ok)
        faults.push_back("success reported, but nothing was done");
    if (primary == Primary::New && !outcome.ok && !outcome.done_but_reported)
        faults.push_back("failure reported, but the work is done");
    return faults;
}

// ---- The sweep -----------------------------------------------------------------------------------

struct Tally {
    int operations = 0;
    long injection_points = 0, survived = 0, data_lost = 0, inconsistent = 0; // inconsistent: EMASTER
};

fs::path fresh_copy(const fs::path& from, const TempDir& dir, const Operation& op) {
    fs::copy(from, dir / "w", fs::copy_options::recursive);
    if (op.prepare)
        op.prepare(dir / "w");
    return dir / "w";
}

void sweep(const Operation& op, const fs::path& pristine, Tally& tally) {
    SCOPED_TRACE(op.name);
    TempDir clean, done;
    States states;
    states.old_root = fresh_copy(pristine, clean, op);
    states.old_files = snapshot(states.old_root);
    states.old_tree = check_portfolios(states.old_root);
    ASSERT_TRUE(states.old_tree.ok()) << states.old_tree.faults.front();
    states.new_root = fresh_copy(pristine, done, op);
    std::size_t calls = 0;
    {
        FaultInjector counter;
        ASSERT_TRUE(op.run(states.new_root).ok);
        calls = counter.calls();
    }
    states.new_files = snapshot(states.new_root);
    states.new_tree = check_portfolios(states.new_root);
    ASSERT_TRUE(states.new_tree.ok()) << states.new_tree.faults.front();
    ASSERT_TRUE(states.new_tree.emaster_out_of_step.empty()) << states.new_tree.emaster_out_of_step.front();
    for (const std::string& name : op.primary)
        ASSERT_NE(content(states.old_files, name), content(states.new_files, name)) << name;
    ++tally.operations;

    for (std::size_t call = 1; call <= calls; ++call) {
        for (int error : {EIO, ENOSPC, EACCES}) {
            TempDir run;
            const fs::path root = fresh_copy(pristine, run, op);
            Outcome outcome;
            bool fired = false, data_lost = false, inconsistent = false;
            {
                FaultInjector faults;
                faults.fail_call(call, error);
                outcome = op.run(root);
                fired = faults.fired();
            }
            std::vector<std::string> faults =
                faults_after(op, root, outcome, states, data_lost, inconsistent);
            if (!fired)
                faults.push_back("the failure was not injected");
            ++tally.injection_points;
            tally.survived += faults.empty();
            tally.data_lost += data_lost;
            tally.inconsistent += inconsistent;
            for (const std::string& fault : faults)
                ADD_FAILURE() << op.name << ", call " << call << " of " << calls << " failing with "
                              << std::strerror(error) << ": " << fault;
        }
    }
}

TEST(FaultSweep, EveryOperationSurvivesEachFailingCall) {
    // Thousands of runs, each with several fsyncs: on a memory file system, where the host has one, they
    // cost nothing, and the sweep stays quick.
    use_memory_file_system();
    TempDir pristine;
    build_portfolios(pristine / "w");
    Tally tally;
    for (const Operation& op : operations())
        sweep(op, pristine / "w", tally);
    EXPECT_EQ(tally.survived, tally.injection_points);
    EXPECT_EQ(tally.data_lost, 0);
    EXPECT_EQ(tally.inconsistent, 0);
    std::printf("fault sweep: %d operations, %ld injection points, %ld failures survived, %ld data lost, %ld "
                "EMASTER files out of step\n",
                tally.operations, tally.injection_points, tally.survived, tally.data_lost,
                tally.inconsistent);
}

} // namespace
