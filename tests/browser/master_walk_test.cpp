// The walk for portfolios. Link loops, a start that is a link, mount boundaries and a huge directory are
// in reliability/hostile_test.cpp.
#include "browser/master_walk.h"

#include "storage/portfolio_files.h"
#include "support/fault_injection.h"
#include "support/host.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

std::vector<std::string> walk(const fs::path& root, bool limit, const std::string& filter, int& calls) {
    std::vector<std::string> found;
    SearchForMasters(root, found, limit, filter, [&](const std::string&, int) { return ++calls > 0; });
    return found;
}

TEST(SearchForMasters, FindsPortfoliosInAnyCaseSortedAndKeepsWhatTheFilterAllows) {
    TempDir tmp;
    const fs::path root = tmp / "root";
    // Where names are matched ignoring case (Windows), "metastock" is the folder METASTOCK made just before.
    const fs::path dirs[] = {root / "M",
                             root / "METASTOCK" / "DATA" / "STOCKS",
                             root / "METASTOCK" / "DATA",
                             root / (kPosixHost ? "metastock" : "METASTOCK") / "other",
                             root / "WINDOWS",
                             root / "M" / "SUB",
                             root / ".hidden"};
    for (const fs::path& dir : dirs) {
        fs::create_directories(dir);
        write_bytes(dir / (dir.filename() == "M" ? "master" : "MASTER"), std::string(53, '\0'));
    }
    fs::create_directories(root / "B" / "MASTER"); // a directory named MASTER marks nothing
    int calls = 0;
    EXPECT_EQ(walk(root, false, "", calls),
              (std::vector<std::string>{dirs[0].string(), dirs[5].string(), dirs[2].string(),
                                        dirs[1].string(), dirs[3].string(), dirs[4].string()}));
    const std::string filter = portfolio_files::to_upper((root / "metastock" / "data").string());
    EXPECT_EQ(walk(root, true, filter, calls),
              (std::vector<std::string>{dirs[0].string(), dirs[2].string(), dirs[1].string()}));
    EXPECT_EQ(walk(root, true, (root / "METASTOCK" / "DATA").string(), calls).size(), 3u); // any case
    EXPECT_TRUE(walk_filter_keeps("/X/WINDOWS", true, ""));
    // Windows takes either separator in a filter.
    EXPECT_EQ(walk_filter_keeps("C:\\DATA\\STOCKS", true, "C:/DATA"), !kPosixHost);
    FaultInjector faults;
    faults.fail_nth(fileops::Op::ListDir, 2, EACCES); // the first subdirectory: the walk goes on
    EXPECT_EQ(walk(root, false, "", calls).size(), 5u);
    faults.reset();
    faults.fail_nth(fileops::Op::ListDir, 1, EACCES);
    EXPECT_TRUE(walk(root, false, "", calls).empty());
    std::vector<std::string> found;
    calls = 0;
    EXPECT_FALSE(
        SearchForMasters(root, found, false, "", [&](const std::string&, int count) { // a stop ends it
            return ++calls, count == 0;
        }));
    EXPECT_EQ(found.size(), 1u);
}

} // namespace
