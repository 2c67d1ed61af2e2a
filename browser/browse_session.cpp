#include "browser/browse_session.h"

#include "storage/fileops.h"
#include "storage/portfolio_files.h"

#include <filesystem>

BrowseSession::BrowseSession(const SearchFilterSettings& filter, std::string startDirectory)
    : filter_(filter), filterUpper_(portfolio_files::to_upper(filter.path)),
      startDirectory_(std::move(startDirectory)) {}

bool BrowseSession::set_filter(const SearchFilterSettings& values) {
    const bool scanDue = FilterChangeNeedsScan(filter_.limit, filterUpper_, values.limit, values.path);
    filter_ = values;
    filterUpper_ = portfolio_files::to_upper(filter_.path);
    return scanDue;
}

bool BrowseSession::choose_drive(const std::string& root) {
    if (root == drive_) {
        return false;
    }
    drive_ = root;
    return true;
}

bool BrowseSession::select_master(const std::string& path, ViewState& state) {
    const std::filesystem::path master(path);
    if (path.size() > kMaxMasterPath ||
        !portfolio_files::equals_ignoring_case(master.filename().string(), "MASTER") ||
        !fileops::stat(master).exists) {
        return false;
    }
    state.masterPath = path;
    state.portfolioDir = master.parent_path();
    masterSelected_ = true;
    return true;
}
