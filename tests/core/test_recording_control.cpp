#include "recording/hxg_reader.h"
#include "recording/recording_control.h"

#include <gtest/gtest.h>

#include <ctime>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>

namespace {

// 2024-03-05 14:07:09.200, as UTC milliseconds; the fake's local time is UTC.
constexpr std::int64_t kStartMs = 1709647629200;

// The host, with files kept in memory by name. A write to a file named in failWrites fails and leaves half of its
// bytes behind, as a full disk may; one to a file named in failFlushes is written, but its flush fails.
class FakeHost : public RecordingHost {
    struct File : RecordingFile {
        FakeHost& host;
        std::string name;
        File(FakeHost& host, std::string name) : host(host), name(std::move(name)) {}
        std::string& bytes() { return host.files[name]; }
        bool size(std::uint64_t& size) override {
            size = bytes().size();
            return true;
        }
        bool readAt(std::uint64_t offset, char* buffer, std::size_t length) override {
            return offset + length <= bytes().size() && bytes().copy(buffer, length, offset) == length;
        }
        bool truncate(std::uint64_t size) override {
            bytes().resize(size, '\0');
            return true;
        }
        WriteResult writeAt(std::uint64_t offset, const std::string& data) override {
            const bool fail = host.failWrites.count(name) != 0;
            const std::string written = fail ? data.substr(0, data.size() / 2) : data;
            if (bytes().size() < offset + written.size())
                bytes().resize(offset + written.size(), '\0');
            bytes().replace(offset, written.size(), written);
            return fail ? WriteResult::Failed
                        : (host.failFlushes.count(name) != 0 ? WriteResult::FlushFailed : WriteResult::Done);
        }
    };

public:
    std::map<std::string, std::string> files;
    std::set<std::string> failWrites;
    std::set<std::string> failFlushes;
    std::set<std::string> offline;        // names that cannot be opened for now, besides those in missing/
    std::deque<bool> answers;             // to the existing-file questions
    std::function<void()> duringQuestion; // what happens while a question is open
    std::deque<std::function<bool(RecordingSettings&)>> dialogs; // each dialog run, in turn
    std::vector<std::string> events;
    std::int64_t now = kStartMs;
    unsigned armedDelay = 0;
    bool armed = false;
    CurrentReading current;

    std::unique_ptr<RecordingFile> openFile(const std::string& name, bool& existed) override {
        if (name.empty() || name.find("missing/") == 0 || offline.count(name) != 0)
            return nullptr;
        existed = files.count(name) != 0;
        return std::make_unique<File>(*this, name);
    }
    bool askContinue(RecordingKind kind) override {
        events.push_back(kind == RecordingKind::Text ? "ask text" : "ask binary");
        if (duringQuestion)
            duringQuestion();
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void showUnavailable(RecordingKind kind) override {
        events.push_back(kind == RecordingKind::Text ? "unavailable text" : "unavailable binary");
    }
    bool runDialog(RecordingSettings& settings) override {
        events.push_back("dialog");
        const auto run = dialogs.front();
        dialogs.pop_front();
        return run(settings);
    }
    void armTimer(unsigned delayMs) override {
        armed = true;
        armedDelay = delayMs;
    }
    void stopTimer() override { armed = false; }
    void enableSettingsCommand() override { events.push_back("enable"); }
    std::int64_t nowMs() override { return now; }
    LocalTime localTime() override {
        const std::time_t seconds = static_cast<std::time_t>(now / 1000);
        std::tm tm{};
        gmtime_r(&seconds, &tm);
        return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
    }
    CurrentReading sample() override { return current; }
    void statusChanged() override {}
};

QuantityReading value(double v) {
    QuantityReading reading;
    reading.rawValue = v;
    reading.noData = false;
    return reading;
}

struct Fixture {
    RecordingSettings settings;
    FakeHost host;
    RecordingControl control{host, settings};

