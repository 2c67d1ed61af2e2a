// Finding portfolios: a walk of a directory tree that lists every directory holding a MASTER file.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// Called for every directory the walk enters and again for every portfolio it finds: the directory and
// the number of portfolios found so far. Returns whether the walk goes on (false: stop, as Cancel).
using WalkProgress = std::function<bool(const std::string& current_dir, int found)>;

// Walks `dir` depth first and appends to `results` every directory (the path as built from `dir` and the
// entry names) that holds an entry named MASTER, in any letter case, that is a regular file; then sorts
// `results` ascending, ignoring letter case. With `limit_to_filter`, a subdirectory is entered only when
// its upper-case path contains `filter_path_upper` or is contained in it. The walk never follows a
// symbolic link, never crosses into another mounted file system, never enters a directory twice, skips
// names beginning with '.', and treats a directory that cannot be listed as empty. A `dir` that is itself
// a symbolic link is not followed either: resolve it first when that is wanted. A walk stopped by
// `progress` keeps (sorted) what it found until then and returns false; a finished walk returns true.
bool SearchForMasters(const std::filesystem::path& dir, std::vector<std::string>& results,
                      bool limit_to_filter, const std::string& filter_path_upper,
                      const WalkProgress& progress = {});

// The filter test for one subdirectory path.
bool walk_filter_keeps(const std::string& candidate, bool limit_to_filter,
                       const std::string& filter_path_upper);

// The portfolio list's order: ascending ignoring letter case (ties in byte order).
void sort_portfolio_paths(std::vector<std::string>& paths);
