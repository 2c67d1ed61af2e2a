// Export of one security's quotes to a delimited text file, and of a whole portfolio, one file each.
#pragma once

#include "common/command_result.h"
#include "storage/fileops.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// The six value columns, in file order.
enum ExportColumn : int { kExportOpen = 0, kExportHigh, kExportLow, kExportClose, kExportVol, kExportOi };
constexpr int kExportColumns = 6;

struct ExportOptions {
    bool omit[kExportColumns] = {};
    int delimiter = 0; // 0 blank, 1 comma, 2 tab; any other value a blank
    bool newest_first = false;
    bool title = false;
    bool omit_time = false;      // leave out the time column of a series whose quotes carry a time of day
    bool ticker = false;         // a first column holding the security's symbol (title "TICKER"), in double
                                 // quotes where it holds the delimiter
    bool full_precision = false; // each value as the shortest text that reads back to the same number,
                                 // instead of 4 decimals for prices and 2 for volume and open interest
};

// The delimiter character for the setting's value.
char export_delimiter_char(int delimiter);

// The rule for every text result (an export, the split-search lines): it never replaces a file of a
// portfolio (MASTER, a quote or field file, their backups and temporary copies; any letter case, any
// spelling of the path) nor anything that is not a regular file (a link, a directory, a device, a pipe).
// Success when `file` may be written; otherwise the refusal, and nothing is touched.
CommandResult check_text_target(const std::filesystem::path& file);

// Writes every bar of the security `symbol` of the portfolio at `dir` to `file`: the date as listed,
// for a series with a TIME field its time (HH:MM:SS, to the second; title "Time"), then OPEN, HIGH, LOW,
// CLOSE ("%.4f") and VOL, OI ("%.2f") unless omitted, separated by the delimiter; a value below 0 keeps
// the text of the row before ("N/A" before the first value). A title row first when asked. The file is
// written as a complete new copy that replaces an existing file at once, so a failed export leaves no partial
// file and an existing one as it was. Failure: "file export error" when the file cannot be written; no
// message but the storage status when the security cannot be read (or its file holds fewer bars than its
// header announces). The caller saves the export's choices (export_settings_entries) before calling, as a
// started export keeps them even when it fails. A file that check_text_target refuses is refused with its
// message.
CommandResult export_quotes(const std::filesystem::path& dir, std::string_view symbol,
                            const std::filesystem::path& file, const ExportOptions& options);
// The same rows written to an open stream (the command-line tool's standard output).
CommandResult export_quotes_to(const std::filesystem::path& dir, std::string_view symbol,
                               fileops::BufferedWriter& out, const ExportOptions& options);

// The "XportSel" settings for a started export: "Starter", "OmitOpen", "OmitHigh", "OmitLow", "OmitClose",
// "OmitVol", "OmitOI", "Delim", "Newest", "Title".
std::vector<LogEntry> export_settings_entries(const std::string& path_text, const ExportOptions& options);

// The question asked before an existing file is replaced.
std::string export_replace_question(const std::string& path_text);

// A symbol made safe as a file name (without extension): letters, digits, '_', '-' and '.' are kept,
// every other byte becomes '_', a leading '.' or '-' becomes '_', an empty text becomes "_", and a name
// reserved by Windows (CON, NUL, COM1, ...) gets a leading '_'. The result never contains '~'.
std::string export_safe_name(std::string_view symbol);

struct ExportTarget {
    std::string symbol;
    int file_number = 0;
};

// File names for a whole portfolio, one per target, in the same order: the safe name and ".txt"; where
// two names would be equal ignoring letter case, each of them gets "~" and its file number before
// ".txt" (and "~" and its position too, should file numbers repeat in a damaged MASTER).
std::vector<std::string> export_all_file_names(const std::vector<ExportTarget>& targets);

// Exports every security of the portfolio's symbol list into `out_dir`, named by export_all_file_names.
// Goes on after a failed security; the result lists one message per failure ("<symbol>: <reason>") and
// is ok only when every file was written. Each file is all or nothing (a complete copy under its
// temporary name, then a rename); the copies are synced together at the end of the batch
// (fileops::ReplaceBatch), so a batch costs little more than writing its text.
CommandResult export_portfolio(const std::filesystem::path& dir, const std::filesystem::path& out_dir,
                               const ExportOptions& options);
