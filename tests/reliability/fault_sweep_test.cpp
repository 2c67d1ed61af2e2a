// The fault-injection sweep: every operation that changes files runs once to count its file-system
// calls, then again on a fresh copy of the same portfolios for each call, with that call failing
// (EIO, ENOSPC, EACCES). After each run every file holds its complete old or its complete new
// content, the portfolios make sense together, no security is lost, no temporary file is left, and
// the result says failure whenever the work was not done.
#include "analysis/export.h"
#include "analysis/split_search.h"
#include "browser/repair.h"
#include "consistency.h"
#include "editing/symbol_commands.h"
#include "editing/transfer.h"
#include "storage/master.h"
#include "storage/rewrite.h"
#include "support/fault_injection.h"
#include "support/portfolio_builder.h"
#include "support/series_builder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testing_support::SeriesBar;
using testing_support::SeriesSpec;
using Files = std::map<std::string, std::string>; // path below the root -> content

// The portfolio at `dir`, whose MASTER is named in lower case, with `symbol` on screen. Built without a
// file-system call, so that the sweep counts only the command's own calls.
ViewState view_in(const fs::path& dir, const std::string& symbol = {}) {
    ViewState view;
    view.portfolioDir = dir;
    view.masterPath = dir / "master";
    view.currentSymbol = symbol;
    return view;
}

constexpr int kErrors[] = {EIO, ENOSPC, EACCES};

Files snapshot_of(const fs::path& root) {
    Files files;
    for (auto& [name, bytes] : testing_support::snapshot(root))
        files.emplace(name, std::move(bytes));
    return files;
}

std::optional<std::string> content(const Files& files, const std::string& name) {
    auto it = files.find(name);
    return it == files.end() ? std::nullopt : std::optional<std::string>(it->second);
}

// ---- The portfolios ------------------------------------------------------------------------------
//
// main   lower-case names, MASTER.BAK of an earlier rename, emaster and xmaster, two unused zero slots:
//        1 IBM (with f1.bak), 3 MSFT (no f3.dop), 4 GE, 6 a record with a blank symbol, 9 the nested SUB
// main/SUB  upper-case names: 1 XOM, 2 CVX
// other  upper-case names, EMASTER and XMASTER: 1 AAPL, 2 ORCL, 4 T
// out    an earlier export file

struct Security {
    SeriesSpec spec;
    std::vector<SeriesBar> bars;
};

Security make_security(int number, const std::string& symbol, const std::string& name, bool lower_case,
                       unsigned seed) {
    Security s;
    s.spec.file_number = number;
    s.spec.symbol = symbol;
    s.spec.name = name;
    s.spec.lower_case = lower_case;
    s.bars = testing_support::random_series_bars(seed, 40 + static_cast<int>(seed % 7));
    return s;
}

std::vector<SeriesBar> bars_of(unsigned seed) {
    return make_security(1, "X", "X", false, seed).bars;
}

void write_level(const fs::path& dir, const std::vector<Security>& securities,
                 const std::vector<MasterRecord>& extra_records, bool lower_case) {
    fs::create_directories(dir);
    std::vector<MasterRecord> records;
    for (const Security& s : securities) {
        testing_support::write_security(dir, s.spec, s.bars);
        records.push_back(testing_support::series_master_record(s.spec, s.bars));
    }
    records.insert(records.end(), extra_records.begin(), extra_records.end());
    testing_support::write_series_master(dir, records, lower_case, 2);
    testing_support::write_bytes(dir / (lower_case ? "emaster" : "EMASTER"), std::string(192, '\x5d'));
    testing_support::write_bytes(dir / (lower_case ? "xmaster" : "XMASTER"), std::string(150, '\x2a'));
}

