#include "storage/fileops.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fileops {

const char* op_name(Op op) {
    switch (op) {
    case Op::Open:
        return "open";
    case Op::Read:
        return "read";
    case Op::Write:
        return "write";
    case Op::Sync:
        return "sync";
    case Op::Writeback:
        return "writeback";
    case Op::Close:
        return "close";
    case Op::Rename:
        return "rename";
    case Op::Remove:
        return "remove";
    case Op::ListDir:
        return "list";
    case Op::Stat:
        return "stat";
    case Op::Chmod:
        return "chmod";
    case Op::Chown:
        return "chown";
    case Op::MakeDir:
        return "mkdir";
    case Op::Count:
        break;
    }
    return "?";
}

namespace {

#ifdef _WIN32
// Windows: files are opened with CreateFileW sharing reading, writing and deleting with others, so that a
// file another handle holds open may still be replaced by a rename, as on POSIX systems; the handle is
// then wrapped in a C run-time descriptor. Names are wide (UTF-16) paths, never the ANSI code page.

// The errno that stands for a Windows error code.
int errno_of(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_NAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EBUSY;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_NOT_SAME_DEVICE:
        return EXDEV;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_DIR_NOT_EMPTY:
        return ENOTEMPTY;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    default:
        return EIO;
    }
}

int fail_with_last_error() {
    errno = errno_of(GetLastError());
    return -1;
}