    Fixture() {
        host.current = {value(21.5), value(45.2), 1234, 1234};
        settings.textFileName = "log.csv";
        settings.binaryFileName = "log.hxg";
        settings.separator = Semicolon;
        settings.intervalSeconds = 1;
    }
    // One timer expiry at the time the timer was armed for.
    void tick() {
        host.now += host.armedDelay;
        control.onTimer();
    }
    void accept(std::function<void(RecordingSettings&)> edit) {
        host.dialogs.push_back([edit](RecordingSettings& s) {
            edit(s);
            return true;
        });
    }
};

const std::string kHeader = "Data i Godzina;Temperatura \xB0"
                            "C;Wilgotno\x9C\xE6 %\r\n";
const std::string kLine09 = "2024.03.05 14:07:09;21.5;45.2\r\n";
const std::string kLine10 = "2024.03.05 14:07:10;21.5;45.2\r\n";

// What the settings dialog leads to, one scenario a row: the edits of successive dialog runs, the answers to the
// questions, and then the text file's bytes and the events seen.
TEST(RecordingControl, AppliesDialogsAsTheFilesAndChoicesRequire) {
    using Edit = std::function<void(RecordingSettings&)>;
    const Edit textOn = [](RecordingSettings& s) { s.textEnabled = 1; };
    const Edit withComment = [](RecordingSettings& s) {
        s.textEnabled = 1;
        s.commentEnabled = 1;
        s.commentSerialNumber = 1;
        s.commentText = "Pok\xF3j 12";
    };
    const Edit unchanged = [](RecordingSettings&) {};
    const struct {
        const char* name;
        const char* existing; // null: no such file
        std::vector<Edit> dialogs;
        std::deque<bool> answers;
        std::string expected;
        std::vector<std::string> events;
    } cases[] = {
        {"new file: no question", nullptr, {textOn}, {}, kHeader + kLine09, {"dialog"}},
        {"existing file continued", "old\r\n", {textOn}, {true}, "old\r\n" + kHeader + kLine09, {"dialog", "ask text"}},
        {"existing file emptied", "old\r\n", {textOn}, {false}, kHeader + kLine09, {"dialog", "ask text"}},
        {"torn last line closed", "old", {textOn}, {true}, "old\r\n" + kHeader + kLine09, {"dialog", "ask text"}},
        {"comment on a continued file",
         "old\r\n",
         {withComment},
         {true},
         "old\r\n\r\nPok\xF3j 12\r\nHX-350 nr 1234\r\n" + kHeader + kLine09,
         {"dialog", "ask text"}},
        {"unchanged dialog: record only",
         nullptr,
         {withComment, unchanged},
         {},
         "Pok\xF3j 12\r\nHX-350 nr 1234\r\n" + kHeader + kLine09 + kLine09,
         {"dialog", "dialog"}},
        {"separator change reopens and asks",
         nullptr,
         {withComment, [](RecordingSettings& s) { s.separator = Comma; }},
         {true},
         "Pok\xF3j 12\r\nHX-350 nr 1234\r\n" + kHeader + kLine09 +
             "\r\nPok\xF3j 12\r\nHX-350 nr 1234\r\nData i Godzina,Temperatura \xB0"
             "C,Wilgotno\x9C\xE6 %\r\n"
             "2024.03.05 14:07:09,21.5,45.2\r\n",
         {"dialog", "dialog", "ask text"}},
        {"decimal comma change reopens and asks",
         nullptr,
         {textOn, [](RecordingSettings& s) { s.decimalComma = true; }},
         {true},
         kHeader + kLine09 + kHeader + "2024.03.05 14:07:09;21,5;45,2\r\n",
         {"dialog", "dialog", "ask text"}},
        {"column change: header, no reopen",
         nullptr,
         {textOn, [](RecordingSettings& s) { s.recordHumidity = 0; }},
         {},
         kHeader + kLine09 +
             "Data i Godzina;Temperatura \xB0"
             "C\r\n2024.03.05 14:07:09;21.5\r\n",
         {"dialog", "dialog"}},
        {"missing folder: message, dialog again",
         nullptr,
         {[](RecordingSettings& s) { s.textEnabled = 1, s.textFileName = "missing/log.csv"; },
          [](RecordingSettings& s) { s.textFileName = "log.csv"; }},
         {},
         kHeader + kLine09,
         {"dialog", "unavailable text", "dialog"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        if (c.existing)
            f.host.files["log.csv"] = c.existing;
        f.host.answers = c.answers;
        for (const Edit& edit : c.dialogs)
            f.accept(edit);
        for (std::size_t run = 0; run < c.dialogs.size() && !f.host.dialogs.empty(); ++run)
            f.control.onSettingsCommand();
        EXPECT_TRUE(f.host.dialogs.empty());
        EXPECT_EQ(f.host.files["log.csv"], c.expected);
        EXPECT_EQ(f.host.events, c.events);
        EXPECT_TRUE(f.control.status().timerRunning);
    }
}

TEST(RecordingControl, BothKindsOffStopsTheTimerAndCancelSwitchesOffKindsWithoutFile) {
    Fixture f;
    f.accept([](RecordingSettings& s) { s.textEnabled = 1, s.binaryEnabled = 1; });
    f.control.onSettingsCommand();
    EXPECT_TRUE(f.host.armed);
    f.accept([](RecordingSettings& s) { s.textEnabled = 0, s.binaryEnabled = 0; });
    f.control.onSettingsCommand();
    EXPECT_FALSE(f.host.armed);
    EXPECT_FALSE(f.control.status().timerRunning);
    EXPECT_FALSE(f.control.isOpen(RecordingKind::Text));

    // Switched on but never opened (an empty name at launch): Cancel turns it off.
    f.settings.textEnabled = 1;
    f.settings.textFileName.clear();
    f.host.dialogs.push_back([](RecordingSettings&) { return false; });
    f.control.onSettingsCommand();
    EXPECT_EQ(f.settings.textEnabled, 0);
}

// Launch: the files named in the settings are continued at their end without a question; one that cannot be
// opened is said in the status and tried again at the ticks, with no message box.
TEST(RecordingControl, LaunchContinuesSilentlyAndRetriesUnavailableFiles) {
    Fixture f;
    f.settings.textEnabled = 1;
    f.settings.binaryEnabled = 1;
    f.host.offline = {"log.hxg"};
    f.host.files["log.csv"] = "old\r\n";
    f.control.startAtLaunch();
    EXPECT_EQ(f.host.files["log.csv"], "old\r\n" + kHeader + kLine09);
    EXPECT_EQ(f.host.events, std::vector<std::string>{"enable"});
    EXPECT_EQ(f.control.status().binary, FileProblem::Unavailable);

    f.host.offline.clear(); // the share is back
    f.tick();
    EXPECT_EQ(f.control.status().binary, FileProblem::None);
    EXPECT_EQ(f.host.files["log.csv"], "old\r\n" + kHeader + kLine09 + kLine10);
    const auto records = readHxg(f.host.files["log.hxg"]);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(records[0].valid);
    EXPECT_EQ(records[0].record.time.second, 10);
}

// Regression: a tick during the existing-file question retried the binary file that launch could not open under
// the name the dialog had just set, so it was created and written before its turn in the dialog's application.
TEST(RecordingControl, TickDuringAQuestionOpensNothingUnderANameNotYetAnswered) {
    Fixture f;
    f.settings.binaryEnabled = 1;
    f.settings.binaryFileName = "missing/log.hxg";
    f.control.startAtLaunch();
    f.host.files["log.csv"] = "old\r\n";
    f.accept([](RecordingSettings& s) { s.textEnabled = 1, s.binaryFileName = "new.hxg"; });
    f.host.answers = {true, true};
    f.host.duringQuestion = [&f] {
        f.tick();
        EXPECT_EQ(f.host.files.count("new.hxg"), 0u);
    };
    f.control.onSettingsCommand();
    EXPECT_EQ(f.host.events, (std::vector<std::string>{"enable", "dialog", "ask text"}));
    EXPECT_EQ(readHxg(f.host.files["new.hxg"]).size(), 1u);
    EXPECT_EQ(f.control.status().binary, FileProblem::None);
}

TEST(RecordingControl, FailedWriteIsReportedCutBackAndRetriedAtTheNextTick) {
    Fixture f;
    f.accept([](RecordingSettings& s) { s.textEnabled = 1, s.binaryEnabled = 1; });
    f.host.failWrites = {"log.csv", "log.hxg"};
    f.control.onSettingsCommand();
    EXPECT_EQ(f.control.status().text, FileProblem::WriteFailed);
    EXPECT_EQ(f.control.status().binary, FileProblem::WriteFailed);
    EXPECT_EQ(f.host.files["log.csv"], "");
    EXPECT_EQ(f.host.files["log.hxg"], "");

    f.host.failWrites.clear();
    f.tick();
    EXPECT_EQ(f.control.status().text, FileProblem::None);
    // The header went with the failed record, so it comes again.
    EXPECT_EQ(f.host.files["log.csv"], kHeader + kLine10);
    EXPECT_EQ(readHxg(f.host.files["log.hxg"]).size(), 1u);
}

// Regression: a flush that failed after the write had completed cut the record away, so on a share that refuses
// flushes every record was written and removed, and the file never grew.
TEST(RecordingControl, RecordWrittenButNotFlushedIsKeptAndSaid) {
    Fixture f;
    f.accept([](RecordingSettings& s) { s.textEnabled = 1, s.binaryEnabled = 1; });
    f.host.failFlushes = {"log.csv", "log.hxg"};
    f.control.onSettingsCommand();
    f.tick();
    EXPECT_EQ(f.control.status().text, FileProblem::FlushFailed);
    EXPECT_EQ(f.control.status().binary, FileProblem::FlushFailed);
    EXPECT_EQ(f.host.files["log.csv"], kHeader + kLine09 + kLine10);
    EXPECT_EQ(readHxg(f.host.files["log.hxg"]).size(), 2u);

    f.host.failFlushes.clear();
    f.tick();
    EXPECT_EQ(f.control.status().text, FileProblem::None);
    EXPECT_EQ(f.control.status().binary, FileProblem::None);
}

// A year of one-second records (1.7 GB) whose last record a power cut tore and followed with 3 MB of zeros, longer
// than any fixed window; made up as it is read. Continuing it closes the torn record so that the new one reads, and
// reads only the file's end. Regression: the repair read the whole file, on the window's thread at every launch,
// which kept the window from answering for seconds.
TEST(RecordingControl, ContinuingAYearLongBinaryFileReadsOnlyItsTornEnd) {
    struct YearFile : RecordingFile {
        const std::string record = buildBinaryRecord(value(21.5), value(45.2), 1234, 1234, {2024, 3, 5, 14, 7, 8});
        const std::uint64_t kept = 31536000ull * record.size() + 20; // the last record torn after 20 bytes
        std::uint64_t fileSize = kept + 3000000;
        std::uint64_t bytesRead = 0;
        std::string appended;
        bool size(std::uint64_t& size) override {
            size = fileSize;
            return true;
        }
        bool readAt(std::uint64_t offset, char* buffer, std::size_t length) override {
            bytesRead += length;
            if (bytesRead > 4000000 || offset + length > fileSize)
                return false;
            for (std::size_t i = 0; i < length; ++i)
                buffer[i] = offset + i < kept ? record[(offset + i) % record.size()] : '\0';
            return true;
        }
        bool truncate(std::uint64_t size) override {
            fileSize = size;
            return size == kept;
        }
        WriteResult writeAt(std::uint64_t offset, const std::string& bytes) override {
            if (offset != fileSize)
                return WriteResult::Failed;
            appended += bytes;
            fileSize += bytes.size();
            return WriteResult::Done;
        }
    };
    struct Host : FakeHost {
        YearFile* year = nullptr;
        std::unique_ptr<RecordingFile> openFile(const std::string&, bool& existed) override {
            existed = true;
            auto file = std::make_unique<YearFile>();
            year = file.get();
            return file;
        }
    };
    RecordingSettings settings;
    settings.binaryEnabled = 1;
    settings.binaryFileName = "year.hxg";
    Host host;
    host.current = {value(21.5), value(45.2), 1234, 1234};
    RecordingControl control(host, settings);
    control.startAtLaunch();
    ASSERT_TRUE(control.isOpen(RecordingKind::Binary));
    EXPECT_LE(host.year->bytesRead, 3000000u + 70000u);
    const std::string next = buildBinaryRecord(value(21.5), value(45.2), 1234, 1234, {2024, 3, 5, 14, 7, 9});
    EXPECT_EQ(host.year->appended, std::string("\xC0\0\0", 3) + next);
}

TEST(RecordingControl, IntervalOutOfRangeIsClampedBeforeTheTimer) {
    const struct {
        int interval;
        unsigned firstDelay; // from 14:07:09.200 to the middle of the second the interval leads to
    } cases[] = {{0, 1300}, {-5, 1300}, {1000000000, 86399300}, {90, 90300}};
    for (const auto& c : cases) {
        Fixture f;
        f.settings.intervalSeconds = c.interval;
        f.accept([](RecordingSettings& s) { s.textEnabled = 1; });
        f.control.onSettingsCommand();
        EXPECT_EQ(f.host.armedDelay, c.firstDelay) << c.interval;
    }
}

// Ticks fall in the middle of a second, whole intervals after the start, whatever the timer's jitter.
TEST(TickSchedule, TicksStayOnTheirSecondsDespiteJitterAndClockChanges) {
    const struct {
        std::int64_t fireAt; // ms after the start second's beginning
        bool due;
        unsigned nextDelay;
    } steps[] = {
        {1497, true, 1003},                          // slightly early: still the tick of second 1
        {1499, false, 1001},                         // a second message for the same tick writes nothing
        {2520, true, 980},                           // late
        {5900, true, 600},                           // very late: one record, then back on the grid
        {6510, true, 990},    {-60000, false, 1500}, // clock set back a minute: restarts at that moment
        {-58500, true, 1000},
    };
    TickSchedule schedule;
    const std::int64_t base = kStartMs - 200; // the start second's beginning
    schedule.start(kStartMs, 1);
    EXPECT_EQ(schedule.delayMs(kStartMs), 1300u);
    for (const auto& step : steps) {
        SCOPED_TRACE(step.fireAt);
        EXPECT_EQ(schedule.takeDue(base + step.fireAt), step.due);
        EXPECT_EQ(schedule.delayMs(base + step.fireAt), step.nextDelay);
    }
}

} // namespace
