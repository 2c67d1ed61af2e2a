// quorbit-cli end to end: a real process over real files, its output, messages and exit status.
#include "storage/master.h"
#include "support/builder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <span>
#include <sstream>
#include <string>
#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#endif
#include <vector>

namespace fs = std::filesystem;
using testing_support::read_bytes;
using testing_support::snapshot;
using testing_support::TempDir;

namespace {

struct CliRun {
    int exit_code = -1;
    std::string out;
    std::string err;
};

#ifdef _WIN32
// cmd.exe: a word in double quotes (the tests' words hold none).
std::string quoted(const std::string& word) {
    return "\"" + word + "\"";
}
// cmd.exe /c takes a line that starts with a quote as a whole only inside one more pair of quotes.
std::string shell_line(const std::string& command) {
    return "\"" + command + "\"";
}
int exit_code_of(int status) {
    return status;
}
#else
std::string quoted(const std::string& word) {
    std::string q = "'";
    for (char c : word)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}
std::string shell_line(const std::string& command) {
    return command;
}
int exit_code_of(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

class Cli : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(run({"demo", demo().string()}).exit_code, 0); }

    fs::path demo() const { return dir_ / "demo"; }
    fs::path stocks() const { return demo() / "STOCKS"; }

    CliRun run(const std::vector<std::string>& words) const {
        std::string command = quoted(QUORBIT_CLI_PATH);
        for (const auto& w : words)
            command += " " + quoted(w);
        command += " > " + quoted((dir_ / "out").string()) + " 2> " + quoted((dir_ / "err").string());
        const int status = std::system(shell_line(command).c_str());
        CliRun r;
        r.exit_code = exit_code_of(status);
        r.out = read_bytes(dir_ / "out");
        r.err = read_bytes(dir_ / "err");
        // Messages are text, in the host's line ends (data on standard output goes out byte for byte).
        std::erase(r.err, '\r');
        return r;
    }

    // Runs a command that must succeed; the lines of its output.
    std::vector<std::string> ok(const std::vector<std::string>& words) const {
        const CliRun r = run(words);
        EXPECT_EQ(r.exit_code, 0) << words[0] << ": " << r.err;
        return lines(r.out);
    }

    static std::vector<std::string> lines(const std::string& text) {
        std::vector<std::string> out;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            out.push_back(line);
        return out;
    }

    TempDir dir_;
};

TEST_F(Cli, ListsSearchesAndExports) {
    const std::string funds = (demo() / "funds").string(), s = stocks().string();
    EXPECT_EQ(
        ok({"portfolios", demo().string()}),
        (std::vector<std::string>{funds, (demo() / "INTRADAY").string(), s, (stocks() / "SUB").string()}));
    EXPECT_EQ(ok({"portfolios", demo().string(), "--filter", (demo() / "stocks").string()}),
              (std::vector<std::string>{s, (stocks() / "SUB").string()}));
    EXPECT_EQ(ok({"symbols", funds, "--header"}),
              (std::vector<std::string>{"SYMBOL\tNAME\tFILE\tLENGTH\tFIELDS\tFIRST\tLAST\tPERIODICITY",
                                        "BNDFND\tBOND FUND\t2\t12\t3\t01/03/22\t11/15/24\tD",
                                        "EQFND\tEQUITY FUND\t1\t24\t6\t01/03/22\t11/15/24\tD"}));
    const auto newest = ok({"quotes", funds, "bndfnd"}),
               oldest = ok({"quotes", funds, "BNDFND", "--oldest-first"});
    ASSERT_EQ(newest.size(), 750u);
    EXPECT_EQ(newest.front(), oldest.back());
    EXPECT_EQ(newest.front().substr(0, 13) + oldest.front().substr(0, 9), "11/15/24\tN/A\t01/03/22\t");
    const auto facts = ok({"facts", s, "GAMMA"}); // found in the nested portfolio
    EXPECT_NE(std::find(facts.begin(), facts.end(), "Number of quotes\t300"), facts.end());
    EXPECT_EQ(ok({"split-search", s, "--output", (dir_ / "splits.txt").string()}),
              std::vector<std::string>{"BOLT possible 2 for 1 split on 06/20/22"});
    EXPECT_EQ(read_bytes(dir_ / "splits.txt"), "BOLT possible 2 for 1 split on 06/20/22\n");
    const CliRun none = run({"split-search", funds}); // said once, on the error stream
    EXPECT_TRUE(none.exit_code == 0 && none.out.empty() && lines(none.err).size() == 1 &&
                none.err.find("No candidate splits found") != std::string::npos)
        << none.err;
    std::vector<std::string> words = {
        "export", s, "ACME", (dir_ / "acme.csv").string(), "--delimiter", "comma", "--omit", "oi", "--title"};
    ok(words);
    const auto rows = lines(read_bytes(dir_ / "acme.csv"));
    ASSERT_EQ(rows.size(), 6001u);
    EXPECT_EQ(rows[0] + "|" + rows[1].substr(0, 17), "DATE,OPEN,HIGH,LOW,CLOSE,VOL|01/04/99,42.0000,");
    words[3] = "-";
    EXPECT_EQ(ok(words), rows);
    ok({"export-all", funds, (dir_ / "all").string(), "--newest-first"});
    EXPECT_TRUE(fs::exists(dir_ / "all" / "BNDFND.txt") &&
                read_bytes(dir_ / "all" / "EQFND.txt").starts_with("11/15/24 "));
}

