#include "cli/demo.h"

#include "storage/dates.h"
#include "storage/fileops.h"
#include "storage/master.h"
#include "storage/portfolio_files.h"
#include "storage/quotes.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

using Bytes = std::string;

Bytes bytes_of(const std::vector<std::uint8_t>& image) {
    return Bytes(image.begin(), image.end());
}

enum Field { Date = kFieldDate, Time, Open, High, Low, Close, Vol, Oi };

struct Bar {
    DayNumber date = 0;
    float time = 0; // HHMMSS
    float open = 0, high = 0, low = 0, close = 0, vol = 0, oi = 0;
};

struct Security {
    std::string symbol;
    std::string name;
    char periodicity = 'D';
    std::vector<Field> fields;
    bool with_dop = true;
    std::vector<Bar> bars;
};

float field_value(const Bar& bar, Field f) {
    switch (f) {
    case Date:
        return date_to_yymmdd(bar.date);
    case Time:
        return bar.time;
    case Open:
        return bar.open;
    case High:
        return bar.high;
    case Low:
        return bar.low;
    case Close:
        return bar.close;
    case Vol:
        return bar.vol;
    case Oi:
        return bar.oi;
    }
    return 0;
}

Bytes dat_file(const Security& s) {
    std::vector<std::vector<float>> bars;
    bars.reserve(s.bars.size());
    for (const Bar& bar : s.bars) {
        std::vector<float>& values = bars.emplace_back();
        for (Field f : s.fields)
            values.push_back(field_value(bar, f));
    }
    return bytes_of(series_file_image(static_cast<int>(s.fields.size()), bars));
}

Bytes dop_file(const Security& s) {
    Bytes out;
    for (Field f : s.fields) {
        const int code = f >= Open && f <= Close ? 2 : 0; // prices in hundredths
        out += dop_line(f, code, code);
    }
    return out;
}

MasterRecord master_record(const Security& s, int file_number) {
    MasterRecord r;
    r.set_file_number(file_number);
    r.set_record_length(static_cast<int>(4 * s.fields.size()));
    r.set_field_count(static_cast<int>(s.fields.size()));
    r.set_name(s.name);
    if (!s.bars.empty())
        r.set_stored_dates(s.bars.front().date, s.bars.back().date);
    r.set_periodicity(s.periodicity);
    r.set_symbol(s.symbol);
    return r;
}

// A random walk of daily bars on weekdays, `count` bars ending before 2026.
std::vector<Bar> daily_bars(std::mt19937& rng, int count, float start_price, DayNumber first_day) {
    std::normal_distribution<double> step(0.0, 0.015);
    std::uniform_real_distribution<double> spread(0.002, 0.02);
    std::vector<Bar> bars;
    double price = start_price;
    DayNumber day = is_weekday(first_day) ? first_day : next_weekday(first_day);
    for (int i = 0; i < count; ++i) {
        Bar bar;
        bar.date = day;
        double open = price;
        price = std::max(0.5, price * std::exp(step(rng)));
        double hi = std::max(open, price) * (1 + spread(rng));
        double lo = std::min(open, price) * (1 - spread(rng));
        auto cents = [](double v) { return static_cast<float>(std::round(v * 100) / 100); };
        bar.open = cents(open);
        bar.close = cents(price);
        bar.high = std::max({cents(hi), bar.open, bar.close});
        bar.low = std::min({cents(lo), bar.open, bar.close});
        bar.vol = static_cast<float>(std::round(20000 + 80000 * spread(rng) * 50));
        bar.oi = static_cast<float>(1000 + i % 500);
        bars.push_back(bar);
        day = next_weekday(day);
    }
    return bars;
}

// Halves every price before bar `at` (an unrecorded 2-for-1 split): earlier prices stay twice as high.
void unrecorded_split(std::vector<Bar>& bars, std::size_t at) {
    for (std::size_t i = at; i < bars.size(); ++i) {
        bars[i].open /= 2;
        bars[i].high /= 2;
        bars[i].low /= 2;
        bars[i].close /= 2;
        bars[i].vol *= 2;
    }
}

bool write(const std::filesystem::path& path, const Bytes& content, std::string& error) {
    bool ok = fileops::replace_file(path, path.string() + ".~DM",
                                    [&](fileops::BufferedWriter& w) { return w.write(content); });
    if (!ok)
        error = "cannot write " + path.string() + ": " + std::strerror(errno);
    return ok;
}

