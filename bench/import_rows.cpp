// The rows that bring quotes in: a whole portfolio imported from its texts into a new one, measured next
// to reading the texts and writing the same quote files with as many syncs; and the daily update of
// thousands of securities from one file with a ticker column, a figure of its own.
#include "data_rows.h"

#include "analysis/export.h"
#include "analysis/import.h"
#include "storage/fileops.h"
#include "suite.h"
#include "support/builder.h"
#include "support/fault_injection.h"

#include <chrono>
#include <cstdio>

namespace bench {

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

// export-all of the wide portfolio at full precision with its tickers: what import-all reads.
const std::vector<fs::path>& import_texts() {
    static const std::vector<fs::path> files = [] {
        const fs::path at = scratch() / "import-texts";
        fs::create_directories(at);
        ExportOptions options;
        options.delimiter = 1;
        options.title = true;
        options.ticker = true;
        options.full_precision = true;
        export_portfolio(wide_portfolio(), at, options);
        std::vector<fs::path> texts;
        for (const fs::directory_entry& entry : fs::directory_iterator(at))
            texts.push_back(entry.path());
        std::sort(texts.begin(), texts.end());
        return texts;
    }();
    return files;
}

ImportOptions creating() {
    ImportOptions options;
    options.create = true;
    return options;
}

// A new portfolio at `dir`, the one before removed.
void fresh_portfolio(const fs::path& dir) {
    fs::remove_all(dir);
    fs::create_directories(dir.parent_path());
}

bool import_wide(const fs::path& dir) {
    std::vector<ImportOutcome> outcomes;
    return new_portfolio(dir).ok && import_all(dir, import_texts(), creating(), outcomes).ok;
}

// The syncs one import of the wide portfolio makes, counted once before timing.
std::size_t syncs_of_the_import() {
    static const std::size_t syncs = [] {
        const fs::path dir = scratch() / "import-count" / "p";
        fresh_portfolio(dir);
        FaultInjector counter;
        import_wide(dir);
        return counter.calls(fileops::Op::Sync);
    }();
    return syncs;
}

void import_all_measured(benchmark::State& state) {
    const fs::path dir = scratch() / "import-all" / "p";
    import_texts();
    for (auto _ : state) {
        state.PauseTiming();
        fresh_portfolio(dir);
        state.ResumeTiming();
        if (!import_wide(dir))
            state.SkipWithError("import-all failed");
    }
}

// Every text read, every quote file and field file of the wide portfolio written anew and synced, and as
// many more syncs of a small file as the import makes beyond those.
void import_all_baseline(benchmark::State& state) {
    const fs::path out = scratch() / "import-baseline";
    std::vector<std::pair<std::string, std::string>> files;
    for (int n = 1; n <= kWideSecurities; ++n) {
        for (const char* extension : {".DAT", ".DOP"}) {
            const std::string name = "F" + std::to_string(n) + extension;
            files.emplace_back(name, read_bytes(wide_portfolio() / name));
        }
    }
    const std::size_t syncs = syncs_of_the_import();
    std::vector<char> buffer;
    for (auto _ : state) {
        state.PauseTiming();
        fresh_portfolio(out / "p");
        fs::create_directories(out / "p");
        state.ResumeTiming();
        for (const fs::path& text : import_texts())
            benchmark::DoNotOptimize(read_whole(text, buffer));
        bool ok = true;
        for (const auto& [name, content] : files) {
            fileops::File file = fileops::create_truncate(out / "p" / name);
            ok = file.write_all(content.data(), content.size()) && file.sync() && file.close() && ok;
        }
        for (std::size_t extra = files.size(); extra < syncs && ok; ++extra) {
            fileops::File file = fileops::create_truncate(out / "SYNCED");
            ok = file.write_all("synced", 6) && file.sync() && file.close();
        }
        if (!ok)
            state.SkipWithError("write failed");
    }
}

// The daily update: one file of 5,000 lines, a quote for each security of the large portfolio the day
// after its last, imported into a copy made before timing. Reported as its time and the time per
// security; rewriting whole quote files is what it costs.
std::vector<Figure> daily_update_figures() {
    const fs::path copy = scratch() / "daily-update";
    fs::remove_all(copy);
    fs::copy(large_portfolio(kLargeSecurities), copy, fs::copy_options::recursive);
    std::string text = "<TICKER>,<DTYYYYMMDD>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>,<OPENINT>\n";
    for (int i = 0; i < kLargeSecurities; ++i) {
        const int n = i < kWideSecurities ? i + 1 : 256 + (i - kWideSecurities);
        text += "S" + std::to_string(n) + ",21000104,10,11,9,10.5,1000,0\n";
    }
    const fs::path file = scratch() / "daily-update.csv";
    write_bytes(file, text);
    std::vector<ImportOutcome> outcomes;
    const auto start = std::chrono::steady_clock::now();
    const bool ok = import_all(copy, {file}, ImportOptions{}, outcomes).ok;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    char measured[32], each[32];
    std::snprintf(measured, sizeof measured, "%.2f s", seconds);
    std::snprintf(each, sizeof each, "%.2f ms", seconds * 1e3 / kLargeSecurities);
    return {Figure{"Daily update: one quote into each of 5,000 securities", measured,
                   each + std::string(" each"), "-", "report", ok}};
}

const bool registered = [] {
    add_row("import-all, 255 securities x 5,000 quotes, new portfolio", 2.0, import_all_measured,
            import_all_baseline, 1);
    add_figures(daily_update_figures);
    return true;
}();

} // namespace

} // namespace bench
