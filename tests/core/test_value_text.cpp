#include "display/value_text.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

TEST(TruncateToTenth, CutsTowardZeroButKeepsWholeTenths) {
    const struct {
        double value;
        const char* expected;
    } cases[] = {
        {23.46, "23.4"},
        {23.49, "23.4"},
        {23.399999, "23.3"},
        {-5.07, "-5.0"},
        {-0.04, "-0.0"},
        {-0.0, "-0.0"}, // the sign is kept, as the display does
        {999.99, "999.9"},
        // Whole tenths computed in floating point may lie a hair below (55 W/m2 converted to kLx and back is
        // 54.999999999999993); moving 0.9 or 2.0 by 0.05 before a half-to-even printf would give 0.8 and 1.9.
        {55 / 1.47 * 1.47, "55.0"},
        {-55 / 1.47 * 1.47, "-55.0"},
        {200 * 0.1, "20.0"},
        {234 * 0.1, "23.4"},
        {590 * 0.01, "5.9"},
        {-4260 * 0.01, "-42.6"},
        {0.9, "0.9"},
        {2.0, "2.0"},
        {0.0, "0.0"},
        {-32.0, "-32.0"},
        {1e15, "1000000000000000.0"},
        {-1e20, "-100000000000000000000.0"},
        {std::numeric_limits<double>::infinity(), "inf"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(truncateToTenth(c.value), c.expected) << c.value;
}

TEST(FormatValueText, EveryKindWithAndWithoutUnits) {
    const struct {
        double value;
        int kind, showUnits, twoDecimals;
        const char* expected;
    } cases[] = {
        // With units only the temperature follows two-decimal mode; every kind rounds.
        {12.25, WattsPerSquareMetre, 1, 1, "12.3 W/m2"},
        {1.005, KiloLux, 1, 0, "1.00 kLx"},
        {23.46, DegreesCelsius, 1, 0, "23.5 °C"},
        {23.46, DegreesCelsius, 1, 1, "23.46 °C"},
        {179.5, Degrees, 1, 1, "180 °"},
        {1013.25, HectoPascal, 1, 0, "1013.3 hPa"},
        {3.25, MetresPerSecond, 1, 0, "3.3 m/s"},
        {45.25, Percent, 1, 1, "45.3 %"},
        {412.5, PartsPerMillion, 1, 0, "413 ppm"},
        // Without units every one-decimal kind is cut, or shows two decimals on request.
        {12.39, WattsPerSquareMetre, 0, 0, "12.3"},
        {12.375, WattsPerSquareMetre, 0, 1, "12.38"},
        {1.005, KiloLux, 0, 0, "1.00"},
        {23.46, DegreesCelsius, 0, 0, "23.4"},
        {23.46, DegreesCelsius, 0, 1, "23.46"},
        {179.5, Degrees, 0, 0, "180"},
        {1013.29, HectoPascal, 0, 0, "1013.2"},
        {3.29, MetresPerSecond, 0, 1, "3.29"},
        {45.39, Percent, 0, 0, "45.3"},
        {412.5, PartsPerMillion, 0, 0, "413"},
        {1.0, NoQuantity, 1, 0, ""},
        {1.0, 9, 0, 0, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatValueText(c.value, c.kind, c.showUnits, c.twoDecimals), c.expected)
            << c.value << " kind " << c.kind << " units " << c.showUnits << " two " << c.twoDecimals;
    }
}

TEST(DisplayText, ConvertsLightUnitsAndShowsNoData) {
    QuantityReading reading;
    reading.rawValue = 10;
    QuantityView view{KiloLux, WattsPerSquareMetre, true};
    EXPECT_EQ(displayText(reading, view), "???");
    reading.noData = false;
    EXPECT_EQ(displayText(reading, view), "14.7 W/m2");
    reading.flagged = true; // a faulty value is still shown (blinking)
    EXPECT_EQ(displayText(reading, view), "14.7 W/m2");

    reading.rawValue = 14.7;
    view = {WattsPerSquareMetre, KiloLux, true};
    EXPECT_EQ(displayText(reading, view), "10.00 kLx");

    view = {DegreesCelsius, Percent, false}; // any other pair is shown as given
    EXPECT_EQ(displayText(reading, view), "14.7");

    view.displayQuantity = 9;
    EXPECT_EQ(displayText(reading, view), "");
    reading.noData = true;
    EXPECT_EQ(displayText(reading, view), "???");
}

} // namespace
