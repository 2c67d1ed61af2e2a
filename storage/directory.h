// The three directory files of a portfolio together: MASTER (storage/master.h), EMASTER
// (storage/emaster.h) and XMASTER (storage/xmaster.h). What crosses them lives here: the look-up of a
// security among MASTER's and XMASTER's securities and the nested portfolios, the changes of MASTER that
// EMASTER follows, a security's dates set in whichever file lists it, and EMASTER read or healed against
// the MASTER beside it.
#pragma once

#include "storage/emaster.h"
#include "storage/master.h"
#include "storage/status.h"
#include "storage/xmaster.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

// Looks the key up in the portfolio at `dir` and, depth first, in its nested portfolios: all securities
// of a level first (those of MASTER, then those of a usable XMASTER), then each directory entry in turn. Only
// the counted records are read. On success (0) `record` holds the record with its dates converted to IEEE,
// and `found_dir` the directory where it was found (`dir` itself at the top level, so an empty `dir` stays
// empty; below it `dir` / the nested directory names as stored on disk). A nested MASTER that is missing is
// skipped, and a directory is never entered twice. -8 when no portfolio holds the key (a missing MASTER at
// `dir` included), -4 when a MASTER could not be read, -15 when the nested portfolios go deeper than
// kMaxNesting levels.
StatusCode master_find(const std::filesystem::path& dir, std::string_view key, MasterRecord& record,
                       std::filesystem::path& found_dir);

// The four rewrites of MASTER. Each writes a complete new copy under a temporary name (MASTER.NEW, or
// MASTER.~NU for append and remove, in the letter case the portfolio uses) and renames it over MASTER in
// one atomic step; on any failure the temporary file is removed and MASTER stays as it was. Header bytes
// 4-52, every uninterpreted record byte, the unused slots after the counted records and a partial
// record at the end of the file all survive byte for byte. Directory entries are never changed.
// A usable EMASTER beside MASTER follows every change record for record (storage/emaster.h), through
// EMASTER.NEW or EMASTER.~NU and, where MASTER.BAK is kept, EMASTER.BAK; it is written first and put
// back when MASTER cannot follow. An EMASTER that cannot be read fails the rewrite before anything is
// written. One out of step with MASTER is rebuilt from it first (emaster_rebuild, EMASTER.BAK kept).
// An unusable one is never written. `emaster_note`, when given, receives the message that says which.
// master_append gives the added security `extended` as its EMASTER record (its file number set), or one
// built from `record`.

// New symbol (bytes 36-51) and name (bytes 7-22), each cut at a NUL and at 16 characters and padded
// with blanks, in every counted security record carrying the file number. MASTER.BAK keeps the previous
// file. 0 on success (and nothing written, MASTER.BAK kept, when the records already hold the change);
// 1 on failure, for a damaged count (negative, or more than the records present), or when no counted
// security record carries the number (nothing changed). `master_path` is found ignoring letter case
// when the exact name is absent.
int master_set_names(const std::filesystem::path& master_path, int file_number, std::string_view symbol,
                     std::string_view name, std::string* emaster_note = nullptr);
// Sets the last date (which != 0) or the first date (which == 0) to 4 MBF bytes; results and MASTER.BAK
// as for master_set_names. A number of 256 or more sets the date in XMASTER (xmaster_set_date).
int master_set_date(const std::filesystem::path& master_path, int file_number, const std::uint8_t date_mbf[4],
                    int which, std::string* emaster_note = nullptr);
// Both dates at once (4 MBF bytes each), in one rewrite; results as master_set_date.
int master_set_dates(const std::filesystem::path& master_path, int file_number,
                     const std::uint8_t first_mbf[4], const std::uint8_t last_mbf[4],
                     std::string* emaster_note = nullptr);
// Appends a copy of `record` (dates MBF) under the lowest number 1..255 that no counted record uses,
// directly after the counted records and before any unused slots; both header counters rise by one.
// 0 on success (`new_file_number` set); 2 when the portfolio is full: count 255 or more, or every number
// taken (nothing written; the second counter is raised but never read); 1 on any other failure,
// including a damaged count
// (negative, or more than the records present), with nothing changed and `new_file_number` 0.
int master_append(const std::filesystem::path& dir, const MasterRecord& record, int& new_file_number,
                  const EmasterRecord* extended = nullptr, std::string* emaster_note = nullptr);
// Removes the first counted security record carrying the file number; both header counters fall by one.
// With `delete_files`, F<n>.DAT, F<n>.DOP and F<n>.BAK (any letter case) are deleted once the new MASTER
// is in place; no other file is touched. 0 on success; 1 on failure, for a damaged count, or when no
// record carries the number (nothing changed); 3 when the record is gone but a file could not be deleted.
int master_remove(const std::filesystem::path& dir, int file_number, bool delete_files,
                  std::string* emaster_note = nullptr);

// Puts `after` in place of the MASTER at `master_path` (whose content was `before`) through MASTER +
// `temp_suffix`, keeping MASTER.BAK first when `backup` is set, with EMASTER following as described
// above. True when both are in place; on failure both files are as they were.
bool master_replace(const std::filesystem::path& master_path, const MasterImage& before,
                    const MasterImage& after, std::string_view temp_suffix, bool backup,
                    const EmasterRecord* added = nullptr, std::string* emaster_note = nullptr);

// The record of the security with that file number in the portfolio's usable EMASTER: Usable when found
// (`record` set), Unreadable when MASTER or EMASTER could not be read, else Absent.
EmasterState emaster_find(const std::filesystem::path& dir, int file_number, EmasterRecord& record);

// Before a command changes the portfolio at `dir`: an out-of-step EMASTER is rebuilt from MASTER, the
// previous file kept as EMASTER.BAK (both through EMASTER.NEW). 1 when it was rebuilt (`message` then
// says so), 0 when there was nothing to rebuild (in step, absent, unusable), -1 when MASTER or EMASTER
// could not be read or the rebuilt file could not be put in place (errno set; EMASTER is as it was).
int emaster_heal(const std::filesystem::path& dir, std::string* message = nullptr);
