// The kill test: a child process makes a long seeded series of random edits on two portfolios (quote
// edits of every kind, splits, adjustments, deleted and added quotes, renames, moves and copies
// between the two) and is killed with SIGKILL at a random moment. After each kill both portfolios must
// make sense: every MASTER reads with counters that agree, every counted security reads completely,
// and no security is lost (one may be in both portfolios after a killed move). The next child starts
// on the same directories with whatever the killed one left behind.
#include "browser/quote_cells.h"
#include "browser/symbol_list.h"
#include "consistency.h"
#include "editing/quote_commands.h"
#include "editing/symbol_commands.h"
#include "editing/transfer.h"
#include "storage/portfolio_files.h"
#include "storage/rewrite.h"
#include "support/series_builder.h"
#include "support/temp_dir.h"
#include "support/view_of.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <random>
#include <set>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testing_support::view_of;
using Clock = std::chrono::steady_clock;

constexpr int kKills = 400;
constexpr auto kTimeBudget = std::chrono::seconds(35);
constexpr int kMaxDelayMs = 30;
constexpr std::size_t kMaxRows = 14; // copies stop here, so the portfolios stay small
constexpr int kStepsPerChild = 4000;

// The identity of a security: the first four characters of its name ("ID07"), which renames keep.
std::string identity_of(const std::string& name) {
    return name.substr(0, 4);
}

// ---- The portfolios ------------------------------------------------------------------------------

void write_portfolio(const fs::path& dir, int first_id, bool lower_case) {
    fs::create_directories(dir);
    std::vector<MasterRecord> records;
    for (int i = 0; i < 6; ++i) {
        testing_support::SeriesSpec spec;
        spec.file_number = i + 1;
        spec.symbol = "SYM" + std::to_string(first_id + i);
        spec.name = "ID" + std::to_string(10 + first_id + i) + " SECURITY";
        spec.lower_case = lower_case;
        if (i == 2) {
            spec.fields = {"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL"};
            spec.write_dop = false;
        }
        auto bars = testing_support::random_series_bars(static_cast<unsigned>(first_id + i), 50);
        testing_support::write_security(dir, spec, bars);
        records.push_back(testing_support::series_master_record(spec, bars));
    }
    testing_support::write_series_master(dir, records, lower_case, 2);
    testing_support::write_bytes(dir / (lower_case ? "emaster" : "EMASTER"), std::string(192, '\x5d'));
}

// ---- The child: random edits ---------------------------------------------------------------------

enum Step : int {
    kEditQuote,
    kMultiply,
    kSplit,
    kAdjust,
    kDeleteQuote,
    kAddQuote,
    kRename,
    kMove,
    kCopy,
    kDelete,
    kSteps
};
const char* const kStepNames[kSteps] = {"edit quote", "multiply", "split", "adjust", "delete quote",
                                        "add quote",  "rename",   "move",  "copy",   "delete symbol"};

struct Row {
    fs::path dir;
    std::string symbol;
    std::string name;
};

std::vector<Row> rows_of(const std::vector<fs::path>& dirs) {
    std::vector<Row> rows;
    for (const fs::path& dir : dirs) {
        SymbolListing listing = symbol_list_read(portfolio_files::master(dir));
        for (const SymbolRow& row : listing.rows) {
            if (!row.damaged)
                rows.push_back({dir, row.symbol, row.name});
        }
    }
    return rows;
}

// The view state with the row's security on screen and its quote list read.
ViewState view_on(const Row& row, const QuoteListing& listing) {
    ViewState view = view_of(row.dir, row.symbol);
    view.quoteCount = listing.quote_count;
    view.firstQuoteDate = listing.first_quote_date;
    view.lastQuoteDate = listing.last_quote_date;
    return view;
}

class Child {
public:
    Child(std::vector<fs::path> dirs, unsigned seed, int progress_fd)
        : dirs_(std::move(dirs)), rng_(seed), seed_(seed), progress_fd_(progress_fd) {}

    [[noreturn]] void run(int steps) {
        for (int i = 0; i < steps; ++i) {
            int step = pick(kSteps);
            bool ok = do_step(step, i);
            unsigned char note = static_cast<unsigned char>(step << 1 | (ok ? 1 : 0));
            if (write(progress_fd_, &note, 1) != 1)
                break;
        }
        _exit(0);
    }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

