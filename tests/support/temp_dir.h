// A fresh directory under the system's temporary folder, removed with everything in it at the end, and
// whole-file helpers for byte-exact comparisons.
#pragma once

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <string_view>

namespace testing_support {

// Temporary folders in memory from now on, when /dev/shm exists: for tests that make many files.
inline void use_memory_file_system() {
#ifndef _WIN32
    std::error_code ec;
    if (std::filesystem::is_directory("/dev/shm", ec))
        setenv("TMPDIR", "/dev/shm", 1);
#endif
}

class TempDir {
public:
    TempDir() {
        static std::atomic<unsigned> counter{0};
        std::random_device rd;
        do // a name no other test process takes: a random number and this process's count
            path_ = std::filesystem::temp_directory_path() /
                    ("quorbit-test-" + std::to_string(rd()) + "-" + std::to_string(counter++));
        while (!std::filesystem::create_directory(path_));
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Whether `dir` holds an entry spelt exactly `name`: letter case counts, also on a file system that
// ignores it when it opens a file (Windows).
inline bool has_entry(const std::filesystem::path& dir, const std::string& name) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
        if (entry.path().filename().string() == name)
            return true;
    return false;
}

inline std::string read_bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void write_bytes(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Every regular file below `dir` (relative name -> content, links not followed), for before/after
// comparisons.
using Snapshot = std::map<std::string, std::string>;
inline Snapshot snapshot(const std::filesystem::path& dir) {
    Snapshot files;
    for (auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        if (entry.is_regular_file() && !entry.is_symlink())
            files.emplace(std::filesystem::relative(entry.path(), dir).generic_string(),
                          read_bytes(entry.path()));
    }
    return files;
}

} // namespace testing_support