TEST_F(Cli, ChecksForBadQuotesAndExitsOneWhenItFindsAny) {
    const std::string funds = (demo() / "funds").string(), s = stocks().string();
    const std::string split =
        "BOLT\t06/20/22\tpossible-split\tpossible 2 for 1 previous=77.0300 close=38.7750";
    CliRun r = run({"check", s});
    EXPECT_EQ(std::pair(r.exit_code, lines(r.out)), std::pair(1, std::vector<std::string>{split}));
    EXPECT_EQ(ok({"check", funds}), std::vector<std::string>{});
    ok({"edit", funds, "EQFND", "11/14/24", "11.26", "11.14", "11.32", "11.21", "68675", "N/A"});
    const std::string fault = "EQFND\t11/14/24\thigh-below-low\thigh=11.1400 low=11.3200";
    for (const std::vector<std::string>& words :
         {std::vector<std::string>{"check", funds}, std::vector<std::string>{"check", funds, "EQFND"}}) {
        r = run(words);
        EXPECT_EQ(std::pair(r.exit_code, lines(r.out)), std::pair(1, std::vector<std::string>{fault}));
    }
    EXPECT_EQ(ok({"check", funds, "BNDFND", "--spike", "10", "--gap", "3"}).size(), 0u);
    r = run({"check", funds, "NOPE"});
    EXPECT_TRUE(r.exit_code == 1 && r.err.find("No security NOPE") != std::string::npos) << r.err;
    EXPECT_EQ(
        run({"check", funds, "--spike", "x"}).exit_code * 10 + run({"check", funds, "A", "B"}).exit_code, 22);
}

