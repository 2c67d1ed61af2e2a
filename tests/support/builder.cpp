#include "support/builder.h"

#include "storage/portfolio_files.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <cstring>
#include <random>

namespace testing_support {

namespace {

void put_text(MasterRecord& record, int offset, const std::string& text, char pad) {
    std::memset(&record.bytes[offset], pad, 16);
    std::memcpy(&record.bytes[offset], text.data(), std::min<std::size_t>(text.size(), 16));
}

void put_int16(std::string& image, std::size_t at, std::int16_t value) {
    auto raw = static_cast<std::uint16_t>(value);
    image[at] = static_cast<char>(raw & 0xFF);
    image[at + 1] = static_cast<char>(raw >> 8);
}

std::int16_t get_int16(const std::string& image, std::size_t at) {
    auto lo = static_cast<std::uint8_t>(image.at(at));
    auto hi = static_cast<std::uint8_t>(image.at(at + 1));
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(lo | (hi << 8)));
}

std::string mbf(float value) {
    std::uint8_t b[4];
    ieee_to_mbf(value, b);
    return std::string(reinterpret_cast<const char*>(b), 4);
}

const char* const kFieldNames[] = {"DATE", "TIME", "OPEN", "HIGH", "LOW", "CLOSE", "VOL", "OI"};

bool named(const std::string& field) {
    return std::find(std::begin(kFieldNames), std::end(kFieldNames), field) != std::end(kFieldNames);
}

float field_value(const SeriesBar& bar, const std::string& field, std::size_t position) {
    int h, m, s;
    time_unpack(bar.time, h, m, s);
    const float values[] = {date_to_yymmdd(bar.date),
                            static_cast<float>(h * 10000 + m * 100 + s),
                            bar.open,
                            bar.high,
                            bar.low,
                            bar.close,
                            bar.vol,
                            bar.oi};
    for (std::size_t i = 0; i < 8; ++i) {
        if (field == kFieldNames[i])
            return values[i];
    }
    return 7.25f + static_cast<float>(position) + static_cast<float>(bar.date % 17); // filler
}

std::string file_name(const std::string& name, bool lower_case) {
    return lower_case ? portfolio_files::to_lower(name) : name;
}

} // namespace

// ---- MASTER records ---------------------------------------------------------------------------------

SecurityEntry security(int file_number, const std::string& symbol, const std::string& name) {
    SecurityEntry entry;
    entry.file_number = file_number;
    entry.symbol = symbol;
    entry.name = name.empty() ? symbol + " INC" : name;
    entry.first_date = 991231.0f;
    entry.last_date = 1000103.0f;
    return entry;
}

MasterRecord master_record(const SecurityEntry& entry) {
    MasterRecord record;
    auto& b = record.bytes;
    b[0] = static_cast<std::uint8_t>(entry.file_number);
    b[3] = static_cast<std::uint8_t>(entry.record_length.value_or(entry.fields * 4));
    b[4] = static_cast<std::uint8_t>(entry.fields);
    const char pad = entry.nul_padded ? '\0' : ' ';
    put_text(record, 7, entry.name, pad);
    ieee_to_mbf(entry.first_date, &b[25]);
    ieee_to_mbf(entry.last_date, &b[29]);
    b[33] = static_cast<std::uint8_t>(entry.periodicity);
    put_text(record, 36, entry.symbol, pad);
    if (entry.mark_uninterpreted) {
        for (int at : {1, 2, 5, 6, 23, 24, 34, 35, 52})
            b[at] = static_cast<std::uint8_t>((0xA0 + entry.file_number) ^ at);
    }
    return record;
}

MasterRecord master_directory_entry(int file_number, const std::string& dir_name) {
    SecurityEntry entry;
    entry.file_number = file_number;
    entry.name = dir_name.substr(0, std::min<std::size_t>(dir_name.size(), 11));
    entry.name.resize(11, ' ');
    entry.name += "<DIR>";
    return master_record(entry);
}

MasterBuilder& MasterBuilder::add(const MasterRecord& record) {
    records_.push_back(record);
    return *this;
}

MasterBuilder& MasterBuilder::count(std::int16_t value) {
    count_ = value;
    return *this;
}

