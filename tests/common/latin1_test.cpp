// The one conversion between typed UTF-8 and the single bytes the portfolio files hold.
#include "common/latin1.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Every byte a file can hold survives the way to the screen and back, byte for byte.
TEST(Latin1, EveryStoredByteRoundTripsThroughUtf8) {
    std::string every;
    for (int byte = 1; byte < 256; ++byte)
        every.push_back(static_cast<char>(byte));
    const std::string shown = utf8_from_latin1(every);
    EXPECT_EQ(shown.size(), 127u + 2u * 128u);
    EXPECT_EQ(utf8_from_latin1("ACME \xE9"), "ACME \xC3\xA9");
    ASSERT_EQ(latin1_from_utf8(shown), every);
}

// A character no single byte stores, and text that is no UTF-8, are refused whole, never cut or replaced.
TEST(Latin1, TextBeyondU00FFOrNoUtf8IsRefused) {
    for (const char* text : {"\xE2\x82\xAC", "AB\xC4\x80", "\xC3", "\xC3(", "\xA9", "\xF0\x9F\x98\x80"})
        EXPECT_FALSE(latin1_from_utf8(text).has_value()) << text;
    EXPECT_EQ(latin1_from_utf8(""), std::string());
}

} // namespace
