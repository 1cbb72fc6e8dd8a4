#pragma once

// Dew point and absolute humidity of air from its temperature (°C) and relative humidity (%), by the Magnus formula
// with 17.62 and 243.12 °C, which holds from -45 to 60 °C; outside that, or without humidity, they are not given.
bool moistAirDefined(double temperature, double humidity);
double dewPoint(double temperature, double humidity);
// Grams of water in a cubic metre of air.
double absoluteHumidity(double temperature, double humidity);
