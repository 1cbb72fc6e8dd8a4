#pragma once

#include "display/value_text.h"

#include <string>
#include <string_view>

enum DdeTopic : int { TemperatureTopic = 0, HumidityTopic = 1 };
inline constexpr int kDdeTopicCount = 2;
enum DdeItem : int { ResultItem = 0, MeasurementItem = 1, StatusItem = 2, AlarmItem = 3 };
inline constexpr int kDdeItemCount = 4;
// The reading's own items come first; "Alarm" follows them.
inline constexpr int kDdeReadingItemCount = StatusItem + 1;

inline constexpr const char* kDdeServiceName = "HX350";
inline constexpr const char* kDdeTopicNames[kDdeTopicCount] = {"Temperatura", "Wilgotność"}; // UTF-8
inline constexpr const char* kDdeItemNames[kDdeItemCount] = {"Wynik", "Pomiar", "Status", "Alarm"};

// Whether the service answers `item`: "Alarm" only while alarms are on, so that a client of a program whose alarms
// are off finds the items it always found, and nothing else.
bool ddeItemServed(int item, bool alarmsOn);

// Every item is text in this clipboard format (CF_TEXT): Windows-1250 bytes and a terminating NUL.
inline constexpr unsigned kDdeTextFormat = 1;

// "Temperatura#1234" / "Wilgotność#1234" (UTF-8).
std::string ddeTopicName(int topic, long serialNumber);
// Any topic name with a serial number, in the same form: "NAME#1234".
std::string ddeTopicWithSerial(std::string_view name, long serialNumber);

// The text of an item's data as a client reads it: the bytes up to the terminating NUL (all of them when there is
// none), as UTF-8.
std::string ddeItemText(std::string_view data);

// The text of "Wynik", "Pomiar" or "Status" for one quantity of the current reading, as its display shows it
// (UTF-8, without the terminating NUL); empty for an unknown item or a kind that shows nothing. "Alarm" is the
// alarms' own text.
std::string formatDdeItem(int item, const QuantityReading& reading, const QuantityView& view);
