// The rules of finding portfolios: listed volumes, the volume of a path, the start volume, the filter's
// check, and the browse session that keeps them. When a filter change rescans, and the message of an
// empty volume, are in window/quorbit_view_test.cpp.
#include "browser/browse_session.h"
#include "browser/discovery_rules.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

TEST(DriveList, ListsRealVolumesOncePerRootSorted) {
    // clang-format off
    const std::vector<MountedVolume> mounted = {{"/home", "ext4"}, {"/", "ext4"}, {"/proc", "proc"},
        {"/sys/fs/cgroup", "cgroup2"}, {"/run", "tmpfs"}, {"/dev/shm", "tmpfs"}, {"/tmp", "tmpfs"},
        {"/media/usb", "vfat"}, {"/home", "ext4"}, {"/mnt/cd", "iso9660", false}, {"/etc/hosts", "ext4", true, false},
        {"/srv/data", "nfs4"}};
    // clang-format on
    EXPECT_EQ(DriveList(mounted),
              (std::vector<std::string>{"/", "/home", "/media/usb", "/srv/data", "/tmp"}));
}

TEST(VolumeOf, TakesTheLongestRootThatHoldsThePathByWholeNames) {
    const std::vector<std::string> volumes = {"/", "/home", "/home/user/data"};
    struct Case {
        const char* path;
        const char* volume;
    };
    // clang-format off
    for (const Case& c : std::vector<Case>{{"/home/user/data/stocks", "/home/user/data"}, {"/home/user/database", "/home"},
             {"/home", "/home"}, {"/homer/x", "/"}, {"/", "/"}, {"relative/dir", ""}, {"", ""}})
        EXPECT_EQ(VolumeOf(c.path, volumes), c.volume) << c.path;
    // clang-format on
    EXPECT_EQ(VolumeOf("/x", {}), "");
#ifdef _WIN32
    // Drive letters are the volumes there; letters and names in any case, either separator.
    const std::vector<std::string> drives = {"C:\\", "D:\\", "D:\\Mount\\Quotes"};
    for (const Case& c : std::vector<Case>{{"c:\\data", "C:\\"},
                                           {"D:/quotes/ibm", "D:\\"},
                                           {"d:\\mount\\quotes\\x", "D:\\Mount\\Quotes"},
                                           {"D:\\Mountain", "D:\\"},
                                           {"E:\\data", ""},
                                           {"\\data", ""}})
        EXPECT_EQ(VolumeOf(c.path, drives), c.volume) << c.path;
    EXPECT_FALSE(SearchFilterAccepted(true, "E:\\stocks", drives));
#endif
}

TEST(StartVolume, SavedVolumeThenCurrentDirectorysThenFirst) {
    const std::vector<std::string> volumes = {"/", "/data", "/media/usb"};
    struct Case {
        const char* saved;
        const char* current;
        int index;
    };
    // A volume removed since gives way to the current directory's; an old drive letter to the first.
    // clang-format off
    for (const Case& c : std::vector<Case>{{"/media/usb", "/data/x", 2}, {"", "/data/x", 1}, {"/media/gone", "/data/x", 1},
             {"C", "/home", 0}, {"/media/gone", "relative", 0}})
        EXPECT_EQ(StartVolumeIndex(volumes, c.saved, c.current), c.index) << c.saved << " " << c.current;
    // clang-format on
    EXPECT_EQ(StartVolumeIndex({"/media/usb"}, "", "/home"), 0);
    EXPECT_EQ(StartVolumeIndex({}, "/", "/"), -1);
}

TEST(SearchFilter, CheckedOnlyWithTheLimitAndOnAListedVolume) {
    const std::vector<std::string> volumes = {"/", "/data"};
    EXPECT_TRUE(SearchFilterAccepted(true, "/data/stocks", volumes));
    EXPECT_TRUE(SearchFilterAccepted(true, "/anything", volumes));
    EXPECT_FALSE(SearchFilterAccepted(true, "data/stocks", volumes));
    EXPECT_FALSE(SearchFilterAccepted(true, "", volumes));
    EXPECT_FALSE(SearchFilterAccepted(true, "/data", {"/media/usb"}));
    EXPECT_TRUE(SearchFilterAccepted(false, "nowhere", volumes));
}

TEST(BrowseSession, KeepsTheFilterTheVolumeAndTheChosenMaster) {
    BrowseSession session({true, "/data/Stocks", false}, "/home/user");
    EXPECT_EQ(session.filter_upper() + "|" + session.start_directory(), "/DATA/STOCKS|/home/user");
    EXPECT_FALSE(session.set_filter({true, "/DATA/stocks", true})); // only the letter case and the repair
    EXPECT_TRUE(session.filter().repair && session.filter().path == "/DATA/stocks");
    EXPECT_TRUE(session.set_filter({false, "/DATA/stocks", true}));
    EXPECT_FALSE(session.drive_chosen());
    EXPECT_TRUE(session.choose_drive("/") && !session.choose_drive("/") && session.drive_chosen());
    EXPECT_EQ(session.searched_folder(), "/");
    session.forget_drive();
    EXPECT_TRUE(session.choose_drive("/"));

    testing_support::TempDir dir;
    testing_support::write_bytes(dir.path() / "master", "");
    ViewState state;
    state.masterPath = "/before/MASTER";
    const std::string tooLong = "/" + std::string(BrowseSession::kMaxMasterPath - 7, 'd') + "/MASTER";
    for (const std::string& refused :
         {(dir.path() / "EMASTER").string(), (dir.path() / "none" / "MASTER").string(), tooLong})
        EXPECT_FALSE(session.select_master(refused, state) || session.master_selected()) << refused;
    EXPECT_EQ(state.masterPath, "/before/MASTER");
    EXPECT_TRUE(session.select_master((dir.path() / "master").string(), state) && session.master_selected());
    EXPECT_EQ(state.portfolioDir, dir.path());
}

} // namespace
