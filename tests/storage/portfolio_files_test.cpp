#include "storage/portfolio_files.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

using testing_support::TempDir;
using testing_support::write_bytes;
namespace pf = portfolio_files;

TEST(PortfolioFiles, MatchesNamesIgnoringCase) {
    TempDir dir;
    write_bytes(dir / "master", "");
    write_bytes(dir / "f1.Dat", "");
    EXPECT_EQ(pf::master(dir.path()).filename(), "master");
    EXPECT_EQ(pf::series_file(dir.path(), 1, "DAT").filename(), "f1.Dat");
    EXPECT_TRUE(pf::present(dir.path(), "F1.DAT"));
    EXPECT_FALSE(pf::present(dir.path(), "F2.DAT"));
    EXPECT_EQ(pf::series_file(dir.path(), 2, "DAT").filename(), "F2.DAT");
}

TEST(PortfolioFiles, NewFilesFollowTheCaseOfMaster) {
    TempDir lower, upper, empty;
    write_bytes(lower / "master", "");
    write_bytes(upper / "MASTER", "");
    EXPECT_EQ(pf::series_file_for_writing(lower.path(), 3, "NEW").filename(), "f3.new");
    EXPECT_EQ(pf::for_writing(lower.path(), "MASTER.~NU").filename(), "master.~nu");
    EXPECT_EQ(pf::series_file_for_writing(upper.path(), 3, "NEW").filename(), "F3.NEW");
    EXPECT_EQ(pf::series_file_for_writing(empty.path(), 3, "DAT").filename(), "F3.DAT");
    write_bytes(lower / "F3.NEW", "");
    EXPECT_EQ(pf::series_file_for_writing(lower.path(), 3, "NEW").filename(),
              "F3.NEW"); // reuse what is there
}
