#include "mqtt/mqtt_payloads.h"

#include "base/civil_time.h"
#include "base/cp1250.h"
#include "display/value_text.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr const char* kTopicRoot = "hx350/";
constexpr const char* kDeviceIdPrefix = "hx350_";
// A value as its display shows it without units: cut to tenths, or two decimals when the instrument asks for
// them; null without a value. The display core words it, so the numbers never differ from what the window shows.
std::string valueJson(const QuantityReading& reading, int displayQuantity, bool withFlagged) {
    if (reading.noData || (reading.flagged && !withFlagged) || !std::isfinite(reading.rawValue))
        return "null";
    return formatValueText(reading.rawValue, displayQuantity, false, reading.twoDecimalPlaces);
}

std::string serialJson(int serial) {
    return serial > 0 ? std::to_string(serial) : "null";
}

const char* boolJson(bool value) {
    return value ? "true" : "false";
}

std::string field(const char* name, const std::string& json) {
    return jsonString(name) + ":" + json;
}

} // namespace

MqttAlarm mqttAlarmOf(bool alarmsEnabled, const AlarmPlan& plan) {
    MqttAlarm alarm;
    alarm.enabled = alarmsEnabled;
    if (!alarmsEnabled)
        return alarm;
    alarm.active = !plan.active.empty();
    alarm.acknowledged = alarm.active && !plan.acknowledgeable;
    alarm.text = plan.status;
    if (!alarm.text.empty() && alarm.text.back() == ' ')
        alarm.text.pop_back();
    return alarm;
}

std::string mqttTopic(const std::string& station, std::string_view leaf) {
    return kTopicRoot + station + "/" + std::string(leaf);
}

std::string mqttDiscoveryTopic(const std::string& station) {
    return "homeassistant/device/" + std::string(kDeviceIdPrefix) + station + "/config";
}

std::string isoLocalTime(const WallTime& time) {
    const LocalTime t = civilTime(localSeconds(time));
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text + utcOffsetText(time.utcOffsetMinutes, ":");
}

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x80) {
            if (const std::size_t length = utf8CharacterLength(text, i)) {
                out.append(text.substr(i, length));
                i += length;
            } else {
                out += "\\ufffd";
                ++i;
            }
            continue;
        }
        if (byte == '"' || byte == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(byte));
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out.push_back(static_cast<char>(byte));
        }
        ++i;
    }
    return out + "\"";
}

std::string mqttStateJson(const MqttState& state, const MqttAlarm& alarm) {
    const CurrentReading& r = state.reading;
    std::string json = "{" + field("time", jsonString(isoLocalTime(state.time))) + "," +
                       field("serial", serialJson(r.serialNumber)) + "," +
                       field("temperature", valueJson(r.temperature, DegreesCelsius, true)) + "," +
                       field("humidity", valueJson(r.humidity, Percent, true)) + "," +
                       field("temperature_ok", boolJson(r.temperature.valid())) + "," +
                       field("humidity_ok", boolJson(r.humidity.valid())) + "," +
                       field("link", jsonString(state.linkUp ? "ok" : "lost"));
    if (alarm.enabled)
        json += "," + field("alarm", boolJson(alarm.active));
    return json + "}";
}

std::string mqttRecordJson(const CurrentReading& reading, const WallTime& time) {
    return "{" + field("time", jsonString(isoLocalTime(time))) + "," +
           field("serial", serialJson(reading.serialNumber)) + "," +
           field("temperature", valueJson(reading.temperature, DegreesCelsius, false)) + "," +
           field("humidity", valueJson(reading.humidity, Percent, false)) + "}";
}

std::string mqttAlarmJson(const MqttAlarm& alarm) {
    return "{" + field("active", boolJson(alarm.active)) + "," + field("acknowledged", boolJson(alarm.acknowledged)) +
           "," + field("text", jsonString(alarm.text)) + "}";
}

// One device message carries every component, so the sensors appear, change and go together. A flagged value
// (the display blinks it) reaches the sensors as no value rather than as a measurement. expire_after: while
// readings arrive a state comes every second, and 5 s after the last line the window's watchdog sends the lost
// link's state; a sensor that hears nothing for a minute therefore means that the program still holds its
// connection (so the will says nothing) but no longer updates, for example a hung window, and should not show
// the last value as current. A minute rides over a busy machine's pauses without flapping.
// With alarms off the problem sensor's entry holds only its platform: that is how a device message removes a
// component it announced before, and it is harmless when there was none.
std::string mqttDiscoveryJson(const std::string& station, bool alarmsEnabled) {
    const std::string id = kDeviceIdPrefix + station;
    const std::string expire = std::to_string(kMqttExpireAfterSeconds);
    const auto sensor = [&](const char* key, const char* name, const char* unit) {
        const std::string value = std::string("value_json.") + key;
        return field(
            key, "{" + field("platform", jsonString("sensor")) + "," + field("name", jsonString(name)) + "," +
                     field("device_class", jsonString(key)) + "," + field("unit_of_measurement", jsonString(unit)) +
                     "," + field("state_class", jsonString("measurement")) + "," +
                     field("value_template", jsonString("{{ " + value + " if " + value + "_ok else None }}")) + "," +
                     field("unique_id", jsonString(id + "_" + key)) + "," + field("expire_after", expire) + "}");
    };
    std::string alarm = "{" + field("platform", jsonString("binary_sensor"));
    if (alarmsEnabled) {
        const std::string topic = jsonString(mqttTopic(station, "alarm"));
        alarm += "," + field("name", jsonString("Alarm")) + "," + field("device_class", jsonString("problem")) + "," +
                 field("state_topic", topic) + "," +
                 field("value_template", jsonString("{{ 'ON' if value_json.active else 'OFF' }}")) + "," +
                 field("json_attributes_topic", topic) + "," + field("unique_id", jsonString(id + "_alarm"));
    }
    alarm += "}";
    return "{" +
           field("device", "{" + field("identifiers", "[" + jsonString(id) + "]") + "," +
                               field("name", jsonString("HX350 " + station)) + "," +
                               field("model", jsonString("HX-350")) + "}") +
           "," + field("origin", "{" + field("name", jsonString("HX350")) + "}") + "," +
           field("availability_topic", jsonString(mqttTopic(station, "availability"))) + "," +
           field("state_topic", jsonString(mqttTopic(station, "state"))) + "," + field("qos", "1") + "," +
           field("components", "{" + sensor("temperature", "Temperatura", "°C") + "," +
                                   sensor("humidity", "Wilgotność", "%") + "," + field("alarm", alarm) + "}") +
           "}";
}

bool MqttStateFilter::pass(const MqttState& state, std::int64_t monotonicMs) {
    std::string values = mqttStateJson({state.reading, state.linkUp, {}}, {});
    if (lastValues_ == values && monotonicMs < lastMs_ + kRefreshMs)
        return false;
    lastValues_ = std::move(values);
    lastMs_ = monotonicMs;
    return true;
}
