// The walk for portfolios. Link loops, a start that is a link, mount boundaries and a huge directory
// are in reliability/hostile_test.cpp.
#include "browser/master_walk.h"

#include "storage/portfolio_files.h"
#include "support/fault_injection.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <set>

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

void portfolio_at(const fs::path& dir, const std::string& master_name = "MASTER") {
    fs::create_directories(dir);
    write_bytes(dir / master_name, std::string(53, '\0'));
}

std::vector<std::string> texts(const std::vector<fs::path>& paths) {
    std::vector<std::string> out;
    for (const fs::path& p : paths)
        out.push_back(p.string());
    return out;
}

struct Walk {
    std::vector<std::string> results, entered; // entered: each directory reported, in order
    std::vector<int> counts;
};

Walk walk(const fs::path& root, bool limit = false, const std::string& filter = "") {
    Walk w;
    SearchForMasters(root, w.results, limit, filter, [&](const std::string& dir, int found) {
        if (w.entered.empty() || w.entered.back() != dir || w.counts.back() == found)
            w.entered.push_back(dir);
        w.counts.push_back(found);
        return true;
    });
    return w;
}

TEST(SearchForMasters, FindsPortfoliosInAnyCaseDepthFirstSortedIgnoringCase) {
    TempDir tmp;
    const fs::path root = tmp / "Drive";
    portfolio_at(root); // the root itself is a portfolio
    portfolio_at(root / "b", "master");
    portfolio_at(root / "A" / "inner", "Master");
    portfolio_at(root / "A");
    portfolio_at(root / "a2");
    fs::create_directories(root / "B2" / "MASTER"); // a directory named MASTER marks nothing
    portfolio_at(root / ".hidden");                 // never entered
    fs::create_directories(root / "F");
    fs::create_symlink(root / "MASTER", root / "F" / "MASTER"); // a link is no portfolio marker
    const Walk w = walk(root);
    EXPECT_EQ(w.results, texts({root, root / "A", root / "A" / "inner", root / "a2", root / "b"}));
    EXPECT_EQ(std::set<std::string>(w.entered.begin(), w.entered.end()),
              (std::set<std::string>{root.string(), (root / "A").string(), (root / "A" / "inner").string(),
                                     (root / "a2").string(), (root / "b").string(), (root / "B2").string(),
                                     (root / "B2" / "MASTER").string(), (root / "F").string()}));
    const auto a = std::find(w.entered.begin(), w.entered.end(), (root / "A").string());
    ASSERT_LT(a + 1, w.entered.end());
    EXPECT_EQ(*(a + 1), (root / "A" / "inner").string()); // the subtree of A is walked as one piece
    EXPECT_EQ(w.counts.front(), 0);
    EXPECT_EQ(w.counts.back(), 5);
    EXPECT_TRUE(std::is_sorted(w.counts.begin(), w.counts.end()));
}

TEST(SearchForMasters, TheFilterKeepsPathsContainingItOrContainedInIt) {
    TempDir tmp;
    const fs::path root = tmp / "root";
    for (const fs::path& dir :
         {root / "METASTOCK", root / "METASTOCK" / "DATA", root / "metastock" / "other",
          root / "METASTOCK" / "DATA" / "STOCKS", root / "WINDOWS", root / "M", root / "M" / "SUB"})
        portfolio_at(dir);
    const std::string filter = portfolio_files::to_upper((root / "metastock" / "data").string());
    const Walk limited = walk(root, true, filter);
    EXPECT_EQ(limited.results, texts({root / "M", root / "METASTOCK", root / "METASTOCK" / "DATA",
                                      root / "METASTOCK" / "DATA" / "STOCKS"}));
    for (const fs::path& skipped : {root / "WINDOWS", root / "M" / "SUB"})
        EXPECT_EQ(std::count(limited.entered.begin(), limited.entered.end(), skipped.string()), 0) << skipped;
    EXPECT_EQ(walk(root, true, (root / "METASTOCK" / "DATA").string()).results, limited.results); // any case
    EXPECT_EQ(walk(root, false, filter).results.size(), 7u);
    EXPECT_TRUE(walk_filter_keeps("/x/m", true, "/X/METASTOCK/DATA"));
    EXPECT_FALSE(walk_filter_keeps("/X/WINDOWS", true, "/X/METASTOCK/DATA"));
    EXPECT_TRUE(walk_filter_keeps("/X/WINDOWS", true, ""));
}

TEST(SearchForMasters, AnUnlistableDirectoryYieldsNothingAndTheWalkGoesOn) {
    TempDir tmp;
    portfolio_at(tmp / "one");
    portfolio_at(tmp / "two");
    EXPECT_TRUE(walk(tmp / "absent").results.empty());
    for (std::size_t listing : {1, 2}) { // the root, then the first subdirectory
        FaultInjector faults;
        faults.fail_nth(fileops::Op::ListDir, listing, EACCES);
        EXPECT_EQ(walk(tmp.path()).results.size(), listing - 1);
    }
}

TEST(SearchForMasters, AProgressThatSaysStopEndsTheWalkWithWhatWasFound) {
    TempDir tmp;
    for (const char* name : {"a", "b", "c"})
        portfolio_at(tmp / name);
    std::vector<std::string> found;
    int calls = 0, stopped_at = -1;
    EXPECT_FALSE(SearchForMasters(tmp.path(), found, false, "", [&](const std::string&, int count) {
        stopped_at = count == 0 ? -1 : calls + 1;
        return ++calls, count == 0;
    }));
    EXPECT_EQ(found.size(), 1u);
    EXPECT_EQ(calls, stopped_at); // none after the stop
}

} // namespace
