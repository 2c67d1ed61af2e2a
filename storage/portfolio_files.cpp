#include "storage/portfolio_files.h"

#include "storage/fileops.h"

#include <cctype>
#include <cerrno>
#include <vector>

namespace portfolio_files {

std::string series_file_name(int file_number, std::string_view extension) {
    // Securities numbered 256 and above (listed in XMASTER) keep their quotes in F<n>.MWD.
    if (file_number > 255 && extension == "DAT")
        extension = "MWD";
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

// `stored` is the name the directory keeps where the file system ignores case and says so (Windows):
// a look-up for "MASTER" then finds "master" as it is spelt there.
Presence probe(const Path& path, std::string& stored) {
    fileops::FileStat st;
    errno = 0;
    if (fileops::table().stat(path, st) == 0) {
        stored = st.stored_name;
        return st.exists ? Presence::Present : Presence::Absent;
    }
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

namespace {

// Of the entries named `name` ignoring case, the one a look-up prefers: the exact name, then upper and
// lower case, then the first listed.
const std::string& preferred(const std::vector<std::string>& names, std::string_view name) {
    for (const std::string& candidate : {std::string(name), to_upper(name), to_lower(name)}) {
        for (const std::string& entry : names) {
            if (entry == candidate)
                return entry;
        }
    }
    return names.front();
}

} // namespace

Presence lookup(const Path& dir, std::string_view name, Path& found) {
    // An operation that looks many names up in a directory lists it once and finds every name in that
    // listing; a few look-ups try the likely spellings first.
    std::vector<std::string> names;
    if (!fileops::listing_due(dir)) {
        for (const std::string& candidate : {std::string(name), to_upper(name), to_lower(name)}) {
            std::string stored;
            if (probe(dir / candidate, stored) == Presence::Present) {
                found = dir / (equals_ignoring_case(stored, candidate) ? stored : candidate);
                return Presence::Present;
            }
        }
    }
    // The listing settles it, also when a probe above could not answer.
    found = dir / std::string(name);
    if (!fileops::names_ignoring_case(dir, name, names))
        return Presence::Unknown;
    if (names.empty())
        return Presence::Absent;
    found = dir / preferred(names, name);
    return Presence::Present;
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

namespace {

bool ends_with(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// F<n>.<extension> for the extensions of a series.
bool series_file_base(std::string_view name) {
    std::size_t dot = name.find('.');
    if (name.size() < 2 || name[0] != 'F' || dot == std::string_view::npos || dot == 1)
        return false;
    for (std::size_t i = 1; i < dot; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i])))
            return false;
    }
    std::string_view extension = name.substr(dot + 1);
    for (std::string_view known : {"DAT", "DOP", "MWD", "BAK", "NEW"}) {
        if (extension == known)
            return true;
    }
    return false;
}

} // namespace

bool is_portfolio_file_name(std::string_view given) {
    std::string name = to_upper(given);
    while (!name.empty() && (name.back() == '.' || name.back() == ' '))
        name.pop_back();
    for (;;) {
        if (name == "MASTER" || name == "EMASTER" || name == "XMASTER" || series_file_base(name))
            return true;
        bool stripped = false;
        for (std::string_view suffix : {".BAK", ".NEW", ".~NU", ".TMP"}) {
            if (!stripped && ends_with(name, suffix)) {
                name.resize(name.size() - suffix.size());
                stripped = true;
            }
        }
        if (!stripped)
            return false;
    }
}

TextTarget text_target(const Path& path) {
    if (is_portfolio_file_name(path.filename().string()))
        return TextTarget::PortfolioFile;
    fileops::FileStat st;
    errno = 0;
    if (fileops::table().stat(path, st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? TextTarget::Free : TextTarget::Unknown;
    return st.is_regular ? TextTarget::Free : TextTarget::NotRegular;
}

} // namespace portfolio_files
