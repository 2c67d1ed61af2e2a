// The rows without a window: reading, rewriting, exporting, searching, walking, moving and copying, and
// the command-line tool as whole processes. Inputs are generated once per run in the scratch directory.
#include "data_rows.h"

#include "analysis/data_check.h"
#include "analysis/export.h"
#include "analysis/split_search.h"
#include "browser/master_walk.h"
#include "common/quote_cells.h"
#include "common/symbol_list.h"
#include "editing/transfer.h"
#include "storage/fileops.h"
#include "storage/quotes.h"
#include "storage/rewrite.h"
#include "suite.h"
#include "support/builder.h"
#include "support/fault_injection.h"

#include <algorithm>
#include <cmath>
#include <random>

#include <fcntl.h>
#include <unistd.h>

namespace bench {

using namespace testing_support;
namespace fs = std::filesystem;

// Bars as markets make them: each close a small random step from the one before, high and low around
// open and close, in multiples of 1/64 that MBF holds exactly. (Prices drawn independently would look
// like a split between almost every two bars.)
std::vector<SeriesBar> market_bars(unsigned seed, int count) {
    std::vector<SeriesBar> bars = random_series_bars(seed, count);
    std::mt19937 rng(seed);
    std::normal_distribution<float> step(0.0f, 0.015f);
    auto sixty_fourths = [](float v) { return std::max(1.0f, std::round(v * 64.0f)) / 64.0f; };
    float close = 40.0f;
    for (SeriesBar& bar : bars) {
        bar.open = sixty_fourths(close * (1.0f + step(rng) / 3));
        bar.close = close = sixty_fourths(close * (1.0f + step(rng)));
        bar.high = sixty_fourths(std::max(bar.open, bar.close) * (1.0f + std::fabs(step(rng)) / 2));
        bar.low = sixty_fourths(std::min(bar.open, bar.close) * (1.0f - std::fabs(step(rng)) / 2));
    }
    return bars;
}

const fs::path& big_security() {
    static const fs::path dir = [] {
        const fs::path at = scratch() / "big";
        fs::create_directories(at);
        write_series_portfolio(at, SeriesSpec{}, market_bars(11, kBigBars));
        return at;
    }();
    return dir;
}

const fs::path& wide_portfolio() {
    static const fs::path dir = [] {
        const fs::path at = scratch() / "wide";
        std::vector<Security> securities;
        for (int n = 1; n <= kWideSecurities; ++n) {
            const std::string symbol = "S" + std::to_string(n);
            securities.push_back(
                make_security(n, symbol, symbol + " INC", market_bars(static_cast<unsigned>(n), kWideBars)));
        }
        write_portfolio(at, securities);
        return at;
    }();
    return dir;
}

// Reads a whole file with plain system calls: the least any reader of it does.
std::size_t read_whole(const fs::path& file, std::vector<char>& buffer) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    std::size_t total = 0;
    if (fd < 0)
        return 0;
    for (;;) {
        if (buffer.size() < total + (1 << 16))
            buffer.resize(total + (1 << 16));
        const ssize_t n = ::read(fd, buffer.data() + total, buffer.size() - total);
        if (n <= 0)
            break;
        total += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return total;
}

namespace {

std::vector<std::string> symbols_of(const fs::path& dir) {
    std::vector<std::string> symbols;
    for (const SymbolRow& row : symbol_list_read(portfolio_files::master(dir)).rows)
        symbols.emplace_back(row.symbol());
    return symbols;
}

// ---- series_read ------------------------------------------------------------------------------------

void read_measured(benchmark::State& state) {
    QuoteSeries series;
    series_alloc(series, kBigBars);
    const fs::path& dir = big_security();
    for (auto _ : state) {
        if (series_read(series, dir, "IBM", 0, kBigBars) != status::kOk || series.count != kBigBars)
            state.SkipWithError("series_read failed");
    }
    series_free(series);
}

void read_baseline(benchmark::State& state) {
    std::vector<char> buffer;
    const fs::path file = big_security() / "F1.DAT";
    for (auto _ : state)
        benchmark::DoNotOptimize(read_whole(file, buffer));
}

// ---- series_rewrite ---------------------------------------------------------------------------------

// Every iteration changes the file (an edit that changes nothing writes nothing): kind 1 sets one
// bar's values to one of two sets, kind 3 scales every bar by 2 or by 1/2, exact in MBF.
void rewrite_measured(benchmark::State& state, std::int16_t kind) {
    const fs::path dir = scratch() / ("rewrite" + std::to_string(kind));
    static const std::vector<SeriesBar> bars = market_bars(11, kBigBars);
    write_series_portfolio(dir, SeriesSpec{}, bars);
    int round = 0;
    for (auto _ : state) {
        SeriesEdit edit;
        edit.kind = kind;
        const float factor = round++ % 2 == 0 ? 2.0f : 0.5f;
        for (float& value : edit.values)
            value = kind == kEditSet ? 10.0f * factor : factor;
        edit.first_date = kind == kEditSet ? bars[kBigBars / 2].date : 0;
        edit.last_date = kind == kEditSet ? bars[kBigBars / 2].date : 65535;
        if (series_rewrite(edit, dir, "IBM", kBigBars, portfolio_files::master(dir)) != 0)
            state.SkipWithError("series_rewrite failed");
    }
}

// The same reading of the file and two complete copies of it, each made as a rewrite makes it.
void rewrite_baseline(benchmark::State& state) {
    const fs::path dir = scratch() / "rewrite-baseline";
    fs::create_directories(dir);
    std::vector<char> buffer;
    const fs::path file = big_security() / "F1.DAT";
    for (auto _ : state) {
        const std::size_t size = read_whole(file, buffer);
        auto write = [&](fileops::BufferedWriter& out) { return out.write(buffer.data(), size); };
        if (!fileops::replace_file(dir / "F1.BAK", dir / "F1.NEW", write, file) ||
            !fileops::replace_file(dir / "F1.DAT", dir / "F1.NEW", write))
            state.SkipWithError("copy failed");
    }
}

// ---- Export -----------------------------------------------------------------------------------------

ExportOptions all_columns() {
    ExportOptions options;
    options.delimiter = 1;
    options.title = true;
    return options;
}

void export_measured(benchmark::State& state) {
    const fs::path file = scratch() / "export" / "IBM.txt";
    fs::create_directories(file.parent_path());
    const fs::path& dir = big_security();
    for (auto _ : state) {
        if (!export_quotes(dir, "IBM", file, all_columns()).ok)
            state.SkipWithError("export failed");
    }
}

// The export's own text, read once before timing, written as the export writes its file.
void export_baseline(benchmark::State& state) {
    const fs::path dir = scratch() / "export-baseline";
    fs::create_directories(dir);
    export_quotes(big_security(), "IBM", dir / "source.txt", all_columns());
    const std::string text = read_bytes(dir / "source.txt");
    for (auto _ : state) {
        if (!fileops::replace_file(dir / "IBM.txt", dir / "IBM.txt.part",
                                   [&](fileops::BufferedWriter& out) { return out.write(text); }))
            state.SkipWithError("write failed");
    }
}

void export_all_measured(benchmark::State& state) {
    const fs::path out = scratch() / "export-all";
    fs::create_directories(out);
    const fs::path& dir = wide_portfolio();
    for (auto _ : state) {
        if (!export_portfolio(dir, out, all_columns()).ok)
            state.SkipWithError("export-all failed");
    }
}

} // namespace

void write_as_batch(benchmark::State& state, const Snapshot& files, const fs::path& out) {
    for (auto _ : state) {
        fileops::ReplaceBatch batch;
        for (const auto& [name, text] : files) {
            batch.add(out / name, out / (name + ".part"),
                      [&text](fileops::BufferedWriter& writer) { return writer.write(text); });
        }
        const std::vector<int> errors = batch.commit();
        if (std::count(errors.begin(), errors.end(), 0) != static_cast<long>(files.size()))
            state.SkipWithError("write failed");
    }
}

namespace {

// The files export-all writes, read before timing, written again into as many files the way the
// batch writes them: complete under a temporary name, synced once at the end, then renamed.
void export_all_baseline(benchmark::State& state) {
    const fs::path source = scratch() / "export-all-source";
    const fs::path out = scratch() / "export-all-baseline";
    fs::create_directories(source);
    fs::create_directories(out);
    export_portfolio(wide_portfolio(), source, all_columns());
    const Snapshot files = snapshot(source);
    write_as_batch(state, files, out);
}

// ---- The command-line tool, whole processes ---------------------------------------------------------

void cli_measured(benchmark::State& state) {
    const std::string dir = wide_portfolio().string();
    const std::vector<std::string> symbols = symbols_of(dir);
    for (auto _ : state) {
        bool ok = run_process({QUORBIT_CLI_PATH, "symbols", dir}).status == 0;
        for (const std::string& symbol : symbols)
            ok = run_process({QUORBIT_CLI_PATH, "quotes", dir, symbol}).status == 0 && ok;
        if (!ok)
            state.SkipWithError("quorbit-cli failed");
    }
}

// One process reads MASTER, one per security reads its two files.
void cli_baseline(benchmark::State& state) {
    const fs::path dir = wide_portfolio();
    for (auto _ : state) {
        bool ok = run_process({"cat", (dir / "MASTER").string()}).status == 0;
        for (int n = 1; n <= kWideSecurities; ++n) {
            const std::string base = (dir / ("F" + std::to_string(n))).string();
            ok = run_process({"cat", base + ".DAT", base + ".DOP"}).status == 0 && ok;
        }
        if (!ok)
            state.SkipWithError("cat failed");
    }
}

// ---- Split search -----------------------------------------------------------------------------------

void split_measured(benchmark::State& state) {
    const fs::path& dir = wide_portfolio();
    for (auto _ : state) {
        const SplitSearchOutcome outcome = split_search_portfolio(dir);
        benchmark::DoNotOptimize(outcome.lines.data());
    }
}

void split_baseline(benchmark::State& state) {
    std::vector<char> buffer;
    std::vector<fs::path> files;
    for (int n = 1; n <= kWideSecurities; ++n)
        files.push_back(wide_portfolio() / ("F" + std::to_string(n) + ".DAT"));
    for (auto _ : state) {
        for (const fs::path& file : files)
            benchmark::DoNotOptimize(read_whole(file, buffer));
    }
}

// ---- The walk ---------------------------------------------------------------------------------------

// 20 x 20 x 50 leaf directories below 20 x 20 inner ones (20,420 in all); every 100th leaf holds a
// portfolio (MASTER and one security's files), the others a file or two of no interest.
const fs::path& walk_tree() {
    static const fs::path root = [] {
        const fs::path at = scratch() / "tree";
        const std::string master = MasterBuilder().add(security(1, "W")).bytes();
        int leaf = 0;
        for (int a = 0; a < 20; ++a) {
            for (int b = 0; b < 20; ++b) {
                for (int c = 0; c < 50; ++c, ++leaf) {
                    const fs::path dir = at / ("a" + std::to_string(a)) / ("b" + std::to_string(b)) /
                                         ("c" + std::to_string(c));
                    fs::create_directories(dir);
                    if (leaf % 100 == 0) {
                        write_bytes(dir / "MASTER", master);
                        write_bytes(dir / "F1.DAT", std::string(28, ' '));
                        write_bytes(dir / "F1.DOP", "\"DATE\",2,4\r\n");
                    } else if (leaf % 3 == 0) {
                        write_bytes(dir / "notes.txt", "x");
                    }
                }
            }
        }
        return at;
    }();
    return root;
}

void walk_measured(benchmark::State& state) {
    const fs::path& root = walk_tree();
    for (auto _ : state) {
        std::vector<std::string> found;
        SearchForMasters(root, found, false, "");
        if (found.size() != 200)
            state.SkipWithError("the walk did not find the 200 portfolios");
    }
}

void walk_baseline(benchmark::State& state) {
    const std::string root = walk_tree().string();
    for (auto _ : state) {
        if (run_process({"find", root, "-name", "MASTER"}).status != 0)
            state.SkipWithError("find failed");
    }
}

// ---- Move and copy ----------------------------------------------------------------------------------

struct TransferPortfolios {
    fs::path a = scratch() / "move-a", b = scratch() / "move-b", copy = scratch() / "copy-to";
    std::string empty_master = MasterBuilder().bytes();
    TransferPortfolios() {
        write_series_portfolio(a, SeriesSpec{}, market_bars(11, kBigBars));
        for (const fs::path& dir : {b, copy}) {
            fs::create_directories(dir);
            write_bytes(dir / "MASTER", empty_master);
        }
    }
};

TransferPortfolios& transfer_portfolios() {
    static TransferPortfolios portfolios;
    return portfolios;
}

// One move per iteration, to the other portfolio and back in turns.
void move_measured(benchmark::State& state) {
    TransferPortfolios& p = transfer_portfolios();
    static bool in_a = true;
    for (auto _ : state) {
        const fs::path& from = in_a ? p.a : p.b;
        const fs::path& to = in_a ? p.b : p.a;
        if (!editing::transfer_symbol(from, "IBM", editing::TransferMode::Move, to).ok)
            state.SkipWithError("move failed");
        in_a = !in_a;
    }
}

// A copy per iteration into a portfolio emptied again outside the timing.
void copy_measured(benchmark::State& state) {
    TransferPortfolios& p = transfer_portfolios();
    for (auto _ : state) {
        const fs::path& from = fs::exists(p.a / "F1.DAT") ? p.a : p.b;
        if (!editing::transfer_symbol(from, "IBM", editing::TransferMode::Copy, p.copy).ok)
            state.SkipWithError("copy failed");
        state.PauseTiming();
        fs::remove_all(p.copy);
        fs::create_directories(p.copy);
        write_bytes(p.copy / "MASTER", p.empty_master);
        state.ResumeTiming();
    }
}

// Copying the security's two files, each synced, and as many more syncs of a small file written
// afresh as the command makes beyond those two (a move keeps every sync its crash-safe order needs).
void transfer_baseline(benchmark::State& state, std::size_t syncs) {
    const fs::path out = scratch() / "transfer-baseline";
    fs::create_directories(out);
    TransferPortfolios& p = transfer_portfolios();
    for (auto _ : state) {
        const fs::path& from = fs::exists(p.a / "F1.DAT") ? p.a : p.b;
        bool ok = fileops::copy_file(from / "F1.DAT", out / "F1.DAT") &&
                  fileops::copy_file(from / "F1.DOP", out / "F1.DOP");
        for (std::size_t extra = 2; extra < syncs && ok; ++extra) {
            fileops::File file = fileops::create_truncate(out / "SYNCED");
            ok = file.write_all("synced", 6) && file.sync() && file.close();
        }
        if (!ok)
            state.SkipWithError("copy failed");
    }
}

// The syncs one move makes, counted once before timing (a move there and back, halved).
std::size_t syncs_of_a_move() {
    static const std::size_t syncs = [] {
        TransferPortfolios& p = transfer_portfolios();
        const bool in_a = fs::exists(p.a / "F1.DAT");
        FaultInjector counter;
        editing::transfer_symbol(in_a ? p.a : p.b, "IBM", editing::TransferMode::Move, in_a ? p.b : p.a);
        editing::transfer_symbol(in_a ? p.b : p.a, "IBM", editing::TransferMode::Move, in_a ? p.a : p.b);
        return counter.calls(fileops::Op::Sync) / 2;
    }();
    return syncs;
}

// ---- The data check, without a baseline -----------------------------------------------------------

void data_check(benchmark::State& state) {
    const CheckTarget target{big_security(), "IBM", "IBM"};
    for (auto _ : state) {
        std::vector<CheckFinding> findings = check_security(target, {});
        benchmark::DoNotOptimize(findings.data());
    }
}

// ---- Registration -----------------------------------------------------------------------------------

const bool registered = [] {
    add_row("series_read, 32,766 bars in one call", 4.0, read_measured, read_baseline, 20);
    add_row(
        "series_rewrite kind 1 (one bar set), 32,766 bars", 2.0,
        [](benchmark::State& s) { rewrite_measured(s, kEditSet); }, rewrite_baseline, 4);
    add_row(
        "series_rewrite kind 3 (all bars scaled), 32,766 bars", 2.0,
        [](benchmark::State& s) { rewrite_measured(s, kEditScale); }, rewrite_baseline, 4);
    add_row("Export, all columns, 32,766 bars", 2.0, export_measured, export_baseline, 4);
    add_row("export-all, 255 securities x 5,000 bars", 1.5, export_all_measured, export_all_baseline, 1);
    add_row("quorbit-cli symbols + quotes of each of 255 (processes)", 3.0, cli_measured, cli_baseline, 1);
    add_row("Split search, 255 securities x 5,000 bars", 3.0, split_measured, split_baseline, 1);
    add_row("Walk (SearchForMasters), 20,420 dirs, 200 portfolios", 1.5, walk_measured, walk_baseline, 1);
    add_row(
        "Move of a security, 32,766 bars", 2.0, move_measured,
        [](benchmark::State& s) { transfer_baseline(s, syncs_of_a_move()); }, 4);
    add_row(
        "Copy of a security, 32,766 bars", 2.0, copy_measured,
        [](benchmark::State& s) { transfer_baseline(s, 2); }, 4);
    benchmark::RegisterBenchmark("Data check of one security, 32,766 bars", data_check)
        ->Iterations(4)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    return true;
}();

} // namespace

} // namespace bench
