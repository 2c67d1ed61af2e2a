#include "analysis/export.h"
#include "analysis/split_search.h"

#include "storage/encoding.h"
#include "support/fault_injection.h"
#include "support/series_builder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

std::string printf_text(double value, int precision) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%.*f", precision, value);
    return buffer;
}

// The file as the export must write it, built independently with printf.
std::string reference_file(const std::vector<SeriesBar>& bars, const std::vector<bool>& present,
                           const ExportOptions& o) {
    const char delimiter = o.delimiter == 1 ? ',' : o.delimiter == 2 ? '\t' : ' ';
    const char* titles[] = {"OPEN", "HIGH", "LOW", "CLOSE", "VOL", "OI"};
    std::string out;
    if (o.title) {
        out += "DATE";
        for (int c = 0; c < 6; ++c)
            if (!o.omit[c])
                out += delimiter + std::string(titles[c]);
        out += '\n';
    }
    std::string cells[6] = {"N/A", "N/A", "N/A", "N/A", "N/A", "N/A"};
    for (std::size_t k = 0; k < bars.size(); ++k) {
        const SeriesBar& bar = o.newest_first ? bars[bars.size() - 1 - k] : bars[k];
        const float values[] = {bar.open, bar.high, bar.low, bar.close, bar.vol, bar.oi};
        out += date_format(bar.date, kMMDDYYSep, '/');
        for (int c = 0; c < 6; ++c) {
            const float v = present[static_cast<std::size_t>(c)] ? values[c] : -1.0f;
            if (v >= 0.0f)
                cells[c] = printf_text(v, c < 4 ? 4 : 2);
            if (!o.omit[c])
                out += delimiter + cells[c];
        }
        out += '\n';
    }
    return out;
}

ExportOptions options(int delimiter, bool newest, bool title, unsigned omit_mask) {
    ExportOptions o;
    o.delimiter = delimiter;
    o.newest_first = newest;
    o.title = title;
    for (int c = 0; c < 6; ++c)
        o.omit[c] = (omit_mask >> c) & 1u;
    return o;
}

SeriesSpec spec_for(int number, const std::string& symbol) {
    SeriesSpec spec;
    spec.file_number = number;
    spec.symbol = symbol;
    spec.name = symbol + " CORP";
    return spec;
}

} // namespace

TEST(Export, TheExampleFileExactly) {
    TempDir dir;
    SeriesSpec spec = spec_for(1, "ACME");
    write_series_portfolio(dir.path(), spec,
                           {{date_pack(98, 1, 2), 0, 12.5f, 12.75f, 12.25f, 12.625f, 15300.0f, 5.0f}});
    ExportOptions o = options(1, false, true, 1u << kExportOi);
    ASSERT_TRUE(export_quotes(dir.path(), "ACME", dir / "out.txt", o).ok);
    EXPECT_EQ(read_bytes(dir / "out.txt"),
              "DATE,OPEN,HIGH,LOW,CLOSE,VOL\n01/02/98,12.5000,12.7500,12.2500,12.6250,15300.00\n");
}

TEST(Export, EveryOrderDelimiterTitleAndOmitCombinationMatchesTheReference) {
    TempDir dir;
    SeriesSpec spec = spec_for(4, "BIG");
    spec.lower_case = true;
    std::vector<SeriesBar> bars = random_series_bars(11, 2100); // more than one window of bars
    bars[0].open = -3.0f;                                       // "N/A" until the next value
    for (std::size_t i = 7; i < bars.size(); i += 97) {
        bars[i].high = -0.5f; // keeps the row before's text
        bars[i].vol = -1.0f;
    }
    bars[100].close = 0.0f;
    write_series_portfolio(dir.path(), spec, bars);
    const std::vector<bool> all(6, true);

    const unsigned masks[] = {0u, 0x21u, 0x1Eu};
    for (int delimiter : {0, 1, 2, 5})
        for (bool newest : {false, true})
            for (bool title : {false, true})
                for (unsigned mask : masks) {
                    const ExportOptions o = options(delimiter, newest, title, mask);
                    const CommandResult result = export_quotes(dir.path(), "big", dir / "x.txt", o);
                    ASSERT_TRUE(result.ok);
                    ASSERT_EQ(read_bytes(dir / "x.txt"), reference_file(bars, all, o))
                        << "delimiter " << delimiter << " newest " << newest << " title " << title << " mask "
                        << mask;
                }
    EXPECT_EQ(snapshot(dir.path()).size(), 4u); // master, f4.dat, f4.dop and the export: no temporary left
}

