#include "base/dpi_scale.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(DpiScale, ScalesFrom96DpiUnits) {
    const struct {
        int value;
        int dpi;
        int pixels;
    } cases[] = {
        {60, 96, 60},      {60, 144, 90}, {60, 192, 120}, {101, 144, 152},         {-60, 144, -90},
        {-101, 144, -152}, {3, 120, 4},   {100, 0, 100},  {INT_MAX, 192, INT_MAX}, {INT_MIN, 192, INT_MIN},
    };
    for (const auto& c : cases)
        EXPECT_EQ(scaleToDpi(c.value, c.dpi), c.pixels) << c.value << " at " << c.dpi;
}

// What the settings file holds must come back unchanged from a window on any monitor.
TEST(DpiScale, SettingsRoundTripUnchanged) {
    for (int dpi : {96, 120, 144, 168, 192, 288})
        for (int value : {-32000, -101, -60, -1, 0, 1, 2, 7, 60, 99, 101, 700, 1279, 32000}) {
            EXPECT_EQ(scaleTo96(scaleToDpi(value, dpi), dpi), value) << value << " at " << dpi;
            const WindowRect rect{value, value + 1, value + 600, value + 400};
            const WindowRect back = rectTo96(rectToDpi(rect, dpi), dpi);
            EXPECT_EQ(back.left, rect.left);
            EXPECT_EQ(back.bottom, rect.bottom);
        }
}

TEST(DpiScale, LayoutMarginKeptWithinItsRange) {
    const struct {
        int frame;
        int dpi;
        int margin;
    } cases[] = {{3, 96, 3}, {3, 144, 5}, {0, 96, 2}, {0, 192, 4}, {40, 96, 20}, {40, 144, 30}};
    for (const auto& c : cases)
        EXPECT_EQ(layoutMargin(c.frame, c.dpi), c.margin) << c.frame << " at " << c.dpi;
}

} // namespace
