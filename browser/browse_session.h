// What the window knows about finding and opening portfolios, beside the view state: the search
// filter, the volume searched, whether the last search found portfolios and whether a MASTER file is
// chosen. Plain values with the rules of changing them; the window shows them and keeps the filter in
// the settings.
#pragma once

#include "browser/discovery_rules.h"
#include "common/view_state.h"

#include <string>

class BrowseSession {
public:
    // The longest MASTER path a portfolio may have.
    static constexpr std::size_t kMaxMasterPath = 298;
    // The volume before the first choice.
    static constexpr const char* kNoDrive = "?";

    BrowseSession(const SearchFilterSettings& filter, std::string startDirectory);

    const SearchFilterSettings& filter() const { return filter_; }
    // The filter path in upper case, as the walk compares it.
    const std::string& filter_upper() const { return filterUpper_; }
    // The current directory at start-up, the filter path's default.
    const std::string& start_directory() const { return startDirectory_; }
    // Takes the Search Filter dialog's values; true when the change asks for a new search.
    bool set_filter(const SearchFilterSettings& values);

    // The volume searched, a root path; kNoDrive before the first choice.
    const std::string& drive() const { return drive_; }
    bool drive_chosen() const { return drive_ != kNoDrive; }
    // Chooses the volume `root`; false when it is the one searched already.
    bool choose_drive(const std::string& root);
    // Forgets the volume, so that the next choice is always a change.
    void forget_drive() { drive_ = kNoDrive; }
    // The folder that a search that found nothing names: the filter path when the search keeps to it,
    // else the volume's root.
    const std::string& searched_folder() const { return filter_.limit ? filter_.path : drive_; }

    bool portfolios_found() const { return portfoliosFound_; }
    void set_portfolios_found(bool found) { portfoliosFound_ = found; }

    // Accepts an existing file whose name is MASTER in any letter case, in a path of at most
    // kMaxMasterPath characters, as the portfolio of `state`; a refused path changes nothing.
    bool select_master(const std::string& path, ViewState& state);
    bool master_selected() const { return masterSelected_; }

private:
    SearchFilterSettings filter_;
    std::string filterUpper_;
    std::string startDirectory_;
    std::string drive_ = kNoDrive;
    bool portfoliosFound_ = false;
    bool masterSelected_ = false;
};
