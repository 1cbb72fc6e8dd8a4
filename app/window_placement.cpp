#include "app/window_placement.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr std::int64_t kDefaultWidth = 600;
constexpr std::int64_t kDefaultHeight = 400;
// How much of the caption must lie on the work area for the user to reach it with the mouse.
constexpr std::int64_t kReachableWidth = 50;
constexpr std::int64_t kReachableHeight = 30;

int toInt(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
}

} // namespace

WindowRect withUsableSize(const WindowRect& saved) {
    std::int64_t width = std::int64_t{saved.right} - saved.left;
    std::int64_t height = std::int64_t{saved.bottom} - saved.top;
    if (width < kMinWindowSize)
        width = kDefaultWidth;
    if (height < kMinWindowSize)
        height = kDefaultHeight;
    // The size is what matters here: a corner so far out that the size would not fit moves in.
    const std::int64_t left = std::min<std::int64_t>(saved.left, INT32_MAX - width);
    const std::int64_t top = std::min<std::int64_t>(saved.top, INT32_MAX - height);
    return {toInt(left), toInt(top), toInt(left + width), toInt(top + height)};
}

WindowRect placeWindowRect(const WindowRect& rect, const WindowRect& workArea) {
    const std::int64_t workWidth = std::int64_t{workArea.right} - workArea.left;
    const std::int64_t workHeight = std::int64_t{workArea.bottom} - workArea.top;
    const std::int64_t width = std::min(std::int64_t{rect.right} - rect.left, workWidth);
    const std::int64_t height = std::min(std::int64_t{rect.bottom} - rect.top, workHeight);
    std::int64_t left = rect.left;
    std::int64_t top = rect.top;
    const std::int64_t overlap =
        std::min<std::int64_t>(left + width, workArea.right) - std::max<std::int64_t>(left, workArea.left);
    const bool reachable =
        overlap >= kReachableWidth && top >= workArea.top && top <= workArea.bottom - kReachableHeight;
    if (reachable && width == std::int64_t{rect.right} - rect.left && height == std::int64_t{rect.bottom} - rect.top)
        return rect;
    if (!reachable) {
        left = std::clamp<std::int64_t>(left, workArea.left, workArea.right - width);
        top = std::clamp<std::int64_t>(top, workArea.top, workArea.bottom - height);
    }
    return {toInt(left), toInt(top), toInt(left + width), toInt(top + height)};
}
