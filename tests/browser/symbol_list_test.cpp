#include "browser/quote_cells.h"
#include "browser/symbol_list.h"

#include "support/portfolio_builder.h"
#include "support/series_builder.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

MasterRecord record_with_symbol_bytes(const std::string& symbol_bytes,
                                      const std::string& name = "ACME CORP") {
    MasterRecord record = master_record(security(1, "X", name));
    std::memset(&record.bytes[36], ' ', 16);
    std::memcpy(&record.bytes[36], symbol_bytes.data(), std::min<std::size_t>(symbol_bytes.size(), 16));
    return record;
}

std::vector<std::string> symbols_of(const SymbolListing& listing) {
    std::vector<std::string> out;
    for (const SymbolRow& row : listing.rows)
        out.push_back(row.symbol);
    return out;
}

std::string printf_fixed(double value, int precision) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%.*f", precision, value);
    return buffer;
}

const char* const kFillFailure = "Failure while filling symbols grid";

} // namespace

// ---- Texts of one record ------------------------------------------------------------------------

TEST(SymbolTexts, SymbolEndsAtBlankControlOrHighByte) {
    EXPECT_EQ(master_symbol_text(record_with_symbol_bytes("ABC\xA0XYZ")), "ABC");
    EXPECT_EQ(master_symbol_text(record_with_symbol_bytes("IBM CL A")), "IBM");
    EXPECT_EQ(master_symbol_text(record_with_symbol_bytes(std::string("AB\0CD", 5))), "AB");
    EXPECT_EQ(master_symbol_text(record_with_symbol_bytes("ABCDEFGHIJKLMNOP")), "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(master_symbol_text(record_with_symbol_bytes("~!{}")), "~!{}"); // 126, 33, 123, 125 are text
    EXPECT_EQ(master_symbol_text(record_with_symbol_bytes("A\x7F"
                                                          "B")),
              "A\x7F"
              "B");
}

TEST(SymbolTexts, DamagedWhenTheFirstSymbolByteEndsTheText) {
    EXPECT_TRUE(master_record_damaged(record_with_symbol_bytes(" ABC")));
    EXPECT_TRUE(master_record_damaged(record_with_symbol_bytes("\xC4"
                                                               "ABC")));
    EXPECT_TRUE(master_record_damaged(record_with_symbol_bytes(std::string(16, '\0'))));
    EXPECT_FALSE(master_record_damaged(record_with_symbol_bytes("A")));
}

TEST(SymbolTexts, NameKeepsTrailingBlanksAndEndsAtNul) {
    EXPECT_EQ(master_name_text(record_with_symbol_bytes("X", "ACME CORP")), "ACME CORP       ");
    SecurityEntry nul_padded = security(1, "X", "ACME");
    nul_padded.nul_padded = true;
    EXPECT_EQ(master_name_text(master_record(nul_padded)), "ACME");
    EXPECT_EQ(master_name_text(record_with_symbol_bytes("X", "ABCDEFGHIJKLMNOPQRS")), "ABCDEFGHIJKLMNOP");
}

// ---- The list of a MASTER file ------------------------------------------------------------------

TEST(SymbolList, RowsSortedIgnoringCaseAndStableWithUnusedSlotsIgnored) {
    TempDir dir;
    MasterBuilder builder;
    builder.add(security(4, "msft"))
        .add(security(1, "IBM"))
        .add(security(2, "Abc", "FIRST"))
        .add(security(3, "aapl"));
    builder.add(security(5, "ABC", "SECOND")).unused_slots(3);
    const fs::path master = builder.write(dir.path(), "master");

    const SymbolListing listing = symbol_list_read(master);
    ASSERT_TRUE(listing.result.ok);
    EXPECT_TRUE(listing.result.messages.empty());
    EXPECT_EQ(listing.symbol_count, 5);
    EXPECT_FALSE(listing.needs_repair);
    EXPECT_EQ(symbols_of(listing), (std::vector<std::string>{"aapl", "Abc", "ABC", "IBM", "msft"}));
    EXPECT_EQ(listing.rows[1].name, "FIRST           ");
    EXPECT_EQ(listing.rows[2].name, "SECOND          ");
    EXPECT_EQ(listing.rows[0].record_index, 3);
    EXPECT_EQ(listing.rows[0].record.file_number(), 3);
}

TEST(SymbolList, NestedPortfolioEntriesAreRecordsButNoRowsAndNoDamage) {
    TempDir dir;
    MasterBuilder builder;
    builder.add(security(1, "IBM")).add_directory(0, "SUB").add(security(2, "ACME"));
    const fs::path master = builder.write(dir.path());

    const SymbolListing listing = symbol_list_read(master);
    ASSERT_TRUE(listing.result.ok);
    EXPECT_FALSE(listing.needs_repair);
    EXPECT_EQ(listing.symbol_count, 3);
    EXPECT_EQ(symbols_of(listing), (std::vector<std::string>{"ACME", "IBM"}));
}

TEST(SymbolList, CountRules) {
    struct Case {
        const char* what;
        int records;
        std::int16_t count;
        int unused_slots;
        std::string tail; // appended after the unused slots
        bool ok;
    };
    const std::string stray_record = record_as_string(master_record(security(9, "LATE")));
    const Case cases[] = {
        {"count 0, no records", 0, 0, 0, "", true},
        {"count 0, unused slots", 0, 0, 4, "", true},
        {"count 10, 12 records", 12, 10, 0, "", false},
        {"count 10, 8 records", 8, 10, 0, "", false},
        {"a record after unused slots", 3, 3, 2, stray_record, false},
        {"negative count", 3, -3, 0, "", false},
        {"partial record at the end", 2, 2, 0, "ABC", true},
    };
    for (const Case& c : cases) {
        TempDir dir;
        MasterBuilder builder;
        for (int i = 1; i <= c.records; ++i)
            builder.add(security(i, "S" + std::to_string(i)));
        builder.count(c.count).unused_slots(c.unused_slots);
        if (!c.tail.empty())
            builder.trailing(c.tail);
        const SymbolListing listing = symbol_list_read(builder.write(dir.path()));
        EXPECT_EQ(listing.result.ok, c.ok) << c.what;
        if (c.ok) {
            EXPECT_TRUE(listing.result.messages.empty()) << c.what;
            EXPECT_EQ(static_cast<int>(listing.rows.size()), c.records) << c.what;
        } else {
            EXPECT_EQ(listing.result.texts(), std::vector<std::string>{kFillFailure}) << c.what;
            EXPECT_TRUE(listing.rows.empty()) << c.what;
            EXPECT_EQ(listing.symbol_count, 0) << c.what;
        }
    }
}

TEST(SymbolList, MoreThan255SymbolsShowsTheFirst255InFileOrder) {
    TempDir dir;
    MasterBuilder builder;
    for (int i = 0; i < 300; ++i) {
        char symbol[8];
        std::snprintf(symbol, sizeof symbol, "Z%03d", 299 - i); // file order is the reverse of symbol order
        builder.add(security(i % 255 + 1, symbol));
    }
    const SymbolListing listing = symbol_list_read(builder.write(dir.path()));
    ASSERT_TRUE(listing.result.ok);
    EXPECT_EQ(listing.result.messages,
              (std::vector<Message>{
                  {MessageKind::Warning, "File has 300 symbols.\nWill only display the first 255 symbols"}}));
    EXPECT_EQ(listing.header_count, 300);
    EXPECT_EQ(listing.symbol_count, 255);
    ASSERT_EQ(listing.rows.size(), 255u);
    EXPECT_EQ(listing.rows.front().symbol, "Z045");
    EXPECT_EQ(listing.rows.back().symbol, "Z299");
}

TEST(SymbolList, MissingOrShortMasterFails) {
    TempDir dir;
    EXPECT_FALSE(symbol_list_read(dir / "MASTER").result.ok);
    write_bytes(dir / "MASTER", std::string(40, '\0'));
    const SymbolListing listing = symbol_list_read(dir / "MASTER");
    EXPECT_FALSE(listing.result.ok);
    EXPECT_EQ(listing.result.messages, (std::vector<Message>{{MessageKind::Error, kFillFailure}}));
}

TEST(SymbolList, DamagedRecordShowsNameAndTheFillAsksBeforeRepairing) {
    TempDir dir;
    MasterBuilder builder;
    builder.add(security(1, "IBM")).add(record_with_symbol_bytes(" ABC", "BLANK SYMBOL")).unused_slots(2);
    const fs::path master = builder.write(dir.path());
    const std::string before = read_bytes(master);

    const SymbolListing read = symbol_list_read(master);
    ASSERT_TRUE(read.result.ok);
    EXPECT_TRUE(read.needs_repair);
    EXPECT_EQ(symbols_of(read), (std::vector<std::string>{"BLANK SYMBOL", "IBM"}));
    EXPECT_TRUE(read.rows[0].damaged);

    std::vector<std::string> questions;
    const SymbolListing declined = symbol_list_fill(master, [&](const Message& q) {
        EXPECT_EQ(q.kind, MessageKind::Question);
        questions.push_back(q.text);
        return false;
    });
    EXPECT_FALSE(declined.result.ok);
    EXPECT_EQ(declined.result.texts(), std::vector<std::string>{kFillFailure});
    EXPECT_EQ(read_bytes(master), before);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0],
              "The master file\n" + master.string() +
                  "\nappears corrupted.\n\nShould Quorbit try to repair this file now?\n\n"
                  "(Hint: There is a control for this in\nthe Portfolio > Search Filter dialog.)");

    const SymbolListing repaired = symbol_list_fill(master, [](const Message&) { return true; });
    ASSERT_TRUE(repaired.result.ok);
    EXPECT_EQ(symbols_of(repaired), (std::vector<std::string>{"BLANK SYMBOL", "IBM"}));
    EXPECT_EQ(symbols_of(symbol_list_read(master)), (std::vector<std::string>{"BLANK", "IBM"}));
}

