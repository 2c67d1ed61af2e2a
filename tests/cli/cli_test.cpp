// quorbit-cli end to end: a real process over real files, its output, messages and exit status.
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
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

std::string quoted(const std::string& word) {
    std::string q = "'";
    for (char c : word)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

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
        int status = std::system(command.c_str());
        CliRun r;
        r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = read_bytes(dir_ / "out");
        r.err = read_bytes(dir_ / "err");
        return r;
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

TEST_F(Cli, ListsPortfoliosSymbolsAndQuotes) {
    CliRun portfolios = run({"portfolios", demo().string()});
    EXPECT_EQ(portfolios.exit_code, 0);
    EXPECT_EQ(lines(portfolios.out),
              (std::vector<std::string>{(demo() / "funds").string(), (demo() / "INTRADAY").string(),
                                        stocks().string(), (stocks() / "SUB").string()}));

    CliRun filtered = run({"portfolios", demo().string(), "--filter", (demo() / "stocks").string()});
    EXPECT_EQ(lines(filtered.out),
              (std::vector<std::string>{stocks().string(), (stocks() / "SUB").string()}));

    CliRun symbols = run({"symbols", (demo() / "funds").string(), "--header"});
    EXPECT_EQ(symbols.exit_code, 0);
    EXPECT_EQ(lines(symbols.out),
              (std::vector<std::string>{"SYMBOL\tNAME\tFILE\tLENGTH\tFIELDS\tFIRST\tLAST\tPERIODICITY",
                                        "BNDFND\tBOND FUND\t2\t12\t3\t01/03/22\t11/15/24\tD",
                                        "EQFND\tEQUITY FUND\t1\t24\t6\t01/03/22\t11/15/24\tD"}));

    CliRun newest = run({"quotes", (demo() / "funds").string(), "bndfnd"});
    CliRun oldest = run({"quotes", (demo() / "funds").string(), "BNDFND", "--oldest-first"});
    auto n = lines(newest.out), o = lines(oldest.out);
    ASSERT_EQ(n.size(), 750u);
    EXPECT_EQ(n.front(), o.back());
    EXPECT_EQ(n.front().substr(0, 13), "11/15/24\tN/A\t");
    EXPECT_EQ(o.front().rfind("01/03/22\t", 0), 0u);

    CliRun facts = run({"facts", stocks().string(), "GAMMA"}); // found in the nested portfolio
    EXPECT_EQ(facts.exit_code, 0);
    EXPECT_NE(facts.out.find("Number of quotes\t300\n"), std::string::npos);
    EXPECT_NE(facts.out.find("Data format\tD Daily\n"), std::string::npos);
}

TEST_F(Cli, SplitSearchFindsTheUnrecordedSplitAndSavesIt) {
    fs::path output = dir_ / "splits.txt";
    CliRun r = run({"split-search", stocks().string(), "--output", output.string()});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "BOLT possible 2 for 1 split on 06/20/22\n");
    EXPECT_EQ(read_bytes(output), r.out);
}

