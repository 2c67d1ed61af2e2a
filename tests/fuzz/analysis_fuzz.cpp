// Split search and export over a fuzzed security: every outcome is a result with messages, the export
// file is either complete or absent, and nothing is read outside a buffer.
#include "analysis/export.h"
#include "analysis/split_search.h"
#include "fuzz_support.h"

#include <cstdint>

using namespace fuzz_support;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    std::string_view extra;
    const fs::path& root = scratch().fresh();
    FuzzedSecurity s = make_security(in, root, &extra, 2);
    Input picks(reinterpret_cast<const std::uint8_t*>(extra.data()), extra.size());
    const std::uint8_t columns = picks.byte();
    const std::uint8_t style = picks.byte();

    SplitSearchOutcome outcome = split_search(root, {"IBM", "NONE"});
    check(outcome.result.ok || !outcome.result.messages.empty(), "a failed search says why");
    SplitSearchOutcome whole = split_search_portfolio(root);
    (void)whole;

    ExportOptions options;
    for (int i = 0; i < kExportColumns; ++i)
        options.omit[i] = columns & (1 << i);
    options.delimiter = style % 4;
    options.newest_first = style & 4;
    options.title = style & 8;
    const fs::path out_dir = root / "out";
    fs::create_directory(out_dir);
    const fs::path out_file = out_dir / "export.txt";
    CommandResult result = export_quotes(root, "IBM", out_file, options);
    if (!result.ok)
        check(!fs::exists(out_file), "a failed export leaves no file");
    // Only the export file itself may have appeared.
    for (const auto& entry : fs::directory_iterator(out_dir))
        check(entry.path() == out_file, "no temporary file left by the export");

    const fs::path all_dir = root / "all";
    fs::create_directory(all_dir);
    CommandResult all = export_portfolio(root, all_dir, options);
    check(all.ok || !all.messages.empty(), "a failed portfolio export names its failures");
    return 0;
}