// A stale EMASTER is a finding of `check` until the next command that writes rebuilds it; an unusable
// XMASTER is said once on standard error by every command that lists the securities, without changing
// its status, and is a finding of `check`.
TEST_F(Cli, TheDirectoryFilesAreCheckedAndAStaleEmasterIsRebuiltByTheNextChange) {
    const std::string funds = (demo() / "funds").string();
    MasterImage image;
    ASSERT_TRUE(master_read_image(demo() / "funds" / "master", image));
    std::vector<MasterRecord> records;
    for (int i = 0; i < image.records_counted(); ++i)
        records.push_back(image.record(i));
    const std::string in_step = testing_support::emaster_bytes(records);
    std::string stale = in_step;
    stale.replace(192 + 11, 3, "OLD"); // record 1: F1 EQFND
    testing_support::write_bytes(demo() / "funds" / "EMASTER", stale);
    CliRun r = run({"check", funds});
    EXPECT_EQ(std::pair(r.exit_code, lines(r.out)),
              std::pair(1, std::vector<std::string>{"EMASTER\t00/00/00\temaster-disagrees\tF1 symbol"}));
    r = run({"repair", funds}); // rebuilds it, as every command that writes does
    EXPECT_TRUE(r.exit_code == 0 && r.err.find("did not agree with MASTER (F1 symbol)") != std::string::npos)
        << r.err;
    EXPECT_EQ(read_bytes(demo() / "funds" / "EMASTER"), in_step);
    EXPECT_EQ(read_bytes(demo() / "funds" / "emaster.bak"), stale); // in the case the portfolio uses
    EXPECT_EQ(ok({"check", funds}), std::vector<std::string>{});

    testing_support::write_bytes(demo() / "funds" / "XMASTER", std::string(150, '*'));
    const std::string notice = "XMASTER file of " + funds +
                               " could not be read: it does not begin with the marks of an XMASTER file";
    for (const std::vector<std::string>& words : {std::vector<std::string>{"symbols", funds},
                                                  {"export-all", funds, (dir_ / "all").string()},
                                                  {"split-search", funds},
                                                  {"check", funds}}) {
        r = run(words);
        const std::size_t at = r.err.find(notice);
        EXPECT_TRUE(at != std::string::npos && r.err.find(notice, at + 1) == std::string::npos) << r.err;
        EXPECT_EQ(r.exit_code, words[0] == "check" ? 1 : 0) << words[0];
    }
    EXPECT_EQ(lines(r.out), std::vector<std::string>{"XMASTER\t00/00/00\txmaster-unusable\tit does not "
                                                     "begin with the marks of an XMASTER file"});
    r = run({"rename", funds, "ZZZ", "Z", "Z"}); // a security it may list cannot be changed
    EXPECT_TRUE(r.exit_code == 1 && r.err.find(notice) != std::string::npos) << r.err;
    EXPECT_EQ(read_bytes(demo() / "funds" / "XMASTER"), std::string(150, '*'));
}

TEST_F(Cli, RefusedCommandsChangeNothingAndSayWhy) {
    auto before = snapshot(demo());
    const std::string s = stocks().string(), intraday = (demo() / "INTRADAY").string();
#ifdef _WIN32 // no named pipes in the file system there: a directory is no regular file either
    fs::create_directory(dir_ / "pipe.txt");
#else
    ASSERT_EQ(mkfifo((dir_ / "pipe.txt").c_str(), 0600), 0);
#endif
    fs::create_directories(dir_ / "again" / "funds");
    // Which output files a text result may replace is tried in full in analysis/export_test.cpp.
    // clang-format off
    const std::tuple<std::vector<std::string>, int, std::string> refusals[] = {
        {{"export", s, "ACME", s + "/MASTER"}, 1, "belongs to a portfolio"},
        {{"export", s, "ACME", (dir_ / "pipe.txt").string()}, 1, "is not a regular file"},
        {{"export", s, "NOPE", (dir_ / "x.txt").string()}, 1, "No security NOPE in the portfolio"},
        {{"edit", s, "ACME", "12/31/21", "abc", "1", "1", "1", "1", "1"}, 2, "OPEN: 'abc' is not a number"},
        {{"edit", s, "ACME", "12/31/21", "1", "1,5", "1", "1", "1", "1"}, 2, "HIGH: '1,5' is not a number"},
        {{"edit", s, "ACME", "12/31/21", "1", "1", "0x10", "1", "1", "1"}, 2, "LOW: '0x10' is not a number"},
        {{"edit", s, "ACME", "12/31/21", "1", "1", "1", "1.5abc", "1", "1"}, 2, "CLOSE: '1.5abc' is not"},
        {{"edit", s, "ACME", "12/31/21", "1", "1", "1", "1", "-5", "1"}, 2, "VOL: '-5' is negative"},
        {{"split", s, "ACME", "12/31/21", "-2", "1"}, 2, "NEW: '-2' is negative"},
        {{"split", s, "ACME", "12/31/21", "0", "1"}, 1, "NEW: '0' must not be 0"},
        {{"adjust", s, "ACME", "01/01/90", "12/31/21", "1", "1", "1"}, 1, "FROM: 01/01/90 lies outside"},
        {{"adjust", s, "ACME", "02/30/21", "02/30/21", "2", "1", "1"}, 2, "FROM: '02/30/21' is not a date"},
        {{"adjust", s, "ACME", "12/01/21", "12/31/21", "1", "1", "-1"}, 2, "OI: '-1' is negative"},
        {{"split", s, "ACME", "12/31/21", "1.2.3", "1"}, 2, "NEW: '1.2.3' is not a number"},
        {{"adjust", s, "ACME", "12/01/21", "12/31/21", "1" + std::string(37, '0'), "1", "1"}, 1,
         "larger than a quote file can hold"},
        {{"edit", intraday, "ZETA", "03/03/25", "1", "1", "1", "1", "1", "N/A"}, 1, "names 78 quotes of ZETA"},
        {{"rename", s, "ACME", "", "NAME"}, 1, "NEW-SYMBOL: You must enter a symbol"},
        {{"rename", s, "BOLT", "BOLT", "SEVENTEEN LETTERS"}, 1, "NEW-NAME: A name holds at most 16"},
        {{"demo", (dir_ / "again").string()}, 1, "already exists"},
        {{"portfolios", (dir_ / "nowhere").string()}, 1, "does not exist"},
        {{"portfolios", (stocks() / "MASTER").string()}, 1, "is not a directory"},
        {{"copy", s, "ACME", s}, 1, "The Symbol addition failed."},
        {{"delete-quote", s, "ACME", "01/01/99"}, 1, "No quote of ACME is dated 01/01/99"},
        {{"edit", s, "ACME"}, 2, ""}, {{"quotes", s, "ACME", "--bogus"}, 2, ""}, {{"nonsense"}, 2, ""},
        {{"edit", s, "ACME", "2021-13-45", "1", "1", "1", "1", "1", "1"}, 2, ""}};
    // clang-format on
    for (const auto& [words, exit_code, says] : refusals) {
        CliRun r = run(words);
        EXPECT_EQ(r.exit_code, exit_code) << words[0] << " " << says;
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
    }
    EXPECT_TRUE(fs::is_empty(dir_ / "again" / "funds"));
    CliRun help = run({"split", "--help"});
    EXPECT_TRUE(help.exit_code == 0 && help.out.find("split DIR SYMBOL DATE NEW OLD") != std::string::npos);
    EXPECT_EQ(snapshot(demo()), before);
}

