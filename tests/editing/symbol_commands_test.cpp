#include "browser/symbol_list.h"
#include "editing/quote_commands.h"
#include "editing/series_facts.h"
#include "editing/symbol_commands.h"
#include "editing/transfer.h"

#include "editing_fixture.h"
#include "storage/portfolio_files.h"
#include "support/view_of.h"

#include <gtest/gtest.h>

using namespace editing;
using namespace editing_test;
using testing_support::read_bytes;
using testing_support::snapshot;
using testing_support::TempDir;
using testing_support::view_of;
using testing_support::write_bytes;

namespace {

class SymbolCommands : public ::testing::Test {
protected:
    // Records in the file order 1, 3, 4 (file numbers), lower-case names, two unused slots.
    void SetUp() override {
        std::vector<DayNumber> days = {day(99, 1, 4), day(99, 1, 5), day(99, 1, 6)};
        write_portfolio(tmp.path(), {security(1, "AAA", "ALPHA", bars_on(days)),
                                     security(3, "IBM", "INTL BUS MACH", bars_on(days)),
                                     security(4, "ZZZ", "ZULU", bars_on(days))});
        write_bytes(tmp / "f3.bak", "backup");
        master = master_file(tmp.path());
        original = read_bytes(master);
        before = snapshot(tmp.path());
    }
    // Every file but MASTER and its backup as it was.
    bool others_unchanged() const {
        auto kept = [](auto files) {
            std::erase_if(files,
                          [](const auto& f) { return f.first == "master" || f.first == "master.bak"; });
            return files;
        };
        return kept(snapshot(tmp.path())) == kept(before);
    }
    TempDir tmp;
    std::filesystem::path master;
    std::string original;
    std::vector<std::pair<std::string, std::string>> before;
};

} // namespace

TEST_F(SymbolCommands, RenameStoresTheTextsAsTypedInTheSelectedRecord) {
    CommandResult r = edit_symbol(view_of(tmp.path()), "IBM", "ibm", "Intl Business Mc");
    ASSERT_TRUE(r.ok) << (r.messages.empty() ? "" : r.messages[0].text);
    std::string expected = original;
    put_text16(expected, slot_offset(2) + 36, "ibm");
    put_text16(expected, slot_offset(2) + 7, "Intl Business Mc");
    EXPECT_EQ(read_bytes(master), expected);
    EXPECT_TRUE(others_unchanged());
}

TEST_F(SymbolCommands, RenameRefusesATextTheFilesCannotHoldOrAKeyAnotherRecordAnswersTo) {
    const std::pair<const char*, const char*> refused[] = {
        {"zzz", "NAME"},              // ZZZ is another record's symbol, in any case
        {"alpha", "NAME"},            // ... and ALPHA another record's name
        {"ABCDEFGHIJKLMNO", "NAME"},  // 15 characters
        {"IBM", "SEVENTEEN CHARS.."}, // a name beyond its 16 bytes
        {"\xE2\x82\xAC"
         "UR",
         "NAME"},                 // no single byte for the euro sign
        {"IBM", "N\xE2\x82\xAC"}, // ... in a name either
        {"CAF\xC3\x89", "NAME"},  // the symbol text would end before the É
        {" IBM", "NAME"},         // a leading blank reads as a blank symbol
        {"IBM", "TAB\tNAME"},
    };
    for (const auto& [symbol, name] : refused) {
        CommandResult r = edit_symbol(view_of(tmp.path()), "IBM", symbol, name);
        EXPECT_FALSE(r.ok) << symbol << " / " << name;
        EXPECT_EQ(r.messages.size(), 1u);
    }
    EXPECT_NE(
        edit_symbol(view_of(tmp.path()), "IBM", "ABCDEFGHIJKLMNO", "N").messages[0].text.find("at most 14"),
        std::string::npos);
    EXPECT_EQ(snapshot(tmp.path()), before);

    // Latin-1 letters are one byte each in a name; the same texts again change nothing.
    ASSERT_TRUE(edit_symbol(view_of(tmp.path()), "IBM", "IBM", "M\xC3\xBCller AG").ok);
    EXPECT_EQ(read_bytes(master).substr(slot_offset(2) + 7, 16), "M\xFCller AG       ");
    const auto renamed = snapshot(tmp.path());
    EXPECT_EQ(edit_symbol(view_of(tmp.path()), "IBM", "IBM", "M\xC3\xBCller AG").messages,
              (std::vector<Message>{{MessageKind::Information, kNothingChanged}}));
    EXPECT_EQ(snapshot(tmp.path()), renamed);
}

