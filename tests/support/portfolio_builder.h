// Builds MASTER files for tests, including the untidy ones met in real portfolios: counts that disagree
// with the records, unused all-zero slots, NUL padding, blank symbols, directory entries, serial numbers
// in the header, bytes cut off at the end.
#pragma once

#include "storage/master.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

// One security record of MASTER.
struct SecurityEntry {
    int file_number = 1;
    std::string symbol;
    std::string name;
    char periodicity = 'D';
    int fields = 7;
    float first_date = 0.0f; // YYMMDD, stored as MBF
    float last_date = 0.0f;
    bool nul_padded = false; // pad symbol and name with NUL bytes instead of blanks
    // Fill the uninterpreted bytes (1-2, 5-6, 23-24, 34-35, 52) with values derived from the file
    // number, so that a test sees whether a rewrite kept them.
    bool mark_uninterpreted = true;
};

// The 53 bytes of a security record. Texts longer than 16 characters are cut.
// A plain security: the name defaults to the symbol + " INC", dates 31 Dec 1999 to 3 Jan 2000.
SecurityEntry security(int file_number, const std::string& symbol, const std::string& name = "");

MasterRecord master_record(const SecurityEntry& entry);
// A directory entry: `dir_name` padded to 11 characters, then "<DIR>" at name positions 11-15.
MasterRecord master_directory_entry(int file_number, const std::string& dir_name);

class MasterBuilder {
public:
    MasterBuilder& add(const SecurityEntry& entry);
    MasterBuilder& add(const MasterRecord& record);
    MasterBuilder& add_directory(int file_number, const std::string& dir_name);
    // Header counters; by default both equal the number of records added.
    MasterBuilder& count(std::int16_t value);
    MasterBuilder& second_counter(std::int16_t value);
    // Puts a 4-byte serial number into header bytes 49-52 and a recognisable pattern into 4-48.
    MasterBuilder& header_marks(std::uint32_t serial = 0x5E121A17u);
    // Unused slots after the counted records: all zero bytes unless `fill` says otherwise.
    MasterBuilder& unused_slots(int slots, std::uint8_t fill = 0);
    // Bytes after the last slot (a record cut off at the end of the file).
    MasterBuilder& trailing(const std::string& bytes);

    std::string header_bytes() const;
    // The counted records only, as they stand in the file.
    std::string record_bytes() const;
    std::string tail_bytes() const; // unused slots and trailing bytes
    std::string bytes() const;
    // Writes the file as `dir` / `file_name` and returns its path.
    std::filesystem::path write(const std::filesystem::path& dir,
                                const std::string& file_name = "MASTER") const;

private:
    std::vector<MasterRecord> records_;
    std::optional<std::int16_t> count_;
    std::optional<std::int16_t> second_;
    std::string header_tail_ = std::string(49, '\0');
    std::string tail_;
};

// Raw views and edits of a MASTER image held as bytes.
std::string record_as_string(const MasterRecord& record);
std::int16_t image_count(const std::string& image);
std::int16_t image_second_counter(const std::string& image);
void set_image_counters(std::string& image, std::int16_t count, std::int16_t second);
// Record `index` (0 = header) of an image.
std::string image_slot(const std::string& image, int index);

} // namespace testing_support
