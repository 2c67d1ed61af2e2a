// Repair of a MASTER file whose records have blank symbols: each damaged record gets its name as symbol.
#pragma once

#include "common/command_result.h"

#include <filesystem>
#include <string>

// Keeps the MASTER file at `master_path` as MASTER.BAK, then rewrites it through a complete new copy,
// MASTER.NEW, which replaces it in one atomic step. In every damaged record (empty symbol text) the 16 name
// bytes (7-22) are copied over the symbol bytes (36-51); a name ended early by a NUL byte leaves zero
// bytes in the rest of the symbol. The header, undamaged records, unused all-zero slots and any bytes
// after the last whole record are kept as they are. Returns 1 when the repaired file is in place, 0
// otherwise (the file is then exactly as it was). The caller asks the user first.
// A usable EMASTER gets the repaired symbols too; `emaster_note` receives the message when an unusable
// one was left as it was.
int RepairMaster(const std::filesystem::path& master_path, std::string* emaster_note = nullptr);

// Before a command changes the portfolio at `dir`: an EMASTER out of step with MASTER is rebuilt from it,
// EMASTER.BAK keeping the previous file (emaster_heal, storage/directory.h). True when the command may go
// on, `notes` then holding the message that says the file was rebuilt, if it was; false when it could not
// be rebuilt, the failure then added to `notes` (an error, with errno) and `ok` cleared: the command
// changes nothing.
bool heal_before_change(const std::filesystem::path& dir, CommandResult& notes);

// `result` with the messages of `notes` (a rebuild before the change) in front of its own.
CommandResult with_notes(const CommandResult& notes, CommandResult result);

// The question asked before an EMASTER out of step with MASTER is rebuilt, naming the differences.
std::string rebuild_question_text(const std::filesystem::path& dir);

// How the EMASTER of the portfolio at `dir` disagrees with its MASTER ("F3 symbol, F7 only in EMASTER"),
// which a command would rebuild before its change; empty when it is in step, absent or unusable.
std::string emaster_disagreement(const std::filesystem::path& dir);
