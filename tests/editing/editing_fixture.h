// Portfolios for the editing tests: securities written with the series builder, MASTER images and
// byte-level views of them.
#pragma once

#include "storage/encoding.h"
#include "storage/master.h"
#include "storage/portfolio_files.h"
#include "support/series_builder.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <string>
#include <vector>

namespace editing_test {

using testing_support::SeriesBar;
using testing_support::SeriesSpec;

inline DayNumber day(int year, int month, int d) {
    return date_pack(year, month, d);
}

// Bars on the given days with values a quote file holds exactly.
inline std::vector<SeriesBar> bars_on(const std::vector<DayNumber>& days) {
    std::vector<SeriesBar> bars;
    float step = 0.0f;
    for (DayNumber d : days) {
        SeriesBar bar;
        bar.date = d;
        bar.open = 20.0f + step;
        bar.high = 21.5f + step;
        bar.low = 19.25f + step;
        bar.close = 20.75f + step;
        bar.vol = 12000.0f + 100.0f * step;
        bar.oi = 300.0f + step;
        bars.push_back(bar);
        step += 1.0f;
    }
    return bars;
}

struct Security {
    SeriesSpec spec;
    std::vector<SeriesBar> bars;
};

inline Security security(int file_number, const std::string& symbol, const std::string& name,
                         std::vector<SeriesBar> bars, bool lower_case = true) {
    Security s;
    s.spec.file_number = file_number;
    s.spec.symbol = symbol;
    s.spec.name = name;
    s.spec.lower_case = lower_case;
    s.bars = std::move(bars);
    return s;
}

// Writes the securities' files and a MASTER listing them in the given order, followed by unused
// all-zero slots, plus EMASTER and XMASTER files that no command may touch.
inline void write_portfolio(const std::filesystem::path& dir, const std::vector<Security>& securities,
                            bool lower_case = true, int spare_slots = 2) {
    std::filesystem::create_directories(dir);
    std::vector<MasterRecord> records;
    for (const Security& s : securities) {
        testing_support::write_security(dir, s.spec, s.bars);
        records.push_back(testing_support::series_master_record(s.spec, s.bars));
    }
    testing_support::write_series_master(dir, records, lower_case, spare_slots);
    testing_support::write_bytes(dir / (lower_case ? "emaster" : "EMASTER"), std::string(192, '\x5d'));
    testing_support::write_bytes(dir / (lower_case ? "xmaster" : "XMASTER"), std::string(150, '\x2a'));
}

inline std::filesystem::path master_file(const std::filesystem::path& dir, bool lower_case = true) {
    return dir / (lower_case ? "master" : "MASTER");
}

inline std::string file_name(int number, const std::string& extension, bool lower_case = true) {
    std::string name = portfolio_files::series_file_name(number, extension);
    return lower_case ? portfolio_files::to_lower(name) : name;
}

// Byte view of a MASTER image: slot 0 is the header.
inline std::size_t slot_offset(int slot) {
    return static_cast<std::size_t>(slot) * kMasterRecordSize;
}

inline void put_mbf_date(std::string& image, std::size_t at, DayNumber d) {
    std::uint8_t bytes[4];
    date_to_mbf(d, bytes);
    image.replace(at, 4, reinterpret_cast<const char*>(bytes), 4);
}

inline void put_text16(std::string& image, std::size_t at, const std::string& text) {
    std::string padded = text.substr(0, 16);
    padded.resize(16, ' ');
    image.replace(at, 16, padded);
}

inline void set_counters(std::string& image, int count) {
    image[0] = image[2] = static_cast<char>(count & 0xFF);
    image[1] = image[3] = static_cast<char>((count >> 8) & 0xFF);
}

} // namespace editing_test
