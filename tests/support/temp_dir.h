// A fresh directory under the system's temporary folder, removed with everything in it at the end, and
// whole-file helpers for byte-exact comparisons.
#pragma once

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace testing_support {

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

inline std::string read_bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void write_bytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Every regular file below `dir` (relative name -> content, links not followed), for before/after
// comparisons.
inline std::vector<std::pair<std::string, std::string>> snapshot(const std::filesystem::path& dir) {
    std::vector<std::pair<std::string, std::string>> files;
    for (auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        if (entry.is_regular_file() && !entry.is_symlink())
            files.emplace_back(std::filesystem::relative(entry.path(), dir).string(),
                               read_bytes(entry.path()));
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace testing_support
