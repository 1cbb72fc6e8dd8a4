#pragma once

#include "alarm/alarm_monitor.h"
#include "base/civil_time.h"
#include "protocol/current_reading.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What the publisher says and where: the topics under hx350/<station>/, their JSON payloads (UTF-8, a decimal
// point whatever the system's locale, values as the displays show them) and the home automation's device
// discovery message.

// The current reading as the window has it after a reading update, with when that was.
struct MqttState {
    CurrentReading reading;
    bool linkUp = false;
    WallTime time;
};

// The alarms as the status line says them. `enabled`: alarms are switched on, so the alarm topic, the state's
// "alarm" and the discovery's problem sensor exist.
struct MqttAlarm {
    bool enabled = false;
    bool active = false;
    bool acknowledged = false; // every active alarm has been acknowledged
    std::string text;          // the status line's alarm pieces (UTF-8) without the final blank; empty when none

    bool operator==(const MqttAlarm& other) const {
        return enabled == other.enabled && active == other.active && acknowledged == other.acknowledged &&
               text == other.text;
    }
    bool operator!=(const MqttAlarm& other) const { return !(*this == other); }
};

// The alarm as the monitor's last plan leaves it.
MqttAlarm mqttAlarmOf(bool alarmsEnabled, const AlarmPlan& plan);

// Which reading updates the window hands the publisher: a state whose values differ from the last one handed, or
// the same values once kRefreshMs has passed. A steady station then costs the network (and this computer) a message
// every half minute instead of one a second, and the home automation's sensors, which expire after a minute without
// a state, stay available.
class MqttStateFilter {
public:
    static constexpr std::int64_t kRefreshMs = 30000;
    bool pass(const MqttState& state, std::int64_t monotonicMs);

private:
    std::optional<std::string> lastValues_;
    std::int64_t lastMs_ = 0;
};

inline constexpr const char* kMqttOnline = "online";
inline constexpr const char* kMqttOffline = "offline";
inline constexpr const char* kHomeAssistantStatusTopic = "homeassistant/status";

// "hx350/<station>/<leaf>" for the leaves "availability", "state", "record" and "alarm".
std::string mqttTopic(const std::string& station, std::string_view leaf);
// "homeassistant/device/hx350_<station>/config".
std::string mqttDiscoveryTopic(const std::string& station);

// "2026-10-25T02:30:00+01:00": the local time to the second, with its offset.
std::string isoLocalTime(const WallTime& time);

// `text` as a JSON string with its quotes; control characters escaped, bytes that are not UTF-8 made U+FFFD.
std::string jsonString(std::string_view text);

// {"time", "serial", "temperature", "humidity", "temperature_ok", "humidity_ok", "link"[, "alarm"]}: values as the
// displays show them, null without one; "_ok" false unless the value is there and not flagged; "alarm" (an active
// alarm) only while alarms are on.
std::string mqttStateJson(const MqttState& state, const MqttAlarm& alarm);
// {"time", "serial", "temperature", "humidity"}: a record as recording writes it, a faulty value null.
std::string mqttRecordJson(const CurrentReading& reading, const WallTime& time);
// {"active", "acknowledged", "text"}.
std::string mqttAlarmJson(const MqttAlarm& alarm);

// The state's sensors go unavailable when no state came for this long (see mqttDiscoveryJson).
inline constexpr int kMqttExpireAfterSeconds = 60;

// The discovery message of the station's device: the temperature and humidity sensors, and the problem sensor
// while alarms are on.
std::string mqttDiscoveryJson(const std::string& station, bool alarmsEnabled);
