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

std::string path_text(const fs::path& p) {
    return p.string();
}

struct WalkRecord {
    std::vector<std::string> results;
    std::vector<std::string> entered; // every directory reported as entered, in order
    std::vector<int> counts;
};

WalkRecord walk(const fs::path& root, bool limit = false, const std::string& filter = "") {
    WalkRecord record;
    std::string last_dir;
    int last_count = -1;
    SearchForMasters(root, record.results, limit, filter, [&](const std::string& dir, int found) {
        if (found == last_count || dir != last_dir)
            record.entered.push_back(dir);
        record.counts.push_back(found);
        last_dir = dir;
        last_count = found;
        return true;
    });
    return record;
}

} // namespace

TEST(SearchForMasters, FindsPortfoliosInAnyCaseAndSkipsMarkersThatAreNone) {
    TempDir tmp;
    const fs::path root = tmp / "Drive";
    portfolio_at(root);                 // the root itself is a portfolio
    portfolio_at(root / "a", "master"); // lower-case name
    portfolio_at(root / "C" / "D", "Master");
    fs::create_directories(root / "B" / "MASTER"); // a directory named MASTER marks nothing
    portfolio_at(root / ".hidden");                // never entered
    portfolio_at(root / "C" / ".cache" / "deep");
    fs::create_directories(root / "F");
    fs::create_symlink(root / "MASTER", root / "F" / "MASTER"); // a link is no portfolio marker
    fs::create_directory_symlink(root, root / "loop");          // never followed
    fs::create_directory_symlink(root / "C", root / "B" / "to_c");

    const WalkRecord record = walk(root);
    EXPECT_EQ(record.results, (std::vector<std::string>{path_text(root), path_text(root / "a"),
                                                        path_text(root / "C" / "D")}));
    const std::set<std::string> entered(record.entered.begin(), record.entered.end());
    EXPECT_EQ(entered, (std::set<std::string>{path_text(root), path_text(root / "a"), path_text(root / "B"),
                                              path_text(root / "B" / "MASTER"), path_text(root / "C"),
                                              path_text(root / "C" / "D"), path_text(root / "F")}));
    ASSERT_FALSE(record.counts.empty());
    EXPECT_EQ(record.counts.front(), 0);
    EXPECT_EQ(record.counts.back(), 3);
    EXPECT_TRUE(std::is_sorted(record.counts.begin(), record.counts.end()));
}

TEST(SearchForMasters, ResultsSortedIgnoringCaseAndDepthFirst) {
    TempDir tmp;
    for (const char* name : {"b", "C", "A", "a2"})
        portfolio_at(tmp / name);
    portfolio_at(tmp / "A" / "inner");
    const WalkRecord record = walk(tmp.path());
    EXPECT_EQ(record.results,
              (std::vector<std::string>{path_text(tmp / "A"), path_text(tmp / "A" / "inner"),
                                        path_text(tmp / "a2"), path_text(tmp / "b"), path_text(tmp / "C")}));
    // Depth first: the subtree of A is walked as one piece.
    const auto a = std::find(record.entered.begin(), record.entered.end(), path_text(tmp / "A"));
    ASSERT_NE(a, record.entered.end());
    ASSERT_NE(a + 1, record.entered.end());
    EXPECT_EQ(*(a + 1), path_text(tmp / "A" / "inner"));
}

TEST(SearchForMasters, FilterKeepsPathsContainingItOrContainedInIt) {
    TempDir tmp;
    const fs::path root = tmp / "root";
    portfolio_at(root / "METASTOCK");
    portfolio_at(root / "METASTOCK" / "DATA");
    portfolio_at(root / "metastock" / "other");
    portfolio_at(root / "METASTOCK" / "DATA" / "STOCKS");
    portfolio_at(root / "WINDOWS");
    portfolio_at(root / "M");
    portfolio_at(root / "M" / "SUB");
    const std::string filter = portfolio_files::to_upper(path_text(root / "metastock" / "data"));

    const WalkRecord limited = walk(root, true, filter);
    EXPECT_EQ(limited.results, (std::vector<std::string>{path_text(root / "M"), path_text(root / "METASTOCK"),
                                                         path_text(root / "METASTOCK" / "DATA"),
                                                         path_text(root / "METASTOCK" / "DATA" / "STOCKS")}));
    const std::set<std::string> entered(limited.entered.begin(), limited.entered.end());
    EXPECT_EQ(entered.count(path_text(root / "WINDOWS")), 0u);
    EXPECT_EQ(entered.count(path_text(root / "M" / "SUB")), 0u);

    // The filter text may come in any case; limit off walks everything.
    EXPECT_EQ(walk(root, true, path_text(root / "METASTOCK" / "DATA")).results, limited.results);
    EXPECT_EQ(walk(root, false, filter).results.size(), 7u);

    EXPECT_TRUE(walk_filter_keeps("/X/METASTOCK/DATA/STOCKS", true, "/X/METASTOCK/DATA"));
    EXPECT_TRUE(walk_filter_keeps("/x/m", true, "/X/METASTOCK/DATA"));
    EXPECT_FALSE(walk_filter_keeps("/X/WINDOWS", true, "/X/METASTOCK/DATA"));
    EXPECT_TRUE(walk_filter_keeps("/X/WINDOWS", false, "/X/METASTOCK/DATA"));
    EXPECT_TRUE(walk_filter_keeps("/X/WINDOWS", true, ""));
}

TEST(SearchForMasters, UnlistableDirectoryYieldsNothingAndTheWalkGoesOn) {
    TempDir tmp;
    portfolio_at(tmp / "one");
    portfolio_at(tmp / "two");
    const std::size_t all = walk(tmp.path()).results.size();
    ASSERT_EQ(all, 2u);
    {
        FaultInjector faults;
        faults.fail_nth(fileops::Op::ListDir, 1, EACCES); // the root
        EXPECT_TRUE(walk(tmp.path()).results.empty());
    }
    {
        FaultInjector faults;
        faults.fail_nth(fileops::Op::ListDir, 2, EACCES); // the first subdirectory walked
        EXPECT_EQ(walk(tmp.path()).results.size(), 1u);
    }
}

TEST(SearchForMasters, MissingRootOrLinkedRootFindsNothing) {
    TempDir tmp;
    portfolio_at(tmp / "real");
    fs::create_directory_symlink(tmp / "real", tmp / "link");
    EXPECT_TRUE(walk(tmp / "absent").results.empty());
    EXPECT_TRUE(walk(tmp / "link").results.empty());
    EXPECT_EQ(walk(tmp / "real").results, std::vector<std::string>{path_text(tmp / "real")});
}

TEST(SearchForMasters, AProgressThatSaysStopEndsTheWalkWithWhatWasFound) {
    TempDir tmp;
    for (const char* name : {"a", "b", "c"})
        portfolio_at(tmp / name);
    std::vector<std::string> found;
    int calls = 0;
    const bool finished = SearchForMasters(tmp.path(), found, false, "", [&](const std::string&, int count) {
        ++calls;
        return count == 0;
    });
    EXPECT_FALSE(finished);
    EXPECT_EQ(found.size(), 1u);
    const int calls_when_stopped = calls;
    EXPECT_TRUE(
        SearchForMasters(tmp.path(), found, false, "", [&](const std::string&, int) { return true; }));
    EXPECT_EQ(calls, calls_when_stopped); // no call after the stop
    EXPECT_EQ(found.size(), 4u);
}
