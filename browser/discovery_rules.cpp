#include "browser/discovery_rules.h"

#include "storage/portfolio_files.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace {

bool IsSeparator(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// Below `dir` or `dir` itself.
bool AtOrBelow(std::string_view path, std::string_view dir) {
    return path == dir || (StartsWith(path, dir) && path.size() > dir.size() && path[dir.size()] == '/');
}

bool IsPseudoType(const std::string& type) {
    static constexpr std::array<std::string_view, 22> kPseudo = {
        "proc",     "sysfs",    "devtmpfs",  "devpts",         "cgroup",      "cgroup2",
        "mqueue",   "debugfs",  "tracefs",   "securityfs",     "pstore",      "bpf",
        "configfs", "fusectl",  "hugetlbfs", "autofs",         "binfmt_misc", "rpc_pipefs",
        "nsfs",     "efivarfs", "selinuxfs", "fuse.gvfsd-fuse"};
    return std::find(kPseudo.begin(), kPseudo.end(), type) != kPseudo.end();
}

bool IsMemoryType(const std::string& type) {
    return type == "tmpfs" || type == "ramfs";
}

// Where a memory file system holds the user's files rather than the system's runtime state.
bool IsUserMemoryVolume(const std::string& root) {
    return AtOrBelow(root, "/tmp") || AtOrBelow(root, "/var/tmp") || StartsWith(root, "/media/");
}

} // namespace

bool IsListedVolume(const MountedVolume& volume) {
    if (!volume.ready || !volume.isDirectory || volume.rootPath.empty() ||
        IsPseudoType(volume.fileSystemType)) {
        return false;
    }
    return !IsMemoryType(volume.fileSystemType) || IsUserMemoryVolume(volume.rootPath);
}

std::vector<std::string> DriveList(const std::vector<MountedVolume>& mounted) {
    std::vector<std::string> roots;
    for (const MountedVolume& volume : mounted) {
        if (IsListedVolume(volume)) {
            roots.push_back(volume.rootPath);
        }
    }
    std::sort(roots.begin(), roots.end());
    roots.erase(std::unique(roots.begin(), roots.end()), roots.end());
    return roots;
}

// A path as the host compares it: on Windows drive letters and names ignore case and '/' is '\\'
// ("c:/data" lies on the volume "C:\\"); elsewhere as it is.
std::string Comparable(const std::string& path) {
#ifdef _WIN32
    std::string out = portfolio_files::to_upper(path);
    std::replace(out.begin(), out.end(), '/', '\\');
    return out;
#else
    return path;
#endif
}

bool VolumeContains(const std::string& root, const std::string& path) {
    const std::string hostRoot = Comparable(root);
    const std::string hostPath = Comparable(path);
    if (hostRoot.empty() || !StartsWith(hostPath, hostRoot)) {
        return false;
    }
    return hostPath.size() == hostRoot.size() || IsSeparator(hostRoot.back()) ||
           IsSeparator(hostPath[hostRoot.size()]);
}

std::string VolumeOf(const std::string& path, const std::vector<std::string>& volumes) {
    std::string best;
    for (const std::string& root : volumes) {
        if (root.size() > best.size() && VolumeContains(root, path)) {
            best = root;
        }
    }
    return best;
}

int StartVolumeIndex(const std::vector<std::string>& volumes, const std::string& saved,
                     const std::string& currentDirectory) {
    if (volumes.empty()) {
        return -1;
    }
    auto index = [&](const std::string& root) {
        const auto found = std::find(volumes.begin(), volumes.end(), root);
        return found == volumes.end() ? -1 : static_cast<int>(found - volumes.begin());
    };
    if (const int savedIndex = saved.empty() ? -1 : index(saved); savedIndex >= 0) {
        return savedIndex;
    }
    const std::string current = VolumeOf(currentDirectory, volumes);
    return current.empty() ? 0 : index(current);
}

bool SearchFilterAccepted(bool limit, const std::string& path, const std::vector<std::string>& volumes) {
    return !limit || !VolumeOf(path, volumes).empty();
}

bool FilterChangeNeedsScan(bool oldLimit, const std::string& oldFilterUpper, bool newLimit,
                           const std::string& newFilter) {
    return oldLimit != newLimit || (newLimit && portfolio_files::to_upper(newFilter) != oldFilterUpper);
}

std::string NoPortfoliosMessage(const std::string& volume, const std::string& folder) {
    return "No master files found on drive " + volume + "\nin the folder " + folder +
           " or any folder below it.\n\n(Is your Portfolio Search Filter setting correct?)";
}

std::string CancelledScanMessage(const std::string& volume, int found) {
    const std::string count = found == 1 ? "1 portfolio" : std::to_string(found) + " portfolios";
    return "The search of drive " + volume + " was cancelled.\n\n" +
           (found == 0 ? std::string("No master file had been found.")
                       : "The list shows the " + count + " found until then.");
}