TEST_F(Cli, EditsQuotesAndSymbolsAndRepairsABlankSymbol) {
    const std::string funds = (demo() / "funds").string(), intraday = (demo() / "INTRADAY").string();
    ok({"edit", funds, "EQFND", "2024-11-15", "1.5", "2.5", "1.25", "2", "1000", "N/A"});
    EXPECT_EQ(ok({"quotes", funds, "EQFND"}).front(), "11/15/24\t1.5000\t2.5000\t1.2500\t2.0000\t1000\tN/A");
    ok({"delete-quote", funds, "EQFND", "11/08/24"}); // a Friday
    EXPECT_EQ(ok({"add-quote", funds, "EQFND", "11/11/24"}),
              std::vector<std::string>{"11/08/24"}); // the Monday after
    const CliRun exists = run({"add-quote", funds, "EQFND", "11/13/24"});
    EXPECT_EQ(std::pair(exists.exit_code, exists.err),
              std::pair(1, std::string("Date 11/12/24 already exists.\n")));
    ok({"delete-quote", funds, "EQFND", "11/15/24"});
    EXPECT_EQ(ok({"symbols", funds})[1], "EQFND\tEQUITY FUND\t1\t24\t6\t01/03/22\t11/14/24\tD");
    ok({"split", funds, "EQFND", "11/14/24", "2", "1"});
    ok({"adjust", funds, "EQFND", "01/03/22", "11/14/24", "1", "1", "1"});
    ok({"rename", funds, "EQFND", "EQX", "EQUITY X"});
    ok({"move", funds, "EQX", intraday});
    EXPECT_EQ(ok({"symbols", funds}).size(), 1u);
    const auto moved = ok({"symbols", intraday});
    EXPECT_TRUE(moved.size() == 2u && moved[0].starts_with("EQX\tEQUITY X\t2\t24\t6\t"));
    ok({"delete-symbol", intraday, "EQX"});
    EXPECT_EQ(ok({"symbols", intraday}).size(), 1u);
    const fs::path master = demo() / "funds" / "master";
    testing_support::write_bytes(master, read_bytes(master).replace(53 + 36, 1, " ")); // a blank symbol
    EXPECT_NE(run({"symbols", funds}).err.find("blank symbols"), std::string::npos);
    ok({"repair", funds});
    EXPECT_EQ(read_bytes(master).substr(53 + 36, 16), "BOND FUND       "); // its name
}

