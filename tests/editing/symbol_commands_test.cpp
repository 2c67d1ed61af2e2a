// Rename of a symbol, the refusal of a damaged MASTER by every command that writes it, and the texts of
// the series facts. What a delete leaves is compared byte for byte in storage/master_test.cpp and swept
// under failure in reliability/fault_sweep_test.cpp.
#include "common/symbol_list.h"
#include "editing/quote_commands.h"
#include "editing/series_facts.h"
#include "editing/symbol_commands.h"
#include "editing/transfer.h"

#include "storage/portfolio_files.h"
#include "support/builder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

using namespace editing;
using namespace testing_support;

namespace {

class SymbolCommands : public ::testing::Test {
protected:
    // Records in the file order 1, 3, 4 (file numbers), lower-case names, two unused slots.
    void SetUp() override {
        const auto bars = bars_on({date_pack(99, 1, 4), date_pack(99, 1, 5), date_pack(99, 1, 6)});
        write_portfolio(tmp.path(),
                        {make_security(1, "AAA", "ALPHA", bars, true),
                         make_security(3, "IBM", "INTL BUS MACH", bars, true),
                         make_security(4, "ZZZ", "ZULU", bars, true)},
                        true);
        write_bytes(tmp / "f3.bak", "backup");
        original = read_bytes(master);
        extended = read_bytes(tmp / "emaster");
        before = snapshot(tmp.path());
    }
    CommandResult rename(const std::string& row, const std::string& symbol, const std::string& name) const {
        return edit_symbol(tmp.path(), row, symbol, name);
    }
    // Every file but those named.
    static Snapshot without(Snapshot files, const std::string& prefix) {
        std::erase_if(files, [&](const auto& f) { return f.first.starts_with(prefix); });
        return files;
    }
    TempDir tmp;
    const std::filesystem::path master = tmp / "master";
    std::string original, extended;
    Snapshot before;
};

TEST_F(SymbolCommands, RenameStoresTheTextsAsTypedInTheFirstRecordShowingTheSymbol) {
    ASSERT_TRUE(rename("IBM", "ibm", "Intl Business Mc").ok);
    std::string image = original;
    put_text16(image, slot_offset(2) + 36, "ibm");
    put_text16(image, slot_offset(2) + 7, "Intl Business Mc");
    EXPECT_EQ(read_bytes(master), image);
    // EMASTER's record 2: symbol, short name, and the long name, which no longer begins with the name.
    std::string emaster = extended;
    put_text0(emaster, 2 * 192 + 11, "ibm", 14);
    put_text0(emaster, 2 * 192 + 32, "Intl Business Mc", 16);
    put_text0(emaster, 2 * 192 + 139, "Intl Business Mc", 53);
    EXPECT_TRUE(read_bytes(tmp / "emaster") == emaster && read_bytes(tmp / "emaster.bak") == extended);
    EXPECT_EQ(without(without(snapshot(tmp.path()), "master"), "emaster"),
              without(without(before, "master"), "emaster"));
    // Latin-1 letters are one byte each in a name; the same texts again change nothing.
    ASSERT_TRUE(rename("ibm", "ibm", "M\xC3\xBCller AG").ok);
    EXPECT_EQ(read_bytes(master).substr(slot_offset(2) + 7, 16), "M\xFCller AG       ");
    const Snapshot renamed = snapshot(tmp.path());
    EXPECT_EQ(rename("ibm", "ibm", "M\xC3\xBCller AG").texts(), std::vector<std::string>{kNothingChanged});
    EXPECT_EQ(snapshot(tmp.path()), renamed);
    put_text16(image, slot_offset(3) + 36, "ibm"); // two records showing ibm: the first is renamed
    write_bytes(master, image);
    ASSERT_TRUE(rename("ibm", "NEW", "NAME").ok);
    put_text16(image, slot_offset(2) + 36, "NEW");
    put_text16(image, slot_offset(2) + 7, "NAME");
    EXPECT_EQ(read_bytes(master), image);
}

TEST_F(SymbolCommands, RenameRefusesTextsTheSnapshotCannotHoldAndKeysOfOtherRecords) {
    // Another record's symbol in any case, another record's name, 15 characters, a name beyond 16, no single
    // byte for the euro sign, a symbol text that would end before the É, a leading blank, a tab.
    // clang-format off
    const std::pair<const char*, const char*> refused[] = {{"zzz", "NAME"}, {"alpha", "NAME"},
        {"ABCDEFGHIJKLMNO", "NAME"}, {"IBM", "SEVENTEEN CHARS.."}, {"\xE2\x82\xAC" "UR", "NAME"},
        {"IBM", "N\xE2\x82\xAC"}, {"CAF\xC3\x89", "NAME"}, {" IBM", "NAME"}, {"IBM", "TAB\tNAME"}, {"", "NAME"}};
    // clang-format on
    for (const auto& [symbol, name] : refused) {
        const CommandResult r = rename("IBM", symbol, name);
        EXPECT_TRUE(!r.ok && r.messages.size() == 1u) << symbol << " / " << name;
    }
    EXPECT_NE(rename("IBM", "ABCDEFGHIJKLMNO", "N").messages[0].text.find("at most 14"), std::string::npos);
    EXPECT_EQ(rename("IBM", "", "X").texts(), std::vector<std::string>{"You must enter a symbol"});
    // The record is found by its symbol as stored, exactly: not a name, not another case.
    for (const char* row : {"INTL BUS MACH", "ibm", "IB"})
        EXPECT_NE(rename(row, "X", "Y").texts().at(0).find("was not found"), std::string::npos) << row;
    EXPECT_TRUE(delete_symbol(tmp.path(), "QQQ").messages.size() == 1u &&
                !edit_symbol(tmp / "nowhere", "IBM", "X", "Y").ok);
    EXPECT_EQ(snapshot(tmp.path()), before);
}

TEST_F(SymbolCommands, DeleteRemovesTheRecordAndItsFilesOnly) {
    ASSERT_TRUE(delete_symbol(tmp.path(), "IBM").ok);
    std::string expected = original.substr(0, slot_offset(2)) + original.substr(slot_offset(3));
    set_image_counters(expected, 2, 2);
    EXPECT_EQ(read_bytes(master), expected);
    std::string emaster = extended.substr(0, 2 * 192) + extended.substr(3 * 192);
    emaster[0] = 2; // the count; the highest number in use stays 4
    EXPECT_EQ(read_bytes(tmp / "emaster"), emaster);
    EXPECT_EQ(without(without(snapshot(tmp.path()), "master"), "emaster"),
              without(without(without(before, "master"), "emaster"), "f3."));
}

TEST_F(SymbolCommands, EveryCommandThatWritesMasterRefusesOneTheListCallsDamaged) {
    write_portfolio(tmp / "dest", {make_security(1, "DDD", "DEST", bars_on({date_pack(99, 1, 4)}))});
    write_bytes(master, original.substr(0, slot_offset(3) + 20)); // cut in the middle of a record
    before = snapshot(tmp.path());
    const std::string problem = symbol_list_read(master).problem;
    ASSERT_NE(problem.find("is damaged"), std::string::npos);
    SeriesSession series;
    series.open(tmp.path(), "AAA");
    for (const CommandResult& r : {rename("AAA", "NEW", "NAME"), delete_symbol(tmp.path(), "AAA"),
                                   delete_quote(series, QuoteRef{-1, date_pack(99, 1, 4), 0}),
                                   transfer_symbol(tmp.path(), "AAA", TransferMode::Move, tmp / "dest")})
        EXPECT_TRUE(!r.ok && r.texts().at(0).starts_with(problem)) << r.texts().at(0);
    EXPECT_EQ(snapshot(tmp.path()), before);
}

TEST(SeriesFactsTexts, ShowTheBlockAsTheDialogLabelsIt) {
    TempDir tmp;
    const Security weekly{{.file_number = 200, .periodicity = 'W', .input_code = 100, .display_code = 2},
                          bars_on({date_pack(99, 1, 4), date_pack(100, 1, 4)})};
    const Security plain{{5, "XYZ", "XYZ CORP", 'X', {"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL"}, false},
                         {}};
    write_portfolio(tmp.path(), {weekly, plain});
    SeriesFactsTexts facts = describe_series(tmp.path(), "IBM");
    ASSERT_TRUE(facts.result.ok && facts.path == tmp.path().string() && facts.formats.size() == 8u);
    // clang-format off
    const std::vector<std::pair<std::string, std::string>> expected = {{"File number", "200"},
        {"DAT file record length", "28"}, {"DAT file number of fields", "7"}, {"Number of quotes", "2"},
        {"Name of issue", "INTL BUS MACH   "}, {"First date in file", "990104"}, {"Last date in file", "1000104"},
        {"Data format", "W Weekly"}, {"Symbol", "IBM             "}};
    // clang-format on
    EXPECT_EQ(facts.data, expected);
    EXPECT_EQ(facts.formats[0].field + facts.formats[0].input, "Date100s");
    EXPECT_EQ(facts.formats[1].field + facts.formats[1].input + facts.formats[1].display, "Time");
    EXPECT_TRUE(facts.formats[7].field == "OI" && !facts.formats[7].display.empty());
    facts = describe_series(tmp.path(), "XYZ"); // an inferred layout, an unknown periodicity, no dates
    ASSERT_TRUE(facts.result.ok);
    EXPECT_EQ(facts.data[1].second + facts.data[2].second + facts.data[5].second + facts.data[7].second,
              "246     0ERROR");
    EXPECT_TRUE(facts.formats[1].input.empty() && facts.formats[7].input.empty());
    EXPECT_FALSE(facts.formats[2].input.empty());
    facts = describe_series(tmp.path(), "NOPE");
    EXPECT_TRUE(facts.result.messages.size() == 1u && facts.data.empty() && facts.formats.empty());
}

} // namespace
