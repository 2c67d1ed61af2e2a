#include "editing/entry_filters.h"
#include "editing/value_text.h"

#include <gtest/gtest.h>

using namespace editing;

TEST(ValueText, NumbersAreTheLongestDecimalPrefixAndValuesWhatAQuoteFileStores) {
    const std::pair<const char*, double> numbers[] = {
        {"12.5000", 12.5}, {"  \t7", 7.0}, {"1.2.3", 1.2},  {".5", 0.5}, {"5.", 5.0},
        {"-2.25", -2.25},  {"+3", 3.0},    {"1e3", 1000.0}, {"1e", 1.0}, {"2E-2x", 0.02},
        {"12abc", 12.0},   {"0x1A", 0.0},  {"1e+", 1.0},    {"007", 7.0}};
    for (const auto& [text, value] : numbers) {
        ASSERT_TRUE(scan_number(text).has_value()) << text;
        EXPECT_DOUBLE_EQ(*scan_number(text), value) << text;
    }
    for (const char* text : {"", " ", ".", "-", "+.", "abc", "N/A", "inf", "-infinity", "nan", "e5", "1e999"})
        EXPECT_FALSE(scan_number(text).has_value()) << text;
    EXPECT_EQ(scan_value("1234.6"), 1234.6f);
    for (const char* text : {"1e39", "2e38", "1e-40"}) // beyond a float, beyond the stored format, a denormal
        EXPECT_FALSE(scan_value(text).has_value()) << text;
}

TEST(ValueText, ANumberIsDigitsWithAtMostOnePointThatAQuoteFileCanHold) {
    for (const char* text : {"0", "12.5", ".5", "5.", "007", "1234567890123456789", "0.0001"})
        EXPECT_EQ(number_text_problem(text), "") << text;
    const std::pair<const char*, const char*> problems[] = {
        {"-1", "is negative; values are 0 or more"},
        {"-0.5", "is negative; values are 0 or more"},
        {"1.2.3", "is not a number (digits with at most one decimal point)"},
        {"", "is not a number (digits with at most one decimal point)"},
        {".", "is not a number (digits with at most one decimal point)"},
        {" 1", "is not a number (digits with at most one decimal point)"},
        {"1e3", "is not a number (digits with at most one decimal point)"},
        {"N/A", "is not a number (digits with at most one decimal point)"},
        {"--1", "is not a number (digits with at most one decimal point)"},
        {"1000000000000000000000000000000000000000", "is beyond what a quote file can hold"}};
    for (const auto& [text, problem] : problems)
        EXPECT_EQ(number_text_problem(text), problem) << text;
}

TEST(ValueText, DatesAreWholeDatesOfTheInterfaceForm) {
    EXPECT_EQ(date_from_text("01/08/96"), date_pack(96, 1, 8));
    EXPECT_EQ(date_from_text("03/15/05"), date_pack(105, 3, 15));
    for (const char* text :
         {"", "1/08/96", "01/08/9", "01/08/ 6", "01-08-96", "13/01/96", "00/10/96", "01/32/96", "01/08/960",
          "0a/08/96", "02/30/21", "02/29/21", "04/31/96", "02/29/1900", "06/31/1928", "01/00/96"})
        EXPECT_EQ(date_from_text(text), 0) << text; // no day of the calendar: nothing rolls over
    EXPECT_EQ(date_from_text("02/29/96"), date_pack(96, 2, 29));
    EXPECT_EQ(date_from_text("02/29/00"), date_pack(100, 2, 29));
    EXPECT_EQ(date_from_text("12/31/59"), date_pack(159, 12, 31));
    EXPECT_EQ(date_text(date_pack(96, 1, 5)), "01/05/96");
    // Four digits name the year itself (as a date before 1960 is shown); two keep 00-59 = 2000-2059.
    EXPECT_EQ(std::vector<int>({date_from_text("01/02/1928"), date_from_text("01/02/2028"),
                                date_from_text("01/02/1899") + date_from_text("01/02/2141")}),
              (std::vector<int>{date_pack(28, 1, 2), date_from_text("01/02/28"), 0}));
    EXPECT_EQ(find_date_row({"01/09/96", "01/08/96", "01/08/96"}, "01/08/96"), 1);
    EXPECT_EQ(find_date_row({"01/09/96"}, "01/09/9"), -1);
}

// The boxes as keys drive them are in ui/entry_controls_test.cpp (built with the window only).
TEST(EntryFilters, TheNumberBoxAndTheDateBox) {
    for (unsigned c : {unsigned{'0'}, unsigned{'.'}, unsigned{'\b'}, 3u})
        EXPECT_TRUE(numeric_edit_accepts(c)) << c;
    for (unsigned c : {unsigned{'-'}, unsigned{'e'}, unsigned{' '}, 127u, 0xE9u})
        EXPECT_FALSE(numeric_edit_accepts(c)) << c;
    struct Typed {
        const char* before;
        int start, end;
        const char* keys;
        const char* after; // nullptr: the last key refused
        int cursor;
    };
    const Typed cases[] = {
        {"01/02/1928", 0, 10, "010590", "01/05/90", 8},   // a date before 1960 retyped as MM/DD/YY
        {"01/02/98", 0, 8, "01051928", "01/05/1928", 10}, // and a short one as MM/DD/YYYY
        {"", 0, 0, "01/05/", "01/05/", 6},                // a typed "/" where the box wrote one
        {"01/02/98", 3, 5, "15", "01/15/98", 5},          // the day group overwritten
        {"01/02/98", 8, 8, "7", "01/02/987", 9},          // a digit after the year
        {"01/02/1998", 10, 10, "7", nullptr, 10},         // beyond ten characters
        {"01/02/98", 0, 8, "a", nullptr, 0},
        {"01/02/98", 0, 8, " ", nullptr, 0}};
    for (const Typed& c : cases) {
        std::string text = c.before;
        DateEntryOutcome outcome;
        int start = c.start, end = c.end;
        for (const char* key = c.keys; *key != 0; ++key) {
            outcome = date_entry_key(text, start, end, static_cast<unsigned char>(*key));
            if (!outcome.accepted)
                break;
            text = outcome.text;
            start = end = outcome.cursor;
        }
        EXPECT_EQ(outcome.accepted, c.after != nullptr) << c.before << " " << c.keys;
        EXPECT_EQ(text, c.after ? c.after : c.before) << c.before << " " << c.keys;
        EXPECT_EQ(start, c.cursor) << c.before << " " << c.keys;
    }
}
