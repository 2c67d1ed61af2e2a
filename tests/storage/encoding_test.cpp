#include "storage/dates.h"
#include "storage/display_text.h"
#include "storage/mbf.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

using Bytes = std::array<std::uint8_t, 4>;
constexpr float kInf = std::numeric_limits<float>::infinity(), kNaN = std::numeric_limits<float>::quiet_NaN();

Bytes mbf(float v) {
    Bytes out{};
    ieee_to_mbf(v, out.data());
    return out;
}

TEST(Mbf, KnownEncodingsSaturationZerosAndEveryPatternRoundTrips) {
    EXPECT_EQ(std::tuple(mbf(1.0f), mbf(-1.0f), mbf(0.5f)),
              std::tuple(Bytes{0, 0, 0, 0x81}, Bytes{0, 0, 0x80, 0x81}, Bytes{0, 0, 0, 0x80}));
    for (float zero : {0.0f, -0.0f, kNaN, std::numeric_limits<float>::denorm_min()})
        EXPECT_EQ(mbf(zero), (Bytes{0, 0, 0, 0}));
    for (std::uint8_t exponent : {0, 1, 2, 3}) { // exponent bytes 0, 1 and 2 read as zero whatever else
        const Bytes b{0x12, 0x34, 0xD6, exponent};
        EXPECT_EQ(mbf_to_ieee(b.data()) == 0.0f, exponent < 3);
    }
    for (const auto& [value, read] : {std::pair{kInf, kMbfMax}, {-kInf, -kMbfMax}, {3.0e38f, kMbfMax}}) {
        EXPECT_EQ(mbf_to_ieee(mbf(value).data()), read);
        EXPECT_FALSE(mbf_representable(value));
    }
    EXPECT_FALSE(mbf_representable(kNaN));
    EXPECT_TRUE(mbf_representable(kMbfMax) && mbf_representable(-12.625f) && mbf_representable(0.0f));
    float in_place = 12.625f; // the conversion may work on the value's own storage
    ieee_to_mbf(in_place, reinterpret_cast<std::uint8_t*>(&in_place));
    EXPECT_EQ(mbf_to_ieee(reinterpret_cast<std::uint8_t*>(&in_place)), 12.625f);
    std::mt19937 rng(7);
    for (int i = 0; i < 200000; ++i) {
        Bytes b{};
        const std::uint32_t r = rng();
        std::memcpy(b.data(), &r, 4);
        if (b[3] >= 3) {
            ASSERT_EQ(mbf(mbf_to_ieee(b.data())), b);
        }
    }
}

// Whole numbers (XMASTER's dates, YYYYMMDD less 19000000) convert without a float exactly as through one:
// every date of the years 1900 to 3999 (from 3578 on they need more than 24 bits and round), the numbers
// around each power of two from 2^24 up, where rounding carries into the exponent, and a spread of others.
TEST(Mbf, WholeNumbersConvertAsTheirFloatsDo) {
    auto same = [](std::uint32_t value) {
        Bytes direct{};
        uint_to_mbf(value, direct.data());
        return direct == mbf(static_cast<float>(value));
    };
    for (std::uint32_t year = 0; year < 2100; ++year) {
        for (std::uint32_t day = 100; day <= 1231; ++day)
            ASSERT_TRUE(same(year * 10000 + day)) << year * 10000 + day;
    }
    for (int bits = 24; bits <= 32; ++bits) {
        const std::uint64_t power = std::uint64_t{1} << bits;
        for (std::uint64_t value = power - 4096; value < power + 4096 && value <= 0xFFFFFFFFu; ++value)
            ASSERT_TRUE(same(static_cast<std::uint32_t>(value))) << value;
    }
    std::mt19937 rng(3);
    for (int i = 0; i < 200000; ++i) {
        const auto value = static_cast<std::uint32_t>(rng());
        ASSERT_TRUE(same(value)) << value;
    }
    EXPECT_TRUE(same(0) && same(1) && same(0xFFFFFFFFu));
}