MasterBuilder& MasterBuilder::second_counter(std::int16_t value) {
    second_ = value;
    return *this;
}

MasterBuilder& MasterBuilder::header_marks() {
    const std::uint32_t serial = 0x5E121A17u;
    for (std::size_t i = 0; i < 45; ++i)
        header_tail_[i] = static_cast<char>(0x30 + i);
    for (std::size_t i = 0; i < 4; ++i)
        header_tail_[45 + i] = static_cast<char>((serial >> (8 * i)) & 0xFF);
    return *this;
}

MasterBuilder& MasterBuilder::unused_slots(int slots, std::uint8_t fill) {
    tail_ += std::string(static_cast<std::size_t>(slots) * kMasterRecordSize, static_cast<char>(fill));
    return *this;
}

MasterBuilder& MasterBuilder::trailing(const std::string& bytes) {
    tail_ += bytes;
    return *this;
}

std::string MasterBuilder::header_bytes() const {
    std::string header(4, '\0');
    const auto added = static_cast<std::int16_t>(records_.size());
    put_int16(header, 0, count_.value_or(added));
    put_int16(header, 2, second_.value_or(added));
    return header + header_tail_;
}

std::string MasterBuilder::record_bytes() const {
    std::string out;
    for (const auto& record : records_)
        out += record_as_string(record);
    return out;
}

std::filesystem::path MasterBuilder::write(const std::filesystem::path& dir,
                                           const std::string& file_name) const {
    std::filesystem::create_directories(dir);
    write_bytes(dir / file_name, bytes());
    return dir / file_name;
}

std::string record_as_string(const MasterRecord& record) {
    return std::string(reinterpret_cast<const char*>(record.bytes.data()), record.bytes.size());
}

std::int16_t image_count(const std::string& image) {
    return get_int16(image, 0);
}
std::int16_t image_second_counter(const std::string& image) {
    return get_int16(image, 2);
}

void set_image_counters(std::string& image, std::int16_t count, std::int16_t second) {
    put_int16(image, 0, count);
    put_int16(image, 2, second);
}

std::string image_slot(const std::string& image, int slot) {
    return image.substr(slot_offset(slot), kMasterRecordSize);
}

void put_text16(std::string& image, std::size_t at, const std::string& text) {
    std::string padded = text.substr(0, 16);
    padded.resize(16, ' ');
    image.replace(at, 16, padded);
}

void put_mbf_date(std::string& image, std::size_t at, DayNumber day) {
    image.replace(at, 4, mbf(date_to_yymmdd(day)));
}

// ---- Quote files ------------------------------------------------------------------------------------

std::vector<std::string> intraday_fields() {
    return {"DATE", "TIME", "OPEN", "HIGH", "LOW", "CLOSE", "VOL"};
}

std::string dat_bytes(const SeriesSpec& spec, const std::vector<SeriesBar>& bars) {
    std::string out(4 * spec.fields.size(), static_cast<char>(spec.header_fill));
    put_int16(out, 2, spec.last_record.value_or(static_cast<std::int16_t>(bars.size() + 1)));
    for (const SeriesBar& bar : bars) {
        for (std::size_t k = 0; k < spec.fields.size(); ++k)
            out += mbf(field_value(bar, spec.fields[k], k));
    }
    return out + spec.trailing;
}

std::string dop_text(const SeriesSpec& spec) {
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
        if (!named(field))
            continue;
        extras_before(index++, false);
        out += "\"" + field + "\"," + std::to_string(spec.input_code) + "," +
               std::to_string(spec.display_code) + eol;
    }
    extras_before(index, true);
    if (spec.dop_end_mark)
        out += '\x1A';
    return out;
}

void write_security(const std::filesystem::path& dir, const SeriesSpec& spec,
                    const std::vector<SeriesBar>& bars) {
    const std::string base = "F" + std::to_string(spec.file_number);
    std::filesystem::create_directories(dir);
    write_bytes(dir / file_name(base + ".DAT", spec.lower_case), dat_bytes(spec, bars));
    if (spec.write_dop)
        write_bytes(dir / file_name(base + ".DOP", spec.lower_case), dop_text(spec));
}

