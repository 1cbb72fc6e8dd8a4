#pragma once

#include <cstddef>
#include <string>

// The publisher's options. The defaults are the member initialisers here and nowhere else; boundMqttSettings
// brings anything a hand-edited file or an older dialog may give into the ranges the session works with.
struct MqttSettings {
    bool enabled = false;
    std::string host;              // a name or an address literal, UTF-8
    int port = 1883;               // the standard's unencrypted port
    std::string station;           // letters, digits, '-', '_'; names the topics and the client id
    std::string user;              // empty: no user name, and then no password either
    std::string password;          // plain text in memory only, never in the settings file
    std::string protectedPassword; // what the settings file keeps: the password encrypted for the Windows user
    int keepAliveSeconds = 60;
    int recordIntervalSeconds = 60; // 0: no records
    bool discovery = true;          // the home automation's device discovery
    bool tls = false;               // encrypted, the broker's certificate checked against the Windows store

    bool operator==(const MqttSettings& other) const;
    bool operator!=(const MqttSettings& other) const { return !(*this == other); }
};

inline constexpr int kMqttTlsPort = 8883; // the standard's port for MQTT over TLS
inline constexpr int kMinMqttPort = 1;
inline constexpr int kMaxMqttPort = 65535;
// Below a few seconds the pings would be most of the traffic; an hour is as long as a dead broker may go unnoticed.
inline constexpr int kMinMqttKeepAliveSeconds = 5;
inline constexpr int kMaxMqttKeepAliveSeconds = 3600;
inline constexpr int kMaxMqttRecordIntervalSeconds = 86399; // as the recording's longest interval, 23:59:59
inline constexpr std::size_t kMaxMqttStationLength = 64;
inline constexpr std::size_t kMaxMqttHostLength = 253;       // the longest DNS name
inline constexpr std::size_t kMaxMqttCredentialLength = 256; // user name and password each

// Letters and digits of ASCII, '-' and '_', at least one and at most kMaxMqttStationLength: safe in a topic level,
// in a client id and in the discovery's object id.
bool isValidStationName(const std::string& station);

// The dialog's proposal for a station: the computer's name (UTF-8) in lower case with every other character made
// '-', then "-com" and the port, so that two copies on one computer differ: ("PC01", 3) gives "pc01-com3".
std::string proposeStationName(const std::string& computerName, int comPort);

// Brings every value into its range: a port outside 1..65535 becomes the default, a keep-alive or record interval
// outside its range the nearest bound, an invalid station has every other character made '-' ("hx350" when it is
// empty), over-long texts are cut.
void boundMqttSettings(MqttSettings& settings);
