// Repair of a MASTER file whose records have blank symbols: each damaged record gets its name as symbol.
#pragma once

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
