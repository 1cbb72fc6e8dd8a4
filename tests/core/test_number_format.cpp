#include "base/number_format.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <tuple>

namespace {

std::string glibcFixed(long double value, int decimals) {
    char buffer[2048];
    std::snprintf(buffer, sizeof buffer, "%.*Lf", decimals, value);
    return buffer;
}

// True when value * 10^d lies exactly halfway between two integers: with value = m * 2^e and m odd, the product
// m * 5^d * 2^(d+e) has exactly one binary digit after the point when d + e == -1.
bool isExactHalf(double value, int decimals) {
    int exponent = 0;
    auto m = static_cast<std::uint64_t>(std::ldexp(std::frexp(std::fabs(value), &exponent), 53));
    exponent -= 53;
    while (m != 0 && (m & 1) == 0) {
        m >>= 1;
        ++exponent;
    }
    return m != 0 && decimals + exponent == -1;
}

TEST(FormatFixed, GoldenValues) {
    const std::tuple<double, int, const char*> cases[] = {
        // Exact halves go away from zero; glibc and MinGW give 21.2, 0.12, 2, 0.2 and so on.
        {2125 * 0.01, 1, "21.3"}, // the product is exactly 21.25
        {-21.25, 1, "-21.3"},
        {0.125, 2, "0.13"},
        {2.5, 0, "3"},
        {-2.5, 0, "-3"},
        {0.25, 1, "0.3"},
        {123456789.125, 2, "123456789.13"},
        {4503599627370494.5, 0, "4503599627370495"},
        // The binary value decides, not the decimal literal.
        {0.05, 1, "0.1"},
        {0.15, 1, "0.1"},
        {1.005, 2, "1.00"},
        {10 * 1.47, 1, "14.7"},
        // Signs, carries and magnitudes.
        {-0.0, 1, "-0.0"},
        {-0.04, 1, "-0.0"},
        {0.0, 0, "0"},
        {-99.96, 1, "-100.0"},
        {1e20, 1, "100000000000000000000.0"},
        {std::numeric_limits<double>::denorm_min(), 1, "0.0"},
        {std::numeric_limits<double>::infinity(), 1, "inf"},
        {-std::numeric_limits<double>::infinity(), 2, "-inf"},
        {-std::numeric_limits<double>::quiet_NaN(), 1, "nan"},
    };
    for (const auto& [value, decimals, expected] : cases)
        EXPECT_EQ(formatFixed(value, decimals), expected) << value << " with " << decimals;
    const double tiny = std::numeric_limits<double>::denorm_min();
    EXPECT_EQ(formatFixed(-DBL_MAX, 2), glibcFixed(-DBL_MAX, 2));
    EXPECT_EQ(formatFixed(tiny, 1080), glibcFixed(tiny, 1080)); // the exact expansion, then zeros
}

// Away from exact halves the digits must be glibc's. At an exact half they must be glibc's for a value just
// beyond it: a long double step is far below one unit of the last digit, so only the half's rounding changes.
TEST(FormatFixed, AgreesWithPrintfOnRandomValues) {
    std::mt19937_64 random(20240305);
    int halves = 0;
    for (int i = 0; i < 20000; ++i) {
        const std::uint64_t bits = random();
        double value = std::ldexp(static_cast<double>(bits >> 11), static_cast<int>(bits % 101) - 83);
        value = (i % 2 != 0) ? -value : value;
        if (i % 5 == 0) {
            value = std::ldexp(std::round(std::ldexp(value, 6)), -6); // few fraction bits: many halves
        }
        for (int decimals = 0; decimals < 4; ++decimals) {
            std::string expected = glibcFixed(value, decimals);
            if (isExactHalf(value, decimals)) {
                ++halves;
                expected = glibcFixed(
                    std::nextafter(static_cast<long double>(value), value < 0 ? -HUGE_VALL : HUGE_VALL), decimals);
            }
            ASSERT_EQ(formatFixed(value, decimals), expected) << std::hexfloat << value << " with " << decimals;
        }
    }
    EXPECT_GT(halves, 100);
}

} // namespace
