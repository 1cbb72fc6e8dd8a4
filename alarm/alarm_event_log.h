#pragma once

#include "alarm/alarm_monitor.h"
#include "recording/recording_file.h"
#include "recording/recording_status.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The event file: one line per event, each appended with one write and flushed at once, as the recordings are; the
// file is continued across runs, a torn tail closed off first. A file that cannot be opened or written is said
// (problem()) and tried again at every tick, and the events meanwhile wait for it.
class AlarmEventLog {
public:
    // Opens the file, creating it when absent; null when it cannot be opened.
    using Opener = std::function<std::unique_ptr<RecordingFile>(const std::string& path, bool& existed)>;
    // Events kept for a file that stays unavailable; beyond it the oldest go.
    static constexpr std::size_t kMaxWaiting = 1000;

    explicit AlarmEventLog(Opener open);

    // The file to write, as the opener takes it; empty for none. Another path closes the open file and opens the
    // new one at once, so that a name that cannot be opened is said before the first alarm needs it; events that
    // still wait go there.
    void setFile(const std::string& path);
    // One line per event. `separator` (the recording's) goes between the fields of a file that has none yet, with
    // the header first; a file with a header keeps the separator it has, so that its columns stay one table.
    void write(const std::vector<AlarmEvent>& events, char separator);
    // A line of another part of the program in the same columns (CR LF ended), made once its separator is known.
    using LineText = std::function<std::string(char separator)>;
    void write(const std::vector<LineText>& lines, char separator);
    // The tick: a file that could not be opened, or lines that could not be written, are tried again.
    void retry();

    FileProblem problem() const { return problem_; }

private:
    bool open();
    void flush();

    Opener open_;
    std::string path_;
    std::unique_ptr<RecordingFile> file_;
    std::uint64_t end_ = 0;
    bool torn_ = false;
    char fileSeparator_ = 0;       // the open file's, 0 while it has no header
    char separator_ = '\t';        // the one asked for last, for a file without a header
    std::deque<LineText> waiting_; // not yet in the file
    FileProblem problem_ = FileProblem::None;
};
