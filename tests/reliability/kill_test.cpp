// The kill test: child processes make seeded edits on two portfolios (quote edits of every kind, splits,
// adjustments, deleted and added quotes, renames, moves and copies between the two), and each child
// dies by SIGKILL in the middle of one step, at a file-system call chosen in advance. The child counts
// the calls of the storage layer, so where it dies depends on the seed alone, never on the speed of
// the machine: every kind of step is interrupted from its first call to its last, and every kind
// also completes. After each kill both portfolios must make sense: every MASTER reads with counters
// that agree, every counted security reads completely, and no security is lost (one may be in both
// portfolios after a killed move). The next child starts on whatever the killed one left behind.
#include "analysis/import.h"
#include "common/quote_cells.h"
#include "common/symbol_list.h"
#include "consistency.h"
#include "editing/quote_commands.h"
#include "editing/symbol_commands.h"
#include "editing/transfer.h"
#include "storage/portfolio_files.h"
#include "storage/rewrite.h"
#include "support/builder.h"
#include "support/fault_injection.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kKillsPerStep = 40;               // spread from the first to the last call of the step
constexpr int kKillsBetweenRewrites = 3;        // per step that changes MASTER: after EMASTER is in place
constexpr std::size_t kMaxRows = 14;            // copies stop here, so the portfolios stay small
constexpr int kAttempts = 8;                    // choices a child tries for a step before it gives up
constexpr int kFinalRandomSteps = 100;          // the child that is not killed, after one step of each kind
const std::vector<fs::path> kDirs = {"a", "B"}; // the children work relative to the test's folder

// The identity of a security: the first four characters of its name ("ID07"), which renames keep.
std::string identity_of(const std::string& name) {
    return name.substr(0, 4);
}

// ---- The portfolios ------------------------------------------------------------------------------

void write_portfolio(const fs::path& dir, int first_id, bool lower_case) {
    std::vector<testing_support::Security> securities;
    for (int i = 0; i < 6; ++i) {
        const int id = first_id + i;
        securities.push_back(testing_support::make_security(
            i + 1, "SYM" + std::to_string(id), "ID" + std::to_string(10 + id) + " SECURITY",
            testing_support::random_series_bars(static_cast<unsigned>(id), 50), lower_case));
    }
    securities[2].spec.fields = {"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL"};
    securities[2].spec.write_dop = false;
    testing_support::write_portfolio(dir, securities, lower_case);
}

// ---- The steps -----------------------------------------------------------------------------------

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
    kImport,
    kSteps
};
const char* const kStepNames[kSteps] = {"edit quote",   "multiply",      "split",  "adjust",
                                        "delete quote", "add quote",     "rename", "move",
                                        "copy",         "delete symbol", "import"};

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
                rows.push_back({dir, std::string(row.symbol()), std::string(row.name())});
        }
    }
    return rows;
}

// ---- The child -----------------------------------------------------------------------------------

// What a child reports to the parent, one message per event, through a pipe.
struct Note {
    enum What : std::uint8_t { kDone, kKilled, kKilledBetween, kSetAside, kGaveUp, kNotKilled };
    What what = kDone;
    std::uint8_t step = 0;
    bool faithful = true;   // kKilled: the step repeated the calls of its rehearsal up to the kill
    std::int32_t call = 0;  // kKilled: the call of the step the child died at, from 1
    std::int32_t calls = 0; // kKilled: the calls the step made in its rehearsal
};

// What one child does: complete `steps` in order, then, unless `kill_step` is negative, die in a step
// of that kind at call 1 + index * (calls - 1) / (kKillsPerStep - 1), rounded.
struct Plan {
    unsigned seed = 0;
    std::vector<int> steps;
    int kill_step = -1;
    int kill_index = 0;
    // Die at the call after a new EMASTER was put in place and before MASTER changed, instead.
    bool between_rewrites = false;
};

