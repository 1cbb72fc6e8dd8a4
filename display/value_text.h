#pragma once

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

// What a value display holds, as recording and DDE read it.
struct ValueDisplayState {
    double rawValue = 0;
    int noData = 1;
    unsigned blinkTimerId = 0;
    int twoDecimalPlaces = 0;
    int sourceQuantity = NoQuantity;
    int displayQuantity = NoQuantity;
    int showUnits = 1;

    // A value counts as valid for recording and DDE status when it is shown and not blinking.
    bool valid() const { return noData == 0 && blinkTimerId == 0; }
};

double convertValue(double value, int sourceKind, int displayKind);

// One-decimal text cut toward zero ("23.46" -> "23.4", "-5.07" -> "-5.0"); a whole number of tenths computed in
// floating point (200 * 0.1) stays that tenth.
std::string truncateToTenth(double value);

// The value area's text (UTF-8) for an already converted value; empty when the kind draws nothing. Kind 1 with
// units gives "14.7 W/m2", whose final "2" the display draws raised.
std::string formatValueText(double shownValue, int displayQuantity, int showUnits, int twoDecimalPlaces);

// The text a display shows in its value area: "???" without data, else formatValueText of the converted value.
std::string displayText(const ValueDisplayState& state);