    bool do_step(int step, int index) {
        std::vector<Row> rows = rows_of(dirs_);
        if (rows.empty())
            return false;
        const Row& row = rows[static_cast<std::size_t>(pick(static_cast<int>(rows.size())))];
        const fs::path master = portfolio_files::master(row.dir);
        const fs::path other = row.dir == dirs_[0] ? dirs_[1] : dirs_[0];
        switch (step) {
        case kRename:
            return rename(row, index);
        case kMove:
            return editing::transfer_symbol(view_of(row.dir, row.symbol), editing::TransferMode::Move, other)
                .ok;
        case kCopy:
            return rows.size() < kMaxRows &&
                   editing::transfer_symbol(view_of(row.dir, row.symbol), editing::TransferMode::Copy, other)
                       .ok;
        case kDelete:
            return delete_duplicate(rows, row);
        default:
            return edit_quotes(step, row, master);
        }
    }

    bool rename(const Row& row, int index) {
        std::string symbol = "S" + std::to_string(seed_ % 100000) + "_" + std::to_string(index);
        std::string name = identity_of(row.name) + " R" + std::to_string(index % 1000);
        return editing::edit_symbol(view_of(row.dir), row.symbol, symbol, name).ok;
    }

    // Only a security that exists twice is deleted, so that no identity is ever deleted on purpose.
    bool delete_duplicate(const std::vector<Row>& rows, const Row& row) {
        int copies = 0;
        for (const Row& r : rows)
            copies += identity_of(r.name) == identity_of(row.name) ? 1 : 0;
        return copies >= 2 && editing::delete_symbol(view_of(row.dir), row.symbol).ok;
    }

    bool edit_quotes(int step, const Row& row, const fs::path& master) {
        QuoteListing listing = quote_list_read(row.dir, row.symbol);
        if (!listing.result.ok || listing.rows.size() < 3)
            return false;
        const int count = static_cast<int>(listing.rows.size());
        ViewState view = view_on(row, listing);
        view.selectedQuoteRow = pick(count);
        std::vector<std::string> dates;
        for (const QuoteCells& cells : listing.rows)
            dates.push_back(cells[0]);
        const std::string& date = dates[static_cast<std::size_t>(view.selectedQuoteRow)];
        switch (step) {
        case kEditQuote: {
            std::string v = std::to_string(10 + pick(90)) + ".25";
            return editing::edit_quote(view, date, {v, v, v, v, "1000", "50"}).ok;
        }
        case kMultiply: {
            // The multiplying kind, which no dialog asks for, through the rewrite itself.
            SeriesEdit edit;
            edit.kind = kEditMultiply;
            edit.first_date = 0;
            edit.last_date = 0xFFFF;
            std::fill(edit.values, edit.values + 6, pick(2) ? 2.0f : 0.5f);
            return series_rewrite(edit, row.dir, row.symbol, listing.quote_count, master) == 0;
        }
        case kSplit:
            return editing::split_quotes(view, {date, pick(2) ? "2" : "1", pick(2) ? "1" : "2"}).ok;
        case kAdjust: {
            const std::string& other = dates[static_cast<std::size_t>(pick(count))];
            std::string from = date_from_text_order(date, other, true);
            std::string to = date_from_text_order(date, other, false);
            return editing::adjust_quotes(view, {from, to, pick(2) ? "1.5" : "0.75", "2", "1"}).ok;
        }
        case kDeleteQuote:
            return editing::delete_quote(view, date).ok;
        case kAddQuote:
            return editing::add_quote(view, listing.dates).result.ok;
        }
        return false;
    }

    // The earlier (or later) of two dates shown in the list, which is newest first.
    static std::string date_from_text_order(const std::string& a, const std::string& b, bool earlier) {
        auto key = [](const std::string& d) { return d.substr(6, 2) + d.substr(0, 2) + d.substr(3, 2); };
        bool a_first = key(a) <= key(b); // every date of these portfolios lies in the 1980s and 1990s
        return (a_first == earlier) ? a : b;
    }

    std::vector<fs::path> dirs_;
    std::mt19937 rng_;
    unsigned seed_;
    int progress_fd_;
};

// ---- The parent ----------------------------------------------------------------------------------

struct ChildRun {
    std::vector<unsigned char> notes; // one per finished step
    int status = 0;
};

