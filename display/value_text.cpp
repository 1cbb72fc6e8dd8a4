#include "display/value_text.h"

#include "base/number_format.h"

#include <cmath>
#include <cstdint>

double convertValue(double value, int sourceKind, int displayKind) {
    if (sourceKind == WattsPerSquareMetre && displayKind == KiloLux) {
        return value * 0.6802721088435374; // / 1.47
    }
    if (sourceKind == KiloLux && displayKind == WattsPerSquareMetre)
        return value * 1.47;
    return value;
}

// Works on the count of tenths rather than on the value moved 0.05 toward zero: a value computed as a whole
// number of tenths (200 * 0.1 = 19.999999999999996) must show that tenth, so a count within a tiny relative
// distance of a whole number is taken as that number. The instrument's values have at most hundredths, far
// coarser than that tolerance. The text is built from the integer count so no rounding can creep back in.
std::string truncateToTenth(double value) {
    if (!std::isfinite(value))
        return formatFixed(value, 1);
    const double tenths = std::fabs(value) * 10.0;
    if (tenths >= 9.0e18) {
        // Far beyond 2^53 every double is a whole number, so there is nothing to cut.
        return formatFixed(value, 1);
    }
    const double nearest = std::nearbyint(tenths);
    const double tolerance = 1e-9 * (tenths > 1.0 ? tenths : 1.0);
    const double count = std::fabs(tenths - nearest) <= tolerance ? nearest : std::trunc(tenths);
    const auto whole = static_cast<std::uint64_t>(count);

    std::string text = std::signbit(value) ? "-" : "";
    text += std::to_string(whole / 10);
    text.push_back('.');
    text.push_back(static_cast<char>('0' + whole % 10));
    return text;
}

namespace {

// The no-units text of the kinds that show one decimal: two decimals on request, else cut to tenths.
std::string plainOneDecimal(double value, bool twoDecimalPlaces) {
    return twoDecimalPlaces ? formatFixed(value, 2) : truncateToTenth(value);
}

} // namespace

std::string formatValueText(double shownValue, int displayQuantity, bool units, bool twoDecimalPlaces) {
    switch (displayQuantity) {
    case WattsPerSquareMetre:
        return units ? formatFixed(shownValue, 1) + " W/m2" : plainOneDecimal(shownValue, twoDecimalPlaces);
    case KiloLux:
        return formatFixed(shownValue, 2) + (units ? " kLx" : "");
    case DegreesCelsius:
        if (!units)
            return plainOneDecimal(shownValue, twoDecimalPlaces);
        // With units the temperature is rounded, not cut: only the plain number follows the cut rule.
        return formatFixed(shownValue, twoDecimalPlaces ? 2 : 1) + " °C";
    case Degrees:
        return formatFixed(shownValue, 0) + (units ? " °" : "");
    case HectoPascal:
        return units ? formatFixed(shownValue, 1) + " hPa" : plainOneDecimal(shownValue, twoDecimalPlaces);
    case MetresPerSecond:
        return units ? formatFixed(shownValue, 1) + " m/s" : plainOneDecimal(shownValue, twoDecimalPlaces);
    case Percent:
        return units ? formatFixed(shownValue, 1) + " %" : plainOneDecimal(shownValue, twoDecimalPlaces);
    case PartsPerMillion:
        return formatFixed(shownValue, 0) + (units ? " ppm" : "");
    default:
        return {};
    }
}

std::string displayText(const QuantityReading& reading, const QuantityView& view) {
    if (reading.noData)
        return "???";
    const double shown = convertValue(reading.rawValue, view.sourceQuantity, view.displayQuantity);
    return formatValueText(shown, view.displayQuantity, view.showUnits, reading.twoDecimalPlaces);
}
