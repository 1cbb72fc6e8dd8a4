#pragma once

#include "mqtt/mqtt_session.h"
#include "win/unique_handle.h"

#include <windows.h>

#include <memory>
#include <string>

// Posted to the owner window when the MQTT status text has changed, with wParam and lParam 0; the window then reads
// CMqttClient::statusText() and recomposes its status line. One such message waits at a time, however often the
// text changes. From the WM_APP range, which no control or dialog of the program uses.
inline constexpr UINT WM_MQTT_STATUS = WM_APP + 1;

// The MQTT publisher's Win32 side. start() creates one worker thread that owns the socket and the MqttSession:
// the name resolution, the connection and every wait happen there, with timeouts, and the session decides
// everything. The window's calls never wait for the network: they leave the newest settings, state, alarm or stop
// request in a small inbox and wake the worker. Until start() with MQTT on there is no thread, socket or timer.
class CMqttClient {
public:
    // A worker stuck in name resolution or in the check of a broker's certificate (which may fetch a missing one),
    // neither of which anything can interrupt, is left to end on its own after this.
    static constexpr DWORD kStopWaitMs = 2000;

    CMqttClient() = default;
    ~CMqttClient(); // stop(MqttStop::ProgramClose)
    CMqttClient(const CMqttClient&) = delete;
    CMqttClient& operator=(const CMqttClient&) = delete;

    // Switches the publisher on with `settings` (nothing happens while they are off); while it runs, new settings
    // close its connection cleanly and the next one uses them, and settings that are off end it as
    // stop(MqttStop::SwitchOff).
    void start(HWND owner, const MqttSettings& settings);
    // Every reading update, after the current reading was filled; stamped with the time of the call.
    void updateState(const CurrentReading& reading, bool linkUp);
    // Whenever the alarms' plan changed (see mqttAlarmOf).
    void updateAlarm(const MqttAlarm& alarm);
    // The clean close, then the worker is joined: within kStopWaitMs whatever the broker does.
    void stop(MqttStop how);

    // UTF-8, for the end of the status line (each piece ends with a blank); empty while all is well or when off.
    // Reading it lets the next change post WM_MQTT_STATUS again.
    std::string statusText() const;

private:
    struct Shared;
    class Worker;

    void wake();

    std::shared_ptr<Shared> shared_;
    KernelHandle thread_;
    MqttStateFilter stateFilter_;
};
