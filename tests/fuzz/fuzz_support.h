// Shared by the fuzz targets: a scratch directory (in memory when /dev/shm exists) emptied before every
// input, a reader that takes the input apart, and the fuzzed security the series targets run over.
// Files are made with the fixture builder of the tests.
#pragma once

#include "support/builder.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>

namespace fuzz_support {

namespace fs = std::filesystem;
using testing_support::read_bytes;
using testing_support::snapshot;
using testing_support::write_bytes;

// Stops the run: libFuzzer and the replay both report an abort as a failing input.
inline void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz property violated: %s\n", what);
        std::abort();
    }
}

// An empty directory for the next input, one per process, removed at exit.
inline const fs::path& fresh_scratch() {
    static const testing_support::TempDir* dir = [] {
        testing_support::use_memory_file_system();
        static testing_support::TempDir made;
        return &made;
    }();
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir->path(), ec))
        fs::remove_all(entry.path(), ec);
    return dir->path();
}

// Takes the input apart from the front; past its end every read gives zeros.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    explicit Input(std::string_view bytes)
        : Input(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()) {}
    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::uint16_t u16() {
        const std::uint16_t low = byte();
        return static_cast<std::uint16_t>(low | (byte() << 8));
    }
    float f32() {
        std::uint8_t raw[4] = {byte(), byte(), byte(), byte()};
        float v;
        std::memcpy(&v, raw, 4);
        return v;
    }
    std::string_view take(std::size_t n) {
        n = std::min(n, size_ - pos_);
        std::string_view out(reinterpret_cast<const char*>(data_ + pos_), n);
        pos_ += n;
        return out;
    }
    std::string_view rest() { return take(size_ - pos_); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// The security the series targets work on: file number 1, symbol IBM, in a portfolio of its own.
struct FuzzedSecurity {
    fs::path root, dir, master, dat, dop; // root: the top portfolio
    int record_length = 0;
    char periodicity = 'D';
    Input picks{nullptr, 0}; // the bytes the target reads itself
};

// Layout of the input: a record-length byte (mostly a supported length, 4 x 5..19), a field-count byte
// (mostly length / 4), a periodicity byte, flags (bit 0: F1.DOP exists, bit 1: lower-case file names,
// bit 2: the security sits in a nested portfolio SUB), the F1.DOP length, then `picks` bytes the target
// reads itself, then the F1.DOP text, and the rest is F1.DAT.
inline FuzzedSecurity make_security(const std::uint8_t* data, std::size_t size, std::size_t picks) {
    static const char kPeriodicities[] = {'D', 'D', 'D', 'I', 'W', 'M', 'Q', 'Y', 'X', '\0'};
    Input in(data, size);
    FuzzedSecurity s;
    testing_support::SecurityEntry entry = testing_support::security(1, "IBM", "INTL BUS MACH");
    const std::uint8_t length = in.byte(), fields = in.byte();
    s.record_length = length < 192 ? 4 * (5 + length % 15) : length;
    entry.record_length = s.record_length;
    entry.fields = fields < 224 ? s.record_length / 4 : fields;
    entry.periodicity = s.periodicity = kPeriodicities[in.byte() % sizeof kPeriodicities];
    entry.first_date = 950103.0f;
    entry.last_date = 991231.0f;
    entry.mark_uninterpreted = false;
    const std::uint8_t flags = in.byte();
    const std::size_t dop_size = in.byte();
    s.picks = Input(in.take(picks));
    const std::string_view dop = in.take(dop_size), dat = in.rest();
    const bool lower = flags & 2;
    s.root = fresh_scratch();
    s.dir = flags & 4 ? s.root / "SUB" : s.root;
    if (flags & 4)
        testing_support::MasterBuilder().add_directory(2, "SUB").write(s.root, lower ? "master" : "MASTER");
    s.master = testing_support::MasterBuilder().add(entry).write(s.dir, lower ? "master" : "MASTER");
    s.dat = s.dir / (lower ? "f1.dat" : "F1.DAT");
    s.dop = s.dir / (lower ? "f1.dop" : "F1.DOP");
    write_bytes(s.dat, dat);
    if (flags & 1)
        write_bytes(s.dop, dop);
    return s;
}

} // namespace fuzz_support
