// The rows on portfolios as current data vendors write them: 255 securities in MASTER and thousands more
// in XMASTER, file names in both letter cases, some securities without F<n>.DOP. Each operation is
// measured next to reading once every file it must read; one row shows how the cost grows from 500 to
// 5,000 securities.
#include "data_rows.h"

#include "analysis/data_check.h"
#include "analysis/export.h"
#include "analysis/split_search.h"
#include "common/quote_values.h"
#include "common/symbol_list.h"
#include "storage/fileops.h"
#include "storage/portfolio_files.h"
#include "storage/xmaster.h"
#include "suite.h"
#include "support/builder.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace bench {

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

std::uint32_t yyyymmdd(DayNumber day) {
    return day == 0 ? 0u : static_cast<std::uint32_t>(date_to_yymmdd(day)) + 19000000u;
}

// Every third security has lower-case file names, every seventh no F<n>.DOP.
bool lower_case_files(int n) {
    return n % 3 == 0;
}
bool without_dop(int n) {
    return n % 7 == 0;
}

std::string file_name(int n, std::string_view extension) {
    const std::string name = portfolio_files::series_file_name(n, extension);
    return lower_case_files(n) ? portfolio_files::to_lower(name) : name;
}

} // namespace

void write_large_portfolio(const fs::path& at, int securities, int bars) {
    fs::create_directories(at);
    std::vector<MasterRecord> records;
    std::vector<XmasterEntry> extended;
    for (int i = 0; i < securities; ++i) {
        const int n = i < kWideSecurities ? i + 1 : kFirstXmasterNumber + (i - kWideSecurities);
        SeriesSpec spec;
        spec.file_number = n;
        spec.symbol = "S" + std::to_string(n);
        spec.name = spec.symbol + " INC";
        const std::vector<SeriesBar> quotes = market_bars(static_cast<unsigned>(n), bars);
        write_bytes(at / file_name(n, "DAT"), dat_bytes(spec, quotes));
        if (!without_dop(n))
            write_bytes(at / file_name(n, "DOP"), dop_text(spec));
        if (n <= kWideSecurities) {
            records.push_back(series_master_record(spec, quotes));
        } else {
            extended.push_back(
                {n, spec.symbol, spec.name, yyyymmdd(quotes.front().date), yyyymmdd(quotes.back().date)});
        }
    }
    write_series_master(at, records, false, 2);
    write_bytes(at / "EMASTER", emaster_bytes(records));
    write_bytes(at / "XMASTER", xmaster_bytes(extended));
}

const fs::path& large_portfolio(int securities) {
    static std::map<int, fs::path> made;
    auto found = made.find(securities);
    if (found == made.end()) {
        const fs::path at = scratch() / ("large" + std::to_string(securities));
        write_large_portfolio(at, securities, kLargeBars);
        found = made.emplace(securities, at).first;
    }
    return found->second;
}

namespace {

// The files an operation over the whole portfolio must read: the three directory files, then per
// security its quote file and, where there is one, its F<n>.DOP; listed once, before timing.
std::vector<fs::path> files_to_read(const fs::path& dir, bool directory_files_only, bool first_security) {
    std::vector<fs::path> files;
    for (const char* name : {"MASTER", "EMASTER", "XMASTER"})
        files.push_back(dir / name);
    if (directory_files_only) {
        if (!first_security)
            return files;
        files.push_back(dir / "F1.DAT"); // the first security, whose quotes the window shows
        files.push_back(dir / "F1.DOP");
        return files;
    }
    std::vector<fs::path> quotes;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        const std::string name = portfolio_files::to_upper(entry.path().filename().string());
        if (name.starts_with("F"))
            quotes.push_back(entry.path());
    }
    std::sort(quotes.begin(), quotes.end());
    files.insert(files.end(), quotes.begin(), quotes.end());
    return files;
}

void read_files(benchmark::State& state, const fs::path& dir, bool directory_files_only,
                bool first_security = true) {
    const std::vector<fs::path> files = files_to_read(dir, directory_files_only, first_security);
    std::vector<char> buffer;
    for (auto _ : state) {
        for (const fs::path& file : files)
            benchmark::DoNotOptimize(read_whole(file, buffer));
    }
}

ExportOptions all_columns() {
    ExportOptions options;
    options.delimiter = 1;
    options.title = true;
    return options;
}

fs::path fresh_directory(const std::string& name) {
    const fs::path at = scratch() / name;
    fs::create_directories(at);
    return at;
}

void export_all_large(benchmark::State& state, int securities) {
    const fs::path& dir = large_portfolio(securities);
    const fs::path out = fresh_directory("large-export-" + std::to_string(securities));
    for (auto _ : state) {
        if (!export_portfolio(dir, out, all_columns()).ok)
            state.SkipWithError("export-all failed");
    }
}

// The texts export-all writes, made before timing, written again the way its batch writes them.
void export_all_large_baseline(benchmark::State& state) {
    const fs::path source = fresh_directory("large-export-source");
    const fs::path out = fresh_directory("large-export-baseline");
    export_portfolio(large_portfolio(kLargeSecurities), source, all_columns());
    const Snapshot files = snapshot(source);
    write_as_batch(state, files, out);
}

