// The portfolio directory file MASTER: 53-byte records, record 0 the header.
//
// Header: bytes 0-1 count (int16 LE) of records that follow, bytes 2-3 a second counter kept in step
// with it, bytes 4-52 preserved. Security record: byte 0 file number, 3 record length, 4 field count,
// 7-22 name, 25-28 / 29-32 first / last date (MBF YYMMDD), 33 periodicity, 36-51 symbol; every other
// byte is preserved. A record with "<DIR>" at bytes 18-22 and a non-blank byte 7 names a nested
// portfolio (its directory name is bytes 7-14, trailing blanks removed).
#pragma once

#include "storage/encoding.h"
#include "storage/status.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

constexpr int kMasterRecordSize = 53;
constexpr int kMaxSecurities = 255;
// Nested portfolios are followed at most this deep.
constexpr int kMaxNesting = 32;

struct MasterRecord {
    std::array<std::uint8_t, kMasterRecordSize> bytes{};
    // The number of a security listed in XMASTER (256 and above, quotes in F<n>.MWD), which byte 0
    // cannot hold; 0 for a MASTER record.
    int extended_number = 0;

    int file_number() const { return extended_number != 0 ? extended_number : bytes[0]; }
    bool in_xmaster() const { return extended_number != 0; }
    int record_length() const { return bytes[3]; }
    int field_count() const { return bytes[4]; }
    char periodicity() const { return static_cast<char>(bytes[33]); }
    // The 16 stored name / symbol bytes.
    std::string name_bytes() const { return std::string(reinterpret_cast<const char*>(&bytes[7]), 16); }
    std::string symbol_bytes() const { return std::string(reinterpret_cast<const char*>(&bytes[36]), 16); }
    // The first (bytes 25-28) and last (29-32) dates as IEEE singles: valid only in a record handed out
    // by master_find, whose dates are already converted.
    float first_date_ieee() const;
    float last_date_ieee() const;
    // Converts both date fields between the stored MBF form and IEEE, in place.
    void dates_to_ieee();
    void dates_to_mbf();
    // The first and last dates as stored (MBF YYMMDD), as day numbers.
    DayNumber stored_first_date() const;
    DayNumber stored_last_date() const;

    void set_file_number(int number);
    void set_record_length(int length);
    void set_field_count(int count);
    void set_periodicity(char letter);
    // The name (bytes 7-22) and symbol (36-51): cut at a NUL and at 16 characters, padded with blanks.
    void set_name(std::string_view name);
    void set_symbol(std::string_view symbol);
    // Both dates, stored as MBF YYMMDD; day 0 stores 0.
    void set_stored_dates(DayNumber first, DayNumber last);
};

// The texts of a record as the symbol list shows them. The symbol text: the 16 symbol bytes up to the
// first byte of value 32 or less or 128 or more. The name text: the 16 name bytes as stored, trailing
// blanks included, ended early by a NUL.
std::string master_symbol_text(const MasterRecord& record);
std::string master_name_text(const MasterRecord& record);
// The same two texts as views of the record's bytes, valid while the record lives.
std::string_view master_symbol_view(const MasterRecord& record);
std::string_view master_name_view(const MasterRecord& record);
// A record is damaged when its symbol text is empty; a reference to a nested portfolio never is.
bool master_record_damaged(const MasterRecord& record);
// An unused slot: all 53 bytes zero.
bool master_slot_unused(const MasterRecord& record);
// The repair of a damaged record: the name bytes up to a NUL go over the symbol bytes, and zero bytes
// fill the rest of the symbol.
void master_put_name_as_symbol(MasterRecord& record);
// A record that refers to the nested portfolio in the subdirectory `dir_name` (at most 8 characters).
MasterRecord master_directory_entry(std::string_view dir_name);

// Header fields of a MASTER image.
struct MasterHeader {
    std::array<std::uint8_t, kMasterRecordSize> bytes{};
    std::int16_t count() const;
    std::int16_t second_counter() const;
    void set_count(std::int16_t value);
    void set_second_counter(std::int16_t value);
};

// True when the record is a reference to a nested portfolio; `dir_name` receives its directory name.
bool master_is_directory_entry(const MasterRecord& record, std::string* dir_name = nullptr);
// Does the record match the key: its name (bytes 7-22, trailing blanks removed) or the first k+1 words
// of its symbol field (bytes 36-51) for a key holding k blanks, ignoring letter case? Both texts end at
// their first NUL byte. Trailing blanks of the key are not part of it; an empty key matches nothing.
bool master_key_matches(const MasterRecord& record, std::string_view key);

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

struct EmasterRecord;
struct MasterImage;

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

// A whole MASTER file in memory: the header, every complete 53-byte record present (counted or not)
// and any bytes after the last complete record, so that a rewrite can keep every byte it does not
// change.
struct MasterImage {
    MasterHeader header;
    std::vector<std::uint8_t> records;  // every complete record after the header, in file order
    std::vector<std::uint8_t> trailing; // a partial record at the end of the file, kept as it is
    int records_present() const { return static_cast<int>(records.size() / kMasterRecordSize); }
    // The records that the header's count covers: the count, clamped to 0..records_present().
    int records_counted() const;
    // True when the count is negative or larger than the records present.
    bool count_damaged() const;
    MasterRecord record(int index) const; // 0-based index among the records present
    void set_record(int index, const MasterRecord& record);
    void append_record(const MasterRecord& record); // after every record present
    std::vector<std::uint8_t> bytes() const;        // the complete file image
};
// Reads a whole MASTER. False when it cannot be opened or read, is shorter than a header, or is larger
// than any MASTER can sensibly be (kMaxMasterFileBytes).
constexpr std::size_t kMaxMasterFileBytes = std::size_t{16} << 20;
bool master_read_image(const std::filesystem::path& master_path, MasterImage& image);
// The same for a path that must name a regular file: a directory, a FIFO or a device is refused before
// it is opened, since reading one can block or never end.
bool master_read_regular_image(const std::filesystem::path& master_path, MasterImage& image);
// The lowest file number 1..255 that no counted record uses, or 0 when all are taken.
int lowest_free_number(const MasterImage& image);

// Puts `after` in place of the MASTER at `master_path` (whose content was `before`) through MASTER +
// `temp_suffix`, keeping MASTER.BAK first when `backup` is set, with EMASTER following as described
// above. True when both are in place; on failure both files are as they were.
bool master_replace(const std::filesystem::path& master_path, const MasterImage& before,
                    const MasterImage& after, std::string_view temp_suffix, bool backup,
                    const EmasterRecord* added = nullptr, std::string* emaster_note = nullptr);
