// Edit symbol and Delete symbol: rename or remove a security of a portfolio.
//
// The commands take the portfolio's directory (its MASTER is found there, in whatever letter case the
// portfolio uses) and the security's symbol exactly as its record holds it: a MASTER record first, then
// an XMASTER security, the first in file order when several hold the same symbol.
#pragma once

#include "common/command_result.h"
#include "common/symbol_text.h"
#include "storage/master.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace editing {

// The index (among the counted records, in file order) of the first security record whose symbol text
// equals `symbol` exactly, letter case included; -1 when none does.
int find_symbol_record(const MasterImage& image, std::string_view symbol);

// The Edit Symbol dialog's check on OK: "You must enter a symbol" for an empty symbol, then
// check_symbol_text (common/symbol_text.h).
CommandResult check_edit_symbol_input(std::string_view new_symbol);

// The Edit Symbol dialog's check on OK, after the checks above: no record of the portfolio at
// `portfolio_dir` (nor of its XMASTER) other than the security `symbol` (its symbol as its record holds
// it) already answers to `new_symbol` (as its symbol or name, ignoring case). Passes when `symbol` is not
// there: edit_symbol says so.
CommandResult check_symbol_free(const std::filesystem::path& portfolio_dir, std::string_view symbol,
                                std::string_view new_symbol);

// Gives the security `symbol` (its symbol as its record holds it) of the portfolio at `portfolio_dir`
// the new symbol and name (typed, UTF-8; stored as single bytes, as typed). Refused, with nothing
// changed: a symbol or name the checks above refuse, a symbol that another record of the portfolio
// already answers to (as its symbol or name, ignoring case), and a MASTER the symbol list calls damaged.
// When the record already holds both texts nothing is written and the one message is kNothingChanged.
// On success the caller shows the new texts for the security and takes them as the series on screen.
CommandResult edit_symbol(const std::filesystem::path& portfolio_dir, std::string_view symbol,
                          std::string_view new_symbol, std::string_view new_name);

// Removes the security `symbol` (its symbol as its record holds it) from the portfolio at
// `portfolio_dir`, with its files F<n>.DAT, F<n>.DOP and F<n>.BAK (the caller has asked for
// confirmation). On success the caller reloads the symbol list.
CommandResult delete_symbol(const std::filesystem::path& portfolio_dir, std::string_view symbol);

} // namespace editing
