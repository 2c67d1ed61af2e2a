// XMASTER, the directory file of securities numbered 256 and above, whose quotes are in F<n>.MWD (the
// record format of F<n>.DAT). A 150-byte header (magic bytes 0x5D 0xFE 'X' 'M', the count at 10-11 and
// again at 14-15, the next free number at 18-19), then one 150-byte record per security: 1-14 symbol
// (NUL-terminated), 16-60 name (NUL-terminated), 62 periodicity, 65-66 file number, 70 field bitset,
// 108-111 / 116-119 first / last date as the integer YYYYMMDD.
#pragma once

#include "storage/dates.h"
#include "storage/fileops.h"
#include "storage/master_record.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

constexpr int kXmasterRecordSize = 150;
constexpr int kFirstXmasterNumber = 256;

// A security of XMASTER as the rest of the system sees one of MASTER: a MasterRecord (symbol and name
// cut to 16 characters, field count and record length from the field bitset, dates as MBF YYMMDD) with
// the file number in `extended_number`, and the name in full.
struct XmasterSecurity {
    MasterRecord record;
    std::string long_name;
    int index = 0; // 0-based position in the file
};

// The securities of the portfolio's XMASTER. Empty when there is none, or when it is unusable: wrong
// magic bytes, counts that disagree with each other or with its size, no regular file, or a read that
// failed; `unusable`, when given, then receives why in plain words ("its two counts disagree ...").
// A record whose number is below 256 or whose bitset names no field is left out.
std::vector<XmasterSecurity> xmaster_read(const std::filesystem::path& dir, std::string* unusable = nullptr);

// The securities of XMASTER as the symbol list shows them, for a reader of thousands: taken straight from
// the bytes of the content read once, with no MasterRecord built unless one is asked for.
struct XmasterListEntry {
    std::uint32_t offset = 0; // where the security's record begins in the content
    int index = 0;            // 0-based position in the file
    std::uint16_t number = 0; // the file number
    // The symbol text as the security's MasterRecord shows it (master_symbol_view): the first
    // `symbol_length` of the 16 bytes from the record's symbol field, kept here so that a reader of the
    // list goes through it in order and never back to the content.
    std::uint8_t symbol_length = 0;
    std::array<char, kMasterTextLength> symbol{};
    // The name as the MasterRecord holds it: its first 16 characters, padded with blanks.
    std::array<char, kMasterTextLength> name{};
};
struct XmasterList {
    fileops::FileContent content; // XMASTER as read
    std::vector<XmasterListEntry> entries;

    // Views of the entry, each with 16 readable bytes from its first.
    static std::string_view symbol(const XmasterListEntry& entry) {
        return {entry.symbol.data(), entry.symbol_length};
    }
    static std::string_view name(const XmasterListEntry& entry) {
        return {entry.name.data(), entry.name.size()};
    }
    // The security as xmaster_read gives it, decoded when asked.
    MasterRecord record(const XmasterListEntry& entry) const;
};
// Reads the securities of the portfolio's XMASTER into `out` (replacing what it held): none when there is
// no usable XMASTER (`unusable`, when given, then says why), and the same securities as xmaster_read.
void xmaster_read_list(const std::filesystem::path& dir, XmasterList& out, std::string* unusable = nullptr);

// The rewrites of XMASTER for the security with that file number, each a complete new copy put in place
// in one atomic step: XMASTER.NEW with the previous file kept as XMASTER.BAK for the names and dates,
// XMASTER.~NU for a removal. Every byte not named is kept. 0 on success; 1 on failure, when the file is
// unusable or no record carries the number (nothing changed); 3 when the record is gone but a file could
// not be deleted.
// The symbol (cut to 13 characters) and the name (cut to 44).
int xmaster_set_names(const std::filesystem::path& dir, int file_number, std::string_view symbol,
                      std::string_view name);
// The first (which == 0) or last date from 4 MBF bytes of YYMMDD, stored as the integer YYYYMMDD.
int xmaster_set_date(const std::filesystem::path& dir, int file_number, const std::uint8_t date_mbf[4],
                     int which);
// Both dates in one rewrite.
int xmaster_set_dates(const std::filesystem::path& dir, int file_number, const std::uint8_t first_mbf[4],
                      const std::uint8_t last_mbf[4]);
// Removes the record, both counts falling by one; with `delete_files`, F<n>.MWD, F<n>.DOP and F<n>.BAK
// go once the new XMASTER is in place.
int xmaster_remove(const std::filesystem::path& dir, int file_number, bool delete_files);

// A security to add to XMASTER.
struct XmasterNew {
    int number = 0;     // 256 or more, used by no record
    std::string symbol; // up to 14 characters
    std::string name;   // up to 44 characters
    char periodicity = 'D';
    std::uint8_t field_bits = 0; // as in EMASTER
    DayNumber first = 0, last = 0;
};
// The number a new security of XMASTER takes: the lowest from 256 that no record uses (256 without an
// XMASTER); 0 when the XMASTER there is unusable or cannot be read, or holds 65535 records.
int xmaster_free_number(const std::filesystem::path& dir);
// Adds the record after the others (both counts rise by one, the next free number at 18-19 stays above
// every number in use), through XMASTER.~NU; a portfolio without XMASTER gets one, holding this record
// alone. 0 on success; 1 on failure, when the XMASTER there is unusable, or when the number is taken
// or below 256 (nothing changed).
int xmaster_append(const std::filesystem::path& dir, const XmasterNew& security);
