// Quotes brought in from text: exported at full precision and imported into a new portfolio, every
// quote comes back with the same stored bytes; a refused line writes nothing; a failed security leaves
// the others written and says which.
#include "analysis/import.h"

#include "analysis/export.h"
#include "common/value_format.h"
#include "storage/directory.h"
#include "support/builder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <set>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

// The bars of a quote file: everything after its header record.
std::string bars_of(const fs::path& file, std::size_t record_length) {
    return read_bytes(file).substr(record_length);
}

struct Case {
    const char* what;
    SeriesSpec spec;
    std::vector<SeriesBar> bars;
};

std::vector<Case> layouts() {
    auto spec = [](std::vector<std::string> fields, char periodicity = 'D', char fill = ' ') {
        SeriesSpec s;
        s.fields = std::move(fields);
        s.periodicity = periodicity;
        s.header_fill = fill;
        return s;
    };
    auto zero_open_days = random_series_bars(5, 300);
    for (std::size_t i = 0; i < zero_open_days.size(); i += 7)
        zero_open_days[i].open = 0; // a value of 0 is a value
    return {
        {"seven fields, as Quorbit writes them",
         spec({"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL", "OI"}, 'D', '\0'), zero_open_days},
        {"five fields without OPEN", spec({"DATE", "HIGH", "LOW", "CLOSE", "VOL"}),
         random_series_bars(6, 500)},
        {"six fields", spec({"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL"}), random_series_bars(7, 200)},
        {"date and close", spec({"DATE", "CLOSE"}), random_series_bars(8, 100)},
        {"intra-day, to the second", spec(intraday_fields(), 'I', '\0'), random_series_bars(9, 400, true)},
        {"eight fields with TIME", spec({"DATE", "TIME", "OPEN", "HIGH", "LOW", "CLOSE", "VOL", "OI"}, 'I'),
         random_series_bars(10, 300, true)},
        {"an index from 1928", spec({"DATE", "HIGH", "LOW", "CLOSE"}), index_bars_1928_to_2020()},
        {"dates at both ends of the range", spec({"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL", "OI"}),
         random_series_bars(11, 40, false, kFirstDay)},
        {"and after 2059", spec({"DATE", "CLOSE"}),
         random_series_bars(12, 40, false, date_pack(2059, 12, 20))},
    };
}

TEST(ImportRoundTrip, EveryLayoutComesBackWithTheSameStoredNumbers) {
    int round = 0;
    for (const Case& c : layouts()) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        write_series_portfolio(dir / "src", c.spec, c.bars);
        ExportOptions options;
        options.full_precision = true;
        options.delimiter = round % 3;
        options.title = round % 2 == 0;
        options.newest_first = round % 4 == 1;
        ++round;
        ASSERT_TRUE(export_quotes(dir / "src", "IBM", dir / "ibm.txt", options).ok);
        ASSERT_TRUE(new_portfolio(dir / "dst").ok);
        ImportOptions import;
        import.create = true;
        import.name = "INTL BUS MACH";
        std::vector<ImportOutcome> outcomes;
        const CommandResult result = import_quotes(dir / "dst", "IBM", dir / "ibm.txt", import, outcomes);
        ASSERT_TRUE(result.ok) << result.texts().front();
        ASSERT_EQ(outcomes.size(), 1u);
        EXPECT_EQ(outcomes[0].counts.added, static_cast<std::int32_t>(c.bars.size()));
        const std::size_t length = 4 * c.spec.fields.size();
        EXPECT_EQ(bars_of(dir / "dst" / "F1.DAT", length), bars_of(dir / "src" / "F1.DAT", length));
        if (c.spec.header_fill == '\0') { // a file this program made comes back whole
            EXPECT_EQ(read_bytes(dir / "dst" / "F1.DAT"), read_bytes(dir / "src" / "F1.DAT"));
        }
        SeriesLocation at;
        ASSERT_EQ(series_locate(dir / "dst", "IBM", at), 0);
        EXPECT_EQ(at.record.periodicity(), c.spec.periodicity == 'I' ? 'I' : 'D');
        // The same file again changes nothing.
        const Snapshot before = snapshot(dir / "dst");
        ASSERT_TRUE(import_quotes(dir / "dst", "IBM", dir / "ibm.txt", import, outcomes).ok);
        EXPECT_EQ(outcomes[0].counts.unchanged, static_cast<std::int32_t>(c.bars.size()));
        EXPECT_EQ(snapshot(dir / "dst"), before);
    }
}

