#include "mqtt/mqtt_fields.h"

#include "base/cp1250.h"
#include "base/number_format.h"

namespace {

bool hasBlank(const std::string& text) {
    return text.find_first_of(" \t") != std::string::npos;
}

} // namespace

std::string mqttFieldText(const MqttSettings& settings, MqttField field) {
    switch (field) {
    case MqttField::Host:
        return settings.host;
    case MqttField::Port:
        return std::to_string(settings.port);
    case MqttField::Station:
        return settings.station;
    case MqttField::User:
        return settings.user;
    case MqttField::Password:
        return settings.password;
    case MqttField::KeepAlive:
        return std::to_string(settings.keepAliveSeconds);
    case MqttField::RecordInterval:
        return std::to_string(settings.recordIntervalSeconds);
    }
    return {};
}

std::string takeMqttField(MqttSettings& settings, MqttField field, const std::string& typed) {
    switch (field) {
    case MqttField::Host:
        if (hasBlank(typed) || typed.size() > kMaxMqttHostLength || !cp1250Storable(typed))
            return "Adres brokera to nazwa komputera albo adres IP, bez spacji, na przykład broker.zaklad.local.";
        settings.host = typed;
        return {};
    case MqttField::Port:
        return takeWholeNumber(settings.port, typed, kMinMqttPort, kMaxMqttPort, "Port musi być liczbą od 1 do 65535.");
    case MqttField::Station:
        if (!isValidStationName(typed))
            return "Nazwa stacji może zawierać tylko litery bez polskich znaków, cyfry, znaki - i _ (do 64 znaków).";
        settings.station = typed;
        return {};
    case MqttField::User:
    case MqttField::Password:
        if (typed.size() > kMaxMqttCredentialLength || !cp1250Storable(typed))
            return field == MqttField::User ? "Nazwa użytkownika zawiera znaki, których nie można zapisać."
                                            : "Hasło zawiera znaki, których nie można zapisać.";
        (field == MqttField::User ? settings.user : settings.password) = typed;
        return {};
    case MqttField::KeepAlive:
        return takeWholeNumber(settings.keepAliveSeconds, typed, kMinMqttKeepAliveSeconds, kMaxMqttKeepAliveSeconds,
                               "Czas podtrzymania połączenia musi być liczbą sekund od 5 do 3600.");
    case MqttField::RecordInterval:
        return takeWholeNumber(settings.recordIntervalSeconds, typed, 0, kMaxMqttRecordIntervalSeconds,
                               "Odstęp rekordów musi być liczbą sekund od 0 (bez rekordów) do 86399.");
    }
    return {};
}

std::string checkMqttSettings(const MqttSettings& settings, MqttField& field) {
    if (settings.enabled && settings.host.empty()) {
        field = MqttField::Host;
        return "Podaj adres brokera MQTT.";
    }
    // MQTT 3.1.1 sends a password only after a user name.
    if (settings.user.empty() && !settings.password.empty()) {
        field = MqttField::User;
        return "Hasło wymaga nazwy użytkownika.";
    }
    return {};
}

std::string portAfterTlsSwitch(const std::string& typed, bool tls) {
    const std::string from = std::to_string(tls ? MqttSettings().port : kMqttTlsPort);
    return typed == from ? std::to_string(tls ? kMqttTlsPort : MqttSettings().port) : typed;
}
