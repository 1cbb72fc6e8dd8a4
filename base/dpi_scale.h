#pragma once

// The settings file and the layout are written in 96-DPI units (one unit is one pixel on a 100 % monitor); the
// window turns them into its monitor's pixels and back, so a file moves between machines unchanged.

inline constexpr int kBaseDpi = 96;

// A window's rectangle (in the settings file: 96-DPI units).
struct WindowRect {
    int left = 100, top = 100, right = 700, bottom = 500;
};

// `value` in 96-DPI units as pixels at `dpi`, rounded half away from zero and held within the int range. A DPI
// of 0 or less (an old system that cannot say) counts as 96.
int scaleToDpi(int value, int dpi);
// Pixels at `dpi` back in 96-DPI units; undoes scaleToDpi exactly at 96 DPI and above.
int scaleTo96(int value, int dpi);
WindowRect rectToDpi(const WindowRect& rect, int dpi);
WindowRect rectTo96(const WindowRect& rect, int dpi);
// The gap around the main window's controls: the dialog frame's width at 96 DPI, kept within 2 to 20 units,
// in pixels at `dpi`.
int layoutMargin(int dialogFrame96, int dpi);
