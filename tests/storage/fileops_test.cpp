// The file-operations module. Every command's rewrite under failure is
// swept in reliability/fault_sweep_test.cpp; here the pieces it stands on.
#include "storage/fileops.h"
#include "storage/portfolio_files.h"
#include "support/fault_injection.h"
#include "support/host.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#ifndef _WIN32
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

bool write_text(const TempDir& dir, const std::string& text) {
    return fileops::replace_file(dir / "A", dir / "A.NEW",
                                 [&](fileops::BufferedWriter& w) { return w.write(text); });
}

TEST(ReplaceFile, KeepsTheModeOfTheFileItReplacesAndABackupTakesTheModeOfItsSource) {
    SKIP_UNLESS_POSIX_HOST();
    TempDir dir;
    for (fs::perms mode : {fs::perms(0600), fs::perms(0640)}) {
        write_bytes(dir / "A", "old");
        fs::permissions(dir / "A", mode);
        write_bytes(dir / "A.BAK", "older");
        ASSERT_TRUE(fileops::copy_file_atomic(dir / "A", dir / "A.BAK", dir / "A.NEW"));
        ASSERT_TRUE(write_text(dir, "new"));
        EXPECT_EQ(std::pair(fs::status(dir / "A").permissions(), fs::status(dir / "A.BAK").permissions()),
                  std::pair(mode, mode));
    }
    // Only the superuser may give a file away: a refused change of owner is no failure.
    FaultInjector injector;
    injector.fail_all(fileops::Op::Chown, EPERM);
    EXPECT_TRUE(write_text(dir, "newer"));
    injector.fail_all(fileops::Op::Chmod, EPERM);
    EXPECT_FALSE(write_text(dir, "newest"));
    EXPECT_EQ(read_bytes(dir / "A"), "newer");
}

// A batch replaces each file all or nothing: one sync of the file system makes every copy durable
// before the renames; where that sync fails or the host has none, each copy is synced alone and one
// whose sync fails leaves its target as it was. A producer that gives up adds nothing, a batch never
// committed changes nothing; no temporary stays.
TEST(ReplaceBatch, EachFileIsAllOrNothing) {
#ifdef __linux__
    constexpr bool kSyncsFileSystem = true;
#else
    constexpr bool kSyncsFileSystem = false; // no such call: each copy is synced on its own
#endif
    TempDir dir;
    auto text = [](const char* content) {
        return [content](fileops::BufferedWriter& w) { return w.write(std::string_view(content)); };
    };
    auto fill = [&](fileops::ReplaceBatch& batch, const char* content) {
        for (const char* name : {"A", "B", "C"})
            ASSERT_TRUE(batch.add(dir / name, dir / (std::string(name) + ".part"), text(content)));
    };
    for (const char* name : {"A", "B", "C"})
        write_bytes(dir / name, "old");
    {
        fileops::ReplaceBatch abandoned;
        ASSERT_TRUE(abandoned.add(dir / "A", dir / "A.part", text("never")));
    }
    {
        FaultInjector injector;
        fileops::ReplaceBatch batch;
        EXPECT_FALSE(batch.add(dir / "D", dir / "D.part", [](fileops::BufferedWriter&) { return false; }));
        fill(batch, "new");
        EXPECT_EQ(batch.commit(), (std::vector<int>{0, 0, 0}));
        // The file system once and the directory once; else the three copies.
        EXPECT_EQ(injector.calls(fileops::Op::Sync), kSyncsFileSystem ? 2u : 3u);
        EXPECT_EQ(snapshot(dir.path()), (Snapshot{{"A", "new"}, {"B", "new"}, {"C", "new"}}));
        // A failed sync of the file system falls back to a sync of each copy.
        injector.reset();
        if (kSyncsFileSystem)
            injector.fail_nth(fileops::Op::Sync, 1, EIO);
        fileops::ReplaceBatch fallback;
        fill(fallback, "newer");
        EXPECT_EQ(fallback.commit(), (std::vector<int>{0, 0, 0}));
        EXPECT_EQ(injector.calls(fileops::Op::Sync), kSyncsFileSystem ? 5u : 3u);
    }
    FaultInjector injector;
    fileops::Table without_filesystem_sync = fileops::table(); // a host with no such call
    without_filesystem_sync.sync_filesystem = [](int) {
        errno = ENOSYS;
        return -1;
    };
    fileops::set_table(&without_filesystem_sync);
    fileops::ReplaceBatch batch;
    fill(batch, "newest");
    injector.fail_nth(fileops::Op::Sync, 2, EIO);
    EXPECT_EQ(batch.commit(), (std::vector<int>{0, EIO, 0}));
    EXPECT_EQ(snapshot(dir.path()), (Snapshot{{"A", "newest"}, {"B", "newer"}, {"C", "newest"}}));
}