TEST_F(Cli, AnIntradayQuoteIsNamedByItsTime) {
    const std::string intraday = (demo() / "INTRADAY").string();
    std::vector<std::string> before = ok({"quotes", intraday, "ZETA", "--header"});
    ASSERT_EQ(before[0], "DATE\tTIME\tOPEN\tHIGH\tLOW\tCLOSE\tVOL\tOI");
    CliRun edit =
        run({"edit", intraday, "ZETA", "03/03/25", "1", "2", "0.5", "1.5", "5", "N/A", "--time", "09:35"});
    EXPECT_EQ(std::pair(edit.exit_code, edit.err),
              std::pair(0, std::string("Set the values of the quote of ZETA dated 03/03/25 09:35:00.\n")));
    std::vector<std::string> after = ok({"quotes", intraday, "ZETA", "--header"});
    const std::size_t second_oldest = before.size() - 2;
    EXPECT_EQ(after[second_oldest], "03/03/25\t09:35:00\t1.0000\t2.0000\t0.5000\t1.5000\t5\tN/A");
    after[second_oldest] = before[second_oldest];
    EXPECT_EQ(after, before);

    ok({"delete-quote", intraday, "ZETA", "2025-03-03", "--time", "09:35:00"});
    before.erase(before.begin() + static_cast<std::ptrdiff_t>(second_oldest));
    EXPECT_EQ(ok({"quotes", intraday, "ZETA", "--header"}), before);
}

