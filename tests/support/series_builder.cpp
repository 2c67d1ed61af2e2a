#include "support/series_builder.h"

#include "support/temp_dir.h"

#include <algorithm>
#include <cstring>
#include <random>

namespace testing_support {

namespace {

void put_mbf(std::string& out, float value) {
    std::uint8_t b[4];
    ieee_to_mbf(value, b);
    out.append(reinterpret_cast<const char*>(b), 4);
}

float hhmmss(PackedTime t) {
    int h, m, s;
    time_unpack(t, h, m, s);
    return static_cast<float>(h * 10000 + m * 100 + s);
}

bool named(const std::string& field) {
    static const char* const kNames[] = {"DATE", "TIME", "OPEN", "HIGH", "LOW", "CLOSE", "VOL", "OI"};
    return std::find_if(std::begin(kNames), std::end(kNames), [&](const char* n) { return field == n; }) !=
           std::end(kNames);
}

std::string file_name(const SeriesSpec& spec, const char* extension) {
    std::string name = "F" + std::to_string(spec.file_number) + "." + extension;
    if (spec.lower_case)
        std::transform(name.begin(), name.end(), name.begin(),
                       [](char c) { return static_cast<char>(std::tolower(c)); });
    return name;
}

void put_padded(MasterRecord& r, int offset, const std::string& text) {
    for (int i = 0; i < 16; ++i)
        r.bytes[offset + i] = i < static_cast<int>(text.size()) ? static_cast<std::uint8_t>(text[i]) : ' ';
}

} // namespace

std::vector<std::string> daily_fields() {
    return {"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL", "OI"};
}
std::vector<std::string> intraday_fields() {
    return {"DATE", "TIME", "OPEN", "HIGH", "LOW", "CLOSE", "VOL"};
}

float generated_field_value(const SeriesBar& bar, const std::string& field, std::size_t position) {
    if (field == "DATE")
        return date_to_yymmdd(bar.date);
    if (field == "TIME")
        return hhmmss(bar.time);
    if (field == "OPEN")
        return bar.open;
    if (field == "HIGH")
        return bar.high;
    if (field == "LOW")
        return bar.low;
    if (field == "CLOSE")
        return bar.close;
    if (field == "VOL")
        return bar.vol;
    if (field == "OI")
        return bar.oi;
    return 7.25f + static_cast<float>(position) + static_cast<float>(bar.date % 17);
}

std::string dat_bytes(const SeriesSpec& spec, const std::vector<SeriesBar>& bars) {
    const std::size_t length = 4 * spec.fields.size();
    std::string out(length, static_cast<char>(spec.header_fill));
    std::int16_t r = spec.last_record.value_or(static_cast<std::int16_t>(bars.size() + 1));
    out[2] = static_cast<char>(r & 0xFF);
    out[3] = static_cast<char>((r >> 8) & 0xFF);
    for (const SeriesBar& bar : bars) {
        for (std::size_t k = 0; k < spec.fields.size(); ++k)
            put_mbf(out, generated_field_value(bar, spec.fields[k], k));
    }
    return out + spec.trailing;
}

std::string dop_text(const SeriesSpec& spec) {
    const std::string eol = spec.dop_crlf ? "\r\n" : "\n";
    std::string out;
    auto extras_before = [&](std::size_t index) {
        for (const auto& extra : spec.dop_extra) {
            if (extra.before_field == index)
                out += extra.text + eol;
        }
    };
    std::size_t index = 0;
    for (const std::string& field : spec.fields) {
        if (!named(field))
            continue;
        extras_before(index++);
        out += "\"" + field + "\"," + std::to_string(spec.input_code) + "," +
               std::to_string(spec.display_code) + eol;
    }
    for (const auto& extra : spec.dop_extra) {
        if (extra.before_field >= index)
            out += extra.text + eol;
    }
    if (spec.dop_end_mark)
        out += '\x1A';
    return out;
}

void write_security(const std::filesystem::path& dir, const SeriesSpec& spec,
                    const std::vector<SeriesBar>& bars) {
    write_bytes(dir / file_name(spec, "DAT"), dat_bytes(spec, bars));
    if (spec.write_dop)
        write_bytes(dir / file_name(spec, "DOP"), dop_text(spec));
}

MasterRecord series_master_record(const SeriesSpec& spec, const std::vector<SeriesBar>& bars) {
    MasterRecord r;
    r.bytes[0] = static_cast<std::uint8_t>(spec.file_number);
    r.bytes[1] = 0x65; // stray bytes that must survive
    r.bytes[3] =
        static_cast<std::uint8_t>(spec.record_length.value_or(static_cast<int>(4 * spec.fields.size())));
    r.bytes[4] = static_cast<std::uint8_t>(spec.field_count.value_or(static_cast<int>(spec.fields.size())));
    put_padded(r, 7, spec.name);
    if (!bars.empty()) {
        date_to_mbf(bars.front().date, &r.bytes[25]);
        date_to_mbf(bars.back().date, &r.bytes[29]);
    }
    r.bytes[33] = static_cast<std::uint8_t>(spec.periodicity);
    put_padded(r, 36, spec.symbol);
    return r;
}

void write_series_master(const std::filesystem::path& dir, const std::vector<MasterRecord>& records,
                         bool lower_case, int spare_slots) {
    std::string out(kMasterRecordSize, '\0');
    out[0] = out[2] = static_cast<char>(records.size());
    for (const MasterRecord& r : records)
        out.append(reinterpret_cast<const char*>(r.bytes.data()), r.bytes.size());
    out.append(static_cast<std::size_t>(spare_slots) * kMasterRecordSize, '\0');
    write_bytes(dir / (lower_case ? "master" : "MASTER"), out);
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
    for (int i = 0; i < count; ++i) {
        SeriesBar b;
        b.date = day;
        b.time = with_time ? time : 0;
        auto price = [&] { return static_cast<float>(rng() % 64000 + 64) / 64.0f; };
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

float expected_bar_value(const SeriesBar& bar, int field, bool present) {
    if (!present)
        return -1.0f;
    const float values[] = {bar.open, bar.high, bar.low, bar.close, bar.vol, bar.oi};
    return values[field - 2];
}

} // namespace testing_support