TEST(ImportRoundTrip, ExportAllWithTickersThenImportAllRebuildsAPortfolioOfMoreThan255) {
    TempDir dir;
    std::vector<Security> securities;
    for (int n = 1; n <= 255; ++n)
        securities.push_back(make_security(n, "S" + std::to_string(n), "NAME " + std::to_string(n),
                                           random_series_bars(static_cast<unsigned>(n), 3 + n % 5), true));
    securities[3].spec.symbol = "$SP";
    securities[4].spec.symbol = "BRK A";
    write_portfolio(dir / "src", securities, true);
    const auto extra = random_series_bars(400, 20);
    write_bytes(dir / "src" / "f300.mwd", dat_bytes(SeriesSpec{}, extra));
    write_bytes(dir / "src" / "xmaster", xmaster_bytes({{300, "X300", "EXTRA"}}));
    ExportOptions options;
    options.full_precision = true;
    options.ticker = true;
    fs::create_directories(dir / "out");
    ASSERT_TRUE(export_portfolio(dir / "src", dir / "out", options).ok);
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir / "out"))
        files.push_back(entry.path());
    ASSERT_EQ(files.size(), 256u);
    ASSERT_TRUE(new_portfolio(dir / "dst").ok);
    ImportOptions import;
    import.create = true;
    std::vector<ImportOutcome> outcomes;
    const CommandResult result = import_all(dir / "dst", files, import, outcomes);
    ASSERT_TRUE(result.ok) << result.texts().front();
    ASSERT_EQ(outcomes.size(), 256u);
    // Every security back under its symbol, MASTER's 255 numbers taken, then the first of XMASTER.
    std::set<int> numbers;
    auto same_bars = [&](const std::string& symbol, const std::string& expected) {
        SeriesLocation at;
        ASSERT_EQ(series_locate(dir / "dst", symbol, at), 0) << symbol;
        EXPECT_EQ(bars_of(at.file("DAT"), 28), expected.substr(28)) << symbol;
        numbers.insert(at.record.file_number());
    };
    for (const Security& s : securities)
        same_bars(s.spec.symbol, dat_bytes(s.spec, s.bars));
    same_bars("X300", dat_bytes(SeriesSpec{}, extra));
    EXPECT_EQ(numbers.size(), 256u);
    EXPECT_EQ(*numbers.begin(), 1);
    EXPECT_EQ(*numbers.rbegin(), 256);
}

// A portfolio of two securities and quote texts for them.
class Import : public ::testing::Test {
protected:
    void SetUp() override {
        write_portfolio(dir_ / "p", {make_security(1, "AAA", "A CO", random_series_bars(1, 5)),
                                     make_security(2, "BBB", "B CO", random_series_bars(2, 5)),
                                     make_security(3, "CCC", "C CO", random_series_bars(3, 5))});
    }
    fs::path text(const std::string& name, const std::string& content) {
        write_bytes(dir_ / name, content);
        return dir_ / name;
    }
    CommandResult run(const std::vector<fs::path>& files, ImportOptions options = {},
                      const ImportProgress& progress = {}) {
        return import_all(dir_ / "p", files, options, outcomes_, progress);
    }

    TempDir dir_;
    std::vector<ImportOutcome> outcomes_;
};

TEST_F(Import, ARefusedLineAnywhereRefusesTheWholeRunAndWritesNothing) {
    const std::string header = "<TICKER>,<DTYYYYMMDD>,<TIME>,<CLOSE>\n";
    const fs::path good = text("good.csv", header + "AAA,20300102,000000,5\nBBB,20300102,000000,6\n");
    const Snapshot before = snapshot(dir_ / "p");
    struct Refusal {
        std::string content;
        std::string message;
    };
    const std::vector<Refusal> refusals = {
        {header + "CCC,20300103,000000,1\nCCC,20300104,101500,2\n",
         "bad.csv, line 3, column 3: CCC keeps no time of day: its quotes are daily"},
        {header + "DDD,20300103,000000,1\n", "Symbol DDD was not found in"},
        {header + "AAA,20300102,000000,7\n", "bad.csv, line 2, column 2: a second quote of AAA for 01/02/30"},
    };
    for (const Refusal& r : refusals) {
        const CommandResult result = run({good, text("bad.csv", r.content)});
        EXPECT_FALSE(result.ok);
        ASSERT_FALSE(result.messages.empty());
        EXPECT_NE(result.messages.back().text.find(r.message), std::string::npos)
            << result.messages.back().text;
        EXPECT_TRUE(outcomes_.empty());
        EXPECT_EQ(snapshot(dir_ / "p"), before);
    }
}

TEST_F(Import, ADamagedMasterIsNotWritten) {
    // A count beyond the records MASTER holds: the symbol list calls it damaged.
    std::string master = read_bytes(dir_ / "p" / "MASTER");
    set_image_counters(master, 9, 9);
    write_bytes(dir_ / "p" / "MASTER", master);
    const Snapshot before = snapshot(dir_ / "p");
    const fs::path file = text("day.txt", "ticker date close\nAAA 2030-01-02 5\n");
    EXPECT_FALSE(run({file}).ok);
    EXPECT_FALSE(new_security(dir_ / "p", "NEW", "NEW CO", series_shape_default('D')).ok);
    EXPECT_EQ(snapshot(dir_ / "p"), before);
}