// Runs a child for `steps` steps, killed after `kill_after_ms` unless that is negative.
ChildRun run_child(const std::vector<fs::path>& dirs, unsigned seed, int steps, int kill_after_ms) {
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        Child(dirs, seed, fds[1]).run(steps);
    }
    close(fds[1]);
    ChildRun run;
    if (pid < 0) {
        close(fds[0]);
        return run;
    }
    if (kill_after_ms >= 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kill_after_ms));
        kill(pid, SIGKILL);
    }
    unsigned char buffer[256];
    for (;;) {
        ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        run.notes.insert(run.notes.end(), buffer, buffer + n);
    }
    close(fds[0]);
    waitpid(pid, &run.status, 0);
    return run;
}

std::set<std::string> identities(const reliability::TreeCheck& tree) {
    std::set<std::string> ids;
    for (const auto& s : tree.securities)
        ids.insert(identity_of(s.name));
    return ids;
}

std::vector<std::string> leftovers(const std::vector<fs::path>& dirs) {
    std::vector<std::string> names;
    for (const fs::path& dir : dirs) {
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (reliability::is_temporary_name(entry.path().filename().string()))
                names.push_back(entry.path().filename().string());
        }
    }
    return names;
}

void use_memory_file_system() {
    std::error_code ec;
    if (fs::is_directory("/dev/shm", ec))
        setenv("TMPDIR", "/dev/shm", 1);
}

struct Tally {
    int kills = 0;
    int consistent = 0;
    int data_lost = 0;
    int leftovers_met = 0; // runs that started with temporary files of a killed run in place
    long steps = 0;
    long steps_ok[kSteps] = {};
};

void tally_notes(const ChildRun& run, Tally& tally) {
    for (unsigned char note : run.notes) {
        ++tally.steps;
        if (note & 1)
            ++tally.steps_ok[(note >> 1) % kSteps];
    }
}

// Every counted security reads, the counters agree, and every identity of the start is still there.
bool check_after(const std::vector<fs::path>& dirs, const std::set<std::string>& start, int kill) {
    reliability::TreeCheck tree = reliability::check_trees(dirs);
    std::set<std::string> now = identities(tree);
    bool lost = !tree.ok();
    for (const std::string& id : start) {
        if (!now.count(id)) {
            ADD_FAILURE() << "after kill " << kill << ": security " << id << " is lost";
            lost = true;
        }
    }
    for (const std::string& fault : tree.faults)
        ADD_FAILURE() << "after kill " << kill << ": " << fault;
    return !lost;
}

// A killed transfer or symbol delete can leave quote files that no record points to. Where such a file
// has the number a transfer needs, the transfer refuses and names it; the user then moves it aside,
// as this does.
void set_aside_file_in_the_way(const CommandResult& refusal, int& set_aside) {
    const std::string head = "The file\n", tail = "\nalready exists.";
    ASSERT_FALSE(refusal.messages.empty());
    const std::string& text = refusal.messages.front().text;
    ASSERT_TRUE(text.starts_with(head) && text.find(tail) != std::string::npos) << text;
    fs::path in_the_way = text.substr(head.size(), text.find(tail) - head.size());
    fs::rename(in_the_way, fs::path(in_the_way.string() + ".kept"));
    ++set_aside;
}

