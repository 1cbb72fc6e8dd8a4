#include "app/window_placement.h"

#include <gtest/gtest.h>

#include <climits>
#include <tuple>

namespace {

auto tie(const WindowRect& r) {
    return std::make_tuple(r.left, r.top, r.right, r.bottom);
}

// The work area of a 1280 x 800 monitor with a 40-pixel task bar at the bottom.
constexpr WindowRect kWork{0, 0, 1280, 760};

TEST(WindowPlacement, SavedRectanglesOpenWhereTheUserCanReachThem) {
    const struct {
        const char* name;
        WindowRect saved;
        WindowRect expected;
    } cases[] = {
        {"on screen: unchanged", {100, 100, 700, 500}, {100, 100, 700, 500}},
        {"caption 50 pixels on, 30 above the bottom", {1230, 730, 1830, 1130}, {1230, 730, 1830, 1130}},
        {"beyond the right edge: moved in, size kept", {5000, 100, 5600, 500}, {680, 100, 1280, 500}},
        {"left of the monitor", {-2000, 100, -1400, 500}, {0, 100, 600, 500}},
        {"caption above the work area", {100, -50, 700, 350}, {100, 0, 700, 400}},
        {"caption under the task bar", {100, 740, 700, 1140}, {100, 360, 700, 760}},
        {"saved inverted: default size, caption reachable", {-400, 100, -1000, 500}, {-400, 100, 200, 500}},
        {"implausibly small: default size", {100, 100, 149, 130}, {100, 100, 700, 500}},
        {"50 by 50 is kept", {100, 100, 150, 150}, {100, 100, 150, 150}},
        {"30 pixels of the caption on the work area: moved in", {1250, 100, 1850, 500}, {680, 100, 1280, 500}},
        {"wider than the monitor, caption reachable: shrunk in place", {100, 100, 3000, 500}, {100, 100, 1380, 500}},
        {"larger than the monitor: shrunk to it", {0, 0, 3000, 2000}, {0, 0, 1280, 760}},
        {"extreme values", {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {0, 0, 1280, 760}},
        {"extreme inverted", {INT_MAX, INT_MAX, INT_MIN, INT_MIN}, {680, 360, 1280, 760}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tie(placeWindowRect(withUsableSize(c.saved), kWork)), tie(c.expected)) << c.name;
}

} // namespace