TEST_F(SymbolCommands, TheRecordSearchComparesTheShownSymbolTextExactly) {
    MasterImage image;
    ASSERT_TRUE(master_read_image(master, image));
    EXPECT_EQ(find_symbol_record(image, "IBM"), 1);
    EXPECT_EQ(find_symbol_record(image, "ibm"), -1);
    EXPECT_EQ(find_symbol_record(image, "IB"), -1);
    EXPECT_EQ(find_symbol_record(image, "ALPHA"), -1); // a name is not a symbol

    MasterRecord record = image.record(0);
    record.bytes[39] = 0xA0; // "AAA" ended by a byte of 128 or more
    EXPECT_EQ(master_symbol_text(record), "AAA");
}

TEST_F(SymbolCommands, TwoRecordsWithTheSameSymbolTextRenameTheFirst) {
    std::string image = original;
    put_text16(image, slot_offset(3) + 36, "IBM");
    write_bytes(master, image);
    ASSERT_TRUE(edit_symbol(view_of(tmp.path()), "IBM", "NEW", "NAME").ok);
    std::string expected = image;
    put_text16(expected, slot_offset(2) + 36, "NEW");
    put_text16(expected, slot_offset(2) + 7, "NAME");
    EXPECT_EQ(read_bytes(master), expected);
}

TEST_F(SymbolCommands, NoMatchingRecordOrNoSymbolChangesNothing) {
    EXPECT_EQ(edit_symbol(view_of(tmp.path()), "IBM", "", "X").texts(),
              std::vector<std::string>{"You must enter a symbol"});
    EXPECT_TRUE(check_edit_symbol_input("A").ok);
    CommandResult rename = edit_symbol(view_of(tmp.path()), "INTL BUS MACH", "X", "Y");
    EXPECT_FALSE(rename.ok);
    ASSERT_EQ(rename.messages.size(), 1u);
    EXPECT_NE(rename.messages[0].text.find("was not found"), std::string::npos);
    CommandResult removal = delete_symbol(view_of(tmp.path()), "QQQ");
    EXPECT_FALSE(removal.ok);
    EXPECT_EQ(removal.messages.size(), 1u);
    EXPECT_FALSE(edit_symbol(view_of(tmp / "nowhere"), "IBM", "X", "Y").ok);
    EXPECT_EQ(snapshot(tmp.path()), before);
}

TEST_F(SymbolCommands, EveryCommandThatWritesMasterRefusesOneTheListCallsDamaged) {
    write_portfolio(tmp / "dest", {security(1, "DDD", "DEST", bars_on({day(99, 1, 4)}))});
    write_bytes(master, original.substr(0, slot_offset(3) + 20)); // cut in the middle of a record
    before = snapshot(tmp.path());
    const std::string problem = symbol_list_read(master).problem;
    ASSERT_NE(problem.find("is damaged"), std::string::npos);
    ViewState aaa = view_of(tmp.path(), "AAA");
    aaa.quoteCount = 3;
    const CommandResult results[] = {
        edit_symbol(aaa, "AAA", "NEW", "NAME"),
        delete_symbol(aaa, "AAA"),
        delete_quote(aaa, "01/04/99"),
        transfer_symbol(aaa, TransferMode::Move, tmp / "dest"),
    };
    for (const CommandResult& r : results) {
        EXPECT_FALSE(r.ok);
        ASSERT_FALSE(r.messages.empty());
        EXPECT_EQ(r.messages.front().text.rfind(problem, 0), 0u) << r.messages.front().text;
    }
    EXPECT_EQ(snapshot(tmp.path()), before);
}

