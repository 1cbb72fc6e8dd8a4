#include "mqtt/mqtt_settings.h"

#include "base/cp1250.h"

#include <algorithm>

namespace {

constexpr const char* kFallbackStation = "hx350";

bool isStationChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

// The length of the UTF-8 sequence that starts with `lead`; 1 for a byte that starts none, so that every byte is
// stepped over once whatever the text holds.
std::size_t sequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    return 1;
}

// Each character that a station may not hold becomes one '-', however many bytes it takes in UTF-8.
std::string stationChars(const std::string& text, bool lowerCase) {
    std::string out;
    for (std::size_t i = 0; i < text.size() && out.size() < kMaxMqttStationLength;) {
        const char c = text[i];
        if (isStationChar(c)) {
            out.push_back(lowerCase && c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
            ++i;
            continue;
        }
        out.push_back('-');
        const std::size_t length = sequenceLength(static_cast<unsigned char>(c));
        std::size_t next = i + 1;
        while (next < text.size() && next < i + length && (static_cast<unsigned char>(text[next]) & 0xC0) == 0x80)
            ++next;
        i = next;
    }
    return out;
}

} // namespace

bool MqttSettings::operator==(const MqttSettings& other) const {
    return enabled == other.enabled && host == other.host && port == other.port && station == other.station &&
           user == other.user && password == other.password && keepAliveSeconds == other.keepAliveSeconds &&
           recordIntervalSeconds == other.recordIntervalSeconds && discovery == other.discovery && tls == other.tls;
}

bool isValidStationName(const std::string& station) {
    return !station.empty() && station.size() <= kMaxMqttStationLength &&
           std::all_of(station.begin(), station.end(), isStationChar);
}

std::string proposeStationName(const std::string& computerName, int comPort) {
    std::string name = stationChars(computerName, true);
    if (name.empty())
        name = kFallbackStation;
    if (comPort <= 0)
        return name;
    const std::string suffix = "-com" + std::to_string(comPort);
    name.resize(std::min(name.size(), kMaxMqttStationLength - suffix.size()));
    return name + suffix;
}

void boundMqttSettings(MqttSettings& settings) {
    const MqttSettings defaults;
    if (settings.port < kMinMqttPort || settings.port > kMaxMqttPort)
        settings.port = defaults.port;
    settings.keepAliveSeconds =
        std::clamp(settings.keepAliveSeconds, kMinMqttKeepAliveSeconds, kMaxMqttKeepAliveSeconds);
    settings.recordIntervalSeconds = std::clamp(settings.recordIntervalSeconds, 0, kMaxMqttRecordIntervalSeconds);
    if (!isValidStationName(settings.station)) {
        settings.station = stationChars(settings.station, false);
        if (settings.station.empty())
            settings.station = kFallbackStation;
    }
    cutUtf8(settings.host, kMaxMqttHostLength);
    cutUtf8(settings.user, kMaxMqttCredentialLength);
    cutUtf8(settings.password, kMaxMqttCredentialLength);
}
