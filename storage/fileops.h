// The one door through which the data-file layer touches the file system.
//
// Every call goes through a replaceable table of functions, so that a test can count the calls of an
// operation and make any single one of them fail with a chosen errno. The safe rewrite (complete new
// copy, checked writes, fsync, atomic rename, fsync of the directory) lives here, once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace fileops {

using Path = std::filesystem::path;

// The kinds of call, for counting and for injecting failures.
enum class Op : int {
    Open,
    Read,
    Write,
    Sync,
    Writeback,
    Close,
    Rename,
    Remove,
    ListDir,
    Stat,
    Chmod,
    Chown,
    MakeDir,
    Count
};
const char* op_name(Op op);

struct FileStat {
    bool exists = false;
    bool is_dir = false;
    bool is_regular = false;
    bool is_symlink = false; // the path itself is a symbolic link (it is not followed)
    std::uint64_t size = 0;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint32_t mode = 0; // permission bits
    std::uint32_t uid = 0;
    std::uint32_t gid = 0;
    // Where the file system matches names ignoring case (Windows): the name as the directory stores
    // it, which may differ in case from the one asked for. Empty elsewhere.
    std::string stored_name;
    std::int64_t modified_ns = 0; // time of the last change of the content, in the host's own units
};

struct DirEntry {
    std::string name;
    bool is_dir = false; // a real directory, not a link to one
    bool is_symlink = false;
};

enum OpenMode : int {
    kRead = 0,           // existing file, read only
    kCreateTruncate = 1, // write only, created or emptied
    kDirectory = 2,      // a directory, opened only to sync it
};

// Each entry returns -1 (or false) and sets errno on failure, as the system calls do.
struct Table {
    int (*open)(const Path& path, int mode);
    long long (*read)(int fd, void* buffer, std::size_t size);
    long long (*write)(int fd, const void* buffer, std::size_t size);
    long long (*read_at)(int fd, void* buffer, std::size_t size, long long offset); // from the start
    int (*sync)(int fd);
    int (*start_writeback)(int fd); // starts writing the file's changed pages out, without waiting
    int (*close)(int fd);
    int (*rename)(const Path& from, const Path& to); // atomically replaces `to`
    int (*remove)(const Path& path);
    int (*list_dir)(const Path& dir, std::vector<DirEntry>& entries);
    int (*stat)(const Path& path, FileStat& out); // lstat: links are reported, not followed
    int (*stat_open)(int fd, FileStat& out);      // the same facts of an open file
    int (*chmod)(int fd, std::uint32_t mode);
    int (*chown)(int fd, std::uint32_t uid, std::uint32_t gid);
    // Writes out everything written to the file system that holds the open file or directory, and
    // reports a failure to write any of it since `fd` was opened (-1, ENOSYS where the host has no such
    // call). Counted as a sync.
    int (*sync_filesystem)(int fd);
    int (*make_dir)(const Path& path); // a new directory; EEXIST when the name is taken
};

const Table& system_table();
const Table& table();
// Installs another table (for tests); nullptr restores the system one.
void set_table(const Table* replacement);

// ---- Convenience built on the table -------------------------------------------------------------

// An open file descriptor that closes itself.
class File {
public:
    File() = default;
    explicit File(int fd) : fd_(fd) {}
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept : fd_(other.release()) {}
    File& operator=(File&& other) noexcept;
    ~File();

    bool is_open() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    int release();
    // Closes and reports whether the close succeeded (a failed close of a written file is a failed write).
    bool close();

    // Reads up to `size` bytes, retrying short reads; returns the bytes read, or -1 on an error.
    long long read_some(void* buffer, std::size_t size);
    // True when exactly `size` bytes were read.
    bool read_exact(void* buffer, std::size_t size);
    // The same from `offset` bytes into the file, wherever the last read ended.
    long long read_some_at(long long offset, void* buffer, std::size_t size);
    bool read_exact_at(long long offset, void* buffer, std::size_t size);
    // What the file open here is; exists is false when that cannot be had.
    FileStat stat() const;
    bool write_all(const void* buffer, std::size_t size);
    bool sync();
    // A hint: the system may start writing what was written so far, so that a later sync waits less.
    void start_writeback();

private:
    int fd_ = -1;
};

File open_read(const Path& path);
File create_truncate(const Path& path);

FileStat stat(const Path& path);
bool exists(const Path& path); // anything at all under that name
bool is_regular_file(const Path& path);
bool remove_file(const Path& path);      // true when removed
bool remove_if_exists(const Path& path); // true when gone afterwards
bool rename_replace(const Path& from, const Path& to);
// Moves `from` to `to` only when nothing is named `to`.
bool rename_no_replace(const Path& from, const Path& to);
bool list_dir(const Path& dir, std::vector<DirEntry>& entries);
bool sync_directory(const Path& dir);
// Makes the directory `dir` (not its parents); true when made. The parent is synced, so a directory
// made stays there whatever happens next.
bool make_directory(const Path& dir);

// Reads a whole (small) file; false when it cannot be opened or read.
bool read_file(const Path& path, std::string& out);

// ---- What one operation has read ----------------------------------------------------------------
//
// While an OperationScope lives on a thread, what the operation learns of the file system is kept for
// it, so that its cost grows with the securities it handles and not with their square: the names in a
// directory (listed once, for names_ignoring_case), the contents of the small files read through
// read_file_kept (MASTER, EMASTER, XMASTER: read once) and values derived from them (kept_value). A
// kept content is used again only while its file shows the same identity, size and time of change as
// when it was read, and a name missing from a kept listing is looked for again when the directory
// changed, so a change made meanwhile by another program is seen; the changes made through this module
// (creating, renaming, removing) update the kept names and drop the kept contents of the names they
// touch. Scopes nest; the outermost one keeps, and what it kept goes
// with it. Without a scope nothing is kept and every call asks the file system.
class OperationScope {
public:
    OperationScope();
    OperationScope(const OperationScope&) = delete;
    OperationScope& operator=(const OperationScope&) = delete;
    ~OperationScope();
};
bool in_operation_scope();

