#pragma once

#include "alarm/win/alarm_runner.h"
#include "app/reading_update.h"
#include "app/settings_keys.h"
#include "app/win/network_runner.h"
#include "app/win/port_runner.h"
#include "app/win/status_line.h"
#include "dde/win/dde_service.h"
#include "display/win/value_display.h"
#include "protocol/current_reading.h"
#include "protocol/line_assembly.h"
#include "protocol/reading_record.h"
#include "recording/recording_control.h"
#include "recording/win/recording_host.h"
#include "ui/win/help_window.h"
#include "win/window_base.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

// "HX350": the program's only top-level window and its controller. Owns the serial port, the line assembly and
// its watchdog, the current reading, the two value displays that paint it, the status line and the DDE service.
// What happens to the port is decided by its PortSession, a reading update by planReadingUpdate and the alarm
// monitor; this window carries the plans out in one place and passes the events on.
class CMainWindow : public CDialogBase {
public:
    // The window works on `settings`, which the application loads before the modal run and saves after it.
    explicit CMainWindow(AppSettings& settings);
    ~CMainWindow() override;

    // Called when the session ends (logoff, shutdown, an update's restart): the process may end right after.
    void setSessionEndHandler(std::function<void()> handler) { onSessionEnd_ = std::move(handler); }

protected:
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    struct Size {
        int cx = 0;
        int cy = 0;
    };

    BOOL onInitDialog();
    void onReceived(const std::uint8_t* bytes, std::size_t count);
    void updateReading(bool linkUp);
    void apply(const ReadingUpdatePlan& plan);
    void showAlarm(const AlarmPlan& plan);
    void composeStatus();
    void close(INT_PTR result);
    void applyTopmost(bool on);
    void onSize(UINT type, int cx, int cy);
    void onMove();
    void layout(int cx, int cy);
    void relayout();
    void onTimer(UINT_PTR id);
    bool onCommand(int id);
    void paintIconic();
    void openAboutDialog();
    void trackWindowRect();
    void onDpiChanged(int dpi, const RECT& suggested);

    AppSettings& settings_;
    CurrentReading reading_;
    CValueDisplay temperature_;
    CValueDisplay humidity_;
    CStatusLine statusLine_;
    HWND status_ = nullptr;
    HICON icon_ = nullptr;
    HICON smallIcon_ = nullptr;

    CLineAssembly lineAssembly_;
    ReadingUpdateState updateState_;
    bool humidityShown_ = true;
    std::string alarmStatus_; // the last alarm plan's words, which stay in the status line
    std::string lastStatusText_;
    CDdeService dde_;

    bool initialising_ = true;
    bool maximized_ = false;
    Size restoredSize_;
    Size maximizedSize_;
    int statusHeight_ = 0; // pixels at dpi_
    int dpi_ = 96;
    bool closing_ = false; // the close was asked for: the modal run is ending
    CHelpWindow help_;
    std::function<void()> onSessionEnd_;
    CRecordingHost recordingHost_;
    RecordingControl recording_;
    CAlarmRunner alarms_;
    CNetworkRunner network_;

    // Declared last so that it is destroyed first: its serial worker sends bytes to this window.
    CPortRunner port_;
};
