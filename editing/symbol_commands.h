// Edit symbol and Delete symbol: rename or remove the security of the selected symbol-list row.
#pragma once

#include "common/command_result.h"
#include "common/view_state.h"
#include "storage/master.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace editing {

// The index (among the counted records, in file order) of the first security record whose symbol text
// equals `row_symbol` exactly, letter case included; -1 when none does.
int find_symbol_record(const MasterImage& image, std::string_view row_symbol);

// Other programs read at most this many characters of a symbol (the extended directory file holds 14).
inline constexpr std::size_t kMaxSymbolLength = 14;
inline constexpr std::size_t kMaxNameLength = 16;

// The Edit Symbol dialog's check on OK: "You must enter a symbol" for an empty symbol, then
// check_symbol_text.
CommandResult check_edit_symbol_input(std::string_view new_symbol);
// A symbol (typed, UTF-8) that the files store as typed and that reads back as the same key: at most 14
// characters of printable ASCII, blanks inside it but not at its start.
CommandResult check_symbol_text(std::string_view symbol);
// A name (typed, UTF-8) of at most 16 single-byte (Latin-1) characters, no control characters.
CommandResult check_name_text(std::string_view name);

// The Edit Symbol dialog's check on OK, after the checks above: no other record of the portfolio (nor
// of its XMASTER) already answers to the new symbol (as its symbol or name, ignoring case).
CommandResult check_symbol_free(const ViewState& view, std::string_view row_symbol,
                                std::string_view new_symbol);

// Gives the security of the selected row (`row_symbol`, its column-0 text) of the portfolio `masterPath`
// the new symbol and name (typed, UTF-8; stored as single bytes, as typed). Refused, with nothing
// changed: a symbol or name the checks above refuse, a symbol that another record of the portfolio
// already answers to (as its symbol or name, ignoring case), and a MASTER the symbol list calls damaged.
// When the record already holds both texts nothing is written and the one message is kNothingChanged.
// On success the caller shows the new texts in the row and takes them as the series on screen.
CommandResult edit_symbol(const ViewState& view, std::string_view row_symbol, std::string_view new_symbol,
                          std::string_view new_name);

// Removes the selected row's security from `masterPath` with its files F<n>.DAT, F<n>.DOP and F<n>.BAK
// in `portfolioDir` (the caller has asked for confirmation). On success the caller reloads the symbol
// list.
CommandResult delete_symbol(const ViewState& view, std::string_view row_symbol);

} // namespace editing