int sys_open(const Path& path, int mode) {
    if (mode == kDirectory)
        return -2; // a directory's entries are written through with its files; sync_directory skips it
    const bool writing = mode == kCreateTruncate;
    HANDLE handle = CreateFileW(path.c_str(), writing ? GENERIC_WRITE : GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                writing ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return fail_with_last_error();
    int fd =
        _open_osfhandle(reinterpret_cast<intptr_t>(handle), (writing ? _O_WRONLY : _O_RDONLY) | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        errno = EMFILE;
    }
    return fd;
}
long long sys_read(int fd, void* buffer, std::size_t size) {
    return _read(fd, buffer, static_cast<unsigned>(size > 0x40000000u ? 0x40000000u : size));
}
long long sys_write(int fd, const void* buffer, std::size_t size) {
    return _write(fd, buffer, static_cast<unsigned>(size > 0x40000000u ? 0x40000000u : size));
}
long long sys_read_at(int fd, void* buffer, std::size_t size, long long offset) {
    return _lseeki64(fd, offset, SEEK_SET) == offset ? sys_read(fd, buffer, size) : -1;
}
// FlushFileBuffers needs a handle that may write; a file opened for reading (a copy synced at the end of
// a batch) is flushed through a second handle for writing to the same file.
int sys_sync(int fd) {
    const intptr_t osf = _get_osfhandle(fd);
    if (osf == -1) {
        errno = EBADF;
        return -1;
    }
    const HANDLE handle = reinterpret_cast<HANDLE>(osf);
    if (FlushFileBuffers(handle))
        return 0;
    if (GetLastError() != ERROR_ACCESS_DENIED)
        return fail_with_last_error();
    const HANDLE writable =
        ReOpenFile(handle, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
    if (writable == INVALID_HANDLE_VALUE)
        return fail_with_last_error();
    const bool flushed = FlushFileBuffers(writable) != 0;
    const DWORD error = GetLastError();
    CloseHandle(writable);
    if (flushed)
        return 0;
    errno = errno_of(error);
    return -1;
}
int sys_start_writeback(int) {
    return 0; // nothing to start: the sync does it all
}
int sys_close(int fd) {
    return _close(fd);
}
// Replaces `to` in one step, written through to the disk before it returns. Unlike the C run-time's
// rename, which refuses an existing target, this is what the safe rewrite needs.
int sys_rename(const Path& from, const Path& to) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    return fail_with_last_error();
}
int sys_remove(const Path& path) {
    if (DeleteFileW(path.c_str()))
        return 0;
    return fail_with_last_error();
}
int sys_make_dir(const Path& path) {
    if (CreateDirectoryW(path.c_str(), nullptr))
        return 0;
    return fail_with_last_error();
}
int sys_list_dir(const Path& dir, std::vector<DirEntry>& entries) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((dir.empty() ? Path(L".") : dir).wstring().append(L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return fail_with_last_error();
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        DirEntry entry;
        entry.name = Path(name).string();
        // A reparse point (a symbolic link or a junction) is reported as a link and never entered.
        entry.is_symlink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        entry.is_dir = !entry.is_symlink && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entries.push_back(std::move(entry));
    } while (FindNextFileW(search, &found));
    const DWORD last = GetLastError();
    FindClose(search);
    if (last != ERROR_NO_MORE_FILES) {
        errno = errno_of(last);
        return -1;
    }
    return 0;
}
// The facts of an open handle: the volume's serial number stands for the device, the file index for the
// inode, so that a walk can tell volumes and directories apart as it does elsewhere.
void put_facts(const BY_HANDLE_FILE_INFORMATION& info, FileStat& out) {
    out.exists = true;
    out.is_symlink = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    out.is_dir = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    out.is_regular = !out.is_dir && !out.is_symlink;
    out.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    out.device = info.dwVolumeSerialNumber;
    out.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    out.mode = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0666;
    // In the host's own units: hundreds of nanoseconds since 1601.
    out.modified_ns =
        static_cast<std::int64_t>((static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                                  info.ftLastWriteTime.dwLowDateTime);
}
int sys_stat(const Path& path, FileStat& out) {
    out = FileStat{};
    // Opened for its attributes only, the link itself rather than what it points to.
    HANDLE handle = CreateFileW(
        (path.empty() ? Path(L".") : path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return fail_with_last_error();
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok = GetFileInformationByHandle(handle, &info) != 0;
    const DWORD error = GetLastError();
    CloseHandle(handle);
    if (!ok) {
        errno = errno_of(error);
        return -1;
    }
    put_facts(info, out);
    // The name as the directory keeps it: "MASTER" asked for may be "master" there.
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(path.c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        out.stored_name = Path(found.cFileName).string();
        FindClose(search);
    }
    return 0;
}
int sys_stat_open(int fd, FileStat& out) {
    out = FileStat{};
    const intptr_t handle = _get_osfhandle(fd);
    BY_HANDLE_FILE_INFORMATION info;
    if (handle == -1 || !GetFileInformationByHandle(reinterpret_cast<HANDLE>(handle), &info)) {
        errno = EBADF;
        return -1;
    }
    put_facts(info, out);
    return 0;
}
int sys_chmod(int, std::uint32_t) {
    return 0; // permissions live in ACLs there; a new file inherits its folder's
}
int sys_chown(int, std::uint32_t, std::uint32_t) {
    return 0;
}
int sys_sync_filesystem(int) {
    errno = ENOSYS; // each file is committed on its own there
    return -1;
}
#else
int sys_open(const Path& path, int mode) {
    int flags = O_CLOEXEC;
    if (mode == kCreateTruncate)
        flags |= O_WRONLY | O_CREAT | O_TRUNC;
    else if (mode == kDirectory)
        flags |= O_RDONLY | O_DIRECTORY;
    else
        flags |= O_RDONLY;
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}
long long sys_read(int fd, void* buffer, std::size_t size) {
    ssize_t n;
    do {
        n = ::read(fd, buffer, size);
    } while (n < 0 && errno == EINTR);
    return n;
}
long long sys_write(int fd, const void* buffer, std::size_t size) {
    ssize_t n;
    do {
        n = ::write(fd, buffer, size);
    } while (n < 0 && errno == EINTR);
    return n;
}
long long sys_read_at(int fd, void* buffer, std::size_t size, long long offset) {
    ssize_t n;
    do {
        n = ::pread(fd, buffer, size, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    return n;
}
int sys_sync(int fd) {
    return ::fsync(fd);
}
int sys_start_writeback(int fd) {
#ifdef __linux__
    return ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
#else
    (void)fd;
    return 0;
#endif
}
int sys_close(int fd) {
    return ::close(fd);
}
int sys_rename(const Path& from, const Path& to) {
    return ::rename(from.c_str(), to.c_str());
}
int sys_remove(const Path& path) {
    return ::unlink(path.c_str());
}
int sys_make_dir(const Path& path) {
    return ::mkdir(path.c_str(), 0777);
}
int sys_list_dir(const Path& dir, std::vector<DirEntry>& entries) {
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d)
        return -1;
    while (struct dirent* e = ::readdir(d)) {
        DirEntry entry;
        entry.name = e->d_name;
        if (entry.name == "." || entry.name == "..")
            continue;
        unsigned char type = e->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st;
            if (::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0)
                type = S_ISLNK(st.st_mode) ? DT_LNK : S_ISDIR(st.st_mode) ? DT_DIR : DT_REG;
        }
        entry.is_symlink = type == DT_LNK;
        entry.is_dir = type == DT_DIR;
        entries.push_back(std::move(entry));
    }
    ::closedir(d);
    return 0;
}
void put_facts(const struct stat& st, FileStat& out) {
    out.exists = true;
    out.is_symlink = S_ISLNK(st.st_mode);
    out.is_dir = S_ISDIR(st.st_mode);
    out.is_regular = S_ISREG(st.st_mode);
    out.size = static_cast<std::uint64_t>(st.st_size);
    out.device = static_cast<std::uint64_t>(st.st_dev);
    out.inode = static_cast<std::uint64_t>(st.st_ino);
    out.mode = static_cast<std::uint32_t>(st.st_mode & 07777);
    out.uid = static_cast<std::uint32_t>(st.st_uid);
    out.gid = static_cast<std::uint32_t>(st.st_gid);
#ifdef __APPLE__
    const struct timespec& modified = st.st_mtimespec;
#else
    const struct timespec& modified = st.st_mtim;
#endif
    out.modified_ns = static_cast<std::int64_t>(modified.tv_sec) * 1000000000 + modified.tv_nsec;
}
int sys_stat(const Path& path, FileStat& out) {
    out = FileStat{};
    struct stat st;
    if (::lstat(path.empty() ? "." : path.c_str(), &st) != 0)
        return -1;
    put_facts(st, out);
    return 0;
}
int sys_stat_open(int fd, FileStat& out) {
    out = FileStat{};
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return -1;
    put_facts(st, out);
    return 0;
}
int sys_chmod(int fd, std::uint32_t mode) {
    return ::fchmod(fd, static_cast<mode_t>(mode));
}
int sys_chown(int fd, std::uint32_t uid, std::uint32_t gid) {
    return ::fchown(fd, static_cast<uid_t>(uid), static_cast<gid_t>(gid));
}
int sys_sync_filesystem(int fd) {
#ifdef __linux__
    return ::syncfs(fd);
#else
    (void)fd;
    errno = ENOSYS;
    return -1;
#endif
}
#endif

const Table kSystem = {
    sys_open,  sys_read,   sys_write,           sys_read_at,  sys_sync, sys_start_writeback,
    sys_close, sys_rename, sys_remove,          sys_list_dir, sys_stat, sys_stat_open,
    sys_chmod, sys_chown,  sys_sync_filesystem, sys_make_dir};
const Table* g_table = &kSystem;

} // namespace

const Table& system_table() {
    return kSystem;
}
const Table& table() {
    return *g_table;
}
void set_table(const Table* replacement) {
    g_table = replacement ? replacement : &kSystem;
}

// ---- What one operation has read ----------------------------------------------------------------

namespace {

std::string upper_ascii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

// The key under which a path is kept: as spelled, without trailing separators. Two spellings of one
// file are kept twice at worst; the stat facts keep each of them true.
std::string key_of(const Path& path) {
    std::string key = path.generic_string();
    while (key.size() > 1 && key.back() == '/')
        key.pop_back();
    return key.empty() ? std::string(".") : key;
}

// The facts of a directory itself, through a link to it.
bool directory_state(const Path& dir, FileStat& out) {
    return table().stat(dir.empty() ? Path(".") : dir / ".", out) == 0 && out.is_dir;
}

struct KeptListing {
    FileStat state;
    std::map<std::string, std::vector<std::string>> names; // by upper-case name, in listing order
};

struct KeptFile {
    FileStat state;
    FileContent content;
};

struct KeptState {
    int depth = 0;
    std::map<std::string, KeptListing> listings;
    std::map<std::string, int> names_asked; // look-ups in a directory not listed yet
    std::map<std::string, KeptFile> files;
    std::map<std::string, std::shared_ptr<void>> values;

    void clear() {
        listings.clear();
        names_asked.clear();
        files.clear();
        values.clear();
    }
};

thread_local KeptState g_kept;

KeptState* kept_state() {
    return g_kept.depth > 0 ? &g_kept : nullptr;
}

// A kept listing changed by this process: the name added or taken away, and the directory's new facts
// taken so that the change is not mistaken for another program's.
void update_listing(const Path& path, bool added) {
    KeptState* kept = kept_state();
    if (!kept)
        return;
    const Path dir = path.parent_path();
    auto listing = kept->listings.find(key_of(dir));
    if (listing != kept->listings.end()) {
        const std::string name = path.filename().string();
        std::vector<std::string>& same = listing->second.names[upper_ascii(name)];
        auto at = std::find(same.begin(), same.end(), name);
        if (added && at == same.end())
            same.push_back(name);
        else if (!added && at != same.end())
            same.erase(at);
        if (!directory_state(dir, listing->second.state))
            kept->listings.erase(listing);
    }
    const std::string file = upper_ascii(key_of(path));
    for (auto it = kept->files.begin(); it != kept->files.end();) {
        it = upper_ascii(it->first) == file ? kept->files.erase(it) : std::next(it);
    }
}

void note_created(const Path& path) {
    update_listing(path, true);
}

void note_removed(const Path& path) {
    update_listing(path, false);
}

} // namespace

OperationScope::OperationScope() {
    ++g_kept.depth;
}

OperationScope::~OperationScope() {
    if (--g_kept.depth == 0)
        g_kept.clear();
}

bool in_operation_scope() {
    return kept_state() != nullptr;
}

bool same_file_state(const FileStat& a, const FileStat& b) {
    return a.exists == b.exists && a.is_dir == b.is_dir && a.is_regular == b.is_regular &&
           a.is_symlink == b.is_symlink && a.device == b.device && a.inode == b.inode && a.size == b.size &&
           a.modified_ns == b.modified_ns;
}

bool listing_due(const Path& dir) {
    // A few names are found quicker by trying their likely spellings than by listing a directory of
    // thousands of entries.
    constexpr int kLookupsBeforeListing = 32;
    KeptState* kept = kept_state();
    if (!kept)
        return false;
    const std::string key = key_of(dir);
    return kept->listings.count(key) != 0 || ++kept->names_asked[key] > kLookupsBeforeListing;
}

bool names_ignoring_case(const Path& dir, std::string_view name, std::vector<std::string>& names) {
    names.clear();
    const std::string wanted = upper_ascii(name);
    KeptState* kept = kept_state();
    const std::string key = kept ? key_of(dir) : std::string();
    if (kept) {
        // A name the kept listing holds is taken from it; the directory is looked at again only for a
        // name it lacks, which another program may have made since.
        auto listing = kept->listings.find(key);
        if (listing != kept->listings.end()) {
            auto same = listing->second.names.find(wanted);
            if (same != listing->second.names.end() && !same->second.empty()) {
                names = same->second;
                return true;
            }
        }
    }
    FileStat state;
    if (kept && directory_state(dir, state)) {
        auto listing = kept->listings.find(key);
        if (listing == kept->listings.end() || !same_file_state(listing->second.state, state)) {
            std::vector<DirEntry> entries;
            if (!list_dir(dir, entries))
                return false;
            KeptListing fresh{state, {}};
            for (DirEntry& entry : entries)
                fresh.names[upper_ascii(entry.name)].push_back(std::move(entry.name));
            listing = kept->listings.insert_or_assign(key, std::move(fresh)).first;
        }
        auto same = listing->second.names.find(wanted);
        if (same != listing->second.names.end())
            names = same->second;
        return true;
    }
    std::vector<DirEntry> entries;
    if (!list_dir(dir, entries))
        return false;
    for (DirEntry& entry : entries) {
        if (upper_ascii(entry.name) == wanted)
            names.push_back(std::move(entry.name));
    }
    return true;
}

FileContent read_file_kept(const Path& path, std::uint64_t max_bytes) {
    FileStat state;
    if (table().stat(path, state) != 0)
        return {};
    if (!state.is_regular) {
        errno = EINVAL;
        return {};
    }
    if (state.size > max_bytes) {
        errno = EFBIG;
        return {};
    }
    KeptState* kept = kept_state();
    const std::string key = kept ? key_of(path) : std::string();
    if (kept) {
        auto found = kept->files.find(key);
        if (found != kept->files.end() && same_file_state(found->second.state, state))
            return found->second.content;
    }
    File file = open_read(path);
    if (!file.is_open())
        return {};
    // One byte beyond the size stated, to see a file that grew meanwhile. The read overwrites the bytes;
    // filling them first would cost as much as the read itself.
    const std::size_t room = static_cast<std::size_t>(state.size) + 1;
    std::shared_ptr<char[]> bytes = std::make_shared_for_overwrite<char[]>(room);
    const long long got = file.read_some(bytes.get(), room);
    if (got < 0)
        return {};
    if (static_cast<std::uint64_t>(got) > max_bytes) {
        errno = EFBIG;
        return {};
    }
    FileContent content(std::move(bytes), static_cast<std::size_t>(got));
    if (kept)
        kept->files.insert_or_assign(key, KeptFile{state, content});
    return content;
}

FileContent file_kept(const Path& path) {
    KeptState* kept = kept_state();
    if (!kept)
        return {};
    auto found = kept->files.find(key_of(path));
    FileStat state;
    if (found == kept->files.end() || table().stat(path, state) != 0 ||
        !same_file_state(found->second.state, state))
        return {};
    return found->second.content;
}

std::shared_ptr<void>* kept_value(const std::string& key) {
    KeptState* kept = kept_state();
    return kept ? &kept->values[key] : nullptr;
}

// ---- File ---------------------------------------------------------------------------------------

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.release();
    }
    return *this;
}

File::~File() {
    close();
}

int File::release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
}

