#include "dde/dde_items.h"

#include "base/cp1250.h"
#include "base/number_format.h"

bool ddeItemServed(int item, bool alarmsOn) {
    if (item == AlarmItem)
        return alarmsOn;
    return item >= 0 && item < kDdeItemCount;
}

std::string ddeTopicName(int topic, long serialNumber) {
    if (topic != TemperatureTopic && topic != HumidityTopic) {
        return {};
    }
    return ddeTopicWithSerial(kDdeTopicNames[topic], serialNumber);
}

std::string ddeTopicWithSerial(std::string_view name, long serialNumber) {
    return std::string(name) + "#" + std::to_string(serialNumber);
}

std::string ddeItemText(std::string_view data) {
    return cp1250ToUtf8(data.substr(0, data.find('\0')));
}

namespace {

// "Wynik": exactly the display's no-units text.
std::string resultText(double value, const QuantityReading& reading, const QuantityView& view) {
    return formatValueText(value, view.displayQuantity, false, reading.twoDecimalPlaces);
}

// "Pomiar" differs from what the display shows with units: every one-decimal kind is cut to tenths, and only
// the temperature honours two-decimal mode.
std::string measurementText(double value, const QuantityReading& reading, const QuantityView& view) {
    switch (view.displayQuantity) {
    case WattsPerSquareMetre:
        return truncateToTenth(value) + " W/m2";
    case KiloLux:
        return formatFixed(value, 2) + " kLx";
    case DegreesCelsius:
        return (reading.twoDecimalPlaces ? formatFixed(value, 2) : truncateToTenth(value)) + " °C";
    case Degrees:
        return formatFixed(value, 0) + " °";
    case HectoPascal:
        return truncateToTenth(value) + " hPa";
    case MetresPerSecond:
        return truncateToTenth(value) + " m/s";
    case Percent:
        return truncateToTenth(value) + " %";
    case PartsPerMillion:
        return formatFixed(value, 0) + " ppm";
    default:
        return {};
    }
}

} // namespace

// The items report the last value even while the display shows "???"; clients judge it by "Status". The value is
// given in the units the display shows (the same as the raw value whenever source and display kinds agree).
std::string formatDdeItem(int item, const QuantityReading& reading, const QuantityView& view) {
    const double value = convertValue(reading.rawValue, view.sourceQuantity, view.displayQuantity);
    switch (item) {
    case ResultItem:
        return resultText(value, reading, view);
    case MeasurementItem:
        return measurementText(value, reading, view);
    case StatusItem:
        return reading.valid() ? "Pomiar OK" : "Błąd pomiaru";
    default:
        return {};
    }
}
