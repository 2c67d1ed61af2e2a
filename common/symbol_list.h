// The symbol list of a portfolio: one row per MASTER record, symbol and name texts, damaged records,
// and the rules that tie the rows to the header's count.
#pragma once

#include "common/command_result.h"
#include "storage/master.h"
#include "storage/xmaster.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The row texts of a record (master_symbol_text, master_name_text) and the damage test are the data-file
// layer's (storage/master.h).

struct SymbolListing;
class SymbolRows;

// A row of the symbol list: views of the texts of one security the listing holds, valid while the
// listing lives, so that a list of thousands of securities holds no text of its own.
class SymbolRow {
public:
    int record_index = 0; // 0-based position among the records after the header (in XMASTER for its rows)
    bool damaged = false; // the record has no symbol text
    // Column 0: the symbol text, or for a damaged record the name without its padding (the row's key). At
    // least 16 bytes from its first are the listing's to read.
    std::string_view symbol() const { return symbol_; }
    // Column 1: the name text as stored, trailing blanks included.
    std::string_view name() const { return name_; }
    int file_number() const;
    // The record as stored (dates in MBF); a security of XMASTER as xmaster_read gives it, decoded here.
    MasterRecord record() const;

private:
    friend class SymbolRows;
    const SymbolRows* rows_ = nullptr;
    std::uint32_t position_ = 0;
    std::string_view symbol_, name_;
};

// The rows of a symbol list in sorted order: the securities as read (MASTER's records, then XMASTER's
// entries, views of its content) and the order that sorts them, so that sorting moves positions and not
// records.
class SymbolRows {
public:
    class iterator {
    public:
        using difference_type = std::ptrdiff_t;
        using value_type = SymbolRow;
        iterator() = default;
        SymbolRow operator*() const { return rows_->row(*at_); }
        iterator& operator++() {
            ++at_;
            return *this;
        }
        iterator operator++(int) {
            iterator before = *this;
            ++at_;
            return before;
        }
        bool operator==(const iterator& other) const { return at_ == other.at_; }

    private:
        friend class SymbolRows;
        iterator(const SymbolRows* rows, const std::uint32_t* at) : rows_(rows), at_(at) {}
        const SymbolRows* rows_ = nullptr;
        const std::uint32_t* at_ = nullptr;
    };

    std::size_t size() const { return order_.size(); }
    bool empty() const { return order_.empty(); }
    SymbolRow operator[](std::size_t i) const { return row(order_[i]); }
    SymbolRow front() const { return (*this)[0]; }
    SymbolRow back() const { return (*this)[size() - 1]; }
    iterator begin() const { return {this, order_.data()}; }
    iterator end() const { return {this, order_.data() + order_.size()}; }
    void clear() {
        master_.clear();
        xmaster_ = XmasterList{};
        order_.clear();
    }

private:
    friend SymbolListing symbol_list_read(const std::filesystem::path& master_path);
    friend class SymbolRow;
    struct MasterRow {
        MasterRecord record;
        int slot = 0;
    };
    // Positions: MASTER's rows first, then XMASTER's entries.
    std::size_t positions() const { return master_.size() + xmaster_.entries.size(); }
    SymbolRow row(std::uint32_t position) const;
    std::string_view text(std::uint32_t position) const; // SymbolRow::symbol, alone
    MasterRecord record(std::uint32_t position) const;
    int file_number(std::uint32_t position) const;
    std::vector<MasterRow> master_;    // file order
    XmasterList xmaster_;              // file order
    std::vector<std::uint32_t> order_; // positions in sorted order
};

// Ascending by symbol text ignoring letter case (the symbol list's order; equal texts keep their order).
bool symbol_text_less(std::string_view a, std::string_view b);

struct SymbolListing {
    // Failure: "Failure while filling symbols grid" (an error) as the last message. A header count above
    // 255 puts the warning "File has %d symbols.\nWill only display the first %d symbols" first.
    CommandResult result;
    int header_count = 0; // the count as the header states it
    int symbol_count =
        0; // the rows the list is filled for (MASTER's at most 255, and XMASTER's); 0 after a failure
    bool needs_repair = false;
    SymbolRows rows; // sorted; empty after a failure
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

// What a declined repair leaves.
enum class DeclinedRepair {
    Fails,   // "Failure while filling symbols grid" with no rows
    Browses, // the rows as read, each damaged record's name standing in for its symbol
};

// The repair step of a fill, once the rows of `listing` were read from `master_path` (and shown): when a
// record is damaged, asks `confirm_repair` (the repair question; an automatic repair answers yes at
// once), repairs the file and reads the rows again as the records now read. Returns the step's own
// messages: the warning about an EMASTER left as it was, and on failure (a failed repair, a failed
// reading after it, a declined one that `declined` says fails) "Failure while filling symbols grid",
// `listing` then failed with no rows.
CommandResult symbol_list_repair(SymbolListing& listing, const std::filesystem::path& master_path,
                                 const Confirm& confirm_repair, DeclinedRepair declined);

// The whole fill of the symbol list: reads the rows and runs the repair step, a declined repair failing.
SymbolListing symbol_list_fill(const std::filesystem::path& master_path, const Confirm& confirm_repair);
