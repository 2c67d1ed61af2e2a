// The symbol list and the MASTER repair; the lists as the window shows them are in ui/,
// MASTERs that lie about their count and quote files of every damaged shape in reliability/.
#include "common/repair.h"
#include "common/symbol_list.h"
#include "storage/text_util.h"

#include "support/builder.h"
#include "support/fault_injection.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <random>

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

MasterRecord with_symbol_bytes(const std::string& bytes, const std::string& name = "ACME CORP",
                               int number = 1) {
    MasterRecord record = master_record(security(number, "X", name));
    std::memset(&record.bytes[36], ' ', 16);
    std::memcpy(&record.bytes[36], bytes.data(), std::min<std::size_t>(bytes.size(), 16));
    return record;
}

std::vector<std::string> symbols_of(const SymbolListing& listing) {
    std::vector<std::string> out;
    for (const SymbolRow& row : listing.rows)
        out.emplace_back(row.symbol());
    return out;
}

const std::vector<std::string> kFillFailure = {"Failure while filling symbols grid"};

TEST(SymbolTexts, TheSymbolEndsAtABlankControlOrHighByteAndTheNameAtNul) {
    // clang-format off
    const std::pair<std::string, std::string> symbols[] = {{"ABC\xA0XYZ", "ABC"}, {"IBM CL A", "IBM"},
        {std::string("AB\0CD", 5), "AB"}, {"~!{}", "~!{}"}, {"ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMNOP"}, {"A\x7F" "B", "A\x7F" "B"}};
    // clang-format on
    for (const auto& [bytes, text] : symbols)
        EXPECT_EQ(master_symbol_text(with_symbol_bytes(bytes)), text);
    // Others damaged: RepairMaster below.
    for (const std::string& damaged : {std::string(16, '\0'), std::string(" A"), std::string("\x80Z")})
        EXPECT_TRUE(master_record_damaged(with_symbol_bytes(damaged))) << damaged;
    for (const char* sound : {"A", "!A", "~", "\x7F"})
        EXPECT_FALSE(master_record_damaged(with_symbol_bytes(sound))) << sound;
    EXPECT_EQ(master_name_text(with_symbol_bytes("X", "ACME CORP")) + "|" +
                  master_name_text(with_symbol_bytes("X", "ABCDEFGHIJKLMNOPQRS")),
              "ACME CORP       |ABCDEFGHIJKLMNOP");
    SecurityEntry nul_padded = security(1, "X", "ACME");
    nul_padded.nul_padded = true;
    EXPECT_EQ(master_name_text(master_record(nul_padded)), "ACME");
}

TEST(SymbolList, CountRulesAndTheFirst255) {
    const std::string stray = record_as_string(master_record(security(9, "LATE")));
    // Records, count, unused slots, bytes after them, whether the list is filled (255 records: no warning).
    const std::tuple<int, std::int16_t, int, std::string, bool> cases[] = {
        {0, 0, 0, "", true},     {0, 0, 4, "", true},   {12, 10, 0, "", false}, {8, 10, 0, "", false},
        {3, 3, 2, stray, false}, {3, -3, 0, "", false}, {2, 2, 0, "ABC", true}, {255, 255, 0, "", true}};
    for (const auto& [records, count, unused, tail, ok] : cases) {
        TempDir dir;
        MasterBuilder builder;
        for (int i = 1; i <= records; ++i)
            builder.add(security(i, "S" + std::to_string(i)));
        const SymbolListing listing =
            symbol_list_read(builder.count(count).unused_slots(unused).trailing(tail).write(dir.path()));
        EXPECT_EQ(
            std::tuple(listing.result.ok, listing.result.texts(), static_cast<int>(listing.rows.size())),
            std::tuple(ok, ok ? std::vector<std::string>{} : kFillFailure, ok ? records : 0))
            << records << " " << count;
    }
    TempDir dir;
    EXPECT_FALSE(symbol_list_read(dir / "MASTER").result.ok);
    MasterBuilder builder;
    for (int i = 0; i < 300; ++i) {
        char symbol[8];
        std::snprintf(symbol, sizeof symbol, "Z%03d", 299 - i); // file order is the reverse of symbol order
        builder.add(security(i % 255 + 1, symbol));
    }
    const SymbolListing listing = symbol_list_read(builder.write(dir.path()));
    ASSERT_TRUE(listing.result.ok);
    EXPECT_EQ(listing.result.texts(),
              std::vector<std::string>{"File has 300 symbols.\nWill only display the first 255 symbols"});
    EXPECT_EQ(std::tuple(listing.header_count, listing.symbol_count), std::tuple(300, 255));
    ASSERT_EQ(listing.rows.size(), 255u);
    EXPECT_EQ(std::string(listing.rows.front().symbol()) + std::string(listing.rows.back().symbol()),
              "Z045Z299");
}

