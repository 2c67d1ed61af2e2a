// quorbit-cli end to end: a real process over real files, its output, messages and exit status.
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
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

    CliRun symbols = run({"symbols", (demo() / "funds").string()});
    EXPECT_EQ(symbols.exit_code, 0);
    EXPECT_EQ(lines(symbols.out),
              (std::vector<std::string>{"BNDFND\tBOND FUND\t2\t12\t3\t01/03/22\t11/15/24\tD",
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

    fs::path out = dir_ / "all";
    r = run({"export-all", (demo() / "funds").string(), out.string(), "--newest-first"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(fs::exists(out / "BNDFND.txt"));
    EXPECT_EQ(lines(read_bytes(out / "EQFND.txt")).front().rfind("11/15/24 ", 0), 0u);
}

TEST_F(Cli, RefusedCommandsChangeNothingAndSayWhy) {
    auto before = snapshot(demo());
    CliRun bad_value = run({"edit", stocks().string(), "ACME", "12/31/21", "abc", "1", "1", "1", "1", "1"});
    EXPECT_EQ(bad_value.exit_code, 1);
    EXPECT_EQ(bad_value.err, "Invalid Data Entered\n");
    CliRun bad_split = run({"split", stocks().string(), "ACME", "12/31/21", "0", "1"});
    EXPECT_EQ(bad_split.exit_code, 1);
    EXPECT_EQ(bad_split.err, "Invalid Data Entered\n");
    CliRun no_symbol = run({"rename", stocks().string(), "ACME", "", "NAME"});
    EXPECT_EQ(no_symbol.exit_code, 1);
    EXPECT_EQ(no_symbol.err, "You must enter a symbol\n");
    CliRun duplicate = run({"copy", stocks().string(), "ACME", stocks().string()});
    EXPECT_EQ(duplicate.exit_code, 1);
    EXPECT_NE(duplicate.err.find("The Symbol addition failed."), std::string::npos);
    CliRun missing_date = run({"delete-quote", stocks().string(), "ACME", "01/01/99"});
    EXPECT_EQ(missing_date.exit_code, 1);
    EXPECT_EQ(snapshot(demo()), before);

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
