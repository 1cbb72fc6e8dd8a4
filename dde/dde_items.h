#pragma once

#include "display/value_text.h"

#include <string>

enum DdeTopic : int { TemperatureTopic = 0, HumidityTopic = 1 };
enum DdeItem : int { ResultItem = 0, MeasurementItem = 1, StatusItem = 2 };

inline constexpr const char* kDdeServiceName = "HX350";
inline constexpr const char* kDdeTopicNames[2] = {"Temperatura", "Wilgotność"}; // UTF-8
inline constexpr const char* kDdeItemNames[3] = {"Wynik", "Pomiar", "Status"};

// "Temperatura#1234" / "Wilgotność#1234" (UTF-8).
std::string ddeTopicName(int topic, long serialNumber);

// The text of "Wynik", "Pomiar" or "Status" for one quantity of the current reading, as its display shows it
// (UTF-8, without the terminating NUL); empty for an unknown item or a kind that shows nothing.
std::string formatDdeItem(int item, const QuantityReading& reading, const QuantityView& view);