TEST(SymbolList, RowsAreTheFileOrderSortedByTextIgnoringCaseEqualTextsInFileOrder) {
    // Random texts of letters in both cases, the bytes between the two alphabets, prefixes of each
    // other and equal ignoring case, in MASTER and XMASTER; damaged records sort by their names, which
    // may hold bytes of 128 and above. A third share their first eight bytes. Lists of 80 and of 400, and
    // one of 2,600 (a long list sorts by wider digits).
    std::mt19937 rng(11);
    const std::string letters = "aAbBzZ@[`{~\xE9";
    auto text = [&](std::size_t most) {
        std::string t = rng() % 3 == 0 ? "aAbBzZ@[" : "";
        for (std::size_t n = t.size() + 1 + rng() % most; t.size() < std::min(n, most);)
            t += letters[rng() % letters.size()];
        return t;
    };
    for (int round = 0; round < 20; ++round) {
        TempDir dir;
        MasterBuilder builder;
        std::vector<XmasterEntry> extended;
        std::vector<std::string> expected;
        const int count = round % 2 == 0 ? 40 : 200;
        for (int i = 1; i <= count; ++i) {
            std::string symbol = text(16);
            symbol = symbol.substr(0, symbol.find('\xE9')); // a high byte ends a symbol
            if (symbol.empty()) {
                const std::string name = text(16);
                builder.add(with_symbol_bytes(std::string(16, '\0'), name, i));
                expected.push_back(name);
            } else {
                builder.add(security(i, symbol));
                expected.push_back(symbol);
            }
        }
        for (int n = 256; n < 256 + (round == 19 ? 2400 : count); ++n) {
            std::string symbol = text(13);
            symbol = symbol.substr(0, symbol.find('\xE9'));
            symbol = symbol.empty() ? "Q" : symbol;
            extended.push_back({n, symbol, "X"});
            expected.push_back(symbol);
        }
        builder.write(dir.path());
        write_bytes(dir / "XMASTER", xmaster_bytes(extended));
        std::stable_sort(expected.begin(), expected.end(), symbol_text_less);
        const SymbolListing listing = symbol_list_read(dir / "MASTER");
        std::vector<std::string> texts = symbols_of(listing);
        ASSERT_EQ(texts, expected) << round;
        // Equal texts keep their file order: MASTER's numbers, then XMASTER's, each ascending.
        for (std::size_t i = 1; i < listing.rows.size(); ++i) {
            if (!symbol_text_less(texts[i - 1], texts[i])) {
                EXPECT_LT(listing.rows[i - 1].record().file_number(), listing.rows[i].record().file_number());
            }
        }
    }
}

// The rows of XMASTER's securities, read straight from its bytes, show what their records (xmaster_read)
// show: symbols ended by a NUL, a blank, a control or a high byte anywhere or not at all, names of every
// length to 45 with or without their NUL, blank symbols (damaged rows, keyed by the name without its
// padding), file numbers, and records left out for their number or field bitset.
TEST(SymbolList, XmasterRowsReadFromItsBytesShowWhatTheirRecordsShow) {
    std::mt19937 rng(5);
    const std::string any = std::string("AbZ09 ~!\0\x1F\x7F\x80\xE9", 13), letters = "AbZ09~!";
    std::vector<XmasterEntry> entries;
    for (int i = 0; i < 600; ++i)
        entries.push_back({i % 50 == 7 ? 255 : 256 + i, "X", "Y", static_cast<std::uint32_t>(rng()),
                           static_cast<std::uint32_t>(19000000u + rng() % 3000000)});
    std::string file = xmaster_bytes(entries);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::size_t at = 150 * (i + 1);
        for (std::size_t k = 1; k <= 60; ++k) { // the symbol field (1-14), byte 15 and the name (16-60)
            const std::string& from = k < 15 && i % 3 == 0 ? letters : any;
            file[at + k] = from[rng() % from.size()];
        }
        if (i % 40 == 9)
            file[at + 70] = 0; // no field: no security
    }
    TempDir dir;
    MasterBuilder().write(dir.path());
    write_bytes(dir / "XMASTER", file);
    const SymbolListing listing = symbol_list_read(dir / "MASTER");
    const std::vector<XmasterSecurity> securities = xmaster_read(dir.path());
    ASSERT_TRUE(listing.result.ok);
    ASSERT_EQ(listing.rows.size(), securities.size());
    ASSERT_LT(securities.size(), entries.size());
    int damaged = 0;
    for (const SymbolRow& row : listing.rows) {
        const auto security =
            std::find_if(securities.begin(), securities.end(),
                         [&](const XmasterSecurity& s) { return s.index == row.record_index; });
        ASSERT_NE(security, securities.end());
        const MasterRecord& record = security->record;
        std::string_view key = master_symbol_view(record);
        damaged += key.empty();
        if (key.empty())
            key = trim_trailing_blanks(master_name_view(record));
        EXPECT_EQ(std::tuple(row.symbol(), row.name(), row.damaged, row.file_number()),
                  std::tuple(key, master_name_view(record), master_symbol_view(record).empty(),
                             record.file_number()));
        EXPECT_EQ(row.record().bytes, record.bytes);
    }
    EXPECT_GT(damaged, 0);
}