bool write_portfolio(const std::filesystem::path& dir, const std::vector<Security>& securities,
                     const std::vector<std::string>& nested, bool lower_case, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    auto name = [&](std::string n) {
        if (lower_case)
            for (char& c : n)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return n;
    };
    const auto count = static_cast<std::int16_t>(securities.size() + nested.size());
    MasterImage master;
    master.header.set_count(count);
    master.header.set_second_counter(count);
    for (std::size_t i = 0; i < securities.size(); ++i) {
        int n = static_cast<int>(i) + 1;
        const Security& s = securities[i];
        master.append_record(master_record(s, n));
        if (!write(dir / name(portfolio_files::series_file_name(n, "DAT")), dat_file(s), error))
            return false;
        if (s.with_dop && !write(dir / name(portfolio_files::series_file_name(n, "DOP")), dop_file(s), error))
            return false;
    }
    for (const auto& sub : nested)
        master.append_record(master_directory_entry(sub));
    return write(dir / name("MASTER"), bytes_of(master.bytes()), error);
}

} // namespace

bool write_demo_portfolios(const std::filesystem::path& root, std::string& error) {
    std::mt19937 rng(1998);
    const std::vector<Field> full = {Date, Open, High, Low, Close, Vol, Oi};
    const DayNumber start = date_pack(1999, 1, 4);

    std::vector<Security> stocks;
    stocks.push_back({"ACME", "ACME INDUSTRIES", 'D', full, true, daily_bars(rng, 6000, 42.0f, start)});
    Security split{
        "BOLT", "BOLT ELECTRIC", 'D', full, true, daily_bars(rng, 900, 80.0f, date_pack(2020, 3, 2))};
    unrecorded_split(split.bars, 600);
    stocks.push_back(split);
    stocks.push_back({"CRUX",
                      "CRUX MINING CORP",
                      'D',
                      {Date, High, Low, Close, Vol},
                      true,
                      daily_bars(rng, 500, 12.5f, date_pack(2023, 6, 1))});
    Security weekly{"DYNW", "DYNAMO WEEKLY", 'W', {Date, Open, High, Low, Close}, true, {}};
    for (const Bar& b : daily_bars(rng, 1500, 25.0f, date_pack(2000, 1, 3)))
        if ((b.date + 6) % 7 == 5) // Fridays only
            weekly.bars.push_back(b);
    stocks.push_back(weekly);

    std::vector<Security> funds;
    funds.push_back({"EQFND",
                     "EQUITY FUND",
                     'D',
                     {Date, Open, High, Low, Close, Vol},
                     false,
                     daily_bars(rng, 750, 10.0f, date_pack(2022, 1, 3))});
    funds.push_back({"BNDFND",
                     "BOND FUND",
                     'D',
                     {Date, Close, Vol},
                     false,
                     daily_bars(rng, 750, 100.0f, date_pack(2022, 1, 3))});

    std::vector<Security> nested;
    nested.push_back(
        {"GAMMA", "GAMMA HOLDINGS", 'D', full, true, daily_bars(rng, 300, 7.0f, date_pack(2024, 1, 2))});

    std::vector<Security> intraday;
    Security minutes{"ZETA", "ZETA 5 MINUTE", 'I', {Date, Time, Open, High, Low, Close, Vol}, false, {}};
    auto day_bars = daily_bars(rng, 390, 55.0f, date_pack(2025, 3, 3));
    for (std::size_t i = 0; i < day_bars.size(); ++i) {
        Bar b = day_bars[i];
        b.date = date_pack(2025, 3, 3) + static_cast<DayNumber>(i / 78);
        int minute = 9 * 60 + 30 + 5 * static_cast<int>(i % 78);
        b.time = static_cast<float>((minute / 60) * 10000 + (minute % 60) * 100);
        minutes.bars.push_back(b);
    }
    intraday.push_back(minutes);

    // The names may hold someone's real portfolios: write nothing where anything stands.
    for (const char* name : {"STOCKS", "funds", "INTRADAY"}) {
        std::error_code ec;
        if (std::filesystem::symlink_status(root / name, ec).type() !=
            std::filesystem::file_type::not_found) {
            error = (root / name).string() + " already exists: the demonstration portfolios are written only "
                                             "where nothing stands. Nothing was written.";
            return false;
        }
    }
    return write_portfolio(root / "STOCKS", stocks, {"SUB"}, false, error) &&
           write_portfolio(root / "STOCKS" / "SUB", nested, {}, false, error) &&
           write_portfolio(root / "funds", funds, {}, true, error) &&
           write_portfolio(root / "INTRADAY", intraday, {}, false, error);
}
