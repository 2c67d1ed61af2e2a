#include "storage/encoding.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace {

std::array<std::uint8_t, 4> mbf(float v) {
    std::array<std::uint8_t, 4> out{};
    ieee_to_mbf(v, out.data());
    return out;
}

float from(std::array<std::uint8_t, 4> b) {
    return mbf_to_ieee(b.data());
}

using Bytes = std::array<std::uint8_t, 4>;

TEST(Mbf, KnownEncodings) {
    EXPECT_EQ(mbf(1.0f), (Bytes{0x00, 0x00, 0x00, 0x81}));
    EXPECT_EQ(mbf(-1.0f), (Bytes{0x00, 0x00, 0x80, 0x81}));
    EXPECT_EQ(mbf(0.5f), (Bytes{0x00, 0x00, 0x00, 0x80}));
    EXPECT_EQ(mbf(0.0f), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(mbf(-0.0f), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(from({0x00, 0x00, 0x00, 0x81}), 1.0f);
    EXPECT_EQ(from({0xAB, 0xCD, 0xEF, 0x00}), 0.0f); // exponent byte 0 is zero whatever else
}

TEST(Mbf, ExponentBytesOneAndTwoReadAsZero) {
    EXPECT_EQ(from({0x12, 0x34, 0x56, 0x01}), 0.0f);
    EXPECT_EQ(from({0x12, 0x34, 0xD6, 0x02}), 0.0f);
    EXPECT_NE(from({0x12, 0x34, 0x56, 0x03}), 0.0f);
}

TEST(Mbf, OutOfRangeValuesSaturateAndNaNIsZero) {
    EXPECT_EQ(from(mbf(std::numeric_limits<float>::infinity())), kMbfMax);
    EXPECT_EQ(from(mbf(-std::numeric_limits<float>::infinity())), -kMbfMax);
    EXPECT_EQ(from(mbf(3.0e38f)), kMbfMax);
    EXPECT_EQ(mbf(std::numeric_limits<float>::quiet_NaN()), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(mbf(std::numeric_limits<float>::denorm_min()), (Bytes{0, 0, 0, 0}));
    EXPECT_FALSE(mbf_representable(std::numeric_limits<float>::quiet_NaN()));
    EXPECT_FALSE(mbf_representable(std::numeric_limits<float>::infinity()));
    EXPECT_FALSE(mbf_representable(3.0e38f));
    EXPECT_TRUE(mbf_representable(kMbfMax));
    EXPECT_TRUE(mbf_representable(-12.625f));
    EXPECT_TRUE(mbf_representable(0.0f));
}

TEST(Mbf, EveryMbfPatternWithExponentThreeOrMoreRoundTripsExactly) {
    std::mt19937 rng(7);
    for (int i = 0; i < 200000; ++i) {
        Bytes b{};
        std::uint32_t r = rng();
        std::memcpy(b.data(), &r, 4);
        if (b[3] < 3)
            continue;
        EXPECT_EQ(mbf(from(b)), b);
    }
}

TEST(Mbf, ConversionMayWorkInPlace) {
    float value = 12.625f;
    auto* bytes = reinterpret_cast<std::uint8_t*>(&value);
    ieee_to_mbf(value, bytes);
    float back = mbf_to_ieee(bytes);
    EXPECT_EQ(back, 12.625f);
}

TEST(Dates, PackAndUnpackKnownDays) {
    EXPECT_EQ(date_pack(100, 2, 29), 14304);
    EXPECT_EQ(date_pack(100, 3, 1), 14305);
    EXPECT_EQ(date_pack(2000, 3, 1), 14305);
    EXPECT_EQ(date_pack(61, 1, 1), 1);
    EXPECT_EQ(date_pack(100, 1, 1), 14245);
    int y, m, d;
    date_unpack(1, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 610101);
    date_unpack(65535, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 2400604);
}

TEST(Dates, EveryDayNumberRoundTrips) {
    for (int n = 1; n <= 65535; ++n) {
        int y, m, d;
        date_unpack(static_cast<DayNumber>(n), y, m, d);
        ASSERT_GE(m, 1);
        ASSERT_LE(m, 12);
        ASSERT_GE(d, 1);
        ASSERT_LE(d, 31);
        ASSERT_EQ(date_pack(y, m, d), n);
        ASSERT_EQ(date_from_yymmdd(date_to_yymmdd(static_cast<DayNumber>(n))), n);
    }
}

TEST(Dates, OutOfRangeInputsAreClampedNotWrapped) {
    EXPECT_EQ(date_pack(60, 1, 5), 0); // 1960 lies before day 1
    EXPECT_EQ(date_pack(300, 1, 1), 65535);
    EXPECT_EQ(date_pack(99, 13, 1), date_pack(99, 12, 1));
    EXPECT_EQ(date_pack(99, 0, 1), date_pack(99, 1, 1));
    EXPECT_EQ(date_from_yymmdd(-1.0f), 0);
    EXPECT_EQ(date_from_yymmdd(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(date_from_yymmdd(std::numeric_limits<float>::infinity()), 0);
    EXPECT_EQ(date_from_yymmdd(1e30f), 0);
}

TEST(Dates, StoredValues) {
    EXPECT_EQ(date_from_yymmdd(991231.0f), 14244);
    EXPECT_EQ(date_from_yymmdd(1000101.0f), 14245);
    EXPECT_EQ(date_from_yymmdd(20000102.0f), 14246);
    std::uint8_t b[4];
    date_to_mbf(14245, b);
    EXPECT_EQ(mbf_to_ieee(b), 1000101.0f);
    date_to_mbf(0, b);
    EXPECT_EQ(mbf_to_ieee(b), 0.0f);
}

TEST(Times, PackUnpack) {
    EXPECT_EQ(time_pack(23, 59, 59), 43199);
    EXPECT_EQ(time_pack(9, 30, 0), 17100);
    int h, m, s;
    time_unpack(43199, h, m, s);
    EXPECT_EQ(h * 10000 + m * 100 + s, 235958);
    EXPECT_EQ(time_from_hhmmss(93000.0f), 17100);
}

TEST(Weekdays, RuleAndSteps) {
    EXPECT_FALSE(is_weekday(1)); // Sunday 1 January 1961
    EXPECT_FALSE(is_weekday(0)); // Saturday 31 December 1960
    EXPECT_TRUE(is_weekday(2));
    DayNumber monday = date_pack(96, 1, 8);
    EXPECT_EQ(previous_weekday(monday), date_pack(96, 1, 5));
    EXPECT_EQ(next_weekday(date_pack(96, 1, 5)), monday);
    EXPECT_EQ(next_weekday(date_pack(96, 1, 6)), monday); // Saturday
    EXPECT_EQ(previous_weekday(date_pack(96, 1, 10)), date_pack(96, 1, 9));
    EXPECT_EQ(previous_weekday(0), 0);
    EXPECT_EQ(previous_weekday(1), 0);
    EXPECT_EQ(next_weekday(65535), 65535);
}

TEST(DateText, ParseStyleThree) {
    EXPECT_EQ(date_parse("12/31/99", kMMDDYYSep), 14244);
    EXPECT_EQ(date_parse("00/00/00", kMMDDYYSep), 0);
    EXPECT_EQ(date_parse("01/05/00", kMMDDYYSep), date_pack(100, 1, 5));
    EXPECT_EQ(date_parse("01/05/59", kMMDDYYSep), date_pack(159, 1, 5));
    EXPECT_EQ(date_parse("  \"12/31/99", kMMDDYYSep), 14244);
    EXPECT_EQ(date_parse("5/", kMMDDYYSep), date_pack(100, 5, 0));
    EXPECT_EQ(date_parse("", kMMDDYYSep), 0);
    EXPECT_EQ(date_parse("12/31/99", 13), 0);
    EXPECT_EQ(date_parse("12/31/99", 0), 0);
    EXPECT_EQ(date_parse("12/3", kMMDDYYSep), date_pack(100, 12, 3)); // missing groups read 0
}

TEST(DateText, EveryStyleRoundTrips) {
    for (int style = 1; style <= 12; ++style) {
        for (DayNumber day :
             {DayNumber(1), DayNumber(14244), DayNumber(14245), DayNumber(20000), DayNumber(35000)}) {
            int y, m, d;
            date_unpack(day, y, m, d);
            if (style % 2 == 1 && style <= 6 && y >= 160)
                continue; // two-digit years only reach 2059
            if (style >= 7 && style % 2 == 1 && y >= 160)
                continue;
            std::string text = date_format(day, style, '/');
            EXPECT_EQ(date_parse(text, style), day) << style << " " << text;
        }
    }
}

TEST(DateText, Format) {
    EXPECT_EQ(date_format(14245, kMMDDYYSep, '/'), "01/01/00");
    EXPECT_EQ(date_format(14245, kMMDDCCYYSep, '/'), "01/01/2000");
    EXPECT_EQ(date_format(14245, kCCYYMMDD, '-'), "20000101");
    EXPECT_EQ(date_format(14244, kYYMMDDSep, '-'), "99-12-31");
    EXPECT_EQ(date_format(14244, kDDMMCCYYSep, '.'), "31.12.1999");
    EXPECT_EQ(date_format(0, kMMDDYYSep, '/'), "00/00/00");
    EXPECT_EQ(date_format(0, kCCYYMMDD, '/'), "00000000");
    EXPECT_EQ(date_format(14245, 13, '/'), "");
}

TEST(Names, TablesAndFallbacks) {
    EXPECT_STREQ(format_code_name(-7), "128ths");
    EXPECT_STREQ(format_code_name(0), "Whole Num.");
    EXPECT_STREQ(format_code_name(1000), "1,000s");
    EXPECT_STREQ(format_code_name(6), "Unknown");
    EXPECT_STREQ(periodicity_name('W'), "Weekly");
    EXPECT_STREQ(periodicity_name('X'), "ERROR");
    EXPECT_FALSE(periodicity_known('\0'));
    EXPECT_STREQ(status_text(0), "Sucessfull");
    EXPECT_STREQ(status_text(-9), "Record Not Found");
    EXPECT_STREQ(status_text(-100), "Unknown");
    EXPECT_STREQ(status_text(-200), "Unknown");
}

TEST(TextHelpers, TrimCountIndex) {
    std::string s = "IBM   ";
    trim_right(s);
    EXPECT_EQ(s, "IBM");
    std::string blank = "    ";
    trim_right(blank);
    EXPECT_EQ(blank, "");
    EXPECT_EQ(count_char("ABC CORP X", ' '), 2);
    EXPECT_EQ(nth_char_index("ABC CORP X", ' ', 2), 8);
    EXPECT_EQ(nth_char_index("ABC", ' ', 1), 2);
    EXPECT_EQ(nth_char_index("", ' ', 1), -1);
}

} // namespace