// ---- Quote cells --------------------------------------------------------------------------------

TEST(QuoteCells, FixedTextEqualsPrintfOnRandomAndAwkwardValues) {
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<float> small(0.0f, 1000.0f);
    std::uniform_real_distribution<float> exponent(-12.0f, 38.0f);
    std::vector<double> values = {0.0,     -0.0,    0.5,     1.5,     2.5,      0.125,      0.375,   12.625,
                                  0.00005, 0.00015, 1e-30,   -1e-30,  -0.00004, 123456.785, 15300.0, 1234.6,
                                  kMbfMax, 1e38,    9.99995, 0.99995, -2.5,     -12.34567};
    for (int i = 0; i < 20000; ++i) {
        values.push_back(small(rng));
        values.push_back(-small(rng) / 1000.0f);
        values.push_back(std::pow(10.0f, exponent(rng)));
        values.push_back(static_cast<float>(rng() % 6400000) / 64.0f); // exact binary fractions: ties
    }
    for (double v : values) {
        for (int precision : {0, 2, 4}) {
            ASSERT_EQ(format_fixed(static_cast<float>(v), precision),
                      printf_fixed(static_cast<float>(v), precision))
                << v << " precision " << precision;
        }
    }
}

TEST(QuoteCells, ValueTexts) {
    EXPECT_EQ(quote_value_text(12.5f, 4), "12.5000");
    EXPECT_EQ(quote_value_text(1234.6f, 0), "1235");
    EXPECT_EQ(quote_value_text(FIELD_ABSENT, 4), "N/A");
    EXPECT_EQ(quote_value_text(-0.01f, 0), "N/A");
    EXPECT_EQ(quote_value_text(std::numeric_limits<float>::quiet_NaN(), 4), "N/A");
    EXPECT_EQ(quote_value_text(0.0f, 4), "0.0000");
}

