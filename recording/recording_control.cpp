#include "recording/recording_control.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace {

constexpr RecordingKind kKinds[] = {RecordingKind::Text, RecordingKind::Binary};

} // namespace

void TickSchedule::start(std::int64_t nowMs, int intervalSeconds) {
    anchorMs_ = floorDiv(nowMs, 1000) * 1000 + kTickPhaseMs;
    periodMs_ = std::int64_t{clampedIntervalSeconds(intervalSeconds)} * 1000;
    next_ = 1;
}

bool TickSchedule::takeDue(std::int64_t nowMs) {
    if (due(next_) - nowMs > periodMs_ + 1000) {
        // The clock was set back: waiting for the old schedule could take hours.
        start(nowMs, static_cast<int>(periodMs_ / 1000));
        return false;
    }
    if (nowMs < due(next_) - kEarlyToleranceMs)
        return false;
    // A tick that comes late (or after the clock was set forward) writes one record, not one per missed tick.
    const std::int64_t last = floorDiv(nowMs - anchorMs_ + kEarlyToleranceMs, periodMs_);
    next_ = std::max(next_, last) + 1;
    return true;
}

unsigned TickSchedule::delayMs(std::int64_t nowMs) const {
    const std::int64_t delay = due(next_) - nowMs;
    return static_cast<unsigned>(std::clamp<std::int64_t>(delay, 1, std::numeric_limits<unsigned>::max()));
}

RecordingControl::RecordingControl(RecordingHost& host, RecordingSettings& settings)
    : host_(host), settings_(settings) {}

RecordingControl::~RecordingControl() = default;

bool RecordingControl::enabled(RecordingKind kind) const {
    return (kind == RecordingKind::Text ? settings_.textEnabled : settings_.binaryEnabled) != 0;
}

const std::string& RecordingControl::fileName(RecordingKind kind) const {
    return kind == RecordingKind::Text ? settings_.textFileName : settings_.binaryFileName;
}

bool RecordingControl::isOpen(RecordingKind kind) const {
    return slot(kind).file != nullptr;
}

RecordingStatus RecordingControl::status() const {
    return {timerRunning_, clampedIntervalSeconds(settings_.intervalSeconds), text_.problem, binary_.problem};
}

void RecordingControl::onSettingsCommand() {
    // A file that cannot be opened brings the dialog back with the settings just accepted.
    while (!applyDialog()) {
    }
}

// A file is reopened when it is not open, or its name, its switch or (for the text file) the separator or the
// decimal comma changed, so that one file never mixes two number formats; a change of columns alone gets a header
// line in the open file.
bool RecordingControl::needsReopen(RecordingKind kind, const RecordingSettings& before) const {
    if (!isOpen(kind))
        return true;
    if (kind == RecordingKind::Text)
        return settings_.textFileName != before.textFileName || before.textEnabled == 0 ||
               settings_.separator != before.separator || usesDecimalComma(settings_) != usesDecimalComma(before);
    return settings_.binaryFileName != before.binaryFileName || before.binaryEnabled == 0;
}

// Returns false when a file could not be opened and the dialog has to be shown again.
bool RecordingControl::applyDialog() {
    RecordingSettings edited = settings_;
    const RecordingSettings before = settings_;
    if (!host_.runDialog(edited)) {
        for (const RecordingKind kind : kKinds) {
            if (!isOpen(kind)) {
                (kind == RecordingKind::Text ? settings_.textEnabled : settings_.binaryEnabled) = 0;
                slot(kind).problem = FileProblem::None;
            }
        }
        stopTimerWhenIdle();
        host_.statusChanged();
        return true;
    }
    settings_ = edited;

    if (settings_.textEnabled == 0 && settings_.binaryEnabled == 0) {
        stopTimer();
        close(RecordingKind::Text);
        close(RecordingKind::Binary);
        host_.statusChanged();
        return true;
    }
    for (const RecordingKind kind : kKinds) {
        if (!enabled(kind))
            close(kind);
    }

    // Both records carry one time stamp, as a tick's do, however long the question about the second file takes.
    std::optional<LocalTime> stamp;
    for (const RecordingKind kind : kKinds) {
        if (!enabled(kind))
            continue;
        if (needsReopen(kind, before)) {
            close(kind);
            bool continued = false;
            if (!openKind(kind, fileName(kind), true, continued)) {
                host_.showUnavailable(kind);
                // A file that did open records at the accepted interval from now on, also while the dialog is
                // back and after it is cancelled; otherwise it would stay open with no tick to write into it.
                if (isOpen(RecordingKind::Text) || isOpen(RecordingKind::Binary))
                    restartTimer();
                else
                    stopTimerWhenIdle();
                host_.statusChanged();
                return false;
            }
            if (kind == RecordingKind::Text && settings_.commentEnabled != 0) {
                const CurrentReading sample = host_.sample();
                write(kind, buildCommentBlock(settings_, continued, sample.serialNumber >= 1, sample.serialNumber));
            }
        }
        if (!stamp)
            stamp = host_.localTime();
        writeRecord(kind, *stamp);
    }
    restartTimer();
    host_.statusChanged();
    return true;
}

