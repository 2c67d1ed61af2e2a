// The one fixture builder: MASTER files, quote files and whole portfolios, including the untidy shapes
// real portfolios hold (counts that disagree with the records, unused all-zero slots, NUL padding, blank
// symbols, nested entries, lower-case names, missing F<n>.DOP, stray header bytes, bytes cut off).
#pragma once

#include "storage/dates.h"
#include "storage/master.h"
#include "storage/mbf.h"
#include "storage/portfolio_files.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <random>

namespace testing_support {

// ---- MASTER -----------------------------------------------------------------------------------------

inline void put_int16(std::string& image, std::size_t at, std::int16_t value) {
    image[at] = static_cast<char>(value & 0xFF);
    image[at + 1] = static_cast<char>((static_cast<std::uint16_t>(value) >> 8) & 0xFF);
}
inline std::int16_t image_count(const std::string& image) {
    return static_cast<std::int16_t>(static_cast<std::uint8_t>(image[0]) |
                                     (static_cast<std::uint8_t>(image[1]) << 8));
}
inline void set_image_counters(std::string& image, std::int16_t count, std::int16_t second) {
    put_int16(image, 0, count);
    put_int16(image, 2, second);
}
inline std::size_t slot_offset(int slot) { // slot 0 is the header
    return static_cast<std::size_t>(slot) * kMasterRecordSize;
}
inline std::string image_slot(const std::string& image, int slot) {
    return image.substr(slot_offset(slot), kMasterRecordSize);
}
inline std::string mbf_bytes(float value) {
    std::uint8_t b[4];
    ieee_to_mbf(value, b);
    return std::string(reinterpret_cast<const char*>(b), 4);
}
inline void put_text16(std::string& image, std::size_t at, const std::string& text, char pad = ' ') {
    std::string padded = text.substr(0, 16);
    padded.resize(16, pad);
    image.replace(at, 16, padded);
}
inline std::string record_as_string(const MasterRecord& record) {
    return std::string(reinterpret_cast<const char*>(record.bytes.data()), record.bytes.size());
}

struct SecurityEntry {
    int file_number = 1;
    std::string symbol, name;
    char periodicity = 'D';
    int fields = 7;
    std::optional<int> record_length{};        // 4 x fields unless a damaged shape is wanted
    float first_date = 0.0f, last_date = 0.0f; // YYMMDD, stored as MBF
    bool nul_padded = false;                   // pad symbol and name with NUL bytes instead of blanks
    // Fill the uninterpreted bytes (1-2, 5-6, 23-24, 34-35, 52) with values derived from the file number,
    // so that a test sees whether a rewrite kept them.
    bool mark_uninterpreted = true;
};

// A plain security: the name defaults to the symbol + " INC", dates 31 Dec 1999 to 3 Jan 2000.
inline SecurityEntry security(int file_number, const std::string& symbol, const std::string& name = "") {
    return {file_number, symbol, name.empty() ? symbol + " INC" : name, 'D', 7, {}, 991231.0f, 1000103.0f};
}

// Texts longer than 16 characters are cut.
inline MasterRecord master_record(const SecurityEntry& entry) {
    std::string bytes(kMasterRecordSize, '\0');
    bytes[0] = static_cast<char>(entry.file_number);
    bytes[3] = static_cast<char>(entry.record_length.value_or(entry.fields * 4));
    bytes[4] = static_cast<char>(entry.fields);
    put_text16(bytes, 7, entry.name, entry.nul_padded ? '\0' : ' ');
    bytes.replace(25, 8, mbf_bytes(entry.first_date) + mbf_bytes(entry.last_date));
    bytes[33] = entry.periodicity;
    put_text16(bytes, 36, entry.symbol, entry.nul_padded ? '\0' : ' ');
    for (int at : {1, 2, 5, 6, 23, 24, 34, 35, 52})
        bytes[at] = entry.mark_uninterpreted ? static_cast<char>((0xA0 + entry.file_number) ^ at) : '\0';
    MasterRecord record;
    std::memcpy(record.bytes.data(), bytes.data(), kMasterRecordSize);
    return record;
}

// A nested-portfolio entry: `dir_name` padded to 11 characters, then "<DIR>".
inline MasterRecord master_directory_entry(int file_number, const std::string& dir_name) {
    SecurityEntry entry;
    entry.file_number = file_number;
    entry.name =
        dir_name.substr(0, 11) + std::string(11 - std::min<std::size_t>(dir_name.size(), 11), ' ') + "<DIR>";
    return master_record(entry);
}

class MasterBuilder {
public:
    MasterBuilder& add(const SecurityEntry& entry) { return add(master_record(entry)); }
    MasterBuilder& add(const MasterRecord& record) {
        records_ += record_as_string(record);
        ++added_;
        return *this;
    }
    MasterBuilder& add_directory(int file_number, const std::string& dir_name) {
        return add(master_directory_entry(file_number, dir_name));
    }
    // Header counters; by default both equal the number of records added.
    MasterBuilder& count(std::int16_t value) { return count_ = value, *this; }
    MasterBuilder& second_counter(std::int16_t value) { return second_ = value, *this; }
    // A recognisable pattern in header bytes 4-48 and a serial number in 49-52.
    MasterBuilder& header_marks() {
        for (std::size_t i = 0; i < 45; ++i)
            header_tail_[i] = static_cast<char>(0x30 + i);
        header_tail_.replace(45, 4, "\x17\x1A\x12\x5E");
        return *this;
    }
    // Unused slots after the counted records (all zero unless `fill` says otherwise), then any bytes.
    MasterBuilder& unused_slots(int count, char fill = 0) {
        return trailing(std::string(slot_offset(count), fill));
    }
    MasterBuilder& trailing(const std::string& bytes) { return tail_ += bytes, *this; }

