// Counts the file-system calls of the storage layer and makes a chosen one fail.
#pragma once

#include "storage/fileops.h"

#include <array>
#include <cerrno>
#include <cstddef>
#include <functional>

namespace testing_support {

// While alive, every call of the storage layer goes through this injector. Calls are numbered from 1
// in the order they happen, across all kinds.
class FaultInjector {
public:
    FaultInjector();
    ~FaultInjector();
    FaultInjector(const FaultInjector&) = delete;
    FaultInjector& operator=(const FaultInjector&) = delete;

    // Fail call number `n` (1-based, counting every kind) with `error`; 0 disables.
    void fail_call(std::size_t n, int error) { fail_total_ = n, error_ = error; }
    // Fail the n-th call (1-based) of one kind, or every call of that kind from now on, with `error`.
    void fail_nth(fileops::Op op, std::size_t n, int error) { fail_op_ = op, fail_op_n_ = n, error_ = error; }
    void fail_all(fileops::Op op, int error) { fail_nth(op, kEvery, error); }
    void reset() { // counters to 0, no failure armed
        total_ = fail_total_ = fail_op_n_ = 0;
        per_op_.fill(0);
        fail_op_ = fileops::Op::Count;
        fired_ = false;
    }
    // Calls `observer` at every call, before it is made (and before any failure is injected).
    void observe(std::function<void(fileops::Op)> observer) { observer_ = std::move(observer); }

    std::size_t calls() const { return total_; }
    std::size_t calls(fileops::Op op) const { return per_op_[static_cast<int>(op)]; }
    bool fired() const { return fired_; }

    // Called by the table's entries.
    bool should_fail(fileops::Op op, int& error) {
        if (observer_)
            observer_(op);
        const std::size_t nth = ++per_op_[static_cast<int>(op)];
        const bool fail =
            ++total_ == fail_total_ || (op == fail_op_ && (fail_op_n_ == kEvery || nth == fail_op_n_));
        fired_ = fired_ || fail;
        error = fail ? error_ : error;
        return fail;
    }

private:
    static constexpr std::size_t kEvery = static_cast<std::size_t>(-1);

    std::size_t total_ = 0, fail_total_ = 0, fail_op_n_ = 0;
    std::array<std::size_t, static_cast<int>(fileops::Op::Count)> per_op_{};
    fileops::Op fail_op_ = fileops::Op::Count;
    int error_ = 0;
    bool fired_ = false;
    std::function<void(fileops::Op)> observer_;
};

namespace fault_detail {

inline FaultInjector* g_active = nullptr;

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
using P = const fileops::Path&;
inline const fileops::Table kInjecting = {
    injected<&T::open, O::Open, P, int>,
    injected<&T::read, O::Read, int, void*, std::size_t>,
    injected<&T::write, O::Write, int, const void*, std::size_t>,
    injected<&T::read_at, O::Read, int, void*, std::size_t, long long>,
    injected<&T::sync, O::Sync, int>,
    injected<&T::start_writeback, O::Writeback, int>,
    injected<&T::close, O::Close, int>,
    injected<&T::rename, O::Rename, P, P>,
    injected<&T::remove, O::Remove, P>,
    injected<&T::list_dir, O::ListDir, P, std::vector<fileops::DirEntry>&>,
    injected<&T::stat, O::Stat, P, fileops::FileStat&>,
    injected<&T::stat_open, O::Stat, int, fileops::FileStat&>,
    injected<&T::chmod, O::Chmod, int, std::uint32_t>,
    injected<&T::chown, O::Chown, int, std::uint32_t, std::uint32_t>,
    injected<&T::sync_filesystem, O::Sync, int>,
    injected<&T::make_dir, O::MakeDir, P>};

} // namespace fault_detail

inline FaultInjector::FaultInjector() {
    fault_detail::g_active = this;
    fileops::set_table(&fault_detail::kInjecting);
}

inline FaultInjector::~FaultInjector() {
    fileops::set_table(nullptr);
    fault_detail::g_active = nullptr;
}

} // namespace testing_support