TEST_F(Cli, ExportsOneSecurityAndAWholePortfolio) {
    fs::path file = dir_ / "acme.csv";
    CliRun r = run({"export", stocks().string(), "ACME", file.string(), "--delimiter", "comma", "--omit",
                    "oi", "--title"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    auto rows = lines(read_bytes(file));
    ASSERT_EQ(rows.size(), 6001u);
    EXPECT_EQ(rows[0], "DATE,OPEN,HIGH,LOW,CLOSE,VOL");
    EXPECT_EQ(rows[1].rfind("01/04/99,42.0000,", 0), 0u);
    CliRun to_stdout =
        run({"export", stocks().string(), "ACME", "-", "--delimiter", "comma", "--omit", "oi", "--title"});
    EXPECT_EQ(to_stdout.out, read_bytes(file));

    fs::path out = dir_ / "all";
    r = run({"export-all", (demo() / "funds").string(), out.string(), "--newest-first"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(fs::exists(out / "BNDFND.txt"));
    EXPECT_EQ(lines(read_bytes(out / "EQFND.txt")).front().rfind("11/15/24 ", 0), 0u);
}

TEST_F(Cli, RefusedCommandsChangeNothingAndSayWhy) {
    auto before = snapshot(demo());
    const std::string s = stocks().string(), intraday = (demo() / "INTRADAY").string();
    fs::create_symlink(stocks() / "MASTER", dir_ / "link.txt");
    ASSERT_EQ(mkfifo((dir_ / "pipe.txt").c_str(), 0600), 0);
    fs::create_directories(dir_ / "again" / "funds");
    struct Refusal {
        std::vector<std::string> words;
        int exit_code;
        std::string says;
    };
    const Refusal refusals[] = {
        {{"export", s, "ACME", s + "/MASTER"}, 1, "belongs to a portfolio"},
        {{"export", s, "ACME", s + "/SUB/../f1.dat"}, 1, "belongs to a portfolio"},
        {{"export", s, "ACME", (dir_ / "link.txt").string()}, 1, "is not a regular file"},
        {{"export", s, "ACME", (dir_ / "pipe.txt").string()}, 1, "is not a regular file"},
        {{"split-search", s, "--output", s + "/master.bak"}, 1, "belongs to a portfolio"},
        {{"export", s, "NOPE", (dir_ / "x.txt").string()}, 1, "No security NOPE in the portfolio"},
        {{"edit", s, "ACME", "12/31/21", "abc", "1", "1", "1", "1", "1"}, 2, "OPEN: 'abc' is not a number"},
        {{"edit", s, "ACME", "12/31/21", "1", "1,5", "1", "1", "1", "1"}, 2, "HIGH: '1,5' is not a number"},
        {{"edit", s, "ACME", "12/31/21", "1", "1", "0x10", "1", "1", "1"}, 2, "LOW: '0x10' is not a number"},
        {{"edit", s, "ACME", "12/31/21", "1", "1", "1", "1.5abc", "1", "1"}, 2, "CLOSE: '1.5abc' is not"},
        {{"edit", s, "ACME", "12/31/21", "1", "1", "1", "1", "-5", "1"}, 2, "VOL: '-5' is negative"},
        {{"split", s, "ACME", "12/31/21", "-2", "1"}, 2, "NEW: '-2' is negative"},
        {{"split", s, "ACME", "12/31/21", "0", "1"}, 1, "NEW: '0' must not be 0"},
        {{"adjust", s, "ACME", "01/01/90", "12/31/21", "1", "1", "1"}, 1, "FROM: 01/01/90 lies outside"},
        {{"edit", intraday, "ZETA", "03/03/25", "1", "1", "1", "1", "1", "N/A"},
         1,
         "names 78 quotes of ZETA"},
        {{"rename", s, "ACME", "", "NAME"}, 1, "NEW-SYMBOL: You must enter a symbol"},
        {{"rename", s, "BOLT", "acme", "NAME"}, 1, "Symbol acme already belongs to another security"},
        {{"rename", s, "BOLT", "FIFTEEN_LETTERS", "NAME"}, 1, "at most 14 characters"},
        {{"rename", s, "BOLT", "BOLT", "SEVENTEEN LETTERS"}, 1, "NEW-NAME: A name holds at most 16"},
        {{"demo", (dir_ / "again").string()}, 1, "already exists"},
        {{"portfolios", (dir_ / "nowhere").string()}, 1, "does not exist"},
        {{"portfolios", (stocks() / "MASTER").string()}, 1, "is not a directory"},
        {{"copy", s, "ACME", s}, 1, "The Symbol addition failed."},
        {{"delete-quote", s, "ACME", "01/01/99"}, 1, "No quote of ACME is dated 01/01/99"},
    };
    for (const Refusal& refusal : refusals) {
        CliRun r = run(refusal.words);
        EXPECT_EQ(r.exit_code, refusal.exit_code) << refusal.words[0] << " " << refusal.says;
        EXPECT_NE(r.err.find(refusal.says), std::string::npos) << r.err;
    }
    EXPECT_EQ(snapshot(demo()), before);
    EXPECT_TRUE(fs::is_empty(dir_ / "again" / "funds"));

    EXPECT_EQ(run({"edit", stocks().string(), "ACME"}).exit_code, 2);
    EXPECT_EQ(run({"quotes", stocks().string(), "ACME", "--bogus"}).exit_code, 2);
    EXPECT_EQ(run({"nonsense"}).exit_code, 2);
    EXPECT_EQ(run({"edit", stocks().string(), "ACME", "2021-13-45", "1", "1", "1", "1", "1", "1"}).exit_code,
              2);
    CliRun help = run({"split", "--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_NE(help.out.find("split DIR SYMBOL DATE NEW OLD"), std::string::npos);
    EXPECT_EQ(snapshot(demo()), before);
}

TEST_F(Cli, EditsQuotesAndSymbols) {
    fs::path funds = demo() / "funds";
    ASSERT_EQ(run({"edit", funds.string(), "EQFND", "2024-11-15", "1.5", "2.5", "1.25", "2", "1000", "N/A"})
                  .exit_code,
              0);
    EXPECT_EQ(lines(run({"quotes", funds.string(), "EQFND"}).out).front(),
              "11/15/24\t1.5000\t2.5000\t1.2500\t2.0000\t1000\tN/A");

    ASSERT_EQ(run({"delete-quote", funds.string(), "EQFND", "11/08/24"}).exit_code, 0); // a Friday
    CliRun added = run({"add-quote", funds.string(), "EQFND", "11/11/24"});             // the Monday after
    ASSERT_EQ(added.exit_code, 0) << added.err;
    EXPECT_EQ(added.out, "11/08/24\n");
    CliRun exists = run({"add-quote", funds.string(), "EQFND", "11/13/24"});
    EXPECT_EQ(exists.exit_code, 1);
    EXPECT_EQ(exists.err, "Date 11/12/24 already exists.\n");

    ASSERT_EQ(run({"delete-quote", funds.string(), "EQFND", "11/15/24"}).exit_code, 0);
    EXPECT_EQ(lines(run({"symbols", funds.string()}).out)[1],
              "EQFND\tEQUITY FUND\t1\t24\t6\t01/03/22\t11/14/24\tD");

    ASSERT_EQ(run({"split", funds.string(), "EQFND", "11/14/24", "2", "1"}).exit_code, 0);
    ASSERT_EQ(run({"adjust", funds.string(), "EQFND", "01/03/22", "11/14/24", "1", "1", "1"}).exit_code, 0);

    ASSERT_EQ(run({"rename", funds.string(), "EQFND", "EQX", "EQUITY X"}).exit_code, 0);
    ASSERT_EQ(run({"move", funds.string(), "EQX", (demo() / "INTRADAY").string()}).exit_code, 0);
    EXPECT_EQ(lines(run({"symbols", funds.string()}).out).size(), 1u);
    auto intraday = lines(run({"symbols", (demo() / "INTRADAY").string()}).out);
    ASSERT_EQ(intraday.size(), 2u);
    EXPECT_EQ(intraday[0].rfind("EQX\tEQUITY X\t2\t24\t6\t", 0), 0u);
    ASSERT_EQ(run({"delete-symbol", (demo() / "INTRADAY").string(), "EQX"}).exit_code, 0);
    EXPECT_EQ(lines(run({"symbols", (demo() / "INTRADAY").string()}).out).size(), 1u);
}

TEST_F(Cli, AnIntradayQuoteIsNamedByItsTime) {
    const std::string intraday = (demo() / "INTRADAY").string();
    std::vector<std::string> before = lines(run({"quotes", intraday, "ZETA", "--header"}).out);
    ASSERT_EQ(before[0], "DATE\tTIME\tOPEN\tHIGH\tLOW\tCLOSE\tVOL\tOI");
    CliRun edit =
        run({"edit", intraday, "ZETA", "03/03/25", "1", "2", "0.5", "1.5", "5", "N/A", "--time", "09:35"});
    ASSERT_EQ(edit.exit_code, 0) << edit.err;
    EXPECT_EQ(edit.err, "Set the values of the quote of ZETA dated 03/03/25 09:35:00.\n");
    std::vector<std::string> after = lines(run({"quotes", intraday, "ZETA", "--header"}).out);
    const std::size_t second_oldest = before.size() - 2;
    EXPECT_EQ(after[second_oldest], "03/03/25\t09:35:00\t1.0000\t2.0000\t0.5000\t1.5000\t5\tN/A");
    after[second_oldest] = before[second_oldest];
    EXPECT_EQ(after, before);

    ASSERT_EQ(run({"delete-quote", intraday, "ZETA", "2025-03-03", "--time", "09:35:00"}).exit_code, 0);
    before.erase(before.begin() + static_cast<std::ptrdiff_t>(second_oldest));
    EXPECT_EQ(lines(run({"quotes", intraday, "ZETA", "--header"}).out), before);
}

TEST_F(Cli, RepairsAMasterWithBlankSymbols) {
    fs::path master = demo() / "funds" / "master";
    std::string bytes = read_bytes(master);
    bytes[53 + 36] = ' '; // the first security's symbol turns blank
    testing_support::write_bytes(master, bytes);
    CliRun listed = run({"symbols", (demo() / "funds").string()});
    EXPECT_NE(listed.err.find("blank symbols"), std::string::npos);
    ASSERT_EQ(run({"repair", (demo() / "funds").string()}).exit_code, 0);
    EXPECT_EQ(read_bytes(master).substr(53 + 36, 16), "EQUITY FUND     ");
    CliRun again = run({"repair", (demo() / "funds").string()});
    EXPECT_EQ(again.exit_code, 0);
}

} // namespace
