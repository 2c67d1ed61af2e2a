// Move and Copy symbol: carry a security over to another portfolio.
#pragma once

#include "common/command_result.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace editing {

enum class TransferMode { Move, Copy };

// The destinations the dialog offers: every portfolio of the list except the one at `selected_index`,
// sorted ignoring letter case.
std::vector<std::string> destination_choices(const std::vector<std::string>& portfolios, int selected_index);

// Carries the security `symbol` of the portfolio at `portfolio_dir` over to the chosen `destination`
// portfolio under its lowest free file number m. `symbol` is the security's symbol as its record holds it,
// looked up by master_find (blanks around it and letter case aside; the nested portfolios included): F<n>.DAT
// and F<n>.DOP are copied there as F<m>.DAT and F<m>.DOP (no F<m>.BAK), each complete before it appears, and
// only then is the record appended to the destination's MASTER. A move then removes the source record and
// afterwards deletes the source's F<n>.DAT, F<n>.DOP and F<n>.BAK. So at every instant, even when the process
// is killed between two steps, every MASTER record points to complete files; an interrupted run can leave
// unreferenced files, or the security in both portfolios, but never a record without its files. A file
// already named F<m>.DAT or F<m>.DOP in the destination refuses the transfer, unless it holds exactly the
// bytes that would be copied there (the leftover of an interrupted transfer of this security). Everything
// that can be checked is checked before the destination changes; a step that fails later undoes the steps
// before it, so that both portfolios are left as they were. With no destination (empty) nothing happens (not
// ok, no message). After a move the caller reloads the symbol list.
CommandResult transfer_symbol(const std::filesystem::path& portfolio_dir, std::string_view symbol,
                              TransferMode mode, const std::filesystem::path& destination);

} // namespace editing
