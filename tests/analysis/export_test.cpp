// Export, compared byte for byte with a reference written with printf. Every failing call of an export
// is swept in reliability/fault_sweep_test.cpp.
#include "analysis/export.h"
#include "analysis/split_search.h"

#include "storage/display_text.h"
#include "support/builder.h"
#include "support/fault_injection.h"
#include "support/host.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

// The file as the export must write it: a value below 0 (absent) repeats the row before, "N/A" at first.
// A series with a time of day has its time column after the date.
std::string reference_file(const std::vector<SeriesBar>& bars, const std::vector<bool>& present,
                           const ExportOptions& o, bool with_time = false) {
    const char delimiter = o.delimiter == 1 ? ',' : o.delimiter == 2 ? '\t' : ' ';
    const char* titles[] = {"OPEN", "HIGH", "LOW", "CLOSE", "VOL", "OI"};
    const bool time_column = with_time && !o.omit_time;
    std::string out = o.title ? "DATE" : "";
    out += o.title && time_column ? delimiter + std::string("Time") : "";
    for (int c = 0; c < 6 && o.title; ++c)
        out += o.omit[c] ? std::string() : delimiter + std::string(titles[c]);
    out += o.title ? "\n" : "";
    std::string cells[6] = {"N/A", "N/A", "N/A", "N/A", "N/A", "N/A"};
    for (std::size_t k = 0; k < bars.size(); ++k) {
        const SeriesBar& bar = o.newest_first ? bars[bars.size() - 1 - k] : bars[k];
        const float values[] = {bar.open, bar.high, bar.low, bar.close, bar.vol, bar.oi};
        out += date_format(bar.date, kMMDDYYSep, '/');
        if (time_column) {
            char time[32];
            std::snprintf(time, sizeof time, "%c%02d:%02d:%02d", delimiter, bar.time / 10000,
                          bar.time / 100 % 100, bar.time % 100);
            out += time;
        }
        for (int c = 0; c < 6; ++c) {
            char text[512];
            std::snprintf(text, sizeof text, "%.*f", c < 4 ? 4 : 2, static_cast<double>(values[c]));
            if (present[static_cast<std::size_t>(c)] && values[c] >= 0.0f)
                cells[c] = text;
            out += o.omit[c] ? std::string() : delimiter + cells[c];
        }
        out += '\n';
    }
    return out;
}

ExportOptions options(int delimiter, bool newest, bool title, unsigned omit_mask) {
    ExportOptions o{{}, delimiter, newest, title};
    for (int c = 0; c < 6; ++c)
        o.omit[c] = (omit_mask >> c) & 1u;
    return o;
}

const std::vector<bool> kAll(6, true);

TEST(Export, EveryOrderDelimiterTitleAndOmitCombinationMatchesTheReference) {
    TempDir dir;
    const SeriesSpec spec{.lower_case = true};
    write_series_portfolio(dir.path(), spec,
                           {{date_pack(98, 1, 2), 0, 12.5f, 12.75f, 12.25f, 12.625f, 15300, 5}});
    ASSERT_TRUE(
        export_quotes(dir.path(), "IBM", dir / "out.txt", options(1, false, true, 1u << kExportOi)).ok);
    EXPECT_EQ(read_bytes(dir / "out.txt"),
              "DATE,OPEN,HIGH,LOW,CLOSE,VOL\n01/02/98,12.5000,12.7500,12.2500,12.6250,15300.00\n");
    std::vector<SeriesBar> bars = random_series_bars(11, 2100); // more than one window of bars
    bars[0].open = -3.0f;                                       // "N/A" until the next value
    for (std::size_t i = 7; i < bars.size(); i += 97)
        bars[i].high = -0.5f, bars[i].vol = -1.0f; // keep the row before's text
    bars[100].close = 0.0f;
    write_series_portfolio(dir.path(), spec, bars);
    for (int delimiter : {0, 1, 2, 5})
        for (bool newest : {false, true})
            for (bool title : {false, true})
                for (unsigned mask : {0u, 0x21u, 0x1Eu}) {
                    const ExportOptions o = options(delimiter, newest, title, mask);
                    ASSERT_TRUE(export_quotes(dir.path(), "ibm", dir / "out.txt", o).ok);
                    ASSERT_EQ(read_bytes(dir / "out.txt"), reference_file(bars, kAll, o))
                        << delimiter << " " << newest << " " << title << " " << mask;
                }
    EXPECT_EQ(snapshot(dir.path()).size(), 4u); // no temporary file left
    // Intra-day quotes, to the second: the real shapes, then more than one window of them.
    const SeriesSpec intraday = intraday_real_spec();
    const std::vector<bool> no_oi = {true, true, true, true, true, false};
    for (const std::vector<SeriesBar>& quotes : {intraday_real_bars(), random_series_bars(12, 2300, true)}) {
        write_series_portfolio(dir / "intra", intraday, quotes);
        for (int delimiter : {0, 1, 2})
            for (bool title : {false, true})
                for (bool omit_time : {false, true}) {
                    ExportOptions o = options(delimiter, delimiter == 2, title, delimiter == 1 ? 0x20u : 0u);
                    o.omit_time = omit_time;
                    ASSERT_TRUE(export_quotes(dir / "intra", "ABAN.N0000", dir / "i.txt", o).ok);
                    ASSERT_EQ(read_bytes(dir / "i.txt"), reference_file(quotes, no_oi, o, true))
                        << delimiter << " " << title << " " << omit_time;
                }
    }
    fs::remove_all(dir / "intra");
    fs::remove(dir / "i.txt");
    write_series_portfolio(dir.path(), spec, {});
    ASSERT_TRUE(export_quotes(dir.path(), "IBM", dir / "e.txt", options(0, true, true, 0)).ok);
    EXPECT_EQ(read_bytes(dir / "e.txt"), "DATE OPEN HIGH LOW CLOSE VOL OI\n");
}