TEST(QuoteList, ReadsNewestFirstInWindowsWithAbsentFieldsAsNA) {
    TempDir dir;
    SeriesSpec spec;
    spec.symbol = "ACME";
    spec.fields = {"DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL"}; // no open interest
    spec.lower_case = true;
    const std::vector<SeriesBar> bars = random_series_bars(7, 1000);
    write_series_portfolio(dir.path(), spec, bars);

    const QuoteListing listing = quote_list_read(dir.path(), "ACME");
    ASSERT_TRUE(listing.result.ok) << (listing.result.messages.empty() ? ""
                                                                       : listing.result.messages[0].text);
    EXPECT_EQ(listing.quote_count, 1000);
    ASSERT_EQ(listing.rows.size(), 1000u);
    for (int row = 0; row < 1000; ++row) {
        const SeriesBar& bar = bars[static_cast<std::size_t>(999 - row)];
        const QuoteCells expected = {quote_date_text(bar.date),
                                     printf_fixed(bar.open, 4),
                                     printf_fixed(bar.high, 4),
                                     printf_fixed(bar.low, 4),
                                     printf_fixed(bar.close, 4),
                                     printf_fixed(bar.vol, 0),
                                     "N/A"};
        ASSERT_EQ(listing.rows[static_cast<std::size_t>(row)], expected) << "row " << row;
    }
    EXPECT_EQ(listing.dates[999], bars.front().date);
    EXPECT_EQ(listing.first_quote_date, bars.front().date);
    EXPECT_EQ(listing.last_quote_date, bars.back().date);
}

TEST(QuoteList, EmptySeriesAndDamagedFiles) {
    TempDir dir;
    SeriesSpec spec;
    write_series_portfolio(dir.path(), spec, {});
    const QuoteListing empty = quote_list_read(dir.path(), spec.symbol);
    EXPECT_TRUE(empty.result.ok);
    EXPECT_TRUE(empty.rows.empty());
    EXPECT_EQ(empty.first_quote_date, 0);
    EXPECT_EQ(empty.last_quote_date, 0);

    EXPECT_EQ(quote_list_read(dir.path(), "NOSUCH").result.texts(),
              std::vector<std::string>{"Error in FillQuotesGrid"});

    // The header announces 10 bars, the file holds 6: only the 6 bars present are shown.
    TempDir short_dir;
    spec.last_record = 11;
    const std::vector<SeriesBar> six = random_series_bars(3, 6);
    write_series_portfolio(short_dir.path(), spec, six);
    const QuoteListing cut = quote_list_read(short_dir.path(), spec.symbol);
    ASSERT_EQ(cut.rows.size(), 6u);
    EXPECT_EQ(cut.rows[0][0], quote_date_text(six.back().date));
    EXPECT_EQ(cut.rows[5][0], quote_date_text(six.front().date));

    TempDir negative_dir;
    spec.last_record = -5;
    write_series_portfolio(negative_dir.path(), spec, random_series_bars(3, 6));
    EXPECT_FALSE(quote_list_read(negative_dir.path(), spec.symbol).result.ok);
}
