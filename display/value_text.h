#pragma once

#include "protocol/current_reading.h"

#include <string>

enum QuantityKind : int {
    NoQuantity = 0,
    WattsPerSquareMetre = 1,
    KiloLux = 2,
    DegreesCelsius = 3,
    Degrees = 4,
    HectoPascal = 5,
    MetresPerSecond = 6,
    Percent = 7,
    PartsPerMillion = 8,
};

// How a display shows its quantity: the kind the value is measured in, the kind it is shown in, and whether the
// unit follows the number. DDE gives the value in the same form.
struct QuantityView {
    int sourceQuantity = NoQuantity;
    int displayQuantity = NoQuantity;
    bool showUnits = true;
};

double convertValue(double value, int sourceKind, int displayKind);

// One-decimal text cut toward zero ("23.46" -> "23.4", "-5.07" -> "-5.0"); a whole number of tenths computed in
// floating point (200 * 0.1) stays that tenth.
std::string truncateToTenth(double value);

// The value area's text (UTF-8) for an already converted value; empty when the kind draws nothing. Kind 1 with
// units gives "14.7 W/m2", whose final "2" the display draws raised.
std::string formatValueText(double shownValue, int displayQuantity, bool showUnits, bool twoDecimalPlaces);

// The text a display shows in its value area: "???" without data, else formatValueText of the converted value.
std::string displayText(const QuantityReading& reading, const QuantityView& view);
