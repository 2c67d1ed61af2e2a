// Writes securities of any record layout, as real portfolios hold them, from a list of bars.
#pragma once

#include "storage/encoding.h"
#include "storage/master.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

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
    // text for a field no name covers. Such a field holds filler values and is left out of F<n>.DOP,
    // so it must come after every named field.
    std::vector<std::string> fields = {"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL", "OI"};
    bool write_dop = true;
    bool dop_crlf = true;
    bool dop_end_mark = false; // a trailing 0x1A
    std::vector<DopExtraLine> dop_extra;
    int input_code = 2; // every field line of F<n>.DOP carries these codes
    int display_code = 4;
    bool lower_case = false; // f1.dat, f1.dop
    // Header bytes 0-1 and 4.. (R sits at bytes 2-3): blanks and stray bytes, as old writers leave them.
    std::uint8_t header_fill = ' ';
    std::optional<std::int16_t> last_record; // R as stored, when it should lie
    std::string trailing;                    // bytes after the last bar
    // MASTER record overrides, to describe damaged shapes.
    std::optional<int> record_length;
    std::optional<int> field_count;
};

std::vector<std::string> daily_fields();    // DATE, OPEN, HIGH, LOW, CLOSE, VOL, OI
std::vector<std::string> intraday_fields(); // DATE, TIME, OPEN, HIGH, LOW, CLOSE, VOL

// The bytes of F<n>.DAT for the bars, and the text of F<n>.DOP.
std::string dat_bytes(const SeriesSpec& spec, const std::vector<SeriesBar>& bars);
std::string dop_text(const SeriesSpec& spec);
// The MBF value a record field holds for a bar (filler for a field no name covers).
float generated_field_value(const SeriesBar& bar, const std::string& field, std::size_t position);

// Writes F<n>.DAT and (when asked) F<n>.DOP into `dir`.
void write_security(const std::filesystem::path& dir, const SeriesSpec& spec,
                    const std::vector<SeriesBar>& bars);

// A MASTER record for the security (dates MBF, first and last of the bars).
MasterRecord series_master_record(const SeriesSpec& spec, const std::vector<SeriesBar>& bars);
// Writes MASTER ("master" when lower case) with the records counted, then `spare_slots` all-zero slots.
void write_series_master(const std::filesystem::path& dir, const std::vector<MasterRecord>& records,
                         bool lower_case = false, int spare_slots = 0);
// One security with its MASTER, in one step.
void write_series_portfolio(const std::filesystem::path& dir, const SeriesSpec& spec,
                            const std::vector<SeriesBar>& bars);

// Ascending weekday bars with prices MBF holds exactly (multiples of 1/64) and whole volumes. With
// `with_time`, several bars a day at different times.
std::vector<SeriesBar> random_series_bars(unsigned seed, int count, bool with_time = false,
                                          DayNumber first = 9500);

// Bars read back equal the generated ones in the fields the layout has (-1.0 in the others).
float expected_bar_value(const SeriesBar& bar, int field, bool present);

} // namespace testing_support