// A file named in a transfer's "The file ... already exists." is moved aside, as the user would do.
// False when the result is not that refusal.
bool set_aside_file_in_the_way(const CommandResult& refusal) {
    const std::string head = "The file\n", tail = "\nalready exists.";
    if (refusal.messages.empty())
        return false;
    const std::string& text = refusal.messages.front().text;
    if (!text.starts_with(head) || text.find(tail) == std::string::npos)
        return false;
    fs::path in_the_way = text.substr(head.size(), text.find(tail) - head.size());
    fs::rename(in_the_way, fs::path(in_the_way.string() + ".kept"));
    return true;
}

// Works in the test's folder on the portfolios `kDirs`. Every step draws its choices from a generator
// seeded by the plan, the step and the attempt, so the same plan on the same files does the same.
// The step that is to be interrupted is first rehearsed on a copy of both portfolios, which tells how
// many file-system calls it makes; the real run then dies at the chosen one.
class Child {
public:
    Child(Plan plan, int notes_fd) : plan_(std::move(plan)), notes_fd_(notes_fd) {
        injector_.observe([this](fileops::Op op) { on_call(op); });
    }

    [[noreturn]] void run() {
        for (std::size_t i = 0; i < plan_.steps.size(); ++i)
            perform(plan_.steps[i], static_cast<unsigned>(i), 0, false);
        if (plan_.kill_step >= 0)
            perform(plan_.kill_step, static_cast<unsigned>(plan_.steps.size()), 0, true);
        _exit(0);
    }

private:
    void note(Note::What what, int step) { note({what, static_cast<std::uint8_t>(step)}); }
    void note(Note n) {
        if (write(notes_fd_, &n, sizeof n) != static_cast<ssize_t>(sizeof n))
            _exit(5);
    }

    void on_call(fileops::Op op) {
        if (!counting_)
            return;
        ++calls_;
        if (rehearsing_) {
            rehearsal_.push_back(op);
            watch_directory_files();
            return;
        }
        if (kill_at_ == 0)
            return;
        faithful_ = faithful_ && calls_ <= rehearsal_.size() && rehearsal_[calls_ - 1] == op;
        if (calls_ == kill_at_) {
            note({plan_.between_rewrites ? Note::kKilledBetween : Note::kKilled,
                  static_cast<std::uint8_t>(plan_.kill_step), faithful_, static_cast<std::int32_t>(calls_),
                  static_cast<std::int32_t>(rehearsal_.size())});
            raise(SIGKILL);
        }
    }

    // Does a step to its end, clearing what stands in its way between attempts. With `kill`, the
    // step is rehearsed first and the real run dies at the chosen call; the child never returns.
    void perform(int step, unsigned tag, int depth, bool kill) {
        for (unsigned attempt = 0; attempt < kAttempts; ++attempt) {
            CommandResult result = kill ? rehearse(step, tag, attempt) : do_step(step, tag, attempt);
            if (result.ok && kill && !rehearsal_.empty() && (!plan_.between_rewrites || between_at_ > 0)) {
                const std::size_t calls = rehearsal_.size(), spread = kKillsPerStep - 1;
                kill_at_ =
                    1 + (static_cast<std::size_t>(plan_.kill_index) * (calls - 1) + spread / 2) / spread;
                if (plan_.between_rewrites)
                    kill_at_ = between_at_;
                do_step(step, tag, attempt);
                note(Note::kNotKilled, step);
                _exit(4);
            }
            if (result.ok && !kill)
                return note(Note::kDone, step);
            make_way(step, result, tag + 100 * (attempt + 1), depth);
        }
        note(Note::kGaveUp, step);
        _exit(3);
    }

    // After a failed attempt: a file in the way is set aside. Where nothing offered work, a step makes
    // some: a copy with no room left waits for a delete, a delete with no security held twice for a
    // copy, an added quote for a deleted one (a gap). Otherwise the next attempt chooses anew.
    void make_way(int step, const CommandResult& failure, unsigned tag, int depth) {
        const int maker = step == kCopy       ? kDelete
                          : step == kDelete   ? kCopy
                          : step == kAddQuote ? kDeleteQuote
                                              : -1;
        if (set_aside_file_in_the_way(failure))
            note(Note::kSetAside, step);
        else if (failure.messages.empty() && depth == 0 && maker >= 0)
            perform(maker, tag, depth + 1, false);
    }

