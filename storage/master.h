// The portfolio directory file MASTER: 53-byte records, record 0 the header.
//
// Header: bytes 0-1 count (int16 LE) of records that follow, bytes 2-3 a second counter kept in step
// with it, bytes 4-52 preserved. Security record: byte 0 file number, 3 record length, 4 field count,
// 7-22 name, 25-28 / 29-32 first / last date (MBF YYMMDD), 33 periodicity, 36-51 symbol; every other
// byte is preserved. A record with "<DIR>" at bytes 18-22 and a non-blank byte 7 names a nested
// portfolio (its directory name is bytes 7-14, trailing blanks removed).
#pragma once

#include "storage/status.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

constexpr int kMasterRecordSize = 53;
constexpr int kMaxSecurities = 255;
// Nested portfolios are followed at most this deep.
constexpr int kMaxNesting = 32;

struct MasterRecord {
    std::array<std::uint8_t, kMasterRecordSize> bytes{};

    int file_number() const { return bytes[0]; }
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
};

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
// Does the record match the key (trimmed name, or the symbol's first k+1 words for a key of k blanks,
// ignoring letter case)? Texts end at their first NUL byte.
bool master_key_matches(const MasterRecord& record, std::string_view key);

// Looks the key up in the portfolio at `dir` and, depth first, in its nested portfolios. On success
// (0) `record` holds the record with its dates converted to IEEE, and `found_dir` the directory where it
// was found (empty `dir` stays empty at the top level). -8 when no portfolio holds the key, -4 when a
// record could not be read while walking to a nested portfolio, -15 past kMaxNesting levels.
StatusCode master_find(const std::filesystem::path& dir, std::string_view key, MasterRecord& record,
                       std::filesystem::path& found_dir);

// The four rewrites of MASTER. Each writes a complete new copy under a temporary name and renames it
// over MASTER atomically; unused slots after the counted records and every uninterpreted byte survive.

// New symbol (bytes 36-51) and name (bytes 7-22), each cut to 16 characters and blank-padded. MASTER.BAK
// keeps the previous file. 0 on success, 1 on failure (MASTER unchanged).
int master_set_names(const std::filesystem::path& master_path, int file_number, std::string_view symbol,
                     std::string_view name);
// Sets the last date (which != 0) or the first date (which == 0) to 4 MBF bytes. MASTER.BAK as above.
int master_set_date(const std::filesystem::path& master_path, int file_number, const std::uint8_t date_mbf[4],
                    int which);
// Appends a copy of `record` (dates MBF) under the lowest free file number, directly after the counted
// records. 0 on success, 1 on failure, 2 when the portfolio is full (nothing written).
int master_append(const std::filesystem::path& dir, const MasterRecord& record, int& new_file_number);
// Removes the record with that file number; with `delete_files`, also F<n>.DAT, F<n>.DOP and F<n>.BAK.
// 0 on success, 1 on failure or when no record carries the number (nothing changed).
int master_remove(const std::filesystem::path& dir, int file_number, bool delete_files);

// Reads a whole MASTER into memory (header + every complete record present, counted or not).
// Returns false when it cannot be opened or is shorter than a header.
struct MasterImage {
    MasterHeader header;
    std::string trailing;                    // bytes after the last complete record, kept as they are
    std::basic_string<std::uint8_t> records; // every complete 53-byte record after the header
    int records_present() const { return static_cast<int>(records.size() / kMasterRecordSize); }
    MasterRecord record(int index) const;    // 0-based index among the records present
};
bool master_read_image(const std::filesystem::path& master_path, MasterImage& image);
