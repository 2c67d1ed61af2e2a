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
    EXPECT_EQ(find_date_row({"01/09/96", "01/08/96", "01/08/96"}, "01/08/96"), 1);
    EXPECT_EQ(find_date_row({"01/09/96"}, "01/09/9"), -1);
}

TEST(EntryFilters, TheNumberBoxAndTheDateMask) {
    for (unsigned c : {unsigned{'0'}, unsigned{'9'}, unsigned{'.'}, unsigned{'\b'}, unsigned{'\t'}, 3u, 22u})
        EXPECT_TRUE(numeric_edit_accepts(c)) << c;
    for (unsigned c :
         {unsigned{'-'}, unsigned{'+'}, unsigned{'e'}, unsigned{' '}, unsigned{','}, 127u, 0xE9u})
        EXPECT_FALSE(numeric_edit_accepts(c)) << c;
    std::string mask = "01/02/98";
    EXPECT_EQ(date_mask_key(mask, 0, 0, '1').next_end, 2); // a caret before the first digit
    int start = 0, end = 8;
    for (char digit : std::string("031599")) { // group by group, wrapping at the end
        DateMaskOutcome outcome = date_mask_key(mask, start, end, static_cast<unsigned>(digit));
        ASSERT_EQ(outcome.action, DateMaskOutcome::Action::Written);
        start = outcome.next_start;
        end = outcome.next_end;
    }
    EXPECT_EQ(mask + std::to_string(start) + std::to_string(end), "03/15/9902");
    const DateMaskOutcome refused = date_mask_key(mask, 4, 6, '5');
    EXPECT_EQ(refused.action, DateMaskOutcome::Action::Refused);
    EXPECT_EQ(refused.next_start * 10 + refused.next_end, 35);
    EXPECT_EQ(date_mask_key(mask, 7, 7, '5').next_start, 6);
    EXPECT_EQ(date_mask_key(mask, 2, 3, '5').next_end, 2);
    EXPECT_EQ(mask, "03/15/99");
    EXPECT_EQ(date_mask_key(mask, 0, 2, '/').action, DateMaskOutcome::Action::Dropped);
    EXPECT_EQ(date_mask_key(mask, 0, 2, '\b').action, DateMaskOutcome::Action::Dropped);
    EXPECT_EQ(date_mask_key(mask, 0, 2, '\t').action, DateMaskOutcome::Action::PassOn);
}