// The conversions used for whole windows of bars give exactly what the one-value forms give.
TEST(BulkDecoding, AgreesWithTheOneValueConversions) {
    std::mt19937 rng(11);
    std::vector<std::uint8_t> words(4 * 100000);
    for (std::size_t i = 0; i < words.size(); i += 4) {
        const std::uint32_t r = rng();
        std::memcpy(&words[i], &r, 4);
        if (i < 4 * 1024) // every exponent byte, the ones read as zero among them
            words[i + 3] = static_cast<std::uint8_t>(i / 4);
    }
    std::vector<std::uint8_t> converted = words;
    mbf_convert_in_place(converted.data(), converted.size() / 4);
    for (std::size_t i = 0; i < words.size(); i += 4) {
        const float one = mbf_to_ieee(&words[i]);
        ASSERT_EQ(std::memcmp(&converted[i], &one, 4), 0) << i / 4;
    }
    // Dates in order (the month cache's usual case), then odd values and jumps between months.
    std::vector<float> stored;
    for (DayNumber n = kFirstDay; n <= kLastDay; n += 1 + static_cast<DayNumber>(rng() % 3))
        stored.push_back(date_to_yymmdd(n == 0 ? 1 : n));
    for (float odd :
         {0.0f, -1.0f, -991231.0f, 991299.0f, 991200.0f, 990031.0f, 991331.0f, 990100.0f, 1000229.0f,
          19991231.0f, 20000229.0f, 16777215.0f, 16777216.0f, 991231.5f, 1e9f, kNaN, kInf, 991231.0f})
        stored.push_back(odd);
    for (int i = 0; i < 20000; ++i)
        stored.push_back(static_cast<float>(rng() % 2000000));
    DateDecoder decode;
    for (float value : stored)
        ASSERT_EQ(decode(value), date_from_yymmdd(value)) << value;
}

TEST(Dates, EveryDayNumberRoundTripsAndTheRestIsClampedNotWrapped) {
    for (int n = 1; n <= 65535; ++n) {
        int y, m, d;
        date_unpack(static_cast<DayNumber>(n), y, m, d);
        ASSERT_TRUE(m >= 1 && m <= 12 && d >= 1 && d <= 31) << n;
        ASSERT_EQ(date_pack(y, m, d), n);
        ASSERT_EQ(date_from_yymmdd(date_to_yymmdd(static_cast<DayNumber>(n))), n);
    }
    // Known days; before day 1 and after the last: clamped, never wrapped; months clamped into 1..12.
    EXPECT_EQ(
        std::vector<int>({date_pack(100, 2, 29), date_pack(2000, 3, 1), date_pack(61, 1, 1),
                          date_from_yymmdd(991231.0f), date_from_yymmdd(20000102.0f), date_pack(60, 1, 5),
                          date_pack(300, 1, 1), date_pack(99, 13, 1) - date_pack(99, 12, 1),
                          date_pack(99, 0, 1) - date_pack(99, 1, 1)}),
        (std::vector<int>{14304, 14305, 1, 14244, 14246, -362, 65535, 0, 0}));
    EXPECT_EQ(date_to_yymmdd(14245), 1000101.0f);
    for (float bad : {-1.0f, kNaN, kInf, 1e30f})
        EXPECT_EQ(date_from_yymmdd(bad), 0) << bad;
    // Times; weekdays (day 1 is Sunday 1 January 1961), Monday 8 January 1996 and the ends of the range.
    int h, m, s;
    time_unpack(43199, h, m, s);
    EXPECT_EQ(std::vector<int>({time_pack(9, 30, 0), time_from_hhmmss(93000.0f), h * 10000 + m * 100 + s}),
              (std::vector<int>{17100, 17100, 235958}));
    // Kept to the second: the stored value itself, whatever its seconds, and its text; fractions of a
    // second are dropped as the packed form drops them, damaged values give midnight.
    EXPECT_EQ(std::vector<int>({time_of_day_from_hhmmss(103839.0f), time_of_day_from_hhmmss(235959.5f),
                                time_of_day_from_hhmmss(-1.0f), time_of_day_from_hhmmss(kNaN),
                                time_of_day_packed(103839), time_of_day(10, 38, 39)}),
              (std::vector<int>{103839, 235959, 0, 0, time_pack(10, 38, 38), 103839}));
    EXPECT_EQ(time_display_text(103839) + " " + time_display_text(0) + " " + time_display_text(1234567),
              "10:38:39 00:00:00 123:45:67");
    EXPECT_TRUE(!is_weekday(1) && !is_weekday(0) && is_weekday(2));
    EXPECT_EQ(std::vector<int>({previous_weekday(date_pack(96, 1, 8)), next_weekday(date_pack(96, 1, 5)),
                                next_weekday(date_pack(96, 1, 6)), previous_weekday(1), next_weekday(65535)}),
              (std::vector<int>{date_pack(96, 1, 5), date_pack(96, 1, 8), date_pack(96, 1, 8), -2, 65535}));
}