    // The step on a copy of both portfolios, its calls recorded.
    CommandResult rehearse(int step, unsigned tag, unsigned attempt) {
        const fs::path stage = "rehearsal";
        fs::remove_all(stage);
        fs::create_directory(stage);
        for (const fs::path& dir : kDirs)
            fs::copy(dir, stage / dir, fs::copy_options::recursive);
        fs::current_path(stage);
        rehearsal_.clear();
        start_masters_ = directory_files("MASTER");
        last_emasters_ = directory_files("EMASTER");
        between_at_ = 0;
        master_changed_ = false;
        rehearsing_ = true;
        CommandResult result = do_step(step, tag, attempt);
        rehearsing_ = false;
        fs::current_path("..");
        fs::remove_all(stage);
        return result;
    }

    // The contents of that directory file in both portfolios, read around the file operations.
    static std::string directory_files(const std::string& name) {
        std::string contents;
        for (const fs::path& dir : kDirs) {
            std::ifstream in(reliability::entry_ignoring_case(dir, name), std::ios::binary);
            contents +=
                std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()) + "|";
        }
        return contents;
    }

    // In a rehearsal, before each call: the last call at which EMASTER had just changed while MASTER was
    // still as the step found it is the point between the two rewrites of a change.
    void watch_directory_files() {
        if (master_changed_)
            return;
        if (directory_files("MASTER") != start_masters_) {
            master_changed_ = true;
            return;
        }
        if (std::string emasters = directory_files("EMASTER"); emasters != last_emasters_) {
            last_emasters_ = std::move(emasters);
            between_at_ = calls_;
        }
    }

    template <typename Command> CommandResult command(Command run) {
        calls_ = 0;
        counting_ = true;
        CommandResult result = run();
        counting_ = false;
        return result;
    }

    int pick(std::size_t n) { return std::uniform_int_distribution<int>(0, static_cast<int>(n) - 1)(rng_); }

    // Tries the candidate securities in a seeded order; not ok without a message when none of them
    // offers anything this step can work on.
    CommandResult do_step(int step, unsigned tag, unsigned attempt) {
        std::seed_seq seq{plan_.seed, tag, attempt};
        rng_.seed(seq);
        const std::vector<Row> rows = rows_of(kDirs);
        std::vector<Row> candidates;
        for (const Row& r : rows) {
            auto same = [&](const Row& o) { return identity_of(o.name) == identity_of(r.name); };
            // Only a security that exists twice is deleted, so that no identity is ever deleted on purpose.
            if (step != kDelete || std::count_if(rows.begin(), rows.end(), same) >= 2)
                candidates.push_back(r);
        }
        if (candidates.empty() || (step == kCopy && rows.size() >= kMaxRows))
            return {};
        std::shuffle(candidates.begin(), candidates.end(), rng_);
        const std::string mark = std::to_string(plan_.seed % 10000) + "_" + std::to_string(tag);
        for (const Row& row : candidates) {
            const fs::path master = portfolio_files::master(row.dir);
            const fs::path other = row.dir == kDirs[0] ? kDirs[1] : kDirs[0];
            switch (step) {
            case kRename:
                return command([&] {
                    return editing::edit_symbol(row.dir, row.symbol, "S" + mark,
                                                identity_of(row.name) + " R" + mark);
                });
            case kMove:
            case kCopy: {
                const auto mode = step == kMove ? editing::TransferMode::Move : editing::TransferMode::Copy;
                return command([&] { return editing::transfer_symbol(row.dir, row.symbol, mode, other); });
            }
            case kDelete:
                return command([&] { return editing::delete_symbol(row.dir, row.symbol); });
            case kImport:
                if (std::optional<CommandResult> result = import_quotes_into(row, mark, rows.size()))
                    return *result;
                break;
            default:
                if (std::optional<CommandResult> result = edit_quotes(step, row, master))
                    return *result;
            }
        }
        return {};
    }

    // Quotes of the last days of 1999 (a few new, one in place of a stored one) merged into the security,
    // or, now and then, into a security the import makes: named with the identity of the security, so
    // that it counts as a copy of it, which a later step may delete.
    std::optional<CommandResult> import_quotes_into(const Row& row, const std::string& mark,
                                                    std::size_t rows) {
        editing::SeriesSession series;
        if (!series.open(row.dir, row.symbol).result.ok || series.rows().empty())
            return std::nullopt;
        const bool create = pick(3) == 0 && rows < kMaxRows;
        std::string text = "Date,Open,High,Low,Close,Volume\n";
        if (!create)
            text +=
                quote_date_text(series.rows()[static_cast<std::size_t>(pick(series.rows().size()))].date) +
                ",5,6,4,5.5,700\n";
        for (int day = 20 + pick(3); day < 28; day += 1 + pick(2))
            text +=
                "12/" + std::to_string(day) + "/1999," + std::to_string(10 + pick(90)) + ",99,9,50,1000\n";
        const std::string file = "import_" + mark + ".txt";
        testing_support::write_bytes(file, text);
        ImportOptions options;
        options.create = create;
        options.name = identity_of(row.name) + " N" + mark;
        std::vector<ImportOutcome> outcomes;
        return command([&] {
            return ::import_quotes(row.dir, create ? "N" + mark : row.symbol, file, options, outcomes);
        });
    }

    // Nothing when the security offers nothing this step can work on.
    std::optional<CommandResult> edit_quotes(int step, const Row& row, const fs::path& master) {
        editing::SeriesSession series;
        if (!series.open(row.dir, row.symbol).result.ok || series.rows().size() < 3)
            return std::nullopt;
        const std::size_t count = series.rows().size();
        std::vector<std::string> dates;
        for (const QuoteRowValues& quote : series.rows())
            dates.push_back(quote_date_text(quote.date));
        std::vector<int> addable; // rows with a free weekday before them and an older quote
        for (int i = 0; step == kAddQuote && i < static_cast<int>(count); ++i) {
            if (editing::plan_add_quote(editing::quote_dates(series), series.ref_of_row(i)).check.ok)
                addable.push_back(i);
        }
        if (step == kAddQuote && addable.empty())
            return std::nullopt;
        const int selected =
            step == kAddQuote ? addable[static_cast<std::size_t>(pick(addable.size()))] : pick(count);
        const std::string& date = dates[static_cast<std::size_t>(selected)];
        switch (step) {
        case kEditQuote: {
            std::string v = std::to_string(10 + pick(90)) + ".25";
            return command([&] {
                return editing::edit_quote(series, series.ref_of_row(selected), date,
                                           {v, v, v, v, "1000", "50"});
            });
        }
        case kMultiply: {
            // The multiplying kind, which no dialog asks for, through the rewrite itself.
            SeriesEdit edit;
            edit.kind = kEditMultiply;
            edit.first_date = 0;
            edit.last_date = 0xFFFF;
            std::fill(edit.values, edit.values + 6, pick(2) ? 2.0f : 0.5f);
            return command([&] {
                CommandResult r;
                r.ok = series_rewrite(edit, row.dir, row.symbol, series.quote_count(), master) == 0;
                return r;
            });
        }
        case kSplit: {
            editing::SplitInput input{date, pick(2) ? "2" : "1", pick(2) ? "1" : "2"};
            return command([&] { return editing::split_quotes(series, input); });
        }
        case kAdjust: {
            const std::string& other = dates[static_cast<std::size_t>(pick(count))];
            editing::AdjustInput input{date_from_text_order(date, other, true),
                                       date_from_text_order(date, other, false), pick(2) ? "1.5" : "0.75",
                                       "2", "1"};
            return command([&] { return editing::adjust_quotes(series, input); });
        }
        case kDeleteQuote:
            return command([&] { return editing::delete_quote(series, series.ref_of_row(selected)); });
        case kAddQuote:
            return command([&] { return editing::add_quote(series, series.ref_of_row(selected)).result; });
        }
        return std::nullopt;
    }

    // The earlier (or later) of two dates shown in the list, which is newest first.
    static std::string date_from_text_order(const std::string& a, const std::string& b, bool earlier) {
        auto key = [](const std::string& d) { return d.substr(6, 2) + d.substr(0, 2) + d.substr(3, 2); };
        bool a_first = key(a) <= key(b); // every date of these portfolios lies in the 1980s and 1990s
        return (a_first == earlier) ? a : b;
    }

    Plan plan_;
    int notes_fd_;
    std::mt19937 rng_;
    testing_support::FaultInjector injector_; // counts every call of the storage layer, fails none
    bool counting_ = false;                   // inside the command of a step
    bool rehearsing_ = false;
    std::size_t calls_ = 0;
    std::vector<fileops::Op> rehearsal_;
    std::string start_masters_, last_emasters_; // the directory files as the rehearsal saw them
    bool master_changed_ = false;
    std::size_t between_at_ = 0; // the rehearsal's call between the two rewrites; 0: none
    std::size_t kill_at_ = 0;    // 0: no kill armed
    bool faithful_ = true;
};

