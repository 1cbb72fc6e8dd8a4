#pragma once

#include "mqtt/mqtt_settings.h"

#include <string>

// What the MQTT dialog decides without a window: the text each edit box shows and whether what the user typed can
// be kept. Texts are UTF-8.

enum class MqttField { Host, Port, Station, User, Password, KeepAlive, RecordInterval };

std::string mqttFieldText(const MqttSettings& settings, MqttField field);

// Takes what the user typed for `field` into `settings`; returns the message that refuses it, empty when taken.
std::string takeMqttField(MqttSettings& settings, MqttField field, const std::string& typed);

// The port field after the encryption was switched: the standard port of one for the other's, anything else kept.
std::string portAfterTlsSwitch(const std::string& typed, bool tls);

// Once every field is taken: the message that refuses settings that cannot work together, with the field to
// correct; empty when they can.
std::string checkMqttSettings(const MqttSettings& settings, MqttField& field);
