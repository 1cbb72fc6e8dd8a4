#include "base/dpi_scale.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace {

int effectiveDpi(int dpi) {
    return dpi > 0 ? dpi : kBaseDpi;
}

// value * numerator / denominator, rounded half away from zero, in 64 bits so that no window coordinate can
// overflow, then held within the int range.
int mulDivRounded(int value, int numerator, int denominator) {
    const std::int64_t product = static_cast<std::int64_t>(value) * numerator;
    const std::int64_t half = denominator / 2;
    const std::int64_t quotient = product >= 0 ? (product + half) / denominator : (product - half) / denominator;
    return static_cast<int>(std::clamp<std::int64_t>(quotient, INT_MIN, INT_MAX));
}

} // namespace

int scaleToDpi(int value, int dpi) {
    return mulDivRounded(value, effectiveDpi(dpi), kBaseDpi);
}

int scaleTo96(int value, int dpi) {
    return mulDivRounded(value, kBaseDpi, effectiveDpi(dpi));
}

WindowRect rectToDpi(const WindowRect& rect, int dpi) {
    return {scaleToDpi(rect.left, dpi), scaleToDpi(rect.top, dpi), scaleToDpi(rect.right, dpi),
            scaleToDpi(rect.bottom, dpi)};
}

WindowRect rectTo96(const WindowRect& rect, int dpi) {
    return {scaleTo96(rect.left, dpi), scaleTo96(rect.top, dpi), scaleTo96(rect.right, dpi),
            scaleTo96(rect.bottom, dpi)};
}

int layoutMargin(int dialogFrame96, int dpi) {
    return scaleToDpi(std::clamp(dialogFrame96, 2, 20), dpi);
}
