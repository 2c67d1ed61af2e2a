#include "storage/fileops.h"
#include "support/fault_injection.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>

using testing_support::FaultInjector;
using testing_support::read_bytes;
using testing_support::TempDir;
using testing_support::write_bytes;

namespace {

bool write_text(const fileops::Path& target, const fileops::Path& temp, const std::string& text) {
    return fileops::replace_file(target, temp, [&](fileops::BufferedWriter& w) { return w.write(text); });
}

TEST(ReplaceFile, WritesNewContentAndLeavesNoTemporary) {
    TempDir dir;
    write_bytes(dir / "A", "old");
    ASSERT_TRUE(write_text(dir / "A", dir / "A.NEW", std::string(200000, 'x')));
    EXPECT_EQ(read_bytes(dir / "A"), std::string(200000, 'x'));
    EXPECT_FALSE(std::filesystem::exists(dir / "A.NEW"));
}

TEST(ReplaceFile, AnySingleFailingStepLeavesTheOldContent) {
    TempDir dir;
    const std::string old_content = "old content";
    const std::string new_content(150000, 'n'); // more than one buffer's worth
    write_bytes(dir / "A", old_content);
    std::size_t calls;
    {
        FaultInjector counter;
        ASSERT_TRUE(write_text(dir / "A", dir / "A.NEW", new_content));
        calls = counter.calls();
    }
    ASSERT_GT(calls, 5u);
    for (int error : {EIO, ENOSPC, EACCES}) {
        for (std::size_t n = 1; n <= calls; ++n) {
            write_bytes(dir / "A", old_content);
            FaultInjector injector;
            injector.fail_call(n, error);
            bool ok = write_text(dir / "A", dir / "A.NEW", new_content);
            std::string now = read_bytes(dir / "A");
            EXPECT_TRUE(now == old_content || now == new_content) << "call " << n;
            EXPECT_EQ(ok, now == new_content) << "call " << n;
            EXPECT_FALSE(std::filesystem::exists(dir / "A.NEW")) << "call " << n;
        }
    }
}

TEST(ReplaceFile, ProducerFailureKeepsTarget) {
    TempDir dir;
    write_bytes(dir / "A", "keep");
    EXPECT_FALSE(fileops::replace_file(dir / "A", dir / "A.NEW", [](fileops::BufferedWriter& w) {
        w.write("partial");
        return false;
    }));
    EXPECT_EQ(read_bytes(dir / "A"), "keep");
    EXPECT_FALSE(std::filesystem::exists(dir / "A.NEW"));
}

TEST(ReplaceFile, KeepsTheModeOfTheFileItReplacesAndABackupTakesTheModeOfItsSource) {
    namespace fs = std::filesystem;
    TempDir dir;
    for (fs::perms mode : {fs::perms(0600), fs::perms(0640)}) {
        write_bytes(dir / "A", "old");
        fs::permissions(dir / "A", mode);
        write_bytes(dir / "A.BAK", "older"); // a backup as an older run left it
        ASSERT_TRUE(fileops::copy_file_atomic(dir / "A", dir / "A.BAK", dir / "A.NEW"));
        ASSERT_TRUE(write_text(dir / "A", dir / "A.NEW", "new"));
        EXPECT_EQ(fs::status(dir / "A").permissions(), mode);
        EXPECT_EQ(fs::status(dir / "A.BAK").permissions(), mode);
    }
    // Only the superuser may give a file away: a refused change of owner is no failure.
    FaultInjector injector;
    injector.fail_all(fileops::Op::Chown, EPERM);
    EXPECT_TRUE(write_text(dir / "A", dir / "A.NEW", "newer"));
    injector.fail_all(fileops::Op::Chmod, EPERM);
    EXPECT_FALSE(write_text(dir / "A", dir / "A.NEW", "newest"));
    EXPECT_EQ(read_bytes(dir / "A"), "newer");
}

TEST(CopyFile, CopiesAndRemovesPartialCopyOnFailure) {
    TempDir dir;
    std::string content(100000, 'c');
    write_bytes(dir / "S", content);
    ASSERT_TRUE(fileops::copy_file(dir / "S", dir / "T"));
    EXPECT_EQ(read_bytes(dir / "T"), content);
    std::filesystem::remove(dir / "T");
    FaultInjector injector;
    injector.fail_nth(fileops::Op::Write, 2, ENOSPC);
    EXPECT_FALSE(fileops::copy_file(dir / "S", dir / "T"));
    EXPECT_FALSE(std::filesystem::exists(dir / "T"));
    EXPECT_FALSE(fileops::copy_file(dir / "missing", dir / "T"));
}

TEST(Rename, NoReplaceRefusesExistingTarget) {
    TempDir dir;
    write_bytes(dir / "A", "a");
    write_bytes(dir / "B", "b");
    EXPECT_FALSE(fileops::rename_no_replace(dir / "A", dir / "B"));
    EXPECT_EQ(read_bytes(dir / "B"), "b");
    EXPECT_TRUE(fileops::rename_no_replace(dir / "A", dir / "C"));
    EXPECT_EQ(read_bytes(dir / "C"), "a");
}

TEST(Stat, DoesNotFollowLinks) {
    TempDir dir;
    std::filesystem::create_directory(dir / "real");
    std::filesystem::create_directory_symlink(dir / "real", dir / "link");
    auto st = fileops::stat(dir / "link");
    EXPECT_TRUE(st.exists);
    EXPECT_TRUE(st.is_symlink);
    EXPECT_FALSE(st.is_dir);
    std::vector<fileops::DirEntry> entries;
    ASSERT_TRUE(fileops::list_dir(dir.path(), entries));
    ASSERT_EQ(entries.size(), 2u);
    for (const auto& e : entries)
        EXPECT_EQ(e.is_dir, e.name == "real");
}

} // namespace
