// Counts the file-system calls of the storage layer and makes a chosen one fail.
#pragma once

#include "storage/fileops.h"

#include <array>
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
    void fail_call(std::size_t n, int error);
    // Fail the n-th call (1-based) of one kind with `error`.
    void fail_nth(fileops::Op op, std::size_t n, int error);
    // Fail every call of one kind from now on.
    void fail_all(fileops::Op op, int error);
    void reset(); // counters to 0, no failure armed
    // Calls `observer` at every call, before it is made (and before any failure is injected).
    void observe(std::function<void(fileops::Op)> observer) { observer_ = std::move(observer); }

    std::size_t calls() const { return total_; }
    std::size_t calls(fileops::Op op) const { return per_op_[static_cast<int>(op)]; }
    bool fired() const { return fired_; }

    // Called by the table's entries.
    bool should_fail(fileops::Op op, int& error);

private:
    std::size_t total_ = 0;
    std::array<std::size_t, static_cast<int>(fileops::Op::Count)> per_op_{};
    std::size_t fail_total_ = 0;
    fileops::Op fail_op_ = fileops::Op::Count;
    std::size_t fail_op_n_ = 0;
    bool fail_op_always_ = false;
    int error_ = 0;
    bool fired_ = false;
    std::function<void(fileops::Op)> observer_;
};

} // namespace testing_support
