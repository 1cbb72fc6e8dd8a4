#pragma once

#include "recording/record_format.h"
#include "recording/recording_file.h"
#include "recording/recording_settings.h"
#include "recording/recording_status.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// What the control needs from the window that runs it.
class RecordingHost {
public:
    virtual ~RecordingHost() = default;
    // Opens the file (its name in Windows-1250), creating it when absent; null when it cannot be opened.
    virtual std::unique_ptr<RecordingFile> openFile(const std::string& name, bool& existed) = 0;
    // The existing-file question: true to continue the file, false to empty it.
    virtual bool askContinue(RecordingKind kind) = 0;
    virtual void showUnavailable(RecordingKind kind) = 0;
    // The recording settings dialog on `settings`; true when it ended with OK (and `settings` holds the result).
    virtual bool runDialog(RecordingSettings& settings) = 0;
    // Arms the recording timer to fire once after `delayMs` (replacing an armed one), or stops it.
    virtual void armTimer(unsigned delayMs) = 0;
    virtual void stopTimer() = 0;
    virtual void enableSettingsCommand() = 0;
    // Wall-clock time in milliseconds (any fixed epoch), and the same moment as local calendar time.
    virtual std::int64_t nowMs() = 0;
    virtual LocalTime localTime() = 0;
    // The current reading, which a record writes as it stands at that moment.
    virtual CurrentReading sample() = 0;
    virtual void statusChanged() = 0;
};

// When the ticks of the recording timer fall. Ticks are whole intervals after the second in which recording
// started, each half a second into its second, so timer jitter never gives two records the same time stamp or
// skips one; a late tick does not shift the ones after it.
class TickSchedule {
public:
    static constexpr std::int64_t kTickPhaseMs = 500;
    static constexpr std::int64_t kEarlyToleranceMs = 250;

    void start(std::int64_t nowMs, int intervalSeconds);
    // Whether a tick that fires at `nowMs` is due (a record is written); afterwards the next tick is the first
    // one still ahead. A clock set back by more than an interval restarts the schedule at `nowMs`.
    bool takeDue(std::int64_t nowMs);
    // Milliseconds from `nowMs` to the next tick, at least 1.
    unsigned delayMs(std::int64_t nowMs) const;

private:
    std::int64_t due(std::int64_t index) const { return anchorMs_ + index * periodMs_; }

    std::int64_t anchorMs_ = 0;
    std::int64_t periodMs_ = 1000;
    std::int64_t next_ = 1;
};

// Recording of the text and binary files at the interval: applying the settings dialog, the reopening after
// launch and the timer's ticks. All decisions are taken here; the host only carries out the platform's part.
class RecordingControl {
public:
    RecordingControl(RecordingHost& host, RecordingSettings& settings);
    ~RecordingControl();

    // The settings command: the dialog, then the files and the timer as the accepted settings say.
    void onSettingsCommand();
    // Ten seconds after launch: continues the files named in the settings, without asking.
    void startAtLaunch();
    void onTimer();

    RecordingStatus status() const;
    bool isOpen(RecordingKind kind) const;

private:
    struct OpenFile {
        std::unique_ptr<RecordingFile> file;
        std::uint64_t end = 0; // where the next record goes: the size after the last complete write
        bool torn = false;     // a failed write may have left bytes past `end`
        FileProblem problem = FileProblem::None;
        std::string retryName; // Unavailable: the name the ticks try, as accepted when it failed
    };

    OpenFile& slot(RecordingKind kind) { return kind == RecordingKind::Text ? text_ : binary_; }
    const OpenFile& slot(RecordingKind kind) const { return kind == RecordingKind::Text ? text_ : binary_; }
    bool enabled(RecordingKind kind) const;
    const std::string& fileName(RecordingKind kind) const;

    bool applyDialog();
    bool needsReopen(RecordingKind kind, const RecordingSettings& before) const;
    bool openKind(RecordingKind kind, const std::string& name, bool ask, bool& continued);
    void close(RecordingKind kind);
    bool write(RecordingKind kind, const std::string& bytes);
    void writeRecord(RecordingKind kind, const LocalTime& time);
    void retryUnavailable();
    void restartTimer();
    void stopTimer();
    void stopTimerWhenIdle();

    RecordingHost& host_;
    RecordingSettings& settings_;
    OpenFile text_;
    OpenFile binary_;
    int lastHeaderColumns_ = -1;
    bool timerRunning_ = false;
    TickSchedule schedule_;
};