// ---- Damaged records and the repair ----------------------------------------------------------------

TEST(RepairMaster, TheFillAsksFirstThenEachDamagedRecordTakesItsNameAsSymbolAndEveryOtherByteIsKept) {
    TempDir dir;
    MasterBuilder builder;
    builder.header_marks();
    std::vector<MasterRecord> records;
    for (int i = 1; i <= 6; ++i)
        records.push_back(master_record(security(i, "SYM" + std::to_string(i), "NAME " + std::to_string(i))));
    records[1] = with_symbol_bytes(" ABC", "BLANK SYMBOL", 2);
    records[3] = with_symbol_bytes("\xC4\x41\x42\x43", "ABCDEFGHIJKLMNOP", 4);
    SecurityEntry nul_name = security(5, "", "ACME");
    nul_name.nul_padded = true;
    records[4] = master_record(nul_name);
    std::memset(&records[4].bytes[37], 'Q', 15); // leftovers that must not survive behind a NUL-ended name
    for (const MasterRecord& r : records)
        builder.add(r);
    const fs::path master = builder.unused_slots(3).trailing("\x01\x02\x03").write(dir.path(), "master");
    const std::string before = read_bytes(master);
    const SymbolListing read = symbol_list_read(master);
    ASSERT_TRUE(read.result.ok && read.needs_repair && read.rows[0].damaged);
    EXPECT_EQ(symbols_of(read)[0] + "|" + symbols_of(read)[1], "ABCDEFGHIJKLMNOP|ACME");
    std::vector<std::string> questions;
    const SymbolListing declined = symbol_list_fill(master, [&](const Message& q) {
        EXPECT_EQ(q.kind, MessageKind::Question);
        return questions.push_back(q.text), false;
    });
    EXPECT_TRUE(declined.result.texts() == kFillFailure && read_bytes(master) == before);
    EXPECT_EQ(questions,
              std::vector<std::string>{
                  "The master file\n" + master.string() +
                  "\nappears corrupted.\n\nShould Quorbit try to repair this file now?\n\n"
                  "(Hint: There is a control for this in\nthe Portfolio > Search Filter dialog.)"});
    // The window's fill: a declined repair leaves the rows as read, names standing in for the symbols.
    SymbolListing browsed = symbol_list_read(master);
    EXPECT_TRUE(symbol_list_repair(
                    browsed, master, [](const Message&) { return false; }, DeclinedRepair::Browses)
                    .messages.empty());
    EXPECT_TRUE(browsed.result.ok && symbols_of(browsed) == symbols_of(read) && read_bytes(master) == before);
    // Repaired, the rows are read again: none of them is damaged any more.
    const SymbolListing repaired = symbol_list_fill(master, [](const Message&) { return true; });
    ASSERT_TRUE(repaired.result.ok);
    EXPECT_TRUE(
        !repaired.needs_repair && repaired.rows.size() == read.rows.size() &&
        std::none_of(repaired.rows.begin(), repaired.rows.end(), [](SymbolRow r) { return r.damaged; }));
    std::string expected = before;
    for (int slot : {2, 4, 5})
        std::memcpy(&expected[slot_offset(slot) + 36], &expected[slot_offset(slot) + 7], 16);
    EXPECT_EQ(read_bytes(master), expected);
    EXPECT_EQ(image_slot(expected, 5).substr(36, 16), std::string("ACME") + std::string(12, '\0'));
    EXPECT_TRUE(read_bytes(dir / "master.bak") == before && // in the portfolio's letter case
                !symbol_list_read(master).needs_repair);
    FaultInjector faults; // nothing left to repair: nothing is written
    ASSERT_EQ(RepairMaster(master), 1);
    EXPECT_EQ(faults.calls(fileops::Op::Rename), 0u);
    fs::create_directories(dir / "sub" / "MASTER"); // beside no "master", also where case is ignored
    EXPECT_EQ(RepairMaster(dir / "MISSING") + RepairMaster(dir / "sub" / "MASTER"), 0);
}

} // namespace