TEST_F(Import, AFailedSecurityLeavesTheOthersWrittenAndTheResultSaysWhich) {
    // BBB's stored quotes are out of date order: its merge cannot place a new one.
    const auto bbb = random_series_bars(2, 5);
    write_security(dir_ / "p", SeriesSpec{2, "BBB", "B CO"}, {bbb[1], bbb[0], bbb[2]});
    const fs::path file =
        text("day.txt", "ticker date close\nAAA 2030-01-02 5\nBBB 2030-01-02 6\nCCC 2030-01-02 7\n");
    const Snapshot before = snapshot(dir_ / "p");
    ImportOptions dry;
    dry.dry_run = true; // the counts shown before an import find the refusal too, and write nothing
    const CommandResult counted = run({file}, dry);
    EXPECT_FALSE(counted.ok);
    EXPECT_EQ(counted.messages.back().text,
              "BBB: nothing imported, its stored quotes are not in date order (quote 2).");
    EXPECT_EQ(snapshot(dir_ / "p"), before);
    const CommandResult result = run({file});
    EXPECT_FALSE(result.ok);
    ASSERT_EQ(outcomes_.size(), 3u);
    EXPECT_TRUE(outcomes_[0].written && !outcomes_[1].written && outcomes_[2].written);
    EXPECT_EQ(result.messages.back().text, "Imported: AAA CCC\nNot imported: BBB");
    EXPECT_EQ(outcomes_[0].text(), "AAA: 1 added, 0 replaced, 0 unchanged; 6 quotes from " +
                                       quote_date_text(random_series_bars(1, 1)[0].date) + " to 01/02/30");
}

TEST_F(Import, ASecurityMadeTakesTheNameTheFileGivesIt) {
    const fs::path file = text("day.txt", "Symbol,Name,Date,Close\nZZZ,Zeta Zoo Company,2030-01-02,5\n"
                                          "YYY,,2030-01-02,6\nZZZ,Another,2030-01-03,5.5\n");
    ImportOptions options;
    options.create = true;
    ASSERT_TRUE(run({file}, options).ok);
    SeriesLocation zzz, yyy;
    ASSERT_EQ(series_locate(dir_ / "p", "ZZZ", zzz), 0);
    ASSERT_EQ(series_locate(dir_ / "p", "YYY", yyy), 0);
    EXPECT_EQ(master_name_text(zzz.record), "Zeta Zoo Company");
    EXPECT_EQ(master_name_text(yyy.record), "YYY             ");
    EmasterRecord extended;
    ASSERT_EQ(emaster_find(dir_ / "p", zzz.record.file_number(), extended), EmasterState::Usable);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&extended.bytes[32]), 16), "Zeta Zoo Company");
}

TEST_F(Import, CancelStopsBetweenSecuritiesEachWrittenWhole) {
    const fs::path file = text("day.txt", "Ticker;Date;Close\nAAA;01/02/2030;5\nBBB;01/02/2030;6\n");
    const Snapshot before = snapshot(dir_ / "p");
    const CommandResult result = run({file}, {}, [](std::size_t done, std::size_t) { return done < 1; });
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.messages.back().text, "Imported: AAA\nNot imported: BBB");
    const Snapshot after = snapshot(dir_ / "p");
    EXPECT_NE(after.at("F1.DAT"), before.at("F1.DAT"));
    EXPECT_EQ(after.at("F2.DAT"), before.at("F2.DAT"));
}

TEST(NewSecurityCommand, ChecksItsSymbolNameAndShapeAndRefusesASymbolTaken) {
    TempDir dir;
    ASSERT_TRUE(new_portfolio(dir.path()).ok);
    SeriesShape shape;
    std::string error;
    ASSERT_TRUE(series_shape_parse("date,close,vol", "w", shape, error)) << error;
    EXPECT_EQ(shape.field_count(), 3);
    EXPECT_EQ(shape.periodicity, 'W');
    for (auto [fields, periodicity] : {std::pair{"date,time,close", "D"},
                                       {"date,close", "I"},
                                       {"date,pe", "D"},
                                       {"date", "D"},
                                       {"date,close", "X"},
                                       {"date,,close", "D"},
                                       {"date,close,", "D"}})
        EXPECT_FALSE(series_shape_parse(fields, periodicity, shape, error)) << fields << " " << periodicity;
    EXPECT_TRUE(new_security(dir.path(), "ACME", "A name longer than sixteen", series_shape_default('D')).ok);
    EXPECT_FALSE(new_security(dir.path(), "acme", "Again", series_shape_default('D')).ok);
    EXPECT_FALSE(new_security(dir.path(), "", "No symbol", series_shape_default('D')).ok);
    EXPECT_FALSE(new_security(dir.path(), " LEAD", "Blank", series_shape_default('D')).ok);
    EXPECT_FALSE(new_security(dir.path(), "LONG", std::string(45, 'N'), series_shape_default('D')).ok);
    EXPECT_FALSE(new_security(dir / "none", "X", "X", series_shape_default('D')).ok);
}

} // namespace
