#pragma once

#include "mqtt/mqtt_settings.h"

#include <windows.h>

#include <string>

// "Ustawienia → MQTT...": the publisher's settings; true on OK, with the result in `settings` (a new password also
// encrypted for the settings file). A station not named yet is proposed from the computer's name and `comPort`, so
// that two copies on one computer differ.
bool runMqttDialog(HWND owner, MqttSettings& settings, int comPort);

// The station's name: the one set, or the one the dialog proposes for a station not named yet.
std::string mqttStationOf(const MqttSettings& settings, int comPort);
