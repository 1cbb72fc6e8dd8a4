#pragma once

#include "plot/plot_view.h"

#include <optional>
#include <utility>

// The plot's pixel columns in the window, [left, right).
struct PlotColumns {
    int left = 0;
    int right = 1;
};

// The time at column `x` of the plot showing `view`.
double timeAt(const ViewRange& view, const PlotColumns& columns, int x);

// What the window does after an event of the mouse or the keyboard: show another view (which ends following, as
// any move of the user's does), repaint the cursor line or the band, and show the readout under the pointer again.
struct ChartStep {
    std::optional<ViewRange> view;
    bool repaint = false;
    bool readout = false;
};

// The mouse over the chart: a drag with the left button pans, one with the right button or with Shift selects a
// range to show, the wheel zooms around the time under the pointer; a cursor line follows the pointer over the
// plot. The window hands each event over with the plot's columns and its view, and carries out the step.
class ChartMouse {
public:
    void press(int x, bool band, const ViewRange& view);
    ChartStep move(int x, const PlotColumns& columns, const ViewRange& view);
    ChartStep release(const PlotColumns& columns, const ViewRange& view);
    ChartStep leave();
    ChartStep wheel(int x, bool in, const PlotColumns& columns, const ViewRange& view) const;

    // The cursor line's column, -1 while the pointer is off the plot.
    int cursor() const { return cursorX_; }
    // The columns of the band being dragged, left first.
    std::optional<std::pair<int, int>> band() const;

private:
    enum class Drag { None, Pan, Band } drag_ = Drag::None;
    int startX_ = 0;
    int x_ = 0;
    ViewRange startView_;
    int cursorX_ = -1;
};

// The arrow keys move the view by a tenth of its span, by half of it with Ctrl.
ChartStep arrowKey(const ViewRange& view, bool later, bool control);