// Nobody may be there to answer at launch, so a file that cannot be opened yet (a network share not mounted, a
// removable disk not plugged in) is named in the status line and tried again at every tick.
// Both launch records carry one time stamp, as a tick's do: opening (and checking) the second file may take the
// clock past a second.
void RecordingControl::startAtLaunch() {
    const LocalTime time = host_.localTime();
    for (const RecordingKind kind : kKinds) {
        if (fileName(kind).empty() || !enabled(kind) || isOpen(kind))
            continue;
        bool continued = false;
        if (openKind(kind, fileName(kind), false, continued)) {
            writeRecord(kind, time);
            restartTimer();
        } else {
            slot(kind).problem = FileProblem::Unavailable;
            slot(kind).retryName = fileName(kind);
            if (!timerRunning_)
                restartTimer();
        }
    }
    host_.enableSettingsCommand();
    host_.statusChanged();
}

void RecordingControl::onTimer() {
    if (!timerRunning_)
        return;
    const std::int64_t now = host_.nowMs();
    if (schedule_.takeDue(now)) {
        retryUnavailable();
        // Both records of a tick carry the same time stamp.
        const LocalTime time = host_.localTime();
        for (const RecordingKind kind : kKinds) {
            if (isOpen(kind))
                writeRecord(kind, time);
        }
        host_.statusChanged();
    }
    host_.armTimer(schedule_.delayMs(host_.nowMs()));
}

// The name tried is the one that failed, not what the settings hold now: a tick may come while the settings
// dialog's result is being applied, with a question about another file open, and a name whose turn has not come
// must not be opened, created or written before it.
void RecordingControl::retryUnavailable() {
    for (const RecordingKind kind : kKinds) {
        OpenFile& open = slot(kind);
        if (open.problem != FileProblem::Unavailable || isOpen(kind))
            continue;
        bool continued = false;
        if (!enabled(kind) || open.retryName.empty())
            open.problem = FileProblem::None;
        else if (openKind(kind, open.retryName, false, continued))
            open.problem = FileProblem::None;
    }
}

// The file is kept only once it is known where its records go: a tick during the question must not write into
// a file that is about to be emptied, nor at its start.
bool RecordingControl::openKind(RecordingKind kind, const std::string& name, bool ask, bool& continued) {
    bool existed = false;
    OpenFile open;
    open.file = host_.openFile(name, existed);
    if (!open.file)
        return false;
    continued = existed && (!ask || host_.askContinue(kind));
    if (continued) {
        if (!continueAtEnd(*open.file, kind, open.end))
            return false;
    } else if (!open.file->truncate(0)) {
        return false;
    }
    if (kind == RecordingKind::Text)
        lastHeaderColumns_ = -1;
    slot(kind) = std::move(open);
    return true;
}

void RecordingControl::close(RecordingKind kind) {
    slot(kind) = OpenFile{};
}

// A failed write (disk full, share gone) must not leave a partial record for the next one to follow.
bool RecordingControl::write(RecordingKind kind, const std::string& bytes) {
    OpenFile& open = slot(kind);
    if (!open.file)
        return false;
    const WriteResult result = appendAtEnd(*open.file, open.end, open.torn, bytes);
    open.problem = result == WriteResult::Failed        ? FileProblem::WriteFailed
                   : result == WriteResult::FlushFailed ? FileProblem::FlushFailed
                                                        : FileProblem::None;
    return result != WriteResult::Failed;
}

void RecordingControl::writeRecord(RecordingKind kind, const LocalTime& time) {
    const CurrentReading sample = host_.sample();
    if (kind == RecordingKind::Text) {
        // The header counts as written only once the record with it is on disk.
        int columns = lastHeaderColumns_;
        if (write(kind, buildTextRecord(settings_, columns, sample.temperature, sample.humidity, time)))
            lastHeaderColumns_ = columns;
    } else {
        write(kind, buildBinaryRecord(sample.temperature, sample.humidity, sample.serialNumber,
                                      sample.humiditySerialNumber, time));
    }
}

void RecordingControl::restartTimer() {
    const std::int64_t now = host_.nowMs();
    schedule_.start(now, settings_.intervalSeconds);
    host_.armTimer(schedule_.delayMs(now));
    timerRunning_ = true;
}

void RecordingControl::stopTimer() {
    if (timerRunning_)
        host_.stopTimer();
    timerRunning_ = false;
}

void RecordingControl::stopTimerWhenIdle() {
    for (const RecordingKind kind : kKinds) {
        if (isOpen(kind) || slot(kind).problem == FileProblem::Unavailable)
            return;
    }
    stopTimer();
}