TEST_F(SymbolCommands, DeleteRemovesTheRecordAndItsFiles) {
    CommandResult r = delete_symbol(view_of(tmp.path()), "IBM");
    ASSERT_TRUE(r.ok) << (r.messages.empty() ? "" : r.messages[0].text);
    std::string expected = original.substr(0, slot_offset(2)) + original.substr(slot_offset(3));
    set_counters(expected, 2);
    EXPECT_EQ(read_bytes(master), expected);
    for (const char* ext : {"DAT", "DOP", "BAK"})
        EXPECT_FALSE(portfolio_files::present(tmp.path(), portfolio_files::series_file_name(3, ext))) << ext;
    auto kept = before;
    std::erase_if(kept, [](const auto& f) { return f.first.rfind("f3.", 0) == 0 || f.first == "master"; });
    auto after = snapshot(tmp.path());
    std::erase_if(after, [](const auto& f) { return f.first == "master"; });
    EXPECT_EQ(after, kept);
}

// ---- Series facts -------------------------------------------------------------------------------

TEST(SeriesFactsTexts, ShowTheBlockAsTheDialogLabelsIt) {
    TempDir tmp;
    Security weekly = security(200, "IBM", "INTL BUS MACH", bars_on({day(99, 1, 4), day(100, 1, 4)}));
    weekly.spec.periodicity = 'W';
    weekly.spec.input_code = 100;
    weekly.spec.display_code = 2;
    write_portfolio(tmp.path(), {weekly});
    SeriesFactsTexts facts = describe_series(tmp.path(), "IBM");
    ASSERT_TRUE(facts.result.ok);
    EXPECT_EQ(facts.path, tmp.path().string());
    std::vector<std::pair<std::string, std::string>> expected = {
        {"File number", "200"},
        {"DAT file record length", "28"},
        {"DAT file number of fields", "7"},
        {"Number of quotes", "2"},
        {"Name of issue", "INTL BUS MACH   "},
        {"First date in file", "990104"},
        {"Last date in file", "1000104"},
        {"Data format", "W Weekly"},
        {"Symbol", "IBM             "},
    };
    EXPECT_EQ(facts.data, expected);
    ASSERT_EQ(facts.formats.size(), 8u);
    EXPECT_EQ(facts.formats[0].field, "Date");
    EXPECT_EQ(facts.formats[0].input, "100s");
    EXPECT_EQ(facts.formats[1].field, "Time");
    EXPECT_EQ(facts.formats[1].input, "");
    EXPECT_EQ(facts.formats[1].display, "");
    EXPECT_EQ(facts.formats[7].field, "OI");
    EXPECT_FALSE(facts.formats[7].display.empty());
}

TEST(SeriesFactsTexts, InferredLayoutUnknownPeriodicityAndNoDate) {
    TempDir tmp;
    Security plain = security(5, "XYZ", "XYZ CORP", {});
    plain.spec.fields = {"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL"};
    plain.spec.write_dop = false;
    plain.spec.periodicity = 'X';
    write_portfolio(tmp.path(), {plain});
    SeriesFactsTexts facts = describe_series(tmp.path(), "XYZ");
    ASSERT_TRUE(facts.result.ok);
    EXPECT_EQ(facts.data[1].second, "24");
    EXPECT_EQ(facts.data[2].second, "6");
    EXPECT_EQ(facts.data[5].second, "     0");
    EXPECT_EQ(facts.data[7].second, "ERROR");
    EXPECT_TRUE(facts.formats[1].input.empty());
    EXPECT_TRUE(facts.formats[7].input.empty());
    EXPECT_FALSE(facts.formats[2].input.empty());

    SeriesFactsTexts missing = describe_series(tmp.path(), "NOPE");
    EXPECT_FALSE(missing.result.ok);
    EXPECT_EQ(missing.result.messages.size(), 1u);
    EXPECT_TRUE(missing.data.empty());
    EXPECT_TRUE(missing.formats.empty());
}