// Puts garbage under every temporary name a rewrite of these portfolios uses, as a run killed at the
// worst moment leaves it, then edits and renames every security and moves one each way: each of
// those steps must work and take its temporary name back.
void replace_planted_leftovers(const std::vector<fs::path>& dirs, int& orphans_set_aside) {
    const std::string garbage = "left by a killed run";
    std::vector<fs::path> planted;
    auto plant = [&](const fs::path& path) {
        testing_support::write_bytes(path, garbage);
        planted.push_back(path);
    };
    for (const fs::path& dir : dirs) {
        plant(portfolio_files::for_writing(dir, "MASTER.~NU")); // every portfolio takes a move
        if (!rows_of({dir}).empty())
            plant(portfolio_files::for_writing(dir, "MASTER.NEW")); // its securities are renamed
        MasterImage image;
        ASSERT_TRUE(master_read_image(portfolio_files::master(dir), image));
        for (int i = 0; i < image.records_counted(); ++i)
            plant(portfolio_files::series_file_for_writing(dir, image.record(i).file_number(), "NEW"));
    }
    int index = 0;
    for (const Row& row : rows_of(dirs)) {
        SCOPED_TRACE(row.dir.string() + " " + row.symbol);
        QuoteListing listing = quote_list_read(row.dir, row.symbol);
        ASSERT_TRUE(listing.result.ok);
        ASSERT_FALSE(listing.rows.empty());
        EXPECT_TRUE(editing::edit_quote(view_on(row, listing), listing.rows[0][0],
                                        {"1", "2", "0.5", "1.5", "10", "1"})
                        .ok);
        std::string symbol = "LAST" + std::to_string(index++);
        EXPECT_TRUE(
            editing::edit_symbol(view_of(row.dir), row.symbol, symbol, identity_of(row.name) + " LAST").ok);
    }
    for (int from = 0; from < 2; ++from) {
        const fs::path& source = dirs[static_cast<std::size_t>(from)];
        const fs::path& destination = dirs[static_cast<std::size_t>(1 - from)];
        // The random edits may have moved every security out of one portfolio: the move back fills it.
        if (rows_of({source}).empty())
            continue;
        CommandResult r;
        for (int attempt = 0; attempt < 8 && !r.ok; ++attempt) {
            std::vector<Row> rows = rows_of({source});
            ASSERT_FALSE(rows.empty());
            r = editing::transfer_symbol(view_of(source, rows[0].symbol), editing::TransferMode::Move,
                                         destination);
            if (!r.ok)
                set_aside_file_in_the_way(r, orphans_set_aside);
        }
        EXPECT_TRUE(r.ok) << "no security could be moved out of " << source << ": "
                          << (r.messages.empty() ? "" : r.messages.front().text);
    }
    // Each planted file stood in the way of a rewrite that then took its name back. Temporary files of
    // killed runs under names no later step used may stay: they break nothing.
    for (const fs::path& path : planted) {
        EXPECT_FALSE(fs::exists(path) && testing_support::read_bytes(path) == garbage)
            << path << " still holds what the killed run left";
    }
}

TEST(KillTest, EveryKillLeavesBothPortfoliosConsistent) {
    use_memory_file_system();
    testing_support::TempDir root;
    const std::vector<fs::path> dirs = {root / "a", root / "B"};
    write_portfolio(dirs[0], 0, true);
    write_portfolio(dirs[1], 20, false);
    const std::set<std::string> start = identities(reliability::check_trees(dirs));
    ASSERT_EQ(start.size(), 12u);

    const unsigned seed = 20240611u;
    std::mt19937 rng(seed);
    Tally tally;
    const auto began = Clock::now();
    for (int kill = 1; kill <= kKills && Clock::now() - began < kTimeBudget; ++kill) {
        if (!leftovers(dirs).empty())
            ++tally.leftovers_met;
        int delay = std::uniform_int_distribution<int>(0, kMaxDelayMs)(rng);
        ChildRun run = run_child(dirs, seed + static_cast<unsigned>(kill), kStepsPerChild, delay);
        ASSERT_TRUE(WIFSIGNALED(run.status) || (WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0))
            << "child " << kill << " ended with status " << run.status;
        ++tally.kills;
        tally_notes(run, tally);
        if (check_after(dirs, start, kill))
            ++tally.consistent;
        else
            ++tally.data_lost;
    }

    // What the killed runs left behind does not stand in the way: a child that is not killed works on
    // top of it, and every rewrite simply replaces the temporary file it meets.
    ChildRun last = run_child(dirs, seed, 200, -1);
    ASSERT_TRUE(WIFEXITED(last.status) && WEXITSTATUS(last.status) == 0) << "status " << last.status;
    EXPECT_EQ(last.notes.size(), 200u);
    tally_notes(last, tally);
    EXPECT_TRUE(check_after(dirs, start, tally.kills + 1));

    int orphans_set_aside = 0;
    replace_planted_leftovers(dirs, orphans_set_aside);
    EXPECT_TRUE(check_after(dirs, start, tally.kills + 2));

    for (int step = 0; step < kSteps; ++step)
        EXPECT_GT(tally.steps_ok[step], 0) << kStepNames[step] << " never succeeded";
    EXPECT_EQ(tally.data_lost, 0);
    std::fprintf(stderr,
                 "kill test: %ld steps done by the children, %d runs started on temporary files of a killed "
                 "run, %d unreferenced quote files set aside before a transfer\n",
                 tally.steps, tally.leftovers_met, orphans_set_aside);
    std::printf("kill test: %d kills, %d consistent, %d data lost\n", tally.kills, tally.consistent,
                tally.data_lost);
}

} // namespace