// True when `dir` is best searched in a listing kept for the operation: one is kept already, or the
// operation has asked for names in it often enough (counts each call). False outside a scope.
bool listing_due(const Path& dir);

// The names of the entries of `dir` that equal `name` ignoring ASCII letter case, in listing order.
// False (errno set) when the directory cannot be listed.
bool names_ignoring_case(const Path& dir, std::string_view name, std::vector<std::string>& names);

// The whole content of a file as read: bytes that never change, shared by the operation that keeps them
// and every reader (a copy shares them). Read straight into memory of its own, which is not filled with
// zeros first. False when there is no content.
class FileContent {
public:
    FileContent() = default;
    FileContent(std::shared_ptr<const char[]> bytes, std::size_t size)
        : bytes_(std::move(bytes)), size_(size) {}
    explicit operator bool() const { return bytes_ != nullptr; }
    const char* data() const { return bytes_.get(); }
    std::size_t size() const { return size_; }
    const char* begin() const { return data(); }
    const char* end() const { return data() + size_; }
    std::string_view view() const { return {data(), size_}; }

private:
    std::shared_ptr<const char[]> bytes_;
    std::size_t size_ = 0;
};

// The whole content of the regular file at `path` (a symbolic link is not followed), at most
// `max_bytes` long. None, with errno set, when it is no regular file (EINVAL), is longer (EFBIG), or
// cannot be looked at, opened or read.
FileContent read_file_kept(const Path& path, std::uint64_t max_bytes);

// The content read_file_kept keeps for `path` in this operation, when the file is unchanged since; none
// when it was not read (nothing is read here).
FileContent file_kept(const Path& path);

// The slot of a value the caller derives from what the operation read, under a key of its own (it
// checks itself that the value still fits what is on disk); null outside a scope.
std::shared_ptr<void>* kept_value(const std::string& key);

// True when two facts describe the same unchanged file: identity, kind, size and time of change.
bool same_file_state(const FileStat& a, const FileStat& b);

// A write buffer of at least 64 KiB in front of a File; every write is checked.
class BufferedWriter {
public:
    explicit BufferedWriter(File& file, std::size_t capacity = 1 << 16);
    bool write(const void* data, std::size_t size);
    bool write(std::string_view text) { return write(text.data(), text.size()); }
    bool flush();
    bool ok() const { return ok_; }

private:
    bool put(const char* data, std::size_t size);

    File& file_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
    std::uint64_t unsynced_ = 0; // bytes written since writeback was last started
    bool ok_ = true;
};

// The safe rewrite: `produce` writes the complete new content into `temp` (created or emptied); the
// copy is flushed, synced and closed, renamed over `target` in one atomic step, and the directory is
// synced. At every instant `target` holds its old or its new complete content. On any failure
// (including `produce` returning false) `temp` is removed and `target` is untouched. Returns true on
// success. The new file takes the permission bits, and where the process may set them the owner and
// group, of the regular file `like` (`target` itself when empty), so a rewrite never widens who may
// read it; with no such file it gets the process's defaults.
bool replace_file(const Path& target, const Path& temp, const std::function<bool(BufferedWriter&)>& produce,
                  const Path& like = {});

// A batch of whole-file replacements made safe together, for files that are not precious one by one
// (the text files of a whole export). Each new content is written complete under its temporary name
// without a sync of its own; commit() then makes every copy durable with one sync of the file system
// of each directory (opened at the batch's first copy there, so that a failure to write any copy is
// reported to it), renames each over its target and syncs each directory once. Where the file system
// cannot be synced as a whole (no such call on the host, or it fails), each copy is synced on its own
// instead, and fails alone. Every target holds its old or its new complete content at every instant,
// as with replace_file, but the syncs are paid together at the end of the batch.
class ReplaceBatch {
public:
    ReplaceBatch() = default;
    ReplaceBatch(const ReplaceBatch&) = delete;
    ReplaceBatch& operator=(const ReplaceBatch&) = delete;
    ~ReplaceBatch(); // removes the copies not committed

    // Writes the new content of `target` into `temp` (created or emptied), with the mode and owner
    // replace_file gives it. False (errno set) when that fails: `temp` is then removed and the batch
    // goes on without it.
    bool add(const Path& target, const Path& temp, const std::function<bool(BufferedWriter&)>& produce,
             const Path& like = {});
    // add() with the content, mode and owner of `from`.
    bool add_copy(const Path& target, const Path& temp, const Path& from);
    // Puts every copy added in place. One entry per successful add(), in order: 0 when that target
    // now holds its new content, else the errno of the failed sync or rename (its copy is removed
    // and its target left as it was).
    std::vector<int> commit();

private:
    struct Pending {
        Path target, temp;
        std::size_t directory = 0; // index into directories_
    };
    struct Directory {
        Path path;
        File handle; // open from the first copy on, for the sync of its file system; may not be
    };
    std::size_t directory_of(const Path& target);

    std::vector<Pending> pending_;
    std::vector<Directory> directories_;
};

// Copies `from` to `to` (created or emptied), synced. Returns true on success; on failure a partial
// `to` is removed.
bool copy_file(const Path& from, const Path& to);

// Copies `from` to `to` through `temp` and an atomic rename, so `to` is never seen half written; `to`
// takes the mode and owner of `from`.
bool copy_file_atomic(const Path& from, const Path& to, const Path& temp);

} // namespace fileops
