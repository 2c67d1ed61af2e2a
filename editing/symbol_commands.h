// Edit symbol and Delete symbol: rename or remove the security of the selected symbol-list row.
#pragma once

#include "browser/command_result.h"
#include "browser/view_state.h"
#include "storage/master.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace editing {

// The index (among the counted records, in file order) of the first security record whose symbol text
// equals `row_symbol` exactly, letter case included; -1 when none does.
int find_symbol_record(const MasterImage& image, std::string_view row_symbol);

// The Edit Symbol dialog's check on OK: "You must enter a symbol" for an empty symbol.
CommandResult check_edit_symbol_input(std::string_view new_symbol);

// Gives the security of the selected row (`row_symbol`, its column-0 text) of the portfolio `masterPath`
// the new symbol and name (stored as typed, cut to 16 characters). On success the caller shows the new
// texts in the row and takes them as the series on screen.
CommandResult edit_symbol(const ViewState& view, std::string_view row_symbol, std::string_view new_symbol,
                          std::string_view new_name);

// Removes the selected row's security from `masterPath` with its files F<n>.DAT, F<n>.DOP and F<n>.BAK
// in `portfolioDir` (the caller has asked for confirmation). On success the caller reloads the symbol
// list.
CommandResult delete_symbol(const ViewState& view, std::string_view row_symbol);

} // namespace editing
