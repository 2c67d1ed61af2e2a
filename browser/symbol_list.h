// The symbol list of a portfolio: one row per MASTER record, symbol and name texts, damaged records,
// and the rules that tie the rows to the header's count.
#pragma once

#include "common/command_result.h"
#include "storage/master.h"

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The row texts of a record (master_symbol_text, master_name_text) and the damage test are the data-file
// layer's (storage/master.h).

struct SymbolRow {
    std::string symbol; // column 0: the symbol text, or for a damaged record the name without its padding
    std::string name;   // column 1
    bool damaged = false;
    int record_index = 0; // 0-based position among the records after the header (in XMASTER for its rows)
    MasterRecord record;  // the record as stored (dates in MBF)
};

// Ascending by symbol text ignoring letter case; equal texts keep their file order.
void sort_symbol_rows(std::vector<SymbolRow>& rows);
bool symbol_text_less(std::string_view a, std::string_view b);

struct SymbolListing {
    // Failure: "Failure while filling symbols grid" (an error) as the last message. A header count above
    // 255 puts the warning "File has %d symbols.\nWill only display the first %d symbols" first.
    CommandResult result;
    int header_count = 0; // the count as the header states it
    int symbol_count =
        0; // the rows the list is filled for (MASTER's at most 255, and XMASTER's); 0 after a failure
    bool needs_repair = false;
    std::vector<SymbolRow> rows; // sorted; empty after a failure
    // After a failure, what is wrong with the file in plain words: it cannot be read, or it is damaged
    // (its count does not match its records).
    std::string problem;
    // When the portfolio has an XMASTER that cannot be used, why (xmaster_read); the rows then hold
    // MASTER's securities alone, and xmaster_notice says so.
    std::string xmaster_unusable;
};

// The line that says the XMASTER of the portfolio at `dir` could not be read, and why; empty when it
// has none or it is usable. A command that would write XMASTER refuses with it.
std::string xmaster_notice(const std::filesystem::path& dir);
std::string xmaster_notice(const std::filesystem::path& dir, const std::string& reason);

// Reads the rows of the MASTER file at `master_path`. Unused all-zero slots after the counted records
// are not records. A damaged record only sets `needs_repair`: the caller decides about the repair.
SymbolListing symbol_list_read(const std::filesystem::path& master_path);

// A command that writes MASTER first refuses a file that the symbol list calls damaged, with the
// listing's problem text as its message; success when the file can be listed.
CommandResult check_master_writable(const std::filesystem::path& master_path);

// The question asked before a damaged MASTER is repaired.
std::string repair_question_text(const std::filesystem::path& master_path);

// The whole fill of the symbol list: reads the rows and, when a record is damaged, asks `confirm_repair`
// (the repair question; an automatic repair answers yes at once) and repairs the file. A declined or
// failed repair ends in "Failure while filling symbols grid" with no rows.
SymbolListing symbol_list_fill(const std::filesystem::path& master_path, const Confirm& confirm_repair);
