// The view state a test hands to a command: a portfolio open and a series on screen.
#pragma once

#include "browser/view_state.h"
#include "storage/portfolio_files.h"

#include <filesystem>
#include <string>

namespace testing_support {

// The portfolio at `dir` (its MASTER found ignoring letter case) with `symbol` on screen.
inline ViewState view_of(const std::filesystem::path& dir, const std::string& symbol = {}) {
    ViewState view;
    view.portfolioDir = dir;
    view.masterPath = portfolio_files::master(dir);
    view.currentSymbol = symbol;
    return view;
}

} // namespace testing_support
