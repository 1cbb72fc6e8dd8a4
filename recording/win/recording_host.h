#pragma once

#include "recording/recording_control.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

// The Win32 side of recording: files through CreateFileW, the questions and messages as message boxes over the
// main window, the dialog, and the main window's recording timer. Records take the main window's current reading.
class CRecordingHost : public RecordingHost {
public:
    CRecordingHost(std::function<HWND()> owner, const CurrentReading& reading, std::function<void()> statusChanged);

    std::unique_ptr<RecordingFile> openFile(const std::string& name, bool& existed) override;
    bool askContinue(RecordingKind kind) override;
    void showUnavailable(RecordingKind kind) override;
    bool runDialog(RecordingSettings& settings) override;
    void armTimer(unsigned delayMs) override;
    void stopTimer() override;
    void enableSettingsCommand() override;
    std::int64_t nowMs() override;
    LocalTime localTime() override;
    CurrentReading sample() override { return reading_; }
    void statusChanged() override { statusChanged_(); }

private:
    std::function<HWND()> owner_;
    const CurrentReading& reading_;
    std::function<void()> statusChanged_;
};
