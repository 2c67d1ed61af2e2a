// Securities of XMASTER (numbered 256 and above, quotes in F<n>.MWD) are listed, read, described,
// exported and edited like those of MASTER; an unusable XMASTER is ignored.
#include "analysis/data_check.h"
#include "analysis/export.h"
#include "common/quote_cells.h"
#include "common/symbol_list.h"
#include "editing/quote_commands.h"
#include "editing/series_facts.h"
#include "editing/symbol_commands.h"
#include "editing/transfer.h"

#include "support/builder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace testing_support;

namespace {

class Xmaster : public ::testing::Test {
protected:
    // MASTER: 1 MMM; XMASTER: 300 AAPL (a long name), 256 ZZ.
    void SetUp() override {
        bars = bars_on({date_pack(2007, 3, 19), date_pack(2007, 3, 20), date_pack(2007, 3, 21)});
        write_portfolio(tmp / "p", {make_security(1, "MMM", "THREE EM", bars)});
        write_portfolio(tmp / "dest", {make_security(1, "DDD", "DEST", bars)});
        for (int number : {300, 256})
            write_bytes(tmp / "p" / ("F" + std::to_string(number) + ".MWD"), dat_bytes(SeriesSpec{}, bars));
        write_bytes(
            tmp / "p" / "XMASTER",
            xmaster_bytes({{300, "AAPL", "APPLE COMPUTER INCORPORATED OF CUPERTINO", 20070319, 20070321},
                           {256, "ZZ", "ZED", 20070319, 20070321}}));
    }
    std::vector<std::string> symbols() const {
        std::vector<std::string> out;
        for (const SymbolRow& row : symbol_list_read(tmp / "p" / "MASTER").rows)
            out.push_back(std::string(row.symbol()) + "/" + std::to_string(row.record().file_number()));
        return out;
    }
    editing::SeriesSession& screen(const std::string& symbol) { // the symbol's quotes on screen
        series.open(tmp / "p", symbol);
        return series;
    }
    editing::SeriesSession series;
    TempDir tmp;
    std::vector<SeriesBar> bars;
};

TEST_F(Xmaster, SecuritiesAreListedReadDescribedExportedAndEdited) {
    EXPECT_EQ(symbols(), (std::vector<std::string>{"AAPL/300", "MMM/1", "ZZ/256"}));
    screen("AAPL");
    EXPECT_TRUE(series.last_read().result.ok && series.rows().size() == 3u &&
                quote_date_text(series.rows()[0].date) == "03/21/07");
    const editing::SeriesFactsTexts facts = editing::describe_series(tmp / "p", "AAPL");
    EXPECT_EQ(facts.data[0].second + " " + facts.data[4].second,
              "300 APPLE COMPUTER INCORPORATED OF CUPERTINO");
    EXPECT_EQ(facts.data[5].second + " " + facts.data[6].second + " " + facts.data[7].second,
              "1070319 1070321 D Daily"); // the dates as MASTER would hold them
    std::filesystem::create_directories(tmp / "out");
    ASSERT_TRUE(export_portfolio(tmp / "p", tmp / "out", ExportOptions{}).ok);
    EXPECT_NE(read_bytes(tmp / "out" / "AAPL.txt").find("03/21/07"), std::string::npos);
    // A quote edit rewrites F300.MWD and keeps its backup.
    const std::string before = read_bytes(tmp / "p" / "F300.MWD");
    screen("AAPL");
    ASSERT_TRUE(
        editing::edit_quote(series, series.ref_of_row(1), "03/20/07", {"1", "2", "0.5", "1.5", "10", "1"})
            .ok);
    EXPECT_TRUE(read_bytes(tmp / "p" / "F300.MWD") != before && read_bytes(tmp / "p" / "F300.BAK") == before);
#ifdef QUORBIT_CLI_PATH
    const std::string command = std::string(QUORBIT_CLI_PATH) + " symbols \"" + (tmp / "p").string() +
                                "\" > \"" + (tmp / "symbols.txt").string() + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(read_bytes(tmp / "symbols.txt").substr(0, 26), "AAPL\tAPPLE COMPUTER I\t300\t");
#endif
}

TEST_F(Xmaster, RenameDeleteAndTheDatesOfADeletedQuoteChangeOnlyTheirBytes) {
    const std::string old = read_bytes(tmp / "p" / "XMASTER");
    // A symbol another security answers to, in either file, is refused.
    for (const auto& [row, symbol] : {std::pair{"AAPL", "mmm"}, {"MMM", "zz"}, {"AAPL", "zed"}})
        EXPECT_FALSE(editing::edit_symbol(tmp / "p", row, symbol, "X").ok) << symbol;
    ASSERT_TRUE(editing::edit_symbol(tmp / "p", "AAPL", "APL", "APPLE").ok);
    std::string expected = old;
    put_text0(expected, 150 + 1, "APL", 14);
    put_text0(expected, 150 + 16, "APPLE", 45);
    EXPECT_EQ(read_bytes(tmp / "p" / "XMASTER"), expected);
    EXPECT_EQ(read_bytes(tmp / "p" / "XMASTER.BAK"), old);
    // Deleting the oldest quote of ZZ moves its first date to 2007-03-20.
    screen("ZZ");
    ASSERT_TRUE(editing::delete_quote(series, series.ref_of_row(2)).ok); // row 2: the oldest
    put_raw(expected, 300 + 108, std::uint32_t{20070320});
    EXPECT_EQ(read_bytes(tmp / "p" / "XMASTER"), expected);
    ASSERT_TRUE(editing::delete_symbol(tmp / "p", "APL").ok);
    expected.erase(150, 150);
    expected[10] = expected[14] = 1;
    EXPECT_EQ(read_bytes(tmp / "p" / "XMASTER"), expected);
    EXPECT_FALSE(std::filesystem::exists(tmp / "p" / "F300.MWD"));
    EXPECT_EQ(symbols(), (std::vector<std::string>{"MMM/1", "ZZ/256"}));
}

TEST_F(Xmaster, MoveAndCopyAreRefusedAndAnUnusableFileIsIgnored) {
    const auto before = snapshot(tmp.path());
    for (auto mode : {editing::TransferMode::Move, editing::TransferMode::Copy}) {
        const CommandResult r = editing::transfer_symbol(tmp / "p", "AAPL", mode, tmp / "dest");
        EXPECT_NE(r.texts().at(0).find("XMASTER"), std::string::npos);
    }
    EXPECT_EQ(snapshot(tmp.path()), before);
    const std::string good = read_bytes(tmp / "p" / "XMASTER");
    std::string wrong_magic = good, counts_disagree = good;
    wrong_magic[1] = 'X';
    counts_disagree[14] = 1;
    for (const std::string& bad : {wrong_magic, counts_disagree, good + "x", good.substr(0, 300)}) {
        write_bytes(tmp / "p" / "XMASTER", bad);
        EXPECT_EQ(symbols(), std::vector<std::string>{"MMM/1"});
        EXPECT_FALSE(screen("AAPL").last_read().result.ok);
    }
}

TEST_F(Xmaster, TheCheckTakesEachSecuritysPeriodicityFromItsRecord) {
    // ZZ's last quote falls on a Saturday: a fault in a daily series, the usual day of a weekly one.
    std::vector<SeriesBar> saturday = bars;
    saturday[2].date = date_pack(2007, 3, 24);
    write_bytes(tmp / "p" / "F256.MWD", dat_bytes(SeriesSpec{}, saturday));
    const auto zz_findings = [&](char periodicity) {
        write_bytes(tmp / "p" / "XMASTER",
                    xmaster_bytes({{256, "ZZ", "ZED", 20070319, 20070324, periodicity}}));
        std::vector<std::string> lines;
        for (const SecurityFinding& f : check_portfolio(tmp / "p", {}).findings)
            lines.push_back(check_line(f));
        return lines;
    };
    EXPECT_EQ(zz_findings('D'), std::vector<std::string>{"ZZ\t03/24/07\tweekend-date\tSaturday"});
    EXPECT_EQ(zz_findings('W'), std::vector<std::string>{});
}

} // namespace