TEST(Export, AbsentFieldsReadNAAndFailuresSayWhy) {
    TempDir dir;
    const std::vector<SeriesBar> bars = random_series_bars(5, 3);
    write_series_portfolio(dir.path(), {.fields = {"DATE", "HIGH", "LOW", "CLOSE"}}, bars);
    for (const ExportOptions& o :
         {options(2, false, false, 0), options(0, false, false, 0x31), options(1, true, true, 0x3F)}) {
        ASSERT_TRUE(export_quotes(dir.path(), "IBM", dir / "a.txt", o).ok);
        EXPECT_EQ(read_bytes(dir / "a.txt"),
                  reference_file(bars, {false, true, true, true, false, false}, o));
    }
    const CommandResult unknown = export_quotes(dir.path(), "NOSUCH", dir / "a.txt", ExportOptions{});
    EXPECT_FALSE(unknown.ok || unknown.status == 0 || !unknown.messages.empty());
    EXPECT_EQ(export_quotes(dir.path(), "IBM", dir / "missing" / "x.txt", ExportOptions{}).texts(),
              std::vector<std::string>{"file export error"});
}

TEST(Export, AWholePortfolioGetsSafeDistinctFileNames) {
    // clang-format off
    const std::pair<const char*, const char*> safe[] = {{"IBM", "IBM"}, {"BRK.A", "BRK.A"}, {"../etc/x", "_._etc_x"},
        {".HIDDEN", "_HIDDEN"}, {"-rf", "_rf"}, {"A~B C\xC4", "A_B_C_"}, {"", "_"}, {"con", "_con"}, {"LPT1.X", "_LPT1.X"}};
    // clang-format on
    for (const auto& [symbol, name] : safe)
        EXPECT_EQ(export_safe_name(symbol), name);
    EXPECT_EQ(export_all_file_names({{"IBM", 1}, {"A/B", 2}, {"A_B", 3}, {"ibm", 4}, {"X", 5}}),
              (std::vector<std::string>{"IBM~1.txt", "A_B~2.txt", "A_B~3.txt", "ibm~4.txt", "X.txt"}));
    EXPECT_EQ(export_all_file_names({{"Q", 7}, {"Q", 7}}),
              (std::vector<std::string>{"Q~7~1.txt", "Q~7~2.txt"}));
    TempDir dir;
    Security a = make_security(2, "AB/C", "AB CORP", random_series_bars(21, 40));
    Security b = make_security(1, "", "ZED CORP", random_series_bars(22, 30)); // listed by its name
    Security c = make_security(3, "CC", "CC INC", random_series_bars(23, 2500));
    write_portfolio(dir.path(), {b, a, c});
    fs::create_directories(dir / "out");
    const ExportOptions o = options(1, false, true, 0);
    ASSERT_TRUE(export_portfolio(dir.path(), dir / "out", o).ok);
    EXPECT_EQ(read_bytes(dir / "out" / "AB_C.txt"), reference_file(a.bars, kAll, o));
    EXPECT_EQ(read_bytes(dir / "out" / "ZED_CORP.txt"), reference_file(b.bars, kAll, o));
    EXPECT_EQ(snapshot(dir / "out").size(), 3u);
    // A security that cannot be read and a name a folder holds fail alone; the others are written.
    fs::remove(dir / "F2.DAT");
    fs::remove(dir / "out" / "ZED_CORP.txt");
    fs::create_directory(dir / "out" / "ZED_CORP.txt");
    const ExportOptions newest = options(2, true, false, 0);
    const CommandResult partly = export_portfolio(dir.path(), dir / "out", newest);
    ASSERT_EQ(partly.texts().size(), 2u);
    EXPECT_FALSE(partly.ok);
    EXPECT_EQ(partly.texts()[0], "AB/C: " + std::string(status_text(status::kFileOpen)));
    EXPECT_EQ(partly.texts()[1].rfind("ZED CORP: The file", 0), 0u);
    EXPECT_EQ(read_bytes(dir / "out" / "CC.txt"), reference_file(c.bars, kAll, newest));
}

