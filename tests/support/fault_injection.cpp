#include "support/fault_injection.h"

#include <cerrno>

namespace testing_support {

namespace {

FaultInjector* g_active = nullptr;

// The system's entry `Member`, unless the active injector fails this call: then -1 with its errno.
template <auto Member, fileops::Op kOp, typename... Args>
auto injected(Args... args) -> decltype((fileops::system_table().*Member)(args...)) {
    int error = 0;
    if (g_active && g_active->should_fail(kOp, error)) {
        if constexpr (kOp == fileops::Op::Close)
            fileops::system_table().close(args...); // a failed close still releases the descriptor
        errno = error;
        return -1;
    }
    return (fileops::system_table().*Member)(args...);
}

using T = fileops::Table;
using O = fileops::Op;
const fileops::Table kInjecting = {
    injected<&T::open, O::Open, const fileops::Path&, int>,
    injected<&T::read, O::Read, int, void*, std::size_t>,
    injected<&T::write, O::Write, int, const void*, std::size_t>,
    injected<&T::seek, O::Seek, int, long long>,
    injected<&T::sync, O::Sync, int>,
    injected<&T::close, O::Close, int>,
    injected<&T::rename, O::Rename, const fileops::Path&, const fileops::Path&>,
    injected<&T::remove, O::Remove, const fileops::Path&>,
    injected<&T::list_dir, O::ListDir, const fileops::Path&, std::vector<fileops::DirEntry>&>,
    injected<&T::stat, O::Stat, const fileops::Path&, fileops::FileStat&>,
    injected<&T::chmod, O::Chmod, int, std::uint32_t>,
    injected<&T::chown, O::Chown, int, std::uint32_t, std::uint32_t>};

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
    total_ = fail_total_ = fail_op_n_ = 0;
    per_op_.fill(0);
    fail_op_ = fileops::Op::Count;
    fail_op_always_ = fired_ = false;
    error_ = 0;
}

bool FaultInjector::should_fail(fileops::Op op, int& error) {
    ++total_;
    const std::size_t nth = ++per_op_[static_cast<int>(op)];
    const bool fail = (fail_total_ != 0 && total_ == fail_total_) ||
                      (op == fail_op_ && (fail_op_always_ || nth == fail_op_n_));
    fired_ = fired_ || fail;
    error = fail ? error_ : error;
    return fail;
}

} // namespace testing_support
