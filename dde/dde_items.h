#pragma once

#include "display/value_text.h"

#include <string>

enum DdeTopic : int { TemperatureTopic = 0, HumidityTopic = 1 };
enum DdeItem : int { ResultItem = 0, MeasurementItem = 1, StatusItem = 2, AlarmItem = 3 };
inline constexpr int kDdeItemCount = 4;

inline constexpr const char* kDdeServiceName = "HX350";
inline constexpr const char* kDdeTopicNames[2] = {"Temperatura", "Wilgotność"}; // UTF-8
inline constexpr const char* kDdeItemNames[kDdeItemCount] = {"Wynik", "Pomiar", "Status", "Alarm"};

// Whether the service answers `item`: "Alarm" only while alarms are on, so that a client of a program whose alarms
// are off finds the items it always found, and nothing else.
bool ddeItemServed(int item, bool alarmsOn);

// "Temperatura#1234" / "Wilgotność#1234" (UTF-8).
std::string ddeTopicName(int topic, long serialNumber);

// The text of "Wynik", "Pomiar" or "Status" for one quantity of the current reading, as its display shows it
// (UTF-8, without the terminating NUL); empty for an unknown item or a kind that shows nothing. "Alarm" is the
// alarms' own text.
std::string formatDdeItem(int item, const QuantityReading& reading, const QuantityView& view);
