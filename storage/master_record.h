// The records of the portfolio directory file MASTER as values: 53 bytes each, record 0 the header.
//
// Header: bytes 0-1 count (int16 LE) of records that follow, bytes 2-3 a second counter kept in step
// with it, bytes 4-52 preserved. Security record: byte 0 file number, 3 record length, 4 field count,
// 7-22 name, 25-28 / 29-32 first / last date (MBF YYMMDD), 33 periodicity, 36-51 symbol; every other
// byte is preserved. A record with "<DIR>" at bytes 18-22 and a non-blank byte 7 names a nested
// portfolio (its directory name is bytes 7-14, trailing blanks removed).
//
// Plain values and their texts, with no file access: MASTER (storage/master.h), EMASTER and XMASTER
// (which describe their securities as these records) and the module that keeps the three in step
// (storage/directory.h) share them.
#pragma once

#include "storage/dates.h"
#include "storage/mbf.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

constexpr int kMasterRecordSize = 53;
constexpr int kMaxSecurities = 255;
// Nested portfolios are followed at most this deep.
constexpr int kMaxNesting = 32;
// Where a security record keeps its fields.
constexpr int kMasterFileNumberOffset = 0;
constexpr int kMasterNameOffset = 7;
constexpr int kMasterFirstDateOffset = 25;
constexpr int kMasterLastDateOffset = 29;
constexpr int kMasterSymbolOffset = 36;
constexpr int kMasterTextLength = 16;

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
// The bytes of a word that end the symbol text (a byte of 32 or less, or of 128 or more), each marked by
// its high bit: the low seven bits plus 95 reach 128 from 33 on, and no carry crosses a byte.
inline std::uint64_t master_symbol_ends(std::uint64_t word) {
    constexpr std::uint64_t kOnes = 0x0101010101010101u, kHigh = 0x8080808080808080u;
    const std::uint64_t from_33 = (word & ~kHigh) + (0x80 - 33) * kOnes;
    return (~from_33 | word) & kHigh;
}
// The length of the symbol text that begins at `field` (what master_symbol_view takes), at most `limit`
// (16 or less) bytes; the 16 bytes from `field` must be readable. Eight bytes at a time: a reader of
// thousands of records (XMASTER's) calls it for each.
inline std::size_t master_symbol_length(const std::uint8_t* field, std::size_t limit) {
    std::size_t length = 16;
    if (const std::uint64_t ends = master_symbol_ends(load_le64(field)); ends != 0)
        length = static_cast<std::size_t>(std::countr_zero(ends)) / 8;
    else if (const std::uint64_t more = master_symbol_ends(load_le64(field + 8)); more != 0)
        length = 8 + static_cast<std::size_t>(std::countr_zero(more)) / 8;
    return length < limit ? length : limit;
}
// A 16-byte text field (the name at kMasterNameOffset, the symbol at kMasterSymbolOffset) as stored:
// like a C string it ends at its first NUL byte.
std::string_view master_field_view(const MasterRecord& record, int offset);
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
// The lowest file number 1..255 that no counted record uses, or 0 when all are taken.
int lowest_free_number(const MasterImage& image);