TEST(ReplaceFile, ALongFileAsksForWritebackOnTheWayAndAFailedRequestChangesNothing) {
    TempDir dir;
    std::string text;
    for (int i = 0; text.size() < 700 * 1024; ++i)
        text += std::to_string(i) + "\n";
    FaultInjector injector;
    injector.fail_all(fileops::Op::Writeback, EIO);
    ASSERT_TRUE(fileops::replace_file(dir / "A", dir / "A.NEW", [&](fileops::BufferedWriter& w) {
        for (std::size_t at = 0; at < text.size(); at += 1000) // through the buffer, a piece at a time
            if (!w.write(text.substr(at, 1000)))
                return false;
        return true;
    }));
    EXPECT_EQ(injector.calls(fileops::Op::Writeback), 2u); // after 256 KiB and after 512 KiB
    EXPECT_EQ(read_bytes(dir / "A"), text);
}

TEST(FileOps, CopyRenameReadAndStat) {
    TempDir dir;
    const std::string content(100000, 'c');
    write_bytes(dir / "S", content);
    ASSERT_TRUE(fileops::copy_file(dir / "S", dir / "T"));
    EXPECT_FALSE(fileops::rename_no_replace(dir / "S", dir / "T"));
    EXPECT_EQ(read_bytes(dir / "T"), content);
    fs::remove(dir / "T");
    std::string read;
    {
        FaultInjector injector;
        injector.fail_nth(fileops::Op::Write, 2, ENOSPC);
        EXPECT_FALSE(fileops::copy_file(dir / "S", dir / "T"));
        EXPECT_FALSE(fs::exists(dir / "T")); // no partial copy
        injector.reset();
        injector.fail_nth(fileops::Op::Read, 2, EIO);
        EXPECT_FALSE(fileops::read_file(dir / "S", read)); // a read failing after the first chunk
    }
    EXPECT_FALSE(fileops::copy_file(dir / "missing", dir / "T"));
    EXPECT_TRUE(fileops::read_file(dir / "S", read) && read == content);
    for (const std::size_t size : {0, 1 << 14, 3 << 14}) { // the last read finds no byte left
        write_bytes(dir / "E", std::string(size, 'e'));
        EXPECT_TRUE(fileops::read_file(dir / "E", read) && read.size() == size) << size;
    }
    EXPECT_TRUE(fileops::rename_no_replace(dir / "S", dir / "C"));

    fs::create_directory(dir / "real");
    if (testing_support::kPosixHost) { // a link to a directory, where anyone may make one
        fs::create_directory_symlink(dir / "real", dir / "link");
        const fileops::FileStat st = fileops::stat(dir / "link");
        EXPECT_TRUE(st.exists && st.is_symlink && !st.is_dir);
    }
    std::vector<fileops::DirEntry> entries;
    ASSERT_TRUE(fileops::list_dir(dir.path(), entries));
    for (const auto& e : entries)
        EXPECT_EQ(e.is_dir, e.name == "real") << e.name;
}

// What differs between the hosts: Windows' own rename refuses an existing target, and its file system
// finds "MASTER" when the directory holds "master". A rewrite still replaces the file in one step, and
// the portfolio's files keep the case they have on disk whatever case they are asked for in.
TEST(ReplaceFile, ReplacesAnExistingFileInOneStepUnderTheNameItHasOnDisk) {
    TempDir dir;
    write_bytes(dir / "master", "old");
    write_bytes(dir / "f1.dat", "quotes");
    const fs::path master = portfolio_files::existing(dir.path(), "MASTER");
    EXPECT_EQ(master.filename(), "master");
    ASSERT_TRUE(fileops::replace_file(master, dir / "MASTER.NEW", [](fileops::BufferedWriter& w) {
        return w.write(std::string_view("new"));
    }));
    EXPECT_EQ(read_bytes(dir / "master"), "new");
    write_bytes(dir / "B", "newer");
    ASSERT_TRUE(fileops::rename_replace(dir / "B", portfolio_files::existing(dir.path(), "Master")));
    EXPECT_EQ(portfolio_files::for_writing(dir.path(), "F1.DAT").filename(), "f1.dat");
    EXPECT_EQ(portfolio_files::for_writing(dir.path(), "F2.DOP").filename(),
              "f2.dop"); // the portfolio's case
    EXPECT_EQ(snapshot(dir.path()), (Snapshot{{"f1.dat", "quotes"}, {"master", "newer"}}));
    EXPECT_TRUE(has_entry(dir.path(), "master") && !has_entry(dir.path(), "MASTER"));
}

#ifndef _WIN32
// A program started with its standard input closed gets descriptor 0 for the first file it opens.
TEST(FileOps, AFileOpenedAsDescriptorZeroIsWrittenLikeAnyOther) {
    TempDir dir;
    const int input = ::dup(0);
    ::close(0);
    bool written = false;
    {
        fileops::File file = fileops::create_truncate(dir / "A");
        written = file.write_all("x", 1);
    }
    ::dup2(input, 0);
    ::close(input);
    EXPECT_TRUE(written && read_bytes(dir / "A") == "x");
}
#endif

TEST(FileOps, AWriteThatWritesNothingIsAFullDisk) {
    TempDir dir;
    fileops::File file = fileops::create_truncate(dir / "A");
    fileops::Table table = fileops::system_table();
    table.write = [](int, const void*, std::size_t) -> long long { return 0; };
    fileops::set_table(&table);
    const bool written = file.write_all("x", 1);
    const int error = errno;
    fileops::set_table(nullptr);
    EXPECT_TRUE(!written && error == ENOSPC) << error;
}

} // namespace