TEST(Export, AbsentFieldsReadNAAndTitleWithEverythingOmitted) {
    TempDir dir;
    SeriesSpec spec = spec_for(1, "HL");
    spec.fields = {"DATE", "HIGH", "LOW", "CLOSE"};
    const std::vector<SeriesBar> bars = random_series_bars(5, 3);
    write_series_portfolio(dir.path(), spec, bars);
    const std::vector<bool> present = {false, true, true, true, false, false};

    ExportOptions o = options(2, false, false, 0);
    ASSERT_TRUE(export_quotes(dir.path(), "HL", dir / "a.txt", o).ok);
    const std::string text = read_bytes(dir / "a.txt");
    EXPECT_EQ(text, reference_file(bars, present, o));
    EXPECT_NE(text.find("\tN/A\tN/A\n"), std::string::npos);
    EXPECT_EQ(text.find("\t\n"), std::string::npos);

    o = options(0, false, false, (1u << kExportOpen) | (1u << kExportVol) | (1u << kExportOi));
    ASSERT_TRUE(export_quotes(dir.path(), "HL", dir / "b.txt", o).ok);
    EXPECT_EQ(read_bytes(dir / "b.txt").find("N/A"), std::string::npos);

    o = options(1, true, true, 0x3F);
    ASSERT_TRUE(export_quotes(dir.path(), "HL", dir / "c.txt", o).ok);
    EXPECT_EQ(read_bytes(dir / "c.txt"), "DATE\n" + date_format(bars[2].date, kMMDDYYSep, '/') + "\n" +
                                             date_format(bars[1].date, kMMDDYYSep, '/') + "\n" +
                                             date_format(bars[0].date, kMMDDYYSep, '/') + "\n");
}

TEST(Export, EmptySeriesWritesOnlyTheTitle) {
    TempDir dir;
    write_series_portfolio(dir.path(), spec_for(1, "NONE"), {});
    ASSERT_TRUE(export_quotes(dir.path(), "NONE", dir / "e.txt", options(0, true, true, 0)).ok);
    EXPECT_EQ(read_bytes(dir / "e.txt"), "DATE OPEN HIGH LOW CLOSE VOL OI\n");
}

TEST(Export, FailuresLeaveNoPartialFileAndAnExistingFileIntact) {
    TempDir dir;
    write_series_portfolio(dir.path(), spec_for(1, "ACME"), random_series_bars(2, 2500));
    write_bytes(dir / "existing.txt", "previous export");

    const CommandResult unknown =
        export_quotes(dir.path(), "NOSUCH", dir / "existing.txt", options(0, false, 0, 0));
    EXPECT_FALSE(unknown.ok);
    EXPECT_NE(unknown.status, 0);
    EXPECT_TRUE(unknown.messages.empty());

    const CommandResult no_dir =
        export_quotes(dir.path(), "ACME", dir / "missing" / "x.txt", options(0, false, 0, 0));
    EXPECT_FALSE(no_dir.ok);
    EXPECT_EQ(no_dir.texts(), std::vector<std::string>{"file export error"});

    const auto before = snapshot(dir.path());
    std::size_t calls = 0;
    {
        FaultInjector counter;
        ASSERT_TRUE(export_quotes(dir.path(), "ACME", dir / "probe.txt", options(0, false, 0, 0)).ok);
        calls = counter.calls();
    }
    fs::remove(dir / "probe.txt");
    int write_failures = 0;
    for (std::size_t n = 1; n <= calls; ++n) {
        write_bytes(dir / "existing.txt", "previous export");
        FaultInjector faults;
        faults.fail_call(n, EIO);
        const CommandResult result =
            export_quotes(dir.path(), "ACME", dir / "existing.txt", options(0, false, 0, 0));
        if (!result.ok) {
            const auto now = snapshot(dir.path());
            EXPECT_TRUE(now == before)
                << "call " << n << ": " << now.size() << " files, status " << result.status;
            write_failures += result.texts() == std::vector<std::string>{"file export error"};
        }
    }
    EXPECT_GT(write_failures, 0);
}

