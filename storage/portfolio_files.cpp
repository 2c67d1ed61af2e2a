#include "storage/portfolio_files.h"

#include "storage/fileops.h"

#include <cctype>
#include <cerrno>
#include <vector>

namespace portfolio_files {

std::string series_file_name(int file_number, std::string_view extension) {
    return "F" + std::to_string(file_number) + "." + std::string(extension);
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string to_upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string to_lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

namespace {

Presence probe(const Path& path) {
    fileops::FileStat st;
    errno = 0;
    if (fileops::table().stat(path, st) == 0)
        return st.exists ? Presence::Present : Presence::Absent;
    return errno == ENOENT || errno == ENOTDIR ? Presence::Absent : Presence::Unknown;
}

bool find_entry(const Path& dir, std::string_view name, Path& found) {
    return lookup(dir, name, found) == Presence::Present;
}

bool uses_lower_case(const std::string& name) {
    bool lower = false;
    for (char c : name) {
        if (std::isupper(static_cast<unsigned char>(c)))
            return false;
        if (std::islower(static_cast<unsigned char>(c)))
            lower = true;
    }
    return lower;
}

} // namespace

Presence lookup(const Path& dir, std::string_view name, Path& found) {
    for (const std::string& candidate : {std::string(name), to_upper(name), to_lower(name)}) {
        if (probe(dir / candidate) == Presence::Present) {
            found = dir / candidate;
            return Presence::Present;
        }
    }
    // The listing settles it, also when a probe above could not answer.
    std::vector<fileops::DirEntry> entries;
    found = dir / std::string(name);
    if (!fileops::list_dir(dir, entries))
        return Presence::Unknown;
    for (const auto& entry : entries) {
        if (equals_ignoring_case(entry.name, name)) {
            found = dir / entry.name;
            return Presence::Present;
        }
    }
    return Presence::Absent;
}

Path existing(const Path& dir, std::string_view name) {
    Path found;
    if (find_entry(dir, name, found))
        return found;
    return dir / std::string(name);
}

bool present(const Path& dir, std::string_view name) {
    Path found;
    return find_entry(dir, name, found);
}

Path for_writing(const Path& dir, std::string_view name) {
    Path found;
    if (find_entry(dir, name, found))
        return found;
    Path master_file;
    if (find_entry(dir, "MASTER", master_file) && uses_lower_case(master_file.filename().string()))
        return dir / to_lower(name);
    return dir / to_upper(name);
}

Path master(const Path& dir) {
    return existing(dir, "MASTER");
}

Path series_file(const Path& dir, int file_number, std::string_view extension) {
    return existing(dir, series_file_name(file_number, extension));
}

Path series_file_for_writing(const Path& dir, int file_number, std::string_view extension) {
    return for_writing(dir, series_file_name(file_number, extension));
}

} // namespace portfolio_files
