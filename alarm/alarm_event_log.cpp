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

void AlarmEventLog::write(const std::vector<AlarmEvent>& events, char separator) {
    std::vector<LineText> lines;
    for (const AlarmEvent& event : events)
        lines.push_back([event](char fields) { return alarmEventLine(event, fields); });
    write(lines, separator);
}

// Without a file name nobody asked for the events to be written down.
void AlarmEventLog::write(const std::vector<LineText>& lines, char separator) {
    if (path_.empty())
        return;
    separator_ = separator;
    for (const LineText& line : lines) {
        waiting_.push_back(line);
        if (waiting_.size() > kMaxWaiting)
            waiting_.pop_front();
    }
    flush();
}

void AlarmEventLog::retry() {
    if (!path_.empty() && (!file_ || !waiting_.empty()))
        flush();
}

namespace {

// The separator of the header that starts an event file; 0 when it starts with anything else.
char headerSeparator(RecordingFile& file, std::uint64_t size) {
    const std::string header = alarmEventHeader('\t');
    const std::size_t length = header.find('\t') + 1;
    std::string start(length, '\0');
    if (size < length || !file.readAt(0, start.data(), length) || start.compare(0, length - 1, header, 0, length - 1))
        return 0;
    const char separator = start.back();
    for (const char known : {'\t', ',', ';'}) {
        if (separator == known)
            return separator;
    }
    return 0;
}

} // namespace

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
    fileSeparator_ = end > 0 ? headerSeparator(*file, end) : 0;
    file_ = std::move(file);
    end_ = end;
    torn_ = false;
    return true;
}

// An event stays waiting until its write went through; the first one in an empty file carries the header in the
// same write, so the file never holds a header without an event. A write whose flush the system could not confirm
// stays (it went through), and is said until a flush succeeds.
void AlarmEventLog::flush() {
    if (!file_ && !open()) {
        problem_ = FileProblem::Unavailable;
        return;
    }
    problem_ = FileProblem::None;
    while (!waiting_.empty()) {
        const bool header = end_ == 0;
        const char separator = header || fileSeparator_ == 0 ? separator_ : fileSeparator_;
        const std::string bytes = (header ? alarmEventHeader(separator) : std::string()) + waiting_.front()(separator);
        const WriteResult result = appendAtEnd(*file_, end_, torn_, bytes);
        if (result == WriteResult::Failed) {
            problem_ = FileProblem::WriteFailed;
            return;
        }
        if (header)
            fileSeparator_ = separator;
        problem_ = result == WriteResult::FlushFailed ? FileProblem::FlushFailed : FileProblem::None;
        waiting_.pop_front();
    }
}
