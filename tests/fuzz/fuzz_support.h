// Shared by the file-based fuzz targets: a scratch directory (in memory when /dev/shm exists) emptied
// before every input, a reader that takes the input apart, whole-file helpers, and the makers of the
// small portfolios the targets run over.
#pragma once

#include "storage/encoding.h"
#include "storage/master.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <system_error>

namespace fuzz_support {

namespace fs = std::filesystem;

// Stops the run: libFuzzer and the replay both report an abort as a failing input.
[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "fuzz property violated: %s\n", what);
    std::abort();
}

inline void check(bool condition, const char* what) {
    if (!condition)
        fail(what);
}

// One directory per process, removed at exit.
class Scratch {
public:
    Scratch() {
        std::error_code ec;
        fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
        root_ = base / ("quorbit-fuzz-" + std::to_string(::getpid()));
        fs::remove_all(root_, ec);
        fs::create_directories(root_);
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    // An empty directory for the next input.
    const fs::path& fresh() {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(root_, ec))
            fs::remove_all(entry.path(), ec);
        return root_;
    }
    const fs::path& root() const { return root_; }

private:
    fs::path root_;
};

inline Scratch& scratch() {
    static Scratch instance;
    return instance;
}

inline void write_file(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Every regular file below `dir` (relative name -> bytes); links are listed, not followed.
inline std::map<std::string, std::string> snapshot(const fs::path& dir) {
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (it->is_symlink(ec))
            files[fs::relative(it->path(), dir).string()] = "<link>";
        else if (it->is_regular_file(ec))
            files[fs::relative(it->path(), dir).string()] = read_file(it->path());
    }
    return files;
}

// Takes the input apart from the front; past its end every read gives zeros.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::uint16_t u16() {
        std::uint16_t low = byte();
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

inline void put_text(MasterRecord& record, int offset, std::string_view text) {
    for (int i = 0; i < 16; ++i)
        record.bytes[static_cast<std::size_t>(offset + i)] =
            i < static_cast<int>(text.size()) ? static_cast<std::uint8_t>(text[i]) : ' ';
}

// A MASTER security record (dates as MBF YYMMDD).
inline MasterRecord security_record(int file_number, std::string_view symbol, std::string_view name,
                                    int record_length, int field_count, char periodicity) {
    MasterRecord record;
    record.bytes[0] = static_cast<std::uint8_t>(file_number);
    record.bytes[3] = static_cast<std::uint8_t>(record_length);
    record.bytes[4] = static_cast<std::uint8_t>(field_count);
    put_text(record, 7, name);
    put_text(record, 36, symbol);
    ieee_to_mbf(950103.0f, &record.bytes[25]);
    ieee_to_mbf(991231.0f, &record.bytes[29]);
    record.bytes[33] = static_cast<std::uint8_t>(periodicity);
    return record;
}

// A MASTER of the given records, the count in both header counters.
inline std::string master_bytes(const MasterRecord* records, int count) {
    std::string out(kMasterRecordSize, '\0');
    out[0] = out[2] = static_cast<char>(count & 0xFF);
    out[1] = out[3] = static_cast<char>((count >> 8) & 0xFF);
    for (int i = 0; i < count; ++i)
        out.append(reinterpret_cast<const char*>(records[i].bytes.data()), kMasterRecordSize);
    return out;
}

// The record shape a fuzzed byte chooses: mostly a supported length (4 x 1..19), sometimes any byte.
inline int choose_record_length(std::uint8_t b) {
    return b < 192 ? 4 * (5 + b % 15) : b;
}
inline int choose_field_count(std::uint8_t b, int record_length) {
    return b < 224 ? record_length / 4 : b;
}
inline char choose_periodicity(std::uint8_t b) {
    static const char letters[] = {'D', 'D', 'D', 'I', 'W', 'M', 'Q', 'Y', 'X', '\0'};
    return letters[b % sizeof letters];
}

// The security all series targets work on: file number 1, symbol IBM, in a portfolio of its own.
struct FuzzedSecurity {
    fs::path dir;
    fs::path master;
    fs::path dat;
    fs::path dop;
    int record_length = 0;
    int field_count = 0;
    char periodicity = 'D';
    bool has_dop = false;
};

// Layout of the input: record-length byte, field-count byte, periodicity byte, flags (bit 0: F1.DOP
// exists, bit 1: lower-case file names, bit 2: the security sits in a nested portfolio), F1.DOP length,
// then `extra` bytes the caller reads itself, then the F1.DOP text and the rest is F1.DAT.
inline FuzzedSecurity make_security(Input& in, const fs::path& root, std::string_view* extra,
                                    std::size_t extra_size) {
    FuzzedSecurity s;
    s.record_length = choose_record_length(in.byte());
    s.field_count = choose_field_count(in.byte(), s.record_length);
    s.periodicity = choose_periodicity(in.byte());
    const std::uint8_t flags = in.byte();
    const std::size_t dop_size = in.byte();
    *extra = in.take(extra_size);
    std::string_view dop = in.take(dop_size);
    std::string_view dat = in.rest();

    const bool lower = flags & 2;
    const bool nested = flags & 4;
    MasterRecord record =
        security_record(1, "IBM", "INTL BUS MACH", s.record_length, s.field_count, s.periodicity);
    s.dir = root;
    if (nested) {
        fs::create_directory(root / "SUB");
        MasterRecord entry = security_record(2, "", "SUB", 0, 0, 'D');
        std::memcpy(&entry.bytes[18], "<DIR>", 5);
        write_file(root / (lower ? "master" : "MASTER"), master_bytes(&entry, 1));
        s.dir = root / "SUB";
    }
    s.master = s.dir / (lower ? "master" : "MASTER");
    write_file(s.master, master_bytes(&record, 1));
    s.dat = s.dir / (lower ? "f1.dat" : "F1.DAT");
    s.dop = s.dir / (lower ? "f1.dop" : "F1.DOP");
    write_file(s.dat, dat);
    s.has_dop = flags & 1;
    if (s.has_dop)
        write_file(s.dop, dop);
    return s;
}

} // namespace fuzz_support