TEST(Dates, DaysFrom1900CountOnBelowZeroPastTheGapAtZero) {
    for (DayNumber n = kFirstDay; n < 0; ++n) {
        int y, m, d;
        date_unpack(n, y, m, d);
        ASSERT_EQ(date_pack(y, m, d), n);
        ASSERT_EQ(date_from_yymmdd(date_to_yymmdd(n)), n);
        ASSERT_EQ(day_before(day_after(n)), n);
    }
    // 1900 is a common year, 1 January 1900 and 2 January 1928 are Mondays; Friday 30 December 1960 is
    // the weekday before Monday 2 January 1961; nothing comes before 1900.
    EXPECT_EQ(
        std::vector<int>({date_pack(0, 1, 1), date_pack(60, 12, 31), date_pack(0, 3, 1) - date_pack(0, 2, 28),
                          next_weekday(date_pack(60, 12, 30)), previous_weekday(date_pack(28, 1, 2)),
                          previous_weekday(kFirstDay), date_pack(0, 1, 0), date_from_yymmdd(0.0f)}),
        (std::vector<int>{kFirstDay, -1, 1, 2, date_pack(27, 12, 30), 0, 0, 0}));
    EXPECT_TRUE(is_weekday(kFirstDay) && is_weekday(date_pack(28, 1, 2)) && !is_weekday(date_pack(28, 1, 1)));
    EXPECT_EQ(date_display_text(date_pack(59, 12, 31)) + date_display_text(date_pack(60, 1, 1)),
              "12/31/195901/01/60");
}

TEST(DateText, ParseFormatAndEveryStyleRoundTrips) {
    // Missing groups read 0; "00/00/00", "" and the unknown styles 0 and 13 read as no date.
    EXPECT_EQ(std::vector<int>({date_parse("12/31/99", kMMDDYYSep), date_parse("01/05/59", kMMDDYYSep),
                                date_parse("  \"12/31/99", kMMDDYYSep), date_parse("12/3", kMMDDYYSep),
                                date_parse("00/00/00", kMMDDYYSep) + date_parse("", kMMDDYYSep) +
                                    date_parse("12/31/99", 0) + date_parse("12/31/99", 13)}),
              (std::vector<int>{14244, date_pack(159, 1, 5), 14244, date_pack(100, 12, 3), 0}));
    EXPECT_EQ(date_format(14245, kCCYYMMDD, '-') + "|" + date_format(14244, kDDMMCCYYSep, '.') + "|" +
                  date_format(0, kMMDDYYSep, '/') + "|" + date_format(14245, 13, '/'),
              "20000101|31.12.1999|00/00/00|");
    for (int style = 1; style <= 12; ++style) {
        for (DayNumber day : {1, 14244, 14245, 20000, 35000, 40000}) {
            int y, m, d;
            date_unpack(day, y, m, d);
            if (style % 2 == 0 || y < 160) { // two-digit years only reach 2059
                EXPECT_EQ(date_parse(date_format(day, style, '/'), style), day) << style << " " << day;
            }
        }
    }
}

} // namespace
