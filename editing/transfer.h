// Move and Copy symbol: carry a security over to another portfolio.
#pragma once

#include "browser/command_result.h"

#include <filesystem>
#include <string>
#include <vector>

namespace editing {

enum class TransferMode { Move, Copy };

struct TransferRequest {
    TransferMode mode = TransferMode::Copy;
    std::filesystem::path portfolio_dir; // the source portfolio (portfolioDir)
    std::string current_symbol;          // the series on screen (currentSymbol)
    std::filesystem::path destination;   // the chosen destination portfolio; empty: none chosen
};

// The destinations the dialog offers: every portfolio of the list except the one at `selected_index`.
std::vector<std::string> destination_choices(const std::vector<std::string>& portfolios, int selected_index);

// Appends the security's MASTER record to the destination under its lowest free file number m and
// carries F<n>.DAT and F<n>.DOP over as F<m>.DAT and F<m>.DOP (no F<m>.BAK). A move then removes the
// record from the source portfolio and deletes the source's F<n>.BAK. Everything that can be checked is
// checked before the destination changes; a step that fails later undoes the steps before it, so that
// both portfolios are left as they were. With no destination nothing happens (not ok, no message).
// After a move the caller reloads the symbol list.
CommandResult transfer_symbol(const TransferRequest& request);

} // namespace editing
