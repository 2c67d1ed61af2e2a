// Split search and export over a fuzzed security: every outcome is a result with messages, the export
// file is either complete or absent, and nothing is read outside a buffer.
#include "analysis/export.h"
#include "analysis/split_search.h"
#include "fuzz_support.h"

using namespace fuzz_support;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedSecurity s = make_security(data, size, 2);
    const std::uint8_t columns = s.picks.byte(), style = s.picks.byte();
    SplitSearchOutcome outcome = split_search(s.root, {"IBM", "NONE"});
    check(outcome.result.ok || !outcome.result.messages.empty(), "a failed search says why");
    (void)split_search_portfolio(s.root);
    ExportOptions options{{}, style % 4, (style & 4) != 0, (style & 8) != 0};
    for (int i = 0; i < kExportColumns; ++i)
        options.omit[i] = columns & (1 << i);
    fs::create_directory(s.root / "out");
    const fs::path out_file = s.root / "out" / "export.txt";
    CommandResult result = export_quotes(s.root, "IBM", out_file, options);
    check(result.ok || !fs::exists(out_file), "a failed export leaves no file");
    for (const auto& entry : fs::directory_iterator(s.root / "out")) // only the export file may appear
        check(entry.path() == out_file, "no temporary file left by the export");
    fs::create_directory(s.root / "all");
    CommandResult all = export_portfolio(s.root, s.root / "all", options);
    check(all.ok || !all.messages.empty(), "a failed portfolio export names its failures");
    return 0;
}
