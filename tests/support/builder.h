// The one fixture builder: MASTER files, quote files and whole portfolios, including the untidy shapes
// real portfolios hold (counts that disagree with the records, unused all-zero slots, NUL padding, blank
// symbols, nested entries, lower-case names, missing F<n>.DOP, stray header bytes, bytes cut off).
#pragma once

#include "storage/encoding.h"
#include "storage/master.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

// ---- MASTER records ---------------------------------------------------------------------------------

struct SecurityEntry {
    int file_number = 1;
    std::string symbol;
    std::string name;
    char periodicity = 'D';
    int fields = 7;
    std::optional<int> record_length; // 4 x fields unless a damaged shape is wanted
    float first_date = 0.0f;          // YYMMDD, stored as MBF
    float last_date = 0.0f;
    bool nul_padded = false; // pad symbol and name with NUL bytes instead of blanks
    // Fill the uninterpreted bytes (1-2, 5-6, 23-24, 34-35, 52) with values derived from the file
    // number, so that a test sees whether a rewrite kept them.
    bool mark_uninterpreted = true;
};

// A plain security: the name defaults to the symbol + " INC", dates 31 Dec 1999 to 3 Jan 2000.
SecurityEntry security(int file_number, const std::string& symbol, const std::string& name = "");
MasterRecord master_record(const SecurityEntry& entry); // texts longer than 16 characters are cut
// A nested-portfolio entry: `dir_name` padded to 11 characters, then "<DIR>".
MasterRecord master_directory_entry(int file_number, const std::string& dir_name);

class MasterBuilder {
public:
    MasterBuilder& add(const SecurityEntry& entry) { return add(master_record(entry)); }
    MasterBuilder& add(const MasterRecord& record);
    MasterBuilder& add_directory(int file_number, const std::string& dir_name) {
        return add(master_directory_entry(file_number, dir_name));
    }
    // Header counters; by default both equal the number of records added.
    MasterBuilder& count(std::int16_t value);
    MasterBuilder& second_counter(std::int16_t value);
    // A 4-byte serial number in header bytes 49-52 and a recognisable pattern in 4-48.
    MasterBuilder& header_marks();
    // Unused slots after the counted records (all zero unless `fill` says otherwise), then any bytes.
    MasterBuilder& unused_slots(int slots, std::uint8_t fill = 0);
    MasterBuilder& trailing(const std::string& bytes);

    std::string header_bytes() const;
    std::string record_bytes() const; // the records added, as they stand in the file
    std::string tail_bytes() const { return tail_; }
    std::string bytes() const { return header_bytes() + record_bytes() + tail_; }
    std::filesystem::path write(const std::filesystem::path& dir,
                                const std::string& file_name = "MASTER") const;

private:
    std::vector<MasterRecord> records_;
    std::optional<std::int16_t> count_, second_;
    std::string header_tail_ = std::string(49, '\0');
    std::string tail_;
};

// Views and edits of a MASTER image held as bytes; slot 0 is the header.
std::string record_as_string(const MasterRecord& record);
std::int16_t image_count(const std::string& image);
std::int16_t image_second_counter(const std::string& image);
void set_image_counters(std::string& image, std::int16_t count, std::int16_t second);
std::string image_slot(const std::string& image, int slot);
inline std::size_t slot_offset(int slot) {
    return static_cast<std::size_t>(slot) * kMasterRecordSize;
}
void put_text16(std::string& image, std::size_t at, const std::string& text); // blank-padded
void put_mbf_date(std::string& image, std::size_t at, DayNumber day);

// ---- Quote files ------------------------------------------------------------------------------------

struct SeriesBar {
    DayNumber date = 0;
    PackedTime time = 0;
    float open = 0, high = 0, low = 0, close = 0, vol = 0, oi = 0;
};

// One extra line of F<n>.DOP, written before the field line with the given index (or at the end).
struct DopExtraLine {
    std::size_t before_field = 0;
    std::string text;
};

struct SeriesSpec {
    int file_number = 1;
    std::string symbol = "IBM";
    std::string name = "INTL BUS MACH";
    char periodicity = 'D';
    // The fields of a record in their order: DATE, TIME, OPEN, HIGH, LOW, CLOSE, VOL, OI, or any other
    // text for a field no name covers (filler values, left out of F<n>.DOP, after every named field).
    std::vector<std::string> fields = {"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL", "OI"};
    bool write_dop = true;
    bool dop_crlf = true;
    bool dop_end_mark = false; // a trailing 0x1A
    std::vector<DopExtraLine> dop_extra;
    int input_code = 2; // every field line of F<n>.DOP carries these codes
    int display_code = 4;
    bool lower_case = false; // f1.dat, f1.dop
    // Header bytes 0-1 and 4.. (R sits at bytes 2-3): blanks or stray bytes, as old writers leave them.
    std::uint8_t header_fill = ' ';
    std::optional<std::int16_t> last_record; // R as stored, when it should lie
    std::string trailing;                    // bytes after the last bar
    // MASTER record overrides, to describe damaged shapes.
    std::optional<int> record_length;
    std::optional<int> field_count;
};

std::vector<std::string> intraday_fields(); // DATE, TIME, OPEN, HIGH, LOW, CLOSE, VOL

std::string dat_bytes(const SeriesSpec& spec, const std::vector<SeriesBar>& bars);
std::string dop_text(const SeriesSpec& spec);
// Writes F<n>.DAT and (when asked) F<n>.DOP into `dir`.
void write_security(const std::filesystem::path& dir, const SeriesSpec& spec,
                    const std::vector<SeriesBar>& bars);
// The MASTER record of the security: dates those of its first and last bar (0 without bars).
MasterRecord series_master_record(const SeriesSpec& spec, const std::vector<SeriesBar>& bars);
// MASTER ("master" when lower case) with the records counted, then `spare_slots` all-zero slots.
void write_series_master(const std::filesystem::path& dir, const std::vector<MasterRecord>& records,
                         bool lower_case = false, int spare_slots = 0);
// One security with its MASTER (two spare slots), in one step.
void write_series_portfolio(const std::filesystem::path& dir, const SeriesSpec& spec,
                            const std::vector<SeriesBar>& bars);

// Ascending weekday bars with prices MBF holds exactly (multiples of 1/64) and whole volumes. With
// `with_time`, several bars a day at different times.
std::vector<SeriesBar> random_series_bars(unsigned seed, int count, bool with_time = false,
                                          DayNumber first = 9500);
// Bars on the given days with values a quote file holds exactly, rising by 1 a bar.
std::vector<SeriesBar> bars_on(const std::vector<DayNumber>& days);
// The value a bar read back holds in `field` (kFieldOpen..kFieldOi): -1.0 when the layout lacks it.
float expected_bar_value(const SeriesBar& bar, int field, bool present);

// ---- Portfolios -------------------------------------------------------------------------------------

struct Security {
    SeriesSpec spec;
    std::vector<SeriesBar> bars;
};
Security make_security(int file_number, const std::string& symbol, const std::string& name,
                       std::vector<SeriesBar> bars, bool lower_case = false);

// The securities' files, a MASTER listing them in the given order (then `extra` records and two unused
// all-zero slots), and EMASTER and XMASTER files that no command may touch. Names follow `lower_case`.
void write_portfolio(const std::filesystem::path& dir, const std::vector<Security>& securities,
                     bool lower_case = false, const std::vector<MasterRecord>& extra = {});

} // namespace testing_support