// Intra-day quotes of the real shapes (odd seconds, several in a minute, repeated records, no F1.DOP):
// each one listed, exported, checked and named to the second; a time that is not in the file names
// nothing, and what names several quotes is refused and changes nothing.
TEST_F(Cli, IntradayQuotesKeepTheirSeconds) {
    using namespace testing_support;
    const fs::path dir = dir_ / "intra";
    const std::string d = dir.string(), sym = "ABAN.N0000";
    const SeriesSpec spec = intraday_real_spec();
    std::vector<SeriesBar> bars = intraday_real_bars();
    write_series_portfolio(dir, spec, bars);
    const auto rows = ok({"quotes", d, sym, "--oldest-first"});
    ASSERT_EQ(rows.size(), bars.size());
    EXPECT_EQ(rows[0], "05/06/11\t10:38:39\t50.0000\t50.5000\t49.7500\t50.2500\t700\tN/A");
    std::string times;
    for (const std::string& row : rows)
        times += row.substr(9, 8) + " ";
    EXPECT_EQ(times, "10:38:39 10:38:51 10:39:02 10:40:07 10:40:07 10:40:07 10:41:13 09:30:01 09:30:01 "
                     "09:30:59 10:00:01 ");
    const auto exported = ok({"export", d, sym, "-", "--title", "--delimiter", "comma"});
    EXPECT_EQ(exported[0] + "\n" + exported[1],
              "DATE,Time,OPEN,HIGH,LOW,CLOSE,VOL,OI\n"
              "05/06/11,10:38:39,50.0000,50.5000,49.7500,50.2500,700.00,N/A");
    const auto without_time =
        ok({"export", d, sym, "-", "--title", "--delimiter", "tab", "--omit", "time,oi"});
    EXPECT_EQ(without_time[0] + "\n" + without_time[1],
              "DATE\tOPEN\tHIGH\tLOW\tCLOSE\tVOL\n"
              "05/06/11\t50.0000\t50.5000\t49.7500\t50.2500\t700.00");
    const CliRun check = run({"check", d, sym});
    EXPECT_EQ(std::pair(check.exit_code, check.out),
              std::pair(1, std::string("ABAN.N0000\t05/06/11 10:40:07\tsame-date\tquotes=3\n"
                                       "ABAN.N0000\t05/09/11 09:30:01\tsame-date\tquotes=2\n")));

    const auto before = snapshot(dir);
    // clang-format off
    const std::tuple<std::vector<std::string>, int, std::string> refusals[] = {
        {{"05/06/11", "--time", "10:38:38"}, 1, "No quote of ABAN.N0000 is dated 05/06/11 10:38:38.\n"},
        {{"05/06/11", "--time", "10:38"}, 1, "--time: 10:38 names 2 quotes of ABAN.N0000 dated 05/06/11, several in that minute; give the seconds, --time HH:MM:SS (see 'quorbit-cli quotes').\n"},
        {{"05/06/11", "--time", "10:40:07"}, 1, "05/06/11 10:40:07 names 3 quotes of ABAN.N0000: the same date and time are recorded 3 times, and no time tells them apart; nothing was changed ('quorbit-cli check' reports such repeats).\n"},
        {{"05/09/11", "--time", "09:30:01"}, 1, "05/09/11 09:30:01 names 2 quotes of ABAN.N0000: the same date"},
        {{"05/09/11", "--time", "09:30"}, 1, "--time: 09:30 names 3 quotes of ABAN.N0000 dated 05/09/11, several"},
        {{"05/06/11"}, 1, "DATE: 05/06/11 names 7 quotes of ABAN.N0000; name one with --time HH:MM, or HH:MM:SS where a minute holds several"},
        {{"05/06/11", "--time", "10:38:60"}, 2, "quorbit-cli delete-quote: --time: '10:38:60' is not a time (HH:MM or HH:MM:SS)"}};
    // clang-format on
    for (const auto& [words, exit_code, says] : refusals) {
        std::vector<std::string> command = {"delete-quote", d, sym};
        command.insert(command.end(), words.begin(), words.end());
        const CliRun r = run(command);
        EXPECT_EQ(r.exit_code, exit_code) << says;
        EXPECT_EQ(r.err.substr(0, says.size()), says);
    }
    EXPECT_EQ(snapshot(dir), before);

    const CliRun edit =
        run({"edit", d, sym, "05/06/11", "1", "2", "0.5", "1.5", "5", "N/A", "--time", "10:38:51"});
    EXPECT_EQ(edit.err, "Set the values of the quote of ABAN.N0000 dated 05/06/11 10:38:51.\n");
    EXPECT_EQ(run({"delete-quote", d, sym, "05/06/11", "--time", "10:39"}).err,
              "Deleted the quote of ABAN.N0000 dated 05/06/11 10:39:02.\n");
    ok({"delete-quote", d, sym, "2011-05-09", "--time", "10:00:01"});
    bars[1] = {bars[1].date, bars[1].time, 1, 2, 0.5f, 1.5f, 5, 0};
    bars.erase(bars.begin() + 10);
    bars.erase(bars.begin() + 2);
    // Every other record, its stored time among them, stays as it was, byte for byte.
    EXPECT_EQ(read_bytes(dir / "F1.DAT"), dat_bytes(spec, bars));
}

// An index from 1928: every quote listed, exported, edited, split, searched and deleted as its own date;
// each rewrite leaves every other byte of F1.DAT as it was.
TEST_F(Cli, QuotesBefore1961AreEachTheirOwnDate) {
    using namespace testing_support;
    const fs::path dir = dir_ / "index";
    const std::string d = dir.string();
    const SeriesSpec spec{.symbol = "DJIA"};
    std::vector<SeriesBar> bars = index_bars_1928_to_2020();
    write_series_portfolio(dir, spec, bars);
    const auto rows = ok({"quotes", d, "DJIA", "--oldest-first"});
    ASSERT_EQ(rows.size(), bars.size());
    EXPECT_EQ(rows[0].substr(0, 18) + rows[383].substr(0, 11) + rows[384].substr(0, 9), "01/02/1928\t20.0000"
                                                                                        "12/01/1959\t"
                                                                                        "01/01/60\t");
    ok({"export", d, "DJIA", (dir_ / "djia.txt").string()});
    EXPECT_EQ(lines(read_bytes(dir_ / "djia.txt"))[1].substr(0, 11), "02/01/1928 ");
    ok({"edit", d, "DJIA", "1959-06-01", "1", "2", "3", "4", "5", "6"});
    bars[377] = {bars[377].date, 0, 1, 2, 3, 4, 5, 6};
    EXPECT_EQ(read_bytes(dir / "F1.DAT"), dat_bytes(spec, bars));
    EXPECT_EQ(ok({"split", d, "DJIA", "03/01/1950", "2", "1"}), std::vector<std::string>{});
    for (SeriesBar& b : std::span(bars).first(266)) // the quotes dated before 1 March 1950
        b = {b.date, 0, b.open / 2, b.high / 2, b.low / 2, b.close / 2, b.vol * 2, b.oi * 2};
    EXPECT_EQ(read_bytes(dir / "F1.DAT"), dat_bytes(spec, bars));
    EXPECT_EQ(ok({"split-search", d}), std::vector<std::string>{"DJIA possible 1 for 2 split on 03/01/1950"});
    ok({"delete-quote", d, "DJIA", "01/02/1928"}); // MASTER's first date becomes 1 February 1928
    bars.erase(bars.begin());
    EXPECT_EQ(read_bytes(dir / "F1.DAT"), dat_bytes(spec, bars));
    EXPECT_EQ(read_bytes(dir / "MASTER").substr(53 + 25, 4), mbf_bytes(280201.0f));
    EXPECT_EQ(ok({"symbols", d})[0], "DJIA\tINTL BUS MACH\t1\t28\t7\t02/01/1928\t12/01/20\tD");
}

} // namespace