MasterRecord series_master_record(const SeriesSpec& spec, const std::vector<SeriesBar>& bars) {
    SecurityEntry entry;
    entry.file_number = spec.file_number;
    entry.symbol = spec.symbol;
    entry.name = spec.name;
    entry.periodicity = spec.periodicity;
    entry.fields = spec.field_count.value_or(static_cast<int>(spec.fields.size()));
    entry.record_length = spec.record_length.value_or(static_cast<int>(4 * spec.fields.size()));
    if (!bars.empty()) {
        entry.first_date = date_to_yymmdd(bars.front().date);
        entry.last_date = date_to_yymmdd(bars.back().date);
    }
    return master_record(entry);
}

void write_series_master(const std::filesystem::path& dir, const std::vector<MasterRecord>& records,
                         bool lower_case, int spare_slots) {
    MasterBuilder builder;
    for (const MasterRecord& record : records)
        builder.add(record);
    builder.unused_slots(spare_slots).write(dir, lower_case ? "master" : "MASTER");
}

void write_series_portfolio(const std::filesystem::path& dir, const SeriesSpec& spec,
                            const std::vector<SeriesBar>& bars) {
    write_security(dir, spec, bars);
    write_series_master(dir, {series_master_record(spec, bars)}, spec.lower_case, 2);
}

std::vector<SeriesBar> random_series_bars(unsigned seed, int count, bool with_time, DayNumber first) {
    std::mt19937 rng(seed);
    std::vector<SeriesBar> bars;
    DayNumber day = is_weekday(first) ? first : next_weekday(first);
    PackedTime time = 17100; // 9:30
    auto price = [&] { return static_cast<float>(rng() % 64000 + 64) / 64.0f; };
    for (int i = 0; i < count; ++i) {
        SeriesBar b{day, with_time ? time : PackedTime{0}};
        b.open = price();
        b.high = price();
        b.low = price();
        b.close = price();
        b.vol = static_cast<float>(rng() % 5000000);
        b.oi = static_cast<float>(rng() % 90000);
        bars.push_back(b);
        if (with_time && rng() % 3 != 0 && time < 36000) {
            time = static_cast<PackedTime>(time + 150 + rng() % 600); // a few minutes later
        } else {
            day = next_weekday(day);
            time = 17100;
        }
    }
    return bars;
}

std::vector<SeriesBar> bars_on(const std::vector<DayNumber>& days) {
    std::vector<SeriesBar> bars;
    float step = 0.0f;
    for (DayNumber d : days) {
        bars.push_back({d, 0, 20.0f + step, 21.5f + step, 19.25f + step, 20.75f + step,
                        12000.0f + 100.0f * step, 300.0f + step});
        step += 1.0f;
    }
    return bars;
}

float expected_bar_value(const SeriesBar& bar, int field, bool present) {
    const float values[] = {bar.open, bar.high, bar.low, bar.close, bar.vol, bar.oi};
    return present ? values[field - 2] : -1.0f;
}

// ---- Portfolios -------------------------------------------------------------------------------------

Security make_security(int file_number, const std::string& symbol, const std::string& name,
                       std::vector<SeriesBar> bars, bool lower_case) {
    Security s;
    s.spec.file_number = file_number;
    s.spec.symbol = symbol;
    s.spec.name = name;
    s.spec.lower_case = lower_case;
    s.bars = std::move(bars);
    return s;
}

void write_portfolio(const std::filesystem::path& dir, const std::vector<Security>& securities,
                     bool lower_case, const std::vector<MasterRecord>& extra) {
    std::filesystem::create_directories(dir);
    std::vector<MasterRecord> records;
    for (const Security& s : securities) {
        write_security(dir, s.spec, s.bars);
        records.push_back(series_master_record(s.spec, s.bars));
    }
    records.insert(records.end(), extra.begin(), extra.end());
    write_series_master(dir, records, lower_case, 2);
    write_bytes(dir / file_name("EMASTER", lower_case), std::string(192, '\x5d'));
    write_bytes(dir / file_name("XMASTER", lower_case), std::string(150, '\x2a'));
}

} // namespace testing_support