// ---- The parent ----------------------------------------------------------------------------------

struct ChildRun {
    std::vector<Note> notes;
    int status = 0;
};

// Runs a child on the portfolios in `root` until it exits or kills itself.
ChildRun run_child(const fs::path& root, const Plan& plan) {
    ChildRun run;
    int fds[2];
    if (pipe(fds) != 0)
        return run;
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        try {
            fs::current_path(root);
            Child(plan, fds[1]).run();
        } catch (const std::exception& e) { // the child never returns into the test
            std::fprintf(stderr, "kill test child: %s\n", e.what());
            _exit(6);
        }
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return run;
    }
    std::vector<char> bytes;
    char buffer[512];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
        bytes.insert(bytes.end(), buffer, buffer + n);
    close(fds[0]);
    waitpid(pid, &run.status, 0);
    run.notes.resize(bytes.size() / sizeof(Note));
    if (!run.notes.empty())
        std::memcpy(run.notes.data(), bytes.data(), run.notes.size() * sizeof(Note));
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

struct StepTally {
    int done = 0;
    int kills = 0;
    int unfaithful = 0; // kills whose step did not repeat the calls of its rehearsal
    bool killed_at_first = false;
    bool killed_at_last = false;
    std::set<int> calls_killed_at;
    int fewest_calls = 1 << 30, most_calls = 0;
};