TEST(Export, SafeNamesAndCollisionsForAWholePortfolio) {
    EXPECT_EQ(export_safe_name("IBM"), "IBM");
    EXPECT_EQ(export_safe_name("BRK.A"), "BRK.A");
    EXPECT_EQ(export_safe_name("../etc/x"), "_._etc_x");
    EXPECT_EQ(export_safe_name(".HIDDEN"), "_HIDDEN");
    EXPECT_EQ(export_safe_name("-rf"), "_rf");
    EXPECT_EQ(export_safe_name("A~B C\xC4"), "A_B_C_");
    EXPECT_EQ(export_safe_name(""), "_");
    EXPECT_EQ(export_safe_name("con"), "_con");
    EXPECT_EQ(export_safe_name("LPT1.X"), "_LPT1.X");

    EXPECT_EQ(export_all_file_names({{"IBM", 1}, {"A/B", 2}, {"A_B", 3}, {"ibm", 4}, {"X", 5}}),
              (std::vector<std::string>{"IBM~1.txt", "A_B~2.txt", "A_B~3.txt", "ibm~4.txt", "X.txt"}));
    // A damaged MASTER with a repeated file number still gives distinct names.
    EXPECT_EQ(export_all_file_names({{"Q", 7}, {"Q", 7}}),
              (std::vector<std::string>{"Q~7~1.txt", "Q~7~2.txt"}));

    TempDir dir;
    const fs::path out = dir / "out";
    fs::create_directories(out);
    const std::vector<SeriesBar> bars_a = random_series_bars(21, 40);
    const std::vector<SeriesBar> bars_b = random_series_bars(22, 30);
    SeriesSpec a = spec_for(2, "AB/C");
    SeriesSpec b = spec_for(1, "ZED");
    b.symbol = ""; // a blank symbol: the list shows the name "ZED CORP", padded with blanks in the file
    write_security(dir.path(), a, bars_a);
    write_security(dir.path(), b, bars_b);
    write_series_master(dir.path(), {series_master_record(b, bars_b), series_master_record(a, bars_a)}, false,
                        2);
    const ExportOptions o = options(1, false, true, 0);
    ASSERT_TRUE(export_portfolio(dir.path(), out, o).ok);
    const std::vector<bool> all(6, true);
    EXPECT_EQ(read_bytes(out / "AB_C.txt"), reference_file(bars_a, all, o));
    EXPECT_EQ(read_bytes(out / "ZED_CORP.txt"), reference_file(bars_b, all, o));
    EXPECT_EQ(snapshot(out).size(), 2u);
}

TEST(Export, ATextResultNeverReplacesAPortfolioFileOrAnythingButARegularFile) {
    TempDir dir;
    const SeriesSpec spec = spec_for(1, "ACME");
    write_series_portfolio(dir.path(), spec, random_series_bars(5, 3));
    fs::create_directory(dir / "folder");
    fs::create_symlink(dir / "MASTER", dir / "link.txt");
    fs::create_symlink(dir / "MASTER", dir / "out.txt.part"); // where the copy would be written first
    ASSERT_EQ(mkfifo((dir / "pipe.txt").c_str(), 0600), 0);
    const auto before = snapshot(dir.path());
    const char* const refused[] = {"MASTER",     "master.bak", "folder/../MASTER", "F1.DAT",
                                   "f1.dop",     "F7.MWD",     "EMASTER",          "xmaster",
                                   "MASTER.~NU", "F1.DAT.TMP", "F1.BAK",           "MASTER. ",
                                   "link.txt",   "pipe.txt",   "folder",           "out.txt"};
    for (const char* name : refused) {
        const CommandResult exported = export_quotes(dir.path(), "ACME", dir / name, ExportOptions{});
        const CommandResult saved = split_search_save(dir / name, {"line"});
        EXPECT_FALSE(exported.ok) << name;
        EXPECT_FALSE(saved.ok) << name;
        EXPECT_EQ(saved.messages, exported.messages);
    }
    EXPECT_EQ(snapshot(dir.path()), before);
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / "link.txt")));
    EXPECT_TRUE(export_quotes(dir.path(), "ACME", dir / "F1.txt", ExportOptions{}).ok);
}

TEST(Export, SettingsEntriesInSaveOrder) {
    const std::vector<LogEntry> entries = export_settings_entries(
        "C:\\OUT.TXT", options(2, true, false, (1u << kExportHigh) | (1u << kExportOi)));
    std::vector<std::string> texts;
    for (const LogEntry& e : entries)
        texts.push_back(e.section + "/" + e.key + "=" + e.value);
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "XportSel/Starter=C:\\OUT.TXT", "XportSel/OmitOpen=0", "XportSel/OmitHigh=1",
                         "XportSel/OmitLow=0", "XportSel/OmitClose=0", "XportSel/OmitVol=0",
                         "XportSel/OmitOI=1", "XportSel/Delim=2", "XportSel/Newest=1", "XportSel/Title=0"}));
    EXPECT_EQ(export_replace_question("out.txt"),
              "out.txt\nThis file already exists\n\nReplace existing file?");
}
