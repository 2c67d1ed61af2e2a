// A fresh directory under the system's temporary folder, removed with everything in it at the end.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Whole-file helpers for byte-exact comparisons.
std::string read_bytes(const std::filesystem::path& path);
void write_bytes(const std::filesystem::path& path, const std::string& bytes);
// Every regular file below `dir` (relative name -> content), for before/after comparisons.
std::vector<std::pair<std::string, std::string>> snapshot(const std::filesystem::path& dir);

} // namespace testing_support
