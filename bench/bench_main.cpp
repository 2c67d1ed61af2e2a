// Benchmarks of the operations that move the most data: reading windows of bars, the series rewrite,
// the quote list, split search, the data check and export, on a security of the largest size a DAT
// header can state (32,766 bars of 28 bytes); and the walk and look-ups in a directory of 100,000 entries.
#include "analysis/data_check.h"
#include "analysis/export.h"
#include "analysis/split_search.h"
#include "browser/master_walk.h"
#include "browser/quote_cells.h"
#include "storage/fileops.h"
#include "storage/master.h"
#include "storage/quotes.h"
#include "storage/rewrite.h"
#include "support/builder.h"
#include "support/temp_dir.h"

#include <benchmark/benchmark.h>

#include <fstream>

namespace {

using namespace testing_support;
constexpr int kBars = 32766;

struct Portfolio {
    TempDir dir;
    std::vector<SeriesBar> bars = random_series_bars(11, kBars);
    SeriesSpec spec;
    Portfolio() { write_series_portfolio(dir.path(), spec, bars); }
    std::filesystem::path dat() const { return dir.path() / "F1.DAT"; }
    std::int64_t dat_size() const { return static_cast<std::int64_t>(std::filesystem::file_size(dat())); }
};

Portfolio& portfolio() {
    static Portfolio p;
    return p;
}

void BM_ReadWindow400(benchmark::State& state) {
    QuoteSeries series;
    series_alloc(series, 400);
    for (auto _ : state) {
        StatusCode s = series_read(series, portfolio().dir.path(), "IBM", kBars / 2, 400);
        benchmark::DoNotOptimize(s);
    }
    state.SetItemsProcessed(state.iterations() * 400);
}
BENCHMARK(BM_ReadWindow400);

void BM_CopyDatTwice(benchmark::State& state) {
    auto& p = portfolio();
    for (auto _ : state) {
        fileops::copy_file(p.dat(), p.dir.path() / "COPY1");
        fileops::copy_file(p.dat(), p.dir.path() / "COPY2");
    }
    state.SetBytesProcessed(state.iterations() * 2 * p.dat_size());
}
BENCHMARK(BM_CopyDatTwice)->Unit(benchmark::kMillisecond);

void BM_SeriesRewriteScaleAll(benchmark::State& state) {
    auto& p = portfolio();
    SeriesEdit edit;
    for (float& v : edit.values)
        v = 1.0f; // multiplying by one keeps the file the same from run to run
    edit.first_date = 0;
    edit.last_date = 65535;
    edit.kind = kEditScale;
    for (auto _ : state) {
        int s = series_rewrite(edit, p.dir.path(), "IBM", kBars, p.dir.path() / "MASTER");
        benchmark::DoNotOptimize(s);
    }
    state.SetBytesProcessed(state.iterations() * p.dat_size());
}
BENCHMARK(BM_SeriesRewriteScaleAll)->Unit(benchmark::kMillisecond);

void BM_QuoteListWholeSeries(benchmark::State& state) {
    for (auto _ : state) {
        QuoteListing listing = quote_list_read(portfolio().dir.path(), "IBM");
        benchmark::DoNotOptimize(listing.rows.data());
    }
    state.SetItemsProcessed(state.iterations() * kBars);
}
BENCHMARK(BM_QuoteListWholeSeries)->Unit(benchmark::kMillisecond);

void BM_SplitSearch(benchmark::State& state) {
    for (auto _ : state) {
        SplitSearchOutcome outcome = split_search(portfolio().dir.path(), {"IBM"});
        benchmark::DoNotOptimize(outcome.lines.data());
    }
    state.SetItemsProcessed(state.iterations() * kBars);
}
BENCHMARK(BM_SplitSearch)->Unit(benchmark::kMillisecond);

void BM_DataCheck(benchmark::State& state) {
    const CheckTarget target{portfolio().dir.path(), "IBM", "IBM"};
    for (auto _ : state) {
        std::vector<CheckFinding> findings = check_security(target, {});
        benchmark::DoNotOptimize(findings.data());
    }
    state.SetItemsProcessed(state.iterations() * kBars);
}
BENCHMARK(BM_DataCheck)->Unit(benchmark::kMillisecond);

void BM_Export(benchmark::State& state) {
    auto& p = portfolio();
    ExportOptions options;
    options.delimiter = 1;
    options.title = true;
    std::filesystem::path file = p.dir.path() / "export.csv";
    for (auto _ : state) {
        CommandResult r = export_quotes(p.dir.path(), "IBM", file, options);
        benchmark::DoNotOptimize(r.ok);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(std::filesystem::file_size(file)));
}
BENCHMARK(BM_Export)->Unit(benchmark::kMillisecond);

// A portfolio with lower-case names among 100,000 other entries: every look-up of one of its files
// falls back to a search of the directory.
struct HugeDirectory {
    static constexpr int kEntries = 100000;
    TempDir dir;
    HugeDirectory() {
        SeriesSpec spec;
        spec.lower_case = true;
        write_series_portfolio(dir.path(), spec, random_series_bars(7, 40));
        for (int i = 0; i < kEntries; ++i)
            std::ofstream(dir.path() / ("F" + std::to_string(i) + ".DAX"));
    }
};

void BM_WalkAndLookUpsInAHugeDirectory(benchmark::State& state) {
    static HugeDirectory huge;
    for (auto _ : state) {
        std::vector<std::string> found;
        SearchForMasters(huge.dir.path(), found, false, "");
        MasterRecord record;
        std::filesystem::path where;
        benchmark::DoNotOptimize(master_find(huge.dir.path(), "IBM", record, where));
        QuoteListing listing = quote_list_read(huge.dir.path(), "IBM");
        benchmark::DoNotOptimize(listing.rows.data());
    }
    state.SetItemsProcessed(state.iterations() * HugeDirectory::kEntries);
}
BENCHMARK(BM_WalkAndLookUpsInAHugeDirectory)->Unit(benchmark::kMillisecond);

} // namespace