bool File::close() {
    if (fd_ < 0)
        return true;
    int fd = release();
    return table().close(fd) == 0;
}

namespace {

// Reads until `size` bytes are in or the file ends, retrying short reads; `read_once(out, n, done)` makes
// one call for the n bytes after the first `done`. The bytes read, or -1 on an error.
template <typename ReadOnce> long long read_fully(void* buffer, std::size_t size, ReadOnce read_once) {
    std::size_t done = 0;
    auto* out = static_cast<char*>(buffer);
    while (done < size) {
        const long long n = read_once(out + done, size - done, done);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<long long>(done);
}

} // namespace

long long File::read_some(void* buffer, std::size_t size) {
    if (fd_ < 0)
        return -1;
    return read_fully(buffer, size,
                      [this](char* out, std::size_t n, std::size_t) { return table().read(fd_, out, n); });
}

bool File::read_exact(void* buffer, std::size_t size) {
    return read_some(buffer, size) == static_cast<long long>(size);
}

long long File::read_some_at(long long offset, void* buffer, std::size_t size) {
    if (fd_ < 0 || offset < 0)
        return -1;
    return read_fully(buffer, size, [this, offset](char* out, std::size_t n, std::size_t done) {
        return table().read_at(fd_, out, n, offset + static_cast<long long>(done));
    });
}

bool File::read_exact_at(long long offset, void* buffer, std::size_t size) {
    return read_some_at(offset, buffer, size) == static_cast<long long>(size);
}

FileStat File::stat() const {
    FileStat st;
    if (fd_ < 0 || table().stat_open(fd_, st) != 0)
        st = FileStat{};
    return st;
}

bool File::write_all(const void* buffer, std::size_t size) {
    if (fd_ < 0)
        return false;
    std::size_t done = 0;
    const auto* in = static_cast<const char*>(buffer);
    while (done < size) {
        long long n = table().write(fd_, in + done, size - done);
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void File::start_writeback() {
    if (fd_ >= 0)
        table().start_writeback(fd_); // only a hint: when it fails, the sync does the work
}

bool File::sync() {
    return fd_ >= 0 && table().sync(fd_) == 0;
}

File open_read(const Path& path) {
    return File(table().open(path, kRead));
}
File create_truncate(const Path& path) {
    File file(table().open(path, kCreateTruncate));
    if (file.is_open())
        note_created(path);
    return file;
}

FileStat stat(const Path& path) {
    FileStat st;
    if (table().stat(path, st) != 0)
        st = FileStat{};
    return st;
}

bool exists(const Path& path) {
    return stat(path).exists;
}
bool is_regular_file(const Path& path) {
    return stat(path).is_regular;
}
bool remove_file(const Path& path) {
    if (table().remove(path) != 0)
        return false;
    note_removed(path);
    return true;
}

bool remove_if_exists(const Path& path) {
    if (remove_file(path))
        return true;
    return errno == ENOENT;
}

bool rename_replace(const Path& from, const Path& to) {
    if (table().rename(from, to) != 0)
        return false;
    note_removed(from);
    note_created(to);
    return true;
}

bool rename_no_replace(const Path& from, const Path& to) {
    if (fileops::exists(to)) {
        errno = EEXIST;
        return false;
    }
    return rename_replace(from, to);
}

bool list_dir(const Path& dir, std::vector<DirEntry>& entries) {
    entries.clear();
    return table().list_dir(dir, entries) == 0;
}

bool sync_directory(const Path& dir) {
    int fd = table().open(dir.empty() ? Path(".") : dir, kDirectory);
    if (fd == -2)
        return true; // this host has no directory sync
    if (fd < 0)
        return false;
    bool ok = table().sync(fd) == 0;
    return table().close(fd) == 0 && ok;
}

bool make_directory(const Path& dir) {
    if (table().make_dir(dir) != 0)
        return false;
    note_created(dir);
    const Path parent = dir.parent_path();
    return sync_directory(parent.empty() ? Path(".") : parent);
}

bool read_file(const Path& path, std::string& out) {
    out.clear();
    File f = open_read(path);
    if (!f.is_open())
        return false;
    char chunk[1 << 14];
    for (;;) {
        long long n = f.read_some(chunk, sizeof chunk);
        if (n < 0)
            return false;
        out.append(chunk, static_cast<std::size_t>(n));
        if (static_cast<std::size_t>(n) < sizeof chunk)
            return true;
    }
}

// ---- BufferedWriter -----------------------------------------------------------------------------

BufferedWriter::BufferedWriter(File& file, std::size_t capacity)
    : file_(file), buffer_(capacity < (1u << 16) ? (1u << 16) : capacity) {}

// Writes straight to the file. Every few hundred kilobytes the system is asked to start writing them out,
// so that a long file goes to disk while it is still being produced and its sync finds less to do.
bool BufferedWriter::put(const char* data, std::size_t size) {
    constexpr std::uint64_t kWritebackBytes = 256 * 1024;
    if (!file_.write_all(data, size))
        return false;
    unsynced_ += size;
    if (unsynced_ >= kWritebackBytes) {
        file_.start_writeback();
        unsynced_ = 0;
    }
    return true;
}

bool BufferedWriter::write(const void* data, std::size_t size) {
    if (!ok_)
        return false;
    const auto* in = static_cast<const char*>(data);
    if (size >= buffer_.size()) {
        if (!flush())
            return false;
        ok_ = put(in, size);
        return ok_;
    }
    if (used_ + size > buffer_.size() && !flush())
        return false;
    std::memcpy(buffer_.data() + used_, in, size);
    used_ += size;
    return true;
}

bool BufferedWriter::flush() {
    if (!ok_)
        return false;
    if (used_ > 0) {
        ok_ = put(buffer_.data(), used_);
        used_ = 0;
    }
    return ok_;
}

// ---- The safe rewrite ---------------------------------------------------------------------------

namespace {

// The mode and owner a new file takes: those of `like` when it is a regular file. False (errno set)
// when whether there is such a file cannot be told.
bool attributes_of(const Path& like, FileStat& attributes) {
    attributes = FileStat{};
    if (like.empty() || table().stat(like, attributes) == 0)
        return true;
    attributes = FileStat{};
    return errno == ENOENT || errno == ENOTDIR;
}

// Owner first, since a change of owner may clear set-id bits that the mode then restores. Only the
// superuser may give a file away: a refusal (EPERM) leaves the process's own, which is no wider.
bool take_attributes(File& file, const FileStat& like) {
    if (!like.is_regular)
        return true;
    if (table().chown(file.fd(), like.uid, like.gid) != 0 && errno != EPERM)
        return false;
    return table().chmod(file.fd(), like.mode) == 0;
}

bool write_copy(const Path& temp, const std::function<bool(BufferedWriter&)>& produce, const FileStat& like,
                bool synced) {
    File out = create_truncate(temp);
    if (!out.is_open())
        return false;
    if (!take_attributes(out, like))
        return false;
    bool ok;
    {
        BufferedWriter writer(out);
        ok = produce(writer) && writer.flush();
    }
    ok = ok && (!synced || out.sync());
    return out.close() && ok;
}

bool write_synced_copy(const Path& temp, const std::function<bool(BufferedWriter&)>& produce,
                       const FileStat& like = {}) {
    return write_copy(temp, produce, like, true);
}

bool sync_file(const Path& path) {
    File file = open_read(path);
    const bool ok = file.sync();
    return file.close() && ok;
}

} // namespace

bool replace_file(const Path& target, const Path& temp, const std::function<bool(BufferedWriter&)>& produce,
                  const Path& like) {
    FileStat attributes;
    if (!attributes_of(like.empty() ? target : like, attributes))
        return false;
    if (!write_synced_copy(temp, produce, attributes) || !rename_replace(temp, target)) {
        int saved = errno;
        remove_if_exists(temp);
        errno = saved;
        return false;
    }
    // The new content is in place; a failed directory sync only weakens durability across a power loss.
    sync_directory(target.parent_path());
    return true;
}

ReplaceBatch::~ReplaceBatch() {
    for (const Pending& copy : pending_)
        remove_if_exists(copy.temp);
}

std::size_t ReplaceBatch::directory_of(const Path& target) {
    const Path path = target.parent_path();
    for (std::size_t i = 0; i < directories_.size(); ++i) {
        if (directories_[i].path == path)
            return i;
    }
    // Opened before any copy is written there: the sync of its file system then reports a failure to
    // write any of them. A directory that cannot be opened leaves its copies to be synced one by one.
    const int fd = table().open(path.empty() ? Path(".") : path, kDirectory);
    directories_.push_back({path, File(fd >= 0 ? fd : -1)});
    return directories_.size() - 1;
}

bool ReplaceBatch::add(const Path& target, const Path& temp,
                       const std::function<bool(BufferedWriter&)>& produce, const Path& like) {
    FileStat attributes;
    if (!attributes_of(like.empty() ? target : like, attributes))
        return false;
    const std::size_t directory = directory_of(target);
    if (!write_copy(temp, produce, attributes, false)) {
        int saved = errno;
        remove_if_exists(temp);
        errno = saved;
        return false;
    }
    pending_.push_back({target, temp, directory});
    return true;
}

std::vector<int> ReplaceBatch::commit() {
    std::vector<int> errors(pending_.size(), 0);
    // Every copy on disk first: one sync of each directory's file system, or each copy on its own.
    for (std::size_t d = 0; d < directories_.size(); ++d) {
        File& handle = directories_[d].handle;
        if (handle.is_open() && table().sync_filesystem(handle.fd()) == 0)
            continue;
        for (std::size_t i = 0; i < pending_.size(); ++i) {
            if (pending_[i].directory == d && !sync_file(pending_[i].temp))
                errors[i] = errno != 0 ? errno : EIO;
        }
    }
    std::vector<bool> renamed_into(directories_.size(), false);
    for (std::size_t i = 0; i < pending_.size(); ++i) {
        if (errors[i] == 0 && !rename_replace(pending_[i].temp, pending_[i].target))
            errors[i] = errno != 0 ? errno : EIO;
        if (errors[i] != 0) {
            remove_if_exists(pending_[i].temp);
            continue;
        }
        renamed_into[pending_[i].directory] = true;
    }
    pending_.clear();
    // The new contents are in place; a failed directory sync only weakens durability across a power loss.
    for (std::size_t d = 0; d < directories_.size(); ++d) {
        File& handle = directories_[d].handle;
        if (renamed_into[d] && handle.is_open())
            handle.sync();
        else if (renamed_into[d])
            sync_directory(directories_[d].path);
        handle.close();
    }
    directories_.clear();
    return errors;
}

namespace {

bool copy_content(File& in, BufferedWriter& writer) {
    std::vector<char> chunk(1 << 16);
    for (;;) {
        long long n = in.read_some(chunk.data(), chunk.size());
        if (n < 0)
            return false;
        if (n > 0 && !writer.write(chunk.data(), static_cast<std::size_t>(n)))
            return false;
        if (static_cast<std::size_t>(n) < chunk.size())
            return true;
    }
}

} // namespace

bool copy_file(const Path& from, const Path& to) {
    File in = open_read(from);
    if (!in.is_open())
        return false;
    if (!write_synced_copy(to, [&](BufferedWriter& w) { return copy_content(in, w); })) {
        int saved = errno;
        remove_if_exists(to);
        errno = saved;
        return false;
    }
    return true;
}

bool ReplaceBatch::add_copy(const Path& target, const Path& temp, const Path& from) {
    File in = open_read(from);
    if (!in.is_open())
        return false;
    return add(
        target, temp, [&](BufferedWriter& w) { return copy_content(in, w); }, from);
}

bool copy_file_atomic(const Path& from, const Path& to, const Path& temp) {
    File in = open_read(from);
    if (!in.is_open())
        return false;
    return replace_file(
        to, temp, [&](BufferedWriter& w) { return copy_content(in, w); }, from);
}

} // namespace fileops