    std::string header_bytes() const {
        std::string header(4, '\0');
        set_image_counters(header, count_.value_or(added_), second_.value_or(added_));
        return header + header_tail_;
    }
    std::string bytes() const { return header_bytes() + records_ + tail_; }
    std::filesystem::path write(const std::filesystem::path& dir,
                                const std::string& file_name = "MASTER") const {
        std::filesystem::create_directories(dir);
        write_bytes(dir / file_name, bytes());
        return dir / file_name;
    }

private:
    std::string records_, tail_, header_tail_ = std::string(49, '\0');
    std::int16_t added_ = 0;
    std::optional<std::int16_t> count_, second_;
};

// ---- Quote files ------------------------------------------------------------------------------------

struct SeriesBar {
    DayNumber date = 0;
    TimeOfDay time = 0; // HHMMSS, as the file stores it
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
    std::vector<DopExtraLine> dop_extra{};
    int input_code = 2; // every field line of F<n>.DOP carries these codes
    int display_code = 4;
    bool lower_case = false; // f1.dat, f1.dop
    // Header bytes 0-1 and 4.. (R sits at bytes 2-3): blanks or stray bytes, as old writers leave them.
    char header_fill = ' ';
    std::optional<std::int16_t> last_record{}; // R as stored, when it should lie
    std::string trailing{};                    // bytes after the last bar
    // MASTER record overrides, to describe damaged shapes.
    std::optional<int> record_length{}, field_count{};
};

inline std::vector<std::string> intraday_fields() {
    return {"DATE", "TIME", "OPEN", "HIGH", "LOW", "CLOSE", "VOL"};
}

// The index of a named field (DATE .. OI), 8 for any other text.
inline std::size_t field_index(const std::string& field) {
    static const char* const kNames[] = {"DATE", "TIME", "OPEN", "HIGH", "LOW", "CLOSE", "VOL", "OI"};
    return static_cast<std::size_t>(std::find(std::begin(kNames), std::end(kNames), field) -
                                    std::begin(kNames));
}

inline std::string dat_bytes(const SeriesSpec& spec, const std::vector<SeriesBar>& bars) {
    std::string out(4 * spec.fields.size(), spec.header_fill);
    put_int16(out, 2, spec.last_record.value_or(static_cast<std::int16_t>(bars.size() + 1)));
    for (const SeriesBar& b : bars) {
        const float values[] = {
            date_to_yymmdd(b.date), static_cast<float>(b.time), b.open, b.high, b.low, b.close, b.vol, b.oi};
        for (std::size_t k = 0; k < spec.fields.size(); ++k) {
            const std::size_t field = field_index(spec.fields[k]); // filler for a field no name covers
            out += mbf_bytes(field < 8 ? values[field]
                                       : 7.25f + static_cast<float>(k) + static_cast<float>(b.date % 17));
        }
    }
    return out + spec.trailing;
}

inline std::string dop_text(const SeriesSpec& spec) {
    const std::string eol = spec.dop_crlf ? "\r\n" : "\n";
    std::string out;
    std::size_t index = 0;
    auto extras_before = [&](std::size_t field, bool at_end) {
        for (const auto& extra : spec.dop_extra) {
            if (extra.before_field == field || (at_end && extra.before_field > field))
                out += extra.text + eol;
        }
    };
    for (const std::string& field : spec.fields) {
        if (field_index(field) == 8)
            continue;
        extras_before(index++, false);
        out += "\"" + field + "\"," + std::to_string(spec.input_code) + "," +
               std::to_string(spec.display_code) + eol;
    }
    extras_before(index, true);
    return spec.dop_end_mark ? out + '\x1A' : out;
}

// Writes F<n>.DAT and (when asked) F<n>.DOP into `dir`.
inline void write_security(const std::filesystem::path& dir, const SeriesSpec& spec,
                           const std::vector<SeriesBar>& bars) {
    const std::string base = "F" + std::to_string(spec.file_number);
    auto name = [&](const char* ext) {
        return spec.lower_case ? portfolio_files::to_lower(base + ext) : base + ext;
    };
    std::filesystem::create_directories(dir);
    write_bytes(dir / name(".DAT"), dat_bytes(spec, bars));
    if (spec.write_dop)
        write_bytes(dir / name(".DOP"), dop_text(spec));
}

// The MASTER record of the security: dates those of its first and last bar (0 without bars).
inline MasterRecord series_master_record(const SeriesSpec& spec, const std::vector<SeriesBar>& bars) {
    const int fields = static_cast<int>(spec.fields.size());
    return master_record({spec.file_number, spec.symbol, spec.name, spec.periodicity,
                          spec.field_count.value_or(fields), spec.record_length.value_or(4 * fields),
                          bars.empty() ? 0.0f : date_to_yymmdd(bars.front().date),
                          bars.empty() ? 0.0f : date_to_yymmdd(bars.back().date)});
}

// MASTER ("master" when lower case) with the records counted, then `spare_slots` all-zero slots.
inline void write_series_master(const std::filesystem::path& dir, const std::vector<MasterRecord>& records,
                                bool lower_case = false, int spare_slots = 0) {
    MasterBuilder builder;
    for (const MasterRecord& record : records)
        builder.add(record);
    builder.unused_slots(spare_slots).write(dir, lower_case ? "master" : "MASTER");
}

// One security with its MASTER (two spare slots), in one step.
inline void write_series_portfolio(const std::filesystem::path& dir, const SeriesSpec& spec,
                                   const std::vector<SeriesBar>& bars) {
    write_security(dir, spec, bars);
    write_series_master(dir, {series_master_record(spec, bars)}, spec.lower_case, 2);
}

// A time `seconds` after `time` (both HHMMSS), within the day.
inline TimeOfDay hhmmss_after(TimeOfDay time, int seconds) {
    int h, m, s;
    time_of_day_split(time, h, m, s);
    const int since_midnight = std::min(h * 3600 + m * 60 + s + seconds, 86399);
    return time_of_day(since_midnight / 3600, since_midnight / 60 % 60, since_midnight % 60);
}

// Ascending weekday bars with prices MBF holds exactly (multiples of 1/64) and whole volumes. With
// `with_time`, several bars a day at different times, to the second (odd seconds among them).
inline std::vector<SeriesBar> random_series_bars(unsigned seed, int count, bool with_time = false,
                                                 DayNumber first = 9500) {
    std::mt19937 rng(seed);
    std::vector<SeriesBar> bars;
    DayNumber day = is_weekday(first) ? first : next_weekday(first);
    TimeOfDay time = 93000;
    auto price = [&] { return static_cast<float>(rng() % 64000 + 64) / 64.0f; };
    for (int i = 0; i < count; ++i) {
        SeriesBar b{day, with_time ? time : TimeOfDay{0}};
        for (float* v : {&b.open, &b.high, &b.low, &b.close})
            *v = price();
        b.vol = static_cast<float>(rng() % 5000000);
        b.oi = static_cast<float>(rng() % 90000);
        bars.push_back(b);
        if (with_time && rng() % 3 != 0 && time < 200000) {
            time = hhmmss_after(time, 300 + static_cast<int>(rng() % 1200)); // a few minutes later
        } else {
            day = next_weekday(day);
            time = 93000;
        }
    }
    return bars;
}

// Intra-day quotes as real portfolios hold them: stamped to the second (odd seconds among them), several
// in a minute, and records written more than once (the same date and time again and again). Written
// without F<n>.DOP, as vendors leave such files.
inline SeriesSpec intraday_real_spec() {
    return {.symbol = "ABAN.N0000",
            .name = "ABAN",
            .periodicity = 'I',
            .fields = intraday_fields(),
            .write_dop = false};
}
inline std::vector<SeriesBar> intraday_real_bars() {
    const DayNumber friday = date_pack(2011, 5, 6), monday = next_weekday(friday);
    const std::pair<DayNumber, TimeOfDay> stamps[] = {{friday, 103839}, {friday, 103851}, {friday, 103902},
                                                      {friday, 104007}, {friday, 104007}, {friday, 104007},
                                                      {friday, 104113}, {monday, 93001},  {monday, 93001},
                                                      {monday, 93059},  {monday, 100001}};
    std::vector<SeriesBar> bars;
    for (float step = 0; const auto& [day, time] : stamps) {
        bars.push_back({day, time, 50 + step, 50.5f + step, 49.75f + step, 50.25f + step, 700 + step, 0});
        step += 0.125f;
    }
    return bars;
}

// Bars on the given days with values a quote file holds exactly, rising by 1 a bar.
inline std::vector<SeriesBar> bars_on(const std::vector<DayNumber>& days) {
    std::vector<SeriesBar> bars;
    for (float step = 0; const DayNumber d : days)
        bars.push_back(
            {d, 0, 20 + step, 21.5f + step, 19.25f + step, 20.75f + step, 12000 + 100 * step, 300 + step++});
    return bars;
}

// An index series as real ones reach back: the first weekday of every month from January 1928 to
// December 2020 (1116 bars).
inline std::vector<SeriesBar> index_bars_1928_to_2020() {
    std::vector<DayNumber> days;
    for (int month = 0; month < (2021 - 1928) * 12; ++month) {
        const DayNumber first = date_pack(28 + month / 12, 1 + month % 12, 1);
        days.push_back(is_weekday(first) ? first : next_weekday(first));
    }
    return bars_on(days);
}

// ---- EMASTER --------------------------------------------------------------------------------------

// `text` cut to `room` bytes and padded with zero bytes, at `at`; a value's bytes as the host holds them.
inline void put_text0(std::string& image, std::size_t at, const std::string& text, std::size_t room) {
    std::string field = text.substr(0, room);
    image.replace(at, room, field.append(room - field.size(), '\0'));
}
template <typename T> void put_raw(std::string& image, std::size_t at, T value) {
    image.replace(at, sizeof value, reinterpret_cast<const char*>(&value), sizeof value);
}

// One 192-byte EMASTER record for a MASTER record: "66", file number, field count and bitset, symbol,
// short name, periodicity, dates (float and integer), a long name of the name + " LONG", and marks in the
// trading times (80-87) that a rewrite must keep.
inline std::string emaster_record_bytes(const MasterRecord& m) {
    auto trimmed = [](std::string value) {
        value = value.substr(0, value.find('\0'));
        return value.erase(value.find_last_not_of(' ') + 1);
    };
    std::string r(192, '\0');
    r[0] = r[1] = '6';
    r[2] = static_cast<char>(m.file_number());
    r[6] = static_cast<char>(m.field_count());
    r[7] = static_cast<char>((1 << m.field_count()) - 1);
    r[9] = ' ';
    put_text0(r, 11, trimmed(m.symbol_bytes()), 14);
    put_text0(r, 32, trimmed(m.name_bytes()), 16);
    r[60] = m.periodicity();
    put_raw(r, 64, mbf_to_ieee(&m.bytes[25]));
    put_raw(r, 72, mbf_to_ieee(&m.bytes[29]));
    r.replace(80, 8, "\x11\x22\x33\x44\x55\x66\x77\x01");
    put_raw(r, 126, static_cast<std::int32_t>(mbf_to_ieee(&m.bytes[25])) + 19000000);
    put_text0(r, 139, trimmed(m.name_bytes()) + " LONG", 53);
    return r;
}

// A usable EMASTER for the MASTER records, in their order; a serial and vendor text in the header.
inline std::string emaster_bytes(const std::vector<MasterRecord>& records) {
    std::string out(192, '\0');
    out[0] = static_cast<char>(records.size());
    int highest = 0;
    for (const MasterRecord& m : records)
        highest = std::max(highest, m.file_number());
    out[2] = static_cast<char>(highest);
    out.replace(49, 16, "\x01\x02\x03\x04Vendor text.");
    for (const MasterRecord& m : records)
        out += emaster_record_bytes(m);
    return out;
}

// ---- XMASTER --------------------------------------------------------------------------------------

struct XmasterEntry {
    int file_number = 256;
    std::string symbol, name;
    std::uint32_t first = 0, last = 0; // YYYYMMDD
    char periodicity = 'D';
};

// An XMASTER of the entries (seven fields each): magic bytes, both counts, the next free number, vendor
// text; old text after each symbol's NUL, the unknown date at 104.
inline std::string xmaster_bytes(const std::vector<XmasterEntry>& entries) {
    std::string out(150, '\0');
    out.replace(0, 4, "\x5D\xFEXM");
    put_int16(out, 10, static_cast<std::int16_t>(entries.size()));
    put_int16(out, 14, static_cast<std::int16_t>(entries.size()));
    put_int16(out, 18, 999);
    out.replace(22, 12, "Vendor text.");
    for (const XmasterEntry& e : entries) {
        std::string r(150, '\0');
        r[0] = 1;
        put_text0(r, 1, e.symbol + std::string(1, '\0') + "OLD", 14);
        put_text0(r, 16, e.name, 45);
        r[62] = e.periodicity;
        put_int16(r, 65, static_cast<std::int16_t>(e.file_number));
        r[70] = 0x7F;
        for (auto [at, date] : {std::pair{104, 19000101u}, {108, e.first}, {116, e.last}})
            put_raw(r, static_cast<std::size_t>(at), date);
        out += r;
    }
    return out;
}

// ---- Portfolios -------------------------------------------------------------------------------------

struct Security {
    SeriesSpec spec;
    std::vector<SeriesBar> bars;
};

inline Security make_security(int file_number, const std::string& symbol, const std::string& name,
                              std::vector<SeriesBar> bars, bool lower_case = false) {
    Security s{{file_number, symbol, name}, std::move(bars)};
    s.spec.lower_case = lower_case;
    return s;
}

// The securities' files, a MASTER listing them in the given order (then `extra` records and two unused
// all-zero slots), a usable EMASTER, and a usable XMASTER of no securities that no command may touch.
// Names follow `lower_case`.
inline void write_portfolio(const std::filesystem::path& dir, const std::vector<Security>& securities,
                            bool lower_case = false, const std::vector<MasterRecord>& extra = {}) {
    std::vector<MasterRecord> records;
    for (const Security& s : securities) {
        write_security(dir, s.spec, s.bars);
        records.push_back(series_master_record(s.spec, s.bars));
    }
    records.insert(records.end(), extra.begin(), extra.end());
    write_series_master(dir, records, lower_case, 2);
    write_bytes(dir / (lower_case ? "emaster" : "EMASTER"), emaster_bytes(records));
    write_bytes(dir / (lower_case ? "xmaster" : "XMASTER"), xmaster_bytes({}));
}

} // namespace testing_support