void check_large(benchmark::State& state, int securities) {
    const fs::path& dir = large_portfolio(securities);
    for (auto _ : state) {
        const CheckOutcome outcome = check_portfolio(dir, {});
        if (!outcome.result.ok)
            state.SkipWithError("check failed");
        benchmark::DoNotOptimize(outcome.findings.data());
    }
}

void split_large(benchmark::State& state) {
    const fs::path& dir = large_portfolio(kLargeSecurities);
    for (auto _ : state) {
        const SplitSearchOutcome outcome = split_search_portfolio(dir);
        benchmark::DoNotOptimize(outcome.lines.data());
    }
}

void symbols_large(benchmark::State& state) {
    const fs::path& dir = large_portfolio(kLargeSecurities);
    for (auto _ : state) {
        const SymbolListing listing = symbol_list_read(portfolio_files::master(dir));
        if (listing.rows.size() != static_cast<std::size_t>(kLargeSecurities))
            state.SkipWithError("the symbol list is short");
    }
}

// What the window does when it opens a portfolio, without the window: the symbol list, then the
// quotes of its first security, in one operation (the window reads the directory files once for both).
void open_large(benchmark::State& state) {
    const fs::path& dir = large_portfolio(kLargeSecurities);
    for (auto _ : state) {
        const fileops::OperationScope scope;
        const SymbolListing listing = symbol_list_read(portfolio_files::master(dir));
        if (listing.rows.empty()) {
            state.SkipWithError("no symbols");
            continue;
        }
        std::size_t rows = 0;
        QuoteReadSink sink;
        sink.window = [&rows](std::span<const QuoteRowValues> window) { rows += window.size(); };
        if (!quote_values_read(dir, listing.rows.front().symbol(), sink).result.ok || rows == 0)
            state.SkipWithError("the first security could not be read");
    }
}

// The growth row: one operation on 500 and on 5,000 securities, timed here (median of three runs
// each); the figure is the ratio of the two times.
double median_seconds(const std::function<void()>& operation) {
    std::vector<double> times;
    for (int run = 0; run < 3; ++run) {
        const auto start = std::chrono::steady_clock::now();
        operation();
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[1];
}

Figure growth_figure(const std::string& name, const std::function<void(const fs::path&)>& operation) {
    const fs::path& small = large_portfolio(kLargeSecurities / 10);
    const fs::path& large = large_portfolio(kLargeSecurities);
    const double small_time = median_seconds([&] { operation(small); });
    const double large_time = median_seconds([&] { operation(large); });
    const double ratio = small_time > 0 ? large_time / small_time : 0;
    char measured[32], baseline[32], shown[32];
    std::snprintf(measured, sizeof measured, "%.1f ms", large_time * 1e3);
    std::snprintf(baseline, sizeof baseline, "%.1f ms", small_time * 1e3);
    std::snprintf(shown, sizeof shown, "%.2f", ratio);
    return Figure{name, measured, baseline, shown, "12.00", ratio > 0 && ratio <= 12.0};
}

std::vector<Figure> growth_figures() {
    const fs::path out = fresh_directory("large-growth-export");
    return {growth_figure("Growth 500 -> 5,000 securities: export-all",
                          [&](const fs::path& dir) { export_portfolio(dir, out, all_columns()); }),
            growth_figure("Growth 500 -> 5,000 securities: check",
                          [](const fs::path& dir) { check_portfolio(dir, {}); })};
}

// quorbit_bench --make-portfolio DIR [SECURITIES [BARS]]: writes the generated portfolio, for measuring the
// command-line tool by hand.
int make_portfolio(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: quorbit_bench --make-portfolio DIR [SECURITIES [BARS]]\n");
        return 2;
    }
    write_large_portfolio(argv[2], argc > 3 ? std::atoi(argv[3]) : kLargeSecurities,
                          argc > 4 ? std::max(1, std::atoi(argv[4])) : kLargeBars);
    return 0;
}

// The symbol list and the open take well under a millisecond: a repetition of a few iterations is
// shorter than one time slice of a neighbour's process, so one preemption decides it. Fifty iterations
// spread the machine's load over both sides alike.
constexpr int kShortRowIterations = 50;

const bool registered = [] {
    const auto all = [](benchmark::State& s) { read_files(s, large_portfolio(kLargeSecurities), false); };
    add_row(
        "export-all, 5,000 securities x 500 bars", 1.5,
        [](benchmark::State& s) { export_all_large(s, kLargeSecurities); }, export_all_large_baseline, 1);
    add_row(
        "check, 5,000 securities x 500 bars", 3.0,
        [](benchmark::State& s) { check_large(s, kLargeSecurities); }, all, 1);
    add_row("Split search, 5,000 securities x 500 bars", 3.0, split_large, all, 1);
    add_row(
        "Symbol list, 5,000 securities", 3.0, symbols_large,
        [](benchmark::State& s) { read_files(s, large_portfolio(kLargeSecurities), true, false); },
        kShortRowIterations);
    add_row(
        "Portfolio open, 5,000 securities (symbols, first quotes)", 3.0, open_large,
        [](benchmark::State& s) { read_files(s, large_portfolio(kLargeSecurities), true); },
        kShortRowIterations);
    add_figures(growth_figures);
    add_helper_mode("--make-portfolio", make_portfolio);
    return true;
}();

} // namespace

} // namespace bench