// Whichever call of export-all fails, every file it writes is its older content or its complete new
// one, no temporary copy stays, and each file that is not new is named in the failure.
TEST(Export, AFailureInTheBatchLeavesNoPartialFileAndNamesTheSecurity) {
    TempDir dir;
    const std::vector<Security> securities = {
        make_security(1, "AA", "AA INC", random_series_bars(31, 30)),
        make_security(2, "BB", "BB INC", random_series_bars(32, 20), true),
        make_security(3, "CC", "CC INC", random_series_bars(33, 10))};
    write_portfolio(dir / "p", securities);
    const ExportOptions o = options(1, false, true, 0);
    fs::create_directories(dir / "new");
    std::size_t calls = 0;
    {
        FaultInjector counter;
        ASSERT_TRUE(export_portfolio(dir / "p", dir / "new", o).ok);
        calls = counter.calls();
    }
    const Snapshot done = snapshot(dir / "new");
    ASSERT_EQ(done.size(), 3u);
    for (std::size_t call = 1; call <= calls; ++call) {
        SCOPED_TRACE("call " + std::to_string(call) + " of " + std::to_string(calls));
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        write_bytes(dir / "out" / "BB.txt", "an older export\n");
        CommandResult result;
        {
            FaultInjector faults;
            faults.fail_call(call, EIO);
            result = export_portfolio(dir / "p", dir / "out", o);
        }
        std::size_t not_new = 0;
        for (const auto& [name, text] : snapshot(dir / "out")) {
            ASSERT_TRUE(done.count(name)) << name << " is left behind";
            const bool is_new = text == done.at(name);
            EXPECT_TRUE(is_new || (name == "BB.txt" && text == "an older export\n")) << name;
            not_new += !is_new;
        }
        not_new += done.size() - snapshot(dir / "out").size();
        EXPECT_EQ(result.ok, not_new == 0);
        if (not_new > 0 && result.texts().size() > 1) {
            EXPECT_EQ(result.texts().size(), not_new); // one message per security not written
        }
    }
}

TEST(Export, ATextResultNeverReplacesAPortfolioFileOrAnythingButARegularFile) {
    TempDir dir;
    write_series_portfolio(dir.path(), SeriesSpec{}, random_series_bars(5, 3));
    fs::create_directory(dir / "folder");
    std::vector<std::string> names = {
        "MASTER",  "master.bak", "folder/../MASTER", "F1.DAT", "f1.dop",   "F7.MWD", "EMASTER",
        "xmaster", "MASTER.~NU", "F1.DAT.TMP",       "F1.BAK", "MASTER. ", "folder"};
#ifndef _WIN32 // links and named pipes, where the host has them
    fs::create_symlink(dir / "MASTER", dir / "link.txt");
    fs::create_symlink(dir / "MASTER", dir / "out.txt.part"); // where the copy would be written first
    ASSERT_EQ(mkfifo((dir / "pipe.txt").c_str(), 0600), 0);
    names.insert(names.end(), {"link.txt", "pipe.txt", "out.txt"});
#endif
    const auto before = snapshot(dir.path());
    for (const std::string& name : names) {
        const CommandResult exported = export_quotes(dir.path(), "IBM", dir / name, ExportOptions{});
        const CommandResult saved = split_search_save(dir / name, {"line"});
        EXPECT_FALSE(exported.ok || saved.ok) << name;
        EXPECT_EQ(saved.messages, exported.messages);
    }
    EXPECT_TRUE(snapshot(dir.path()) == before);
    EXPECT_TRUE(!testing_support::kPosixHost || fs::is_symlink(fs::symlink_status(dir / "link.txt")));
    EXPECT_TRUE(export_quotes(dir.path(), "IBM", dir / "F1.txt", ExportOptions{}).ok);
}

} // namespace
