// The rules of finding portfolios as plain functions: which mounted volumes the drive chooser lists,
// the volume that holds a path, the volume the program starts on, the Search Filter's check and when a
// filter change asks for a new scan. Drives are mounted volumes, named by their root paths.
#pragma once

#include <string>
#include <vector>

// One mounted file system as the platform reports it.
struct MountedVolume {
    std::string rootPath;
    std::string fileSystemType;
    bool ready = true;       // mounted and readable
    bool isDirectory = true; // a file bind-mounted over a file is no volume
};

// Whether the chooser lists a mounted file system: ready, a directory, and not a pseudo file system
// (proc, sysfs, cgroup, devpts, ...). A memory file system (tmpfs, ramfs) is listed only where users keep
// files (/tmp, /var/tmp, below /media), never for the system's runtime state (/run, /dev/shm).
bool IsListedVolume(const MountedVolume& volume);

// The chooser's entries: the listed volumes' root paths, one per root, sorted.
std::vector<std::string> DriveList(const std::vector<MountedVolume>& mounted);

// Whether `root` is `path` or one of its ancestors, comparing whole names.
bool VolumeContains(const std::string& root, const std::string& path);

// The volume that holds `path`: the longest entry of `volumes` that contains it; empty when none does
// (for instance for a relative path).
std::string VolumeOf(const std::string& path, const std::vector<std::string>& volumes);

// The entry the program starts on: the saved volume when it is still listed; otherwise (none saved, or
// that volume is gone) the volume of the current directory; otherwise the first entry. -1 when the list
// is empty.
int StartVolumeIndex(const std::vector<std::string>& volumes, const std::string& saved,
                     const std::string& currentDirectory);

// The Search Filter dialog's check on OK: with the limit off anything is accepted; with it on the path
// must be absolute and lie on a listed volume.
inline constexpr const char* kUnknownDriveMessage = "The Search Filter path refers to an unknown drive";
bool SearchFilterAccepted(bool limit, const std::string& path, const std::vector<std::string>& volumes);

// Whether a new filter asks for a new scan: the limit was switched, or the limit is on and the filter
// differs from the old one (compared in upper case) in more than letter case.
bool FilterChangeNeedsScan(bool oldLimit, const std::string& oldFilterUpper, bool newLimit,
                           const std::string& newFilter);

// "No master files found on drive " + volume, the folder searched (the filter's folder when the search
// is limited to it, else the volume's root) and the hint at the filter.
std::string NoPortfoliosMessage(const std::string& volume, const std::string& folder);
// What a walk stopped by Cancel says: that it was cancelled, and how many portfolios the list shows.
std::string CancelledScanMessage(const std::string& volume, int found);

// The three values of the Search Filter dialog, kept in "Search"/"Limit", "Name" and "MasterFix".
struct SearchFilterSettings {
    bool limit = true;
    std::string path;
    bool repair = false;
};
