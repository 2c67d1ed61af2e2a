#include "browser/master_walk.h"

#include "common/symbol_list.h"
#include "storage/fileops.h"
#include "storage/portfolio_files.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <utility>

namespace {

using DirId = std::pair<std::uint64_t, std::uint64_t>; // device, inode

// The host's separator: '\\' on Windows, where '/' is one as well.
constexpr char kSeparator = static_cast<char>(std::filesystem::path::preferred_separator);

std::string join(const std::string& dir, const std::string& name) {
    if (!dir.empty() && (dir.back() == '/' || dir.back() == kSeparator)) {
        return dir + name;
    }
    return dir + kSeparator + name;
}

// A path in upper case with the host's separator throughout, so that a filter spelt with either of
// Windows' two separators finds the same folders.
std::string comparable(const std::string& path) {
    std::string out = portfolio_files::to_upper(path);
    std::replace(out.begin(), out.end(), '/', kSeparator);
    return out;
}

bool holds_master(const std::string& dir, const std::vector<fileops::DirEntry>& entries) {
    for (const fileops::DirEntry& entry : entries) {
        if (!entry.is_dir && !entry.is_symlink &&
            portfolio_files::equals_ignoring_case(entry.name, "MASTER") &&
            fileops::stat(join(dir, entry.name)).is_regular) {
            return true;
        }
    }
    return false;
}

class Walk {
public:
    Walk(std::vector<std::string>& results, bool limit, std::string filter, const WalkProgress& progress)
        : results_(results), limit_(limit), filter_(std::move(filter)), progress_(progress) {}

    void run(const std::string& root) {
        const fileops::FileStat root_info = fileops::stat(root);
        if (!root_info.exists || !root_info.is_dir || root_info.is_symlink) {
            report(root);
            return;
        }
        device_ = root_info.device;
        visited_.insert({root_info.device, root_info.inode});
        std::vector<std::string> pending{root};
        while (!pending.empty() && !stopped_) {
            const std::string dir = std::move(pending.back());
            pending.pop_back();
            visit(dir, pending);
        }
    }

    bool stopped() const { return stopped_; }

private:
    // Tells the listener; false (and the walk stops) when it asks to stop.
    bool report(const std::string& dir) {
        if (progress_ && !progress_(dir, found_)) {
            stopped_ = true;
        }
        return !stopped_;
    }

    // Looks at one directory and pushes its kept subdirectories so that the last listed is walked first.
    void visit(const std::string& dir, std::vector<std::string>& pending) {
        if (!report(dir)) {
            return;
        }
        std::vector<fileops::DirEntry> entries;
        if (!fileops::list_dir(dir, entries)) {
            return;
        }
        if (holds_master(dir, entries)) {
            results_.push_back(dir);
            ++found_;
            if (!report(dir)) {
                return;
            }
        }
        for (const fileops::DirEntry& entry : entries) {
            if (!entry.is_dir || entry.is_symlink || entry.name.empty() || entry.name[0] == '.') {
                continue;
            }
            std::string candidate = join(dir, entry.name);
            if (walk_filter_keeps(candidate, limit_, filter_) && enterable(candidate)) {
                pending.push_back(std::move(candidate));
            }
        }
    }

    // A real directory on the walk's own file system, not seen before (bind mounts can form loops).
    bool enterable(const std::string& candidate) {
        const fileops::FileStat info = fileops::stat(candidate);
        if (!info.exists || !info.is_dir || info.is_symlink || info.device != device_) {
            return false;
        }
        return visited_.insert({info.device, info.inode}).second;
    }

    std::vector<std::string>& results_;
    bool limit_;
    std::string filter_;
    const WalkProgress& progress_;
    std::uint64_t device_ = 0;
    std::set<DirId> visited_;
    int found_ = 0;
    bool stopped_ = false;
};

} // namespace

bool walk_filter_keeps(const std::string& candidate, bool limit_to_filter,
                       const std::string& filter_path_upper) {
    if (!limit_to_filter) {
        return true;
    }
    const std::string upper = comparable(candidate);
    const std::string filter = comparable(filter_path_upper);
    return upper.find(filter) != std::string::npos || filter.find(upper) != std::string::npos;
}

void sort_portfolio_paths(std::vector<std::string>& paths) {
    std::sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
        if (symbol_text_less(a, b)) {
            return true;
        }
        return !symbol_text_less(b, a) && a < b;
    });
}

bool SearchForMasters(const std::filesystem::path& dir, std::vector<std::string>& results,
                      bool limit_to_filter, const std::string& filter_path_upper,
                      const WalkProgress& progress) {
    Walk walk(results, limit_to_filter, portfolio_files::to_upper(filter_path_upper), progress);
    walk.run(dir.string());
    sort_portfolio_paths(results);
    return !walk.stopped();
}
