#include "plot/plot_mouse.h"

#include <algorithm>
#include <cstdlib>

namespace {

// A band narrower than this is a click that slipped, not a range.
constexpr int kSmallestBand = 4;

bool onPlot(int x, const PlotColumns& columns) {
    return x >= columns.left && x < columns.right;
}

int plotWidth(const PlotColumns& columns) {
    return std::max(1, columns.right - columns.left);
}

} // namespace

double timeAt(const ViewRange& view, const PlotColumns& columns, int x) {
    return view.t0 + (x - columns.left) * (view.t1 - view.t0) / plotWidth(columns);
}

void ChartMouse::press(int x, bool band, const ViewRange& view) {
    drag_ = band ? Drag::Band : Drag::Pan;
    startX_ = x_ = x;
    startView_ = view;
}

// A pan moves the view the drag started from, so that the time under the pointer stays under it however the view
// went meanwhile; a band stops at the plot's edges.
ChartStep ChartMouse::move(int x, const PlotColumns& columns, const ViewRange& view) {
    ChartStep step;
    step.readout = true;
    cursorX_ = onPlot(x, columns) ? x : -1;
    if (drag_ == Drag::Pan && x != startX_) {
        step.view = panView(startView_, -(x - startX_) * (view.t1 - view.t0) / plotWidth(columns));
        return step;
    }
    x_ = std::clamp(x, columns.left, columns.right);
    step.repaint = true;
    return step;
}

ChartStep ChartMouse::release(const PlotColumns& columns, const ViewRange& view) {
    ChartStep step;
    step.repaint = true;
    if (drag_ == Drag::Band && std::abs(x_ - startX_) >= kSmallestBand)
        step.view = selectView(view, timeAt(view, columns, startX_), timeAt(view, columns, x_));
    drag_ = Drag::None;
    return step;
}

ChartStep ChartMouse::leave() {
    cursorX_ = -1;
    return {std::nullopt, true, true};
}

ChartStep ChartMouse::wheel(int x, bool in, const PlotColumns& columns, const ViewRange& view) const {
    const double center = onPlot(x, columns) ? timeAt(view, columns, x) : (view.t0 + view.t1) / 2;
    return {zoomView(view, center, in ? 0.8 : 1.25), false, false};
}

std::optional<std::pair<int, int>> ChartMouse::band() const {
    if (drag_ != Drag::Band)
        return std::nullopt;
    return std::make_pair(std::min(startX_, x_), std::max(startX_, x_));
}

ChartStep arrowKey(const ViewRange& view, bool later, bool control) {
    const double share = control ? 0.5 : 0.1;
    return {panView(view, (later ? share : -share) * (view.t1 - view.t0)), false, false};
}