TEST_F(Cli, ADailyUpdateInAFewCommands) {
    const std::string s = stocks().string(), mine = (dir_ / "mine").string(), out = (dir_ / "out.d").string();
    // A whole portfolio carried over: exported with tickers at full precision, imported into a new one.
    ok({"export-all", s, out, "--ticker", "--full-precision"});
    ok({"new-portfolio", mine});
    std::vector<std::string> words = {"import-all", mine, "--create"};
    for (const char* name : {"ACME.txt", "BOLT.txt", "CRUX.txt", "DYNW.txt"})
        words.push_back((fs::path(out) / name).string());
    EXPECT_EQ(ok(words).at(0),
              "ACME (new): 6000 added, 0 replaced, 0 unchanged; 6000 quotes from 01/04/99 to "
              "12/31/21");
    for (int n = 1; n <= 4; ++n) {
        const std::string dat = "F" + std::to_string(n) + ".DAT";
        EXPECT_EQ(read_bytes(fs::path(mine) / dat), read_bytes(stocks() / dat)) << dat;
    }
    // The day's file of a vendor: one line per security.
    testing_support::write_bytes(dir_ / "day.csv", "<TICKER>,<PER>,<DTYYYYMMDD>,<TIME>,<OPEN>,<HIGH>,<LOW>,"
                                                   "<CLOSE>,<VOL>,<OPENINT>\n"
                                                   "ACME,D,20220103,000000,10,11,9,10.5,5000,0\n"
                                                   "BOLT,D,20230814,000000,20,21,19,20.5,6000,0\n");
    EXPECT_EQ(ok({"import-all", mine, (dir_ / "day.csv").string()}),
              (std::vector<std::string>{
                  "ACME: 1 added, 0 replaced, 0 unchanged; 6001 quotes from 01/04/99 to 01/03/22",
                  "BOLT: 1 added, 0 replaced, 0 unchanged; 901 quotes from 03/02/20 to 08/14/23"}));
    EXPECT_EQ(ok({"symbols", mine}).at(0), "ACME\tACME\t1\t28\t7\t01/04/99\t01/03/22\tD");
    // A line that cannot be read refuses the run: exit status 1, the file, line and column named.
    testing_support::write_bytes(dir_ / "bad.csv", "Date,Close\n2022-01-04,10\n2022-02-30,11\n");
    const fs::path before = dir_ / "mine";
    const auto files = snapshot(before);
    const CliRun bad = run({"import", mine, "ACME", (dir_ / "bad.csv").string()});
    EXPECT_EQ(bad.exit_code, 1);
    EXPECT_NE(bad.err.find("bad.csv, line 3, column 1"), std::string::npos) << bad.err;
    EXPECT_EQ(snapshot(before), files);
    EXPECT_EQ(run({"new-security", mine, "NEW", "New Co", "--periodicity", "X"}).exit_code, 2);
    EXPECT_EQ(run({"new-security", mine, "ACME", "Again"}).exit_code, 1);
    EXPECT_EQ(run({"new-portfolio", mine}).exit_code, 1);
}
