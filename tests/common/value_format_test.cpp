// Numbers in fixed notation and the value texts every layer writes.
#include "common/value_format.h"

#include "storage/mbf.h"
#include "storage/quotes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

std::string printf_fixed(double value, int precision) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%.*f", precision, value);
    return buffer;
}

TEST(ValueFormat, FixedTextEqualsPrintfOnRandomAndAwkwardValues) {
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<float> small(0.0f, 1000.0f), exponent(-12.0f, 38.0f);
    std::vector<double> values = {0.0,     -0.0,    0.5,     1.5,     2.5,      0.125,      0.375,   12.625,
                                  0.00005, 0.00015, 1e-30,   -1e-30,  -0.00004, 123456.785, 15300.0, 1234.6,
                                  kMbfMax, 1e38,    9.99995, 0.99995, -2.5,     -12.34567};
    for (int i = 0; i < 20000; ++i) {
        values.push_back(small(rng));
        values.push_back(-small(rng) / 1000.0f);
        values.push_back(std::pow(10.0f, exponent(rng)));
        values.push_back(static_cast<float>(rng() % 6400000) / 64.0f); // exact binary fractions: ties
    }
    char text[kFloatFixedTextMax];
    for (double v : values) {
        for (int precision : {0, 1, 2, 3, 4}) {
            const std::string expected = printf_fixed(static_cast<float>(v), precision);
            ASSERT_EQ(format_fixed(static_cast<float>(v), precision), expected)
                << v << " precision " << precision;
            ASSERT_EQ(std::string(text, put_fixed(text, static_cast<float>(v), precision)), expected) << v;
        }
    }
    for (double v : {0.1, 2.675, 1e-7}) // values no float holds take the slow way
        EXPECT_EQ(format_fixed(v, 6), printf_fixed(v, 6)) << v;
    EXPECT_EQ(quote_value_text(12.5f, 4) + quote_value_text(1234.6f, 0) + quote_value_text(0.0f, 2),
              "12.500012350.00"); // zero is a value
    for (float absent : {FIELD_ABSENT, -0.01f, std::numeric_limits<float>::quiet_NaN()})
        EXPECT_EQ(quote_value_text(absent, 4), "N/A");
}

} // namespace