struct Tally {
    int kills = 0;
    int kills_between = 0;    // kills between the two directory rewrites of a change
    int left_out_of_step = 0; // kills after which an EMASTER disagreed with its MASTER
    int rebuilt = 0;          // EMASTER files the next command rebuilt
    int consistent = 0;
    int data_lost = 0;
    int leftovers_met = 0; // runs that started with temporary files of a killed run in place
    int set_aside = 0;     // unreferenced quote files moved out of a transfer's way
    StepTally steps[kSteps];
};

// Tallies the notes; false (with the reason reported) when the child could not do what it was asked.
bool tally_notes(const ChildRun& run, Tally& tally) {
    bool fine = true;
    for (const Note& n : run.notes) {
        StepTally& s = tally.steps[n.step % kSteps];
        switch (n.what) {
        case Note::kDone:
            ++s.done;
            break;
        case Note::kKilled:
            ++s.kills;
            s.unfaithful += n.faithful ? 0 : 1;
            s.killed_at_first = s.killed_at_first || n.call == 1;
            s.killed_at_last = s.killed_at_last || n.call == n.calls;
            s.calls_killed_at.insert(n.call);
            s.fewest_calls = std::min(s.fewest_calls, static_cast<int>(n.calls));
            s.most_calls = std::max(s.most_calls, static_cast<int>(n.calls));
            break;
        case Note::kKilledBetween:
            ++tally.kills_between;
            s.unfaithful += n.faithful ? 0 : 1;
            break;
        case Note::kSetAside:
            ++tally.set_aside;
            break;
        case Note::kGaveUp:
        case Note::kNotKilled:
            ADD_FAILURE() << kStepNames[n.step % kSteps]
                          << (n.what == Note::kGaveUp ? ": no choice of the child could be done"
                                                      : ": the step ended before its chosen call");
            fine = false;
            break;
        }
    }
    return fine;
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

// A kill between the two directory rewrites leaves an EMASTER that disagrees with its MASTER (a record
// short or over, an old symbol or name). The next command that writes the portfolio rebuilds it before
// its own change and says so: here a quote edit of the first security, which then agree again. (Its
// values differ from those of the last edits, which must each change a file.)
int heal_by_next_command(const std::vector<fs::path>& dirs) {
    int rebuilt = 0;
    for (const fs::path& path : reliability::check_trees(dirs).emaster_out_of_step) {
        const fs::path dir = path.parent_path();
        const std::vector<Row> rows = rows_of({dir});
        if (rows.empty()) {
            ADD_FAILURE() << dir << " has a stale EMASTER and no security to edit";
            continue;
        }
        editing::SeriesSession series;
        series.open(dir, rows[0].symbol);
        const CommandResult r =
            editing::edit_quote(series, series.ref_of_row(0), quote_date_text(series.last_date()),
                                {"3", "4", "2.5", "3.5", "20", "2"});
        EXPECT_TRUE(r.ok && r.texts().at(0).find("did not agree with MASTER") != std::string::npos)
            << (r.messages.empty() ? "" : r.messages.front().text);
        const std::vector<fs::path> stale = reliability::check_trees({dir}).emaster_out_of_step;
        EXPECT_TRUE(stale.empty()) << path << " still disagrees with MASTER after a quote edit";
        rebuilt += stale.empty() ? 1 : 0;
    }
    return rebuilt;
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
        const fs::path master = portfolio_files::master(row.dir);
        editing::SeriesSession series;
        ASSERT_TRUE(series.open(row.dir, row.symbol).result.ok);
        ASSERT_FALSE(series.rows().empty());
        const std::string newest = quote_date_text(series.rows()[0].date);
        EXPECT_TRUE(
            editing::edit_quote(series, series.ref_of_row(0), newest, {"1", "2", "0.5", "1.5", "10", "1"})
                .ok);
        std::string symbol = "LAST" + std::to_string(index++);
        EXPECT_TRUE(editing::edit_symbol(row.dir, row.symbol, symbol, identity_of(row.name) + " LAST").ok);
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
            r = editing::transfer_symbol(source, rows[0].symbol, editing::TransferMode::Move, destination);
            if (!r.ok) {
                ASSERT_TRUE(set_aside_file_in_the_way(r)) << r.messages.front().text;
                ++orphans_set_aside;
            }
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

// The seed of the run: QUORBIT_KILL_SEED when set, so that other runs can be tried and repeated.
unsigned run_seed() {
    const char* text = std::getenv("QUORBIT_KILL_SEED");
    return text ? static_cast<unsigned>(std::strtoul(text, nullptr, 10)) : 20240611u;
}

// Each kind of step is killed kKillsPerStep times, at calls spread from its first to its last in a
// seeded order; before each kill the child completes one step of a seeded kind.
std::vector<Plan> kill_plans(unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<int> order[kSteps];
    for (std::vector<int>& indices : order) {
        for (int i = 0; i < kKillsPerStep; ++i)
            indices.push_back(i);
        std::shuffle(indices.begin(), indices.end(), rng);
    }
    std::vector<Plan> plans;
    for (int k = 0; k < kSteps * kKillsPerStep; ++k) {
        const int step = k % kSteps, before = std::uniform_int_distribution<int>(0, kSteps - 1)(rng);
        plans.push_back({seed + static_cast<unsigned>(k) + 1, {before}, step, order[step][k / kSteps]});
    }
    // The steps that change MASTER are also killed, on purpose, between their two directory rewrites.
    for (int k = 0; k < kKillsBetweenRewrites; ++k) {
        for (int step : {kRename, kMove, kCopy, kDelete}) {
            const unsigned plan_seed =
                seed + 7919u * static_cast<unsigned>(k + 1) + static_cast<unsigned>(step);
            plans.insert(plans.begin() + std::uniform_int_distribution<std::ptrdiff_t>(
                                             0, static_cast<std::ptrdiff_t>(plans.size()))(rng),
                         Plan{plan_seed, {}, step, 0, true});
        }
    }
    return plans;
}

TEST(KillTest, EveryKillLeavesBothPortfoliosConsistent) {
    testing_support::use_memory_file_system();
    testing_support::TempDir root;
    const std::vector<fs::path> dirs = {root / kDirs[0], root / kDirs[1]};
    write_portfolio(dirs[0], 0, true);
    write_portfolio(dirs[1], 20, false);
    const std::set<std::string> start = identities(reliability::check_trees(dirs));
    ASSERT_EQ(start.size(), 12u);

    const unsigned seed = run_seed();
    Tally tally;
    for (const Plan& plan : kill_plans(seed)) {
        if (!leftovers(dirs).empty())
            ++tally.leftovers_met;
        ChildRun run = run_child(root.path(), plan);
        const int kill = ++tally.kills;
        ASSERT_TRUE(tally_notes(run, tally)) << "child " << kill;
        ASSERT_TRUE(WIFSIGNALED(run.status) && WTERMSIG(run.status) == SIGKILL)
            << "child " << kill << " ended with status " << run.status;
        if (check_after(dirs, start, kill))
            ++tally.consistent;
        else
            ++tally.data_lost;
        const bool stale = !reliability::check_trees(dirs).emaster_out_of_step.empty();
        tally.left_out_of_step += stale ? 1 : 0;
        EXPECT_TRUE(stale || !plan.between_rewrites)
            << "child " << kill << " was killed between the rewrites";
        tally.rebuilt += heal_by_next_command(dirs);
    }

    // What the killed runs left behind does not stand in the way: a child that is not killed does
    // every kind of step and then seeded ones on top of it, and every rewrite simply replaces the
    // temporary file it meets.
    Plan last{seed, {}, -1, 0};
    std::mt19937 rng(seed);
    for (int i = 0; i < kSteps + kFinalRandomSteps; ++i)
        last.steps.push_back(i < kSteps ? i : std::uniform_int_distribution<int>(0, kSteps - 1)(rng));
    ChildRun finished = run_child(root.path(), last);
    EXPECT_TRUE(tally_notes(finished, tally));
    ASSERT_TRUE(WIFEXITED(finished.status) && WEXITSTATUS(finished.status) == 0)
        << "status " << finished.status;
    EXPECT_TRUE(check_after(dirs, start, tally.kills + 1));
    EXPECT_TRUE(reliability::check_trees(dirs).emaster_out_of_step.empty()) << "EMASTER fell out of step";

    int orphans_set_aside = 0;
    replace_planted_leftovers(dirs, orphans_set_aside);
    EXPECT_TRUE(check_after(dirs, start, tally.kills + 2));

    for (int step = 0; step < kSteps; ++step) {
        const StepTally& s = tally.steps[step];
        EXPECT_GT(s.done, 0) << kStepNames[step] << " never completed";
        EXPECT_EQ(s.kills, kKillsPerStep) << kStepNames[step];
        EXPECT_TRUE(s.killed_at_first && s.killed_at_last) << kStepNames[step] << " not killed at both ends";
        EXPECT_EQ(s.unfaithful, 0) << kStepNames[step] << " did not repeat the calls of its rehearsal";
        std::fprintf(
            stderr, "kill test: %-13s completed %3d times, killed %d times at %zu different calls of %d-%d\n",
            kStepNames[step], s.done, s.kills, s.calls_killed_at.size(), s.fewest_calls, s.most_calls);
    }
    EXPECT_EQ(tally.data_lost, 0);
    EXPECT_EQ(tally.kills_between, kKillsBetweenRewrites * 4);
    EXPECT_EQ(tally.rebuilt, tally.left_out_of_step);
    std::fprintf(
        stderr,
        "kill test: seed %u, %d runs started on temporary files of a killed run, %d unreferenced quote "
        "files set aside by the children and %d before the last transfers; %d kills between the two "
        "directory rewrites, %d kills left an EMASTER out of step, %d rebuilt by the next command\n",
        seed, tally.leftovers_met, tally.set_aside, orphans_set_aside, tally.kills_between,
        tally.left_out_of_step, tally.rebuilt);
    std::printf("kill test: %d kills, %d consistent, %d data lost\n", tally.kills, tally.consistent,
                tally.data_lost);
}

} // namespace
