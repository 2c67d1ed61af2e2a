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

TEST(ValueText, DatesAreWholeDatesOfTheInterfaceForm) {
    EXPECT_EQ(date_from_text("01/08/96"), date_pack(96, 1, 8));
    EXPECT_EQ(date_from_text("03/15/05"), date_pack(105, 3, 15));
    for (const char* text : {"", "1/08/96", "01/08/9", "01/08/ 6", "01-08-96", "13/01/96", "00/10/96",
                             "01/32/96", "01/08/960", "0a/08/96"})
        EXPECT_EQ(date_from_text(text), 0) << text;
    EXPECT_EQ(date_text(date_pack(96, 1, 5)), "01/05/96");
    // Four digits name the year itself (as a date before 1960 is shown); two keep 00-59 = 2000-2059.
    EXPECT_EQ(std::vector<int>({date_from_text("01/02/1928"), date_from_text("01/02/2028"),
                                date_from_text("01/02/1899") + date_from_text("01/02/2141")}),
              (std::vector<int>{date_pack(28, 1, 2), date_from_text("01/02/28"), 0}));
    EXPECT_EQ(find_date_row({"01/09/96", "01/08/96", "01/08/96"}, "01/08/96"), 1);
    EXPECT_EQ(find_date_row({"01/09/96"}, "01/09/9"), -1);
}

// The boxes as keys drive them are in ui/entry_controls_test.cpp (built with the window only).
TEST(EntryFilters, TheNumberBoxAndTheDateMask) {
    for (unsigned c : {unsigned{'0'}, unsigned{'.'}, unsigned{'\b'}, 3u})
        EXPECT_TRUE(numeric_edit_accepts(c)) << c;
    for (unsigned c : {unsigned{'-'}, unsigned{'e'}, unsigned{' '}, 127u, 0xE9u})
        EXPECT_FALSE(numeric_edit_accepts(c)) << c;
    std::string mask = "01/02/98";
    const DateMaskOutcome first = date_mask_key(mask, 0, 0, '1'); // a caret before the first digit
    EXPECT_EQ(first.next_start * 10 + first.next_end, 12);
    const DateMaskOutcome refused = date_mask_key(mask, 4, 6, '5');
    EXPECT_EQ(refused.action, DateMaskOutcome::Action::Refused);
    EXPECT_EQ(refused.next_start * 10 + refused.next_end, 35);
    EXPECT_EQ(date_mask_key(mask, 0, 2, '/').action, DateMaskOutcome::Action::Dropped);
    EXPECT_EQ(date_mask_key(mask, 0, 2, '\t').action, DateMaskOutcome::Action::PassOn);
    EXPECT_EQ(mask, "11/02/98");
    std::string long_mask = "01/02/1928"; // the four digits of the year are one group
    for (int at = 6; at < 10; ++at)
        EXPECT_EQ(date_mask_key(long_mask, at, 10, '3').next_start, at < 9 ? at + 1 : 0);
    EXPECT_EQ(long_mask, "01/02/3333");
}
