#include "alarm/alarm_event_log.h"

#include "alarm/alarm_texts.h"

#include <utility>

AlarmEventLog::AlarmEventLog(Opener open) : open_(std::move(open)) {}

void AlarmEventLog::setFile(const std::string& path) {
    if (path == path_)
        return;
    path_ = path;
    file_.reset();
    problem_ = FileProblem::None;
    // Events that waited for a file that could not take them go to the one named next.
    if (!path_.empty())
        flush();
}

// Without a file name nobody asked for the events to be written down.
void AlarmEventLog::write(const std::vector<AlarmEvent>& events, char separator) {
    if (path_.empty())
        return;
    for (const AlarmEvent& event : events) {
        waiting_.push_back({alarmEventLine(event, separator), separator});
        if (waiting_.size() > kMaxWaiting)
            waiting_.pop_front();
    }
    flush();
}

void AlarmEventLog::retry() {
    if (!path_.empty() && (!file_ || !waiting_.empty()))
        flush();
}

// An existing file is continued after its last complete line: a line a power cut left without its CR LF is closed,
// and NULs after it are cut, so the next event starts a line of its own.
bool AlarmEventLog::open() {
    bool existed = false;
    std::unique_ptr<RecordingFile> file = open_(path_, existed);
    if (!file)
        return false;
    std::uint64_t end = 0;
    if (existed ? !continueAtEnd(*file, RecordingKind::Text, end) : !file->truncate(0))
        return false;
    file_ = std::move(file);
    end_ = end;
    torn_ = false;
    return true;
}

// A line stays waiting until its write went through; the first one in an empty file carries the header in the same
// write, so the file never holds a header without an event.
void AlarmEventLog::flush() {
    if (!file_ && !open()) {
        problem_ = FileProblem::Unavailable;
        return;
    }
    problem_ = FileProblem::None;
    while (!waiting_.empty()) {
        const Line& line = waiting_.front();
        const std::string bytes = (end_ == 0 ? alarmEventHeader(line.separator) : std::string()) + line.bytes;
        if (appendAtEnd(*file_, end_, torn_, bytes) == WriteResult::Failed) {
            problem_ = FileProblem::WriteFailed;
            return;
        }
        waiting_.pop_front();
    }
}
