#include "plot/moist_air.h"

#include <cmath>

namespace {

constexpr double kMagnusA = 17.62;
constexpr double kMagnusB = 243.12;         // °C
constexpr double kSaturationAtZero = 6.112; // hPa
// Water vapour: grams a cubic metre per hPa of pressure at one kelvin, 100 / R_v with R_v = 461.5 J/(kg K).
constexpr double kVapourGramsPerHectopascal = 216.7;

} // namespace

bool moistAirDefined(double temperature, double humidity) {
    return temperature >= -45 && temperature <= 60 && humidity > 0;
}

double dewPoint(double temperature, double humidity) {
    const double gamma = std::log(humidity / 100) + kMagnusA * temperature / (kMagnusB + temperature);
    return kMagnusB * gamma / (kMagnusA - gamma);
}

double absoluteHumidity(double temperature, double humidity) {
    const double vapour =
        humidity / 100 * kSaturationAtZero * std::exp(kMagnusA * temperature / (kMagnusB + temperature));
    return kVapourGramsPerHectopascal * vapour / (273.15 + temperature);
}
