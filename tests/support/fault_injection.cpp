#include "support/fault_injection.h"

#include <cerrno>

namespace testing_support {

namespace {

FaultInjector* g_active = nullptr;

bool inject(fileops::Op op) {
    int error = 0;
    if (g_active && g_active->should_fail(op, error)) {
        errno = error;
        return true;
    }
    return false;
}

const fileops::Table& sys() {
    return fileops::system_table();
}

int t_open(const fileops::Path& p, int mode) {
    return inject(fileops::Op::Open) ? -1 : sys().open(p, mode);
}
long long t_read(int fd, void* b, std::size_t n) {
    return inject(fileops::Op::Read) ? -1 : sys().read(fd, b, n);
}
long long t_write(int fd, const void* b, std::size_t n) {
    return inject(fileops::Op::Write) ? -1 : sys().write(fd, b, n);
}
long long t_seek(int fd, long long off) {
    return inject(fileops::Op::Seek) ? -1 : sys().seek(fd, off);
}
int t_sync(int fd) {
    return inject(fileops::Op::Sync) ? -1 : sys().sync(fd);
}
int t_close(int fd) {
    // A failed close still releases the descriptor, as close(2) does.
    if (inject(fileops::Op::Close)) {
        int saved = errno;
        sys().close(fd);
        errno = saved;
        return -1;
    }
    return sys().close(fd);
}
int t_rename(const fileops::Path& a, const fileops::Path& b) {
    return inject(fileops::Op::Rename) ? -1 : sys().rename(a, b);
}
int t_remove(const fileops::Path& p) {
    return inject(fileops::Op::Remove) ? -1 : sys().remove(p);
}
int t_list(const fileops::Path& d, std::vector<fileops::DirEntry>& e) {
    return inject(fileops::Op::ListDir) ? -1 : sys().list_dir(d, e);
}
int t_stat(const fileops::Path& p, fileops::FileStat& s) {
    return inject(fileops::Op::Stat) ? -1 : sys().stat(p, s);
}

int t_chmod(int fd, std::uint32_t mode) {
    return inject(fileops::Op::Chmod) ? -1 : sys().chmod(fd, mode);
}
int t_chown(int fd, std::uint32_t uid, std::uint32_t gid) {
    return inject(fileops::Op::Chown) ? -1 : sys().chown(fd, uid, gid);
}

const fileops::Table kInjecting = {t_open,   t_read,   t_write, t_seek, t_sync,  t_close,
                                   t_rename, t_remove, t_list,  t_stat, t_chmod, t_chown};

} // namespace

FaultInjector::FaultInjector() {
    g_active = this;
    fileops::set_table(&kInjecting);
}

FaultInjector::~FaultInjector() {
    fileops::set_table(nullptr);
    g_active = nullptr;
}

void FaultInjector::fail_call(std::size_t n, int error) {
    fail_total_ = n;
    error_ = error;
}

void FaultInjector::fail_nth(fileops::Op op, std::size_t n, int error) {
    fail_op_ = op;
    fail_op_n_ = n;
    fail_op_always_ = false;
    error_ = error;
}

void FaultInjector::fail_all(fileops::Op op, int error) {
    fail_op_ = op;
    fail_op_always_ = true;
    error_ = error;
}

void FaultInjector::reset() {
    total_ = 0;
    per_op_.fill(0);
    fail_total_ = 0;
    fail_op_ = fileops::Op::Count;
    fail_op_n_ = 0;
    fail_op_always_ = false;
    error_ = 0;
    fired_ = false;
}

bool FaultInjector::should_fail(fileops::Op op, int& error) {
    if (observer_)
        observer_(op);
    ++total_;
    std::size_t nth = ++per_op_[static_cast<int>(op)];
    bool fail = (fail_total_ != 0 && total_ == fail_total_) ||
                (op == fail_op_ && (fail_op_always_ || nth == fail_op_n_));
    if (fail) {
        fired_ = true;
        error = error_;
    }
    return fail;
}

} // namespace testing_support