void build_portfolios(const fs::path& root) {
    Security msft = make_security(3, "MSFT", "MICROSOFT", true, 3);
    msft.spec.fields = {"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL"};
    msft.spec.write_dop = false;
    Security damaged = make_security(6, "", "DAMAGED CO", true, 6);
    write_level(root / "main",
                {make_security(1, "IBM", "INTL BUS MACH", true, 1), msft,
                 make_security(4, "GE", "GENERAL ELEC", true, 4), damaged},
                {testing_support::master_directory_entry(9, "SUB")}, true);
    testing_support::write_bytes(root / "main" / "f1.bak", "an older f1.dat");
    testing_support::write_bytes(root / "main" / "master.bak", "an older master");
    write_level(root / "main" / "SUB",
                {make_security(1, "XOM", "EXXON", false, 11), make_security(2, "CVX", "CHEVRON", false, 12)},
                {}, false);
    write_level(root / "other",
                {make_security(1, "AAPL", "APPLE", false, 21), make_security(2, "ORCL", "ORACLE", false, 22),
                 make_security(4, "T", "AT AND T", false, 24)},
                {}, false);
    fs::create_directories(root / "out");
    testing_support::write_bytes(root / "out" / "export.txt", "an older export\n");
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

Outcome status_outcome(int result) {
    return Outcome{result == 0, false};
}

Outcome command_outcome(const CommandResult& result) {
    return Outcome{result.ok, false, !result.messages.empty()};
}

SeriesEdit edit_of(std::int16_t kind, DayNumber first, DayNumber last, std::vector<float> values = {}) {
    SeriesEdit edit;
    edit.kind = kind;
    edit.first_date = first;
    edit.last_date = last;
    for (std::size_t i = 0; i < values.size() && i < 6; ++i)
        edit.values[i] = values[i];
    return edit;
}

Outcome rewrite(const fs::path& root, const SeriesEdit& edit, const std::string& key) {
    return status_outcome(series_rewrite(edit, root / "main", key, 0, root / "main" / "master"));
}

std::vector<Operation> operations() {
    const std::vector<SeriesBar> ibm = bars_of(1);
    const std::vector<SeriesBar> msft = bars_of(3);
    const std::vector<SeriesBar> ge = bars_of(4);
    const std::vector<SeriesBar> xom = bars_of(11);
    const std::string kMain = "main/master";
    std::vector<Operation> ops;
    ops.push_back({"master_set_names",
                   [](const fs::path& root) {
                       return status_outcome(
                           master_set_names(root / "main" / "master", 4, "GEX", "GENERAL ELEC X"));
                   },
                   {kMain}});
    ops.push_back({"master_set_date",
                   [](const fs::path& root) {
                       std::uint8_t date[4];
                       date_to_mbf(date_pack(2001, 2, 3), date);
                       return status_outcome(master_set_date(root / "main" / "master", 1, date, 1));
                   },
                   {kMain}});
    ops.push_back({"master_append",
                   [](const fs::path& root) {
                       // The files first, as every caller puts them in place before the record.
                       Security s = make_security(3, "NEW", "NEW ISSUE", false, 31);
                       int number = 0;
                       int result = master_append(
                           root / "other", testing_support::series_master_record(s.spec, s.bars), number);
                       return Outcome{result == 0 && number == 3, false};
                   },
                   {"other/MASTER"},
                   [](const fs::path& root) {
                       Security s = make_security(3, "NEW", "NEW ISSUE", false, 31);
                       testing_support::write_security(root / "other", s.spec, s.bars);
                   }});
    ops.push_back({"master_remove with files",
                   [](const fs::path& root) {
                       int result = master_remove(root / "main", 4, true);
                       return Outcome{result == 0, result == 3};
                   },
                   {kMain}});
    ops.push_back(
        {"master_remove without files",
         [](const fs::path& root) { return status_outcome(master_remove(root / "main", 4, false)); },
         {kMain}});
    ops.push_back({"RepairMaster",
                   [](const fs::path& root) {
                       return Outcome{RepairMaster(root / "main" / "master") == 1, false};
                   },
                   {kMain}});
    ops.push_back({"series_rewrite kind 1",
                   [=](const fs::path& root) {
                       return rewrite(root,
                                      edit_of(kEditSet, ibm[5].date, ibm[5].date, {10, 12, 9, 11, 5000, 7}),
                                      "IBM");
                   },
                   {"main/f1.dat"}});
    ops.push_back({"series_rewrite kind 2",
                   [=](const fs::path& root) {
                       return rewrite(
                           root, edit_of(kEditMultiply, 0, msft[20].date, {0.5f, 0.5f, 0.5f, 0.5f, 2, 2}),
                           "MSFT");
                   },
                   {"main/f3.dat"}});
    ops.push_back(
        {"series_rewrite kind 3",
         [=](const fs::path& root) {
             return rewrite(
                 root, edit_of(kEditScale, ibm[3].date, ibm[30].date, {1.5f, 1.5f, 1.5f, 1.5f, 1, 1}), "IBM");
         },
         {"main/f1.dat"}});
    ops.push_back({"series_rewrite kind 4",
                   [=](const fs::path& root) {
                       // The first bar of a security of the nested portfolio: its MASTER's first date moves.
                       return rewrite(root, edit_of(kEditDelete, xom[0].date, xom[0].date), "XOM");
                   },
                   {"main/SUB/F1.DAT", "main/SUB/MASTER"}});
    ops.push_back({"series_rewrite kind 5",
                   [=](const fs::path& root) {
                       return rewrite(root, edit_of(kEditInsert, ge[10].date, ge[12].date), "GE");
                   },
                   {"main/f4.dat"}});
    ops.push_back({"edit_symbol",
                   [](const fs::path& root) {
                       return command_outcome(
                           editing::edit_symbol(view_in(root / "main"), "IBM", "IBMX", "INTL BUS MACH X"));
                   },
                   {kMain}});
    ops.push_back({"delete_symbol",
                   [](const fs::path& root) {
                       CommandResult r = editing::delete_symbol(view_in(root / "main"), "GE");
                       return Outcome{r.ok, r.status == 3, !r.messages.empty()};
                   },
                   {kMain}});
    auto transfer = [](editing::TransferMode mode, std::string from, std::string symbol, std::string to) {
        return [=](const fs::path& root) {
            return command_outcome(editing::transfer_symbol(view_in(root / from, symbol), mode, root / to));
        };
    };
    ops.push_back({"transfer Move",
                   transfer(editing::TransferMode::Move, "main", "IBM", "other"),
                   {kMain, "other/MASTER"}});
    ops.push_back({"transfer Copy", transfer(editing::TransferMode::Copy, "other", "AAPL", "main"), {kMain}});
    ops.push_back({"transfer Move out of a nested portfolio",
                   transfer(editing::TransferMode::Move, "main", "XOM", "other"),
                   {"main/SUB/MASTER", "other/MASTER"}});
    ops.push_back({"transfer Copy without DOP",
                   transfer(editing::TransferMode::Copy, "main", "MSFT", "other"),
                   {"other/MASTER"}});
    ops.push_back({"export_quotes",
                   [](const fs::path& root) {
                       ExportOptions options;
                       options.delimiter = 1;
                       options.title = true;
                       return command_outcome(
                           export_quotes(root / "main", "IBM", root / "out" / "export.txt", options));
                   },
                   {"out/export.txt"}});
    ops.push_back({"split_search_save",
                   [](const fs::path& root) {
                       std::vector<std::string> lines = {"IBM possible 2 for 1 split on 01/05/99",
                                                         "GE possible 3 for 2 split on 03/09/99"};
                       return command_outcome(split_search_save(root / "out" / "splits.txt", lines));
                   },
                   {"out/splits.txt"}});
    return ops;
}

// ---- The checks ----------------------------------------------------------------------------------

fs::path relative_dir(const fs::path& dir, const fs::path& root) {
    return dir.lexically_normal().lexically_relative(root.lexically_normal());
}

bool holds(const reliability::TreeCheck& tree, const fs::path& root,
           const reliability::SecurityRecord& wanted, const fs::path& wanted_root) {
    for (const auto& s : tree.securities) {
        bool same_place = relative_dir(s.dir, root) == relative_dir(wanted.dir, wanted_root) &&
                          s.file_number == wanted.file_number;
        if (same_place || (!wanted.symbol.empty() && s.symbol == wanted.symbol))
            return true;
    }
    return false;
}

reliability::TreeCheck check_portfolios(const fs::path& root) {
    return reliability::check_trees({root / "main", root / "other"});
}

struct States {
    fs::path root; // where `old_tree` was taken
    Files old_files;
    Files new_files;
    reliability::TreeCheck old_tree;
    reliability::TreeCheck new_tree;
    fs::path new_root;
};

struct Verdict {
    std::vector<std::string> faults;
    bool data_lost = false;
};

enum class Primary { Old, New, Half };

Primary primary_state(const Operation& op, const Files& now, const States& states) {
    bool all_old = true, all_new = true;
    for (const std::string& name : op.primary) {
        all_old = all_old && content(now, name) == content(states.old_files, name);
        all_new = all_new && content(now, name) == content(states.new_files, name);
    }
    return all_new ? Primary::New : all_old ? Primary::Old : Primary::Half;
}

void check_files(const Files& now, const States& states, Verdict& verdict) {
    std::map<std::string, int> names;
    for (const Files* files : {&states.old_files, &states.new_files, &now})
        for (const auto& entry : *files)
            names[entry.first] = 0;
    for (const auto& [name, unused] : names) {
        auto is = content(now, name);
        if (is == content(states.old_files, name) || is == content(states.new_files, name))
            continue;
        std::string file_name = fs::path(name).filename().string();
        if (is && !content(states.old_files, name) && reliability::is_temporary_name(file_name)) {
            verdict.faults.push_back(name + " is left behind");
        } else {
            verdict.faults.push_back(name + " holds neither its old nor its new content");
            verdict.data_lost = true;
        }
    }
}

void check_sense(const fs::path& root, const Files& now, const States& states, Primary primary,
                 Verdict& verdict) {
    // A state equal to the old or the new one file for file was checked once already.
    if (now == states.old_files || now == states.new_files)
        return;
    reliability::TreeCheck tree = check_portfolios(root);
    for (const std::string& fault : tree.faults) {
        verdict.faults.push_back(fault);
        verdict.data_lost = true;
    }
    for (const auto& wanted : states.old_tree.securities) {
        if (holds(tree, root, wanted, states.root))
            continue;
        // Gone: right only when the operation removes it and its work is done.
        bool removed_by_op = !holds(states.new_tree, states.new_root, wanted, states.root);
        if (removed_by_op && primary == Primary::New)
            continue;
        verdict.faults.push_back("security " + wanted.symbol + " (" + wanted.name + ") is lost");
        verdict.data_lost = true;
    }
}

void check_report(Primary primary, const Outcome& outcome, bool wholly_new, Verdict& verdict) {
    if (outcome.ok && !wholly_new && !outcome.explained)
        verdict.faults.push_back(
            "success reported without a word, but not every file is as the operation leaves it");
    if (primary == Primary::Half)
        verdict.faults.push_back("the files the operation changes are half old, half new");
    if (primary == Primary::Old && outcome.ok)
        verdict.faults.push_back("success reported, but nothing was done");
    if (primary == Primary::New && !outcome.ok && !outcome.done_but_reported)
        verdict.faults.push_back("failure reported, but the work is done");
}

// ---- The sweep -----------------------------------------------------------------------------------

struct Tally {
    int operations = 0;
    long injection_points = 0;
    long survived = 0;
    long data_lost = 0;
};

void fresh_copy(const fs::path& from, const fs::path& to, const Operation& op) {
    fs::copy(from, to, fs::copy_options::recursive);
    if (op.prepare)
        op.prepare(to);
}

void sweep(const Operation& op, const fs::path& pristine, Tally& tally) {
    SCOPED_TRACE(op.name);
    States states;
    testing_support::TempDir clean;
    fresh_copy(pristine, clean / "w", op);
    states.root = clean / "w";
    states.old_files = snapshot_of(states.root);
    states.old_tree = check_portfolios(states.root);
    ASSERT_TRUE(states.old_tree.ok()) << states.old_tree.faults.front();

    testing_support::TempDir done;
    fresh_copy(pristine, done / "w", op);
    std::size_t calls = 0;
    Outcome clean_outcome;
    {
        testing_support::FaultInjector counter;
        clean_outcome = op.run(done / "w");
        calls = counter.calls();
    }
    ASSERT_TRUE(clean_outcome.ok);
    states.new_root = done / "w";
    states.new_files = snapshot_of(states.new_root);
    states.new_tree = check_portfolios(states.new_root);
    ASSERT_TRUE(states.new_tree.ok()) << states.new_tree.faults.front();
    for (const std::string& name : op.primary)
        ASSERT_NE(content(states.old_files, name), content(states.new_files, name)) << name;
    ++tally.operations;

    for (std::size_t call = 1; call <= calls; ++call) {
        for (int error : kErrors) {
            testing_support::TempDir run;
            fs::path root = run / "w";
            fresh_copy(pristine, root, op);
            Outcome outcome;
            bool fired = false;
            {
                testing_support::FaultInjector faults;
                faults.fail_call(call, error);
                outcome = op.run(root);
                fired = faults.fired();
            }
            Files now = snapshot_of(root);
            Primary primary = primary_state(op, now, states);
            Verdict verdict;
            if (!fired)
                verdict.faults.push_back("the failure was not injected");
            check_files(now, states, verdict);
            check_sense(root, now, states, primary, verdict);
            check_report(primary, outcome, now == states.new_files, verdict);
            ++tally.injection_points;
            if (verdict.faults.empty())
                ++tally.survived;
            if (verdict.data_lost)
                ++tally.data_lost;
            for (const std::string& fault : verdict.faults)
                ADD_FAILURE() << op.name << ", call " << call << " of " << calls << " failing with "
                              << std::strerror(error) << ": " << fault;
        }
    }
}

// Thousands of runs, each with several fsyncs: on a memory file system, where the host has one, they
// cost nothing, and the sweep stays quick.
void use_memory_file_system() {
    std::error_code ec;
    if (fs::is_directory("/dev/shm", ec))
        setenv("TMPDIR", "/dev/shm", 1);
}

TEST(FaultSweep, EveryOperationSurvivesEachFailingCall) {
    use_memory_file_system();
    testing_support::TempDir pristine;
    build_portfolios(pristine / "w");
    Tally tally;
    for (const Operation& op : operations())
        sweep(op, pristine / "w", tally);
    EXPECT_EQ(tally.survived, tally.injection_points);
    EXPECT_EQ(tally.data_lost, 0);
    std::printf("fault sweep: %d operations, %ld injection points, %ld failures survived, %ld data lost\n",
                tally.operations, tally.injection_points, tally.survived, tally.data_lost);
}

} // namespace
