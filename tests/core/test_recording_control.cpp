#include "recording/hxg_reader.h"
#include "recording/recording_control.h"
#include "tests/core/memory_files.h"

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

// The host, with its files in memory (the clock moves by slowMs while a file opens or is written).
class FakeHost : public RecordingHost, public MemoryFiles {
public:
    std::deque<bool> answers;                                    // to the existing-file questions
    std::function<void()> duringQuestion;                        // what happens while a question is open
    std::deque<std::function<bool(RecordingSettings&)>> dialogs; // each dialog run, in turn
    std::vector<std::string> events;
    std::int64_t now = kStartMs;
    unsigned armedDelay = 0;
    bool armed = false;
    CurrentReading current;

    FakeHost() { clock = &now; }
    std::unique_ptr<RecordingFile> openFile(const std::string& name, bool& existed) override {
        return open(name, existed);
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
        if (dialogs.empty())
            return false; // a dialog the scenario did not expect: its events say so
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
        host.current = {value(21.5), value(45.2), 1, 1}; // the lowest serial number a decoded line carries
        settings.textFileName = "log.csv";
        settings.binaryFileName = "log.hxg";
        settings.separator = Semicolon;
        settings.intervalSeconds = 1;
    }
    // One expiry of the one-shot timer at the time it was armed for.
    void tick() {
        host.armed = false;
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
    const Edit toCommas = [](RecordingSettings& s) { s.separator = Comma; };
    const Edit commasOn = [](RecordingSettings& s) { s.textEnabled = 1, s.separator = Comma; };
    const Edit decimalComma = [](RecordingSettings& s) { s.decimalComma = true; };
    const Edit noHumidity = [](RecordingSettings& s) { s.recordHumidity = 0; };
    const std::string note = "Pok\xF3j 12\r\nHX-350 nr 1\r\n", old = "old\r\n", first = kHeader + kLine09;
    const std::string commaLine = "2024.03.05 14:07:09,21.5,45.2\r\n";
    const std::string commas = "Data i Godzina,Temperatura \xB0"
                               "C,Wilgotno\x9C\xE6 %\r\n" +
                               commaLine;
    const std::string decimals = kHeader + "2024.03.05 14:07:09;21,5;45,2\r\n";
    const std::string narrow = "Data i Godzina;Temperatura \xB0"
                               "C\r\n2024.03.05 14:07:09;21.5\r\n";
    const std::string asked = "dialog ask text", twice = "dialog dialog", twiceAsked = "dialog dialog ask text";
    const struct {
        const char* name;
        const char* existing; // null: no such file
        std::vector<Edit> dialogs;
        std::deque<bool> answers;
        std::string expected;
        std::string events;
    } cases[] = {
        {"new file: no question", nullptr, {textOn}, {}, first, "dialog"},
        {"existing file continued", "old\r\n", {textOn}, {true}, old + first, asked},
        {"existing file emptied", "old\r\n", {textOn}, {false}, first, asked},
        {"torn last line closed", "old", {textOn}, {true}, old + first, asked},
        {"comment on a continued file", "old\r\n", {withComment}, {true}, old + "\r\n" + note + first, asked},
        {"unchanged dialog: record only", nullptr, {withComment, unchanged}, {}, note + first + kLine09, twice},
        {"new separator", nullptr, {withComment, toCommas}, {true}, note + first + "\r\n" + note + commas, twiceAsked},
        {"decimal comma: reopened", nullptr, {textOn, decimalComma}, {true}, first + decimals, twiceAsked},
        {"columns: a header, no reopen", nullptr, {textOn, noHumidity}, {}, first + narrow, twice},
        {"decimal comma between commas: kept", nullptr, {commasOn, decimalComma}, {}, commas + commaLine, twice},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        if (c.existing)
            f.host.files["log.csv"] = c.existing;
        f.host.answers = c.answers;
        for (const Edit& edit : c.dialogs)
            f.accept(edit);
        for (std::size_t run = 0; run < c.dialogs.size(); ++run)
            f.control.onSettingsCommand();
        EXPECT_TRUE(f.host.dialogs.empty());
        EXPECT_EQ(f.host.files["log.csv"], c.expected);
        std::string events;
        for (const std::string& event : f.host.events)
            events += (events.empty() ? "" : " ") + event;
        EXPECT_EQ(events, c.events);
        EXPECT_TRUE(f.control.status().timerRunning);
    }
}

// The state after a step, as words: each file with its lines ("H" a header, "09" the record of second 9, "?" any
// other line, "~" an unfinished last line) or its binary records ("09", "x" a damaged one); "timer1300" while
// recording, with the delay armed ("timer?" with none armed), or "armed!" for a timer armed while stopped; the
// files' problems; "T" and "B" for the kinds switched on; and in brackets what the user was shown since the last
// step.
std::string describe(Fixture& f) {
    std::string out;
    const auto add = [&out](const std::string& word) { out += (out.empty() ? "" : " ") + word; };
    for (const auto& [name, bytes] : f.host.files) {
        std::string items;
        const auto item = [&items](const std::string& word) { items += (items.empty() ? "" : ",") + word; };
        if (name.find(".hxg") != std::string::npos) {
            for (const HxgEntry& entry : readHxg(bytes))
                item(entry.valid ? std::to_string(100 + entry.record.time.second).substr(1) : "x");
        } else {
            std::size_t at = 0;
            for (std::size_t end; (end = bytes.find("\r\n", at)) != std::string::npos; at = end + 2) {
                const std::string line = bytes.substr(at, end - at);
                item(line.rfind("Data i Godzina", 0) == 0      ? "H"
                     : line.rfind("2024.03.05 14:07:", 0) == 0 ? line.substr(17, 2)
                                                               : "?");
            }
            if (at < bytes.size())
                item("~");
        }
        add(name + "=" + items);
    }
    const RecordingStatus status = f.control.status();
    if (status.timerRunning)
        add(f.host.armed ? "timer" + std::to_string(f.host.armedDelay) : "timer?");
    else if (f.host.armed)
        add("armed!");
    const char* const problems[] = {"", "unavailable", "write-failed", "flush-failed"};
    if (status.text != FileProblem::None)
        add(std::string("text:") + problems[static_cast<int>(status.text)]);
    if (status.binary != FileProblem::None)
        add(std::string("binary:") + problems[static_cast<int>(status.binary)]);
    if (f.settings.textEnabled != 0)
        add("T");
    if (f.settings.binaryEnabled != 0)
        add("B");
    std::string seen;
    for (const std::string& event : f.host.events)
        seen += (seen.empty() ? "" : ", ") + event;
    if (!seen.empty())
        add("[" + seen + "]");
    f.host.events.clear();
    return out;
}

using Act = std::function<void(Fixture&)>;
using Edit = std::function<void(RecordingSettings&)>;
// The settings command, with `edit` in its dialog (and `again` in the dialog that comes back, if any).
Act dialog(Edit edit, Edit again = nullptr) {
    return [edit, again](Fixture& f) {
        f.accept(edit);
        if (again)
            f.accept(again);
        f.control.onSettingsCommand();
    };
}
const Act kCancel = [](Fixture& f) {
    f.host.dialogs.push_back([](RecordingSettings&) { return false; });
    f.control.onSettingsCommand();
};
const Act kLaunch = [](Fixture& f) { f.control.startAtLaunch(); };
// The timer's expiry `early` ms before the time it was armed for.
Act tick(std::int64_t early = 0) {
    return [early](Fixture& f) {
        f.host.now -= early;
        f.tick();
    };
}
const Act kOnline = [](Fixture& f) { f.host.offline.clear(), f.host.failWrites.clear(); };

// The recording's course through launch, dialogs, Cancel, ticks and failing files, one scenario a table.
TEST(RecordingControl, ScenariosGiveTheirFilesTimerAndStatus) {
    const struct {
        const char* name;
        std::vector<std::pair<Act, const char*>> steps;
    } scenarios[] = {
        {"launch continues a torn file silently and retries one that is unavailable at the ticks",
         {{[](Fixture& f) {
               f.settings.textEnabled = f.settings.binaryEnabled = 1, f.host.files["log.csv"] = "old",
               f.host.offline = {"log.hxg"};
           },
           "log.csv=~ T B"},
          {kLaunch, "log.csv=?,H,09 timer1300 binary:unavailable T B [enable]"},
          {kOnline, "log.csv=?,H,09 timer1300 binary:unavailable T B"},
          {tick(), "log.csv=?,H,09,10 log.hxg=10 timer1000 T B"}}},
        // Regression: each launch record took the clock for itself, and opening the binary file could take it past a
        // second: for one moment the text file held one time stamp and the binary file the next.
        {"the records of launch and of a tick carry one time stamp in both files however slow the files are",
         {{[](Fixture& f) { f.settings.textEnabled = f.settings.binaryEnabled = 1, f.host.slowMs = 600; }, "T B"},
          {kLaunch, "log.csv=H,09 log.hxg=09 timer900 T B [enable]"},
          {tick(), "log.csv=H,09,12 log.hxg=09,12 timer1 T B"}}},
        {"a file to be emptied that cannot be cut: its message, then the dialog again",
         {{[](Fixture& f) {
               f.host.files["log.csv"] = "old\r\n", f.host.answers = {false}, f.host.failTruncates = {"log.csv"};
           },
           "log.csv=?"},
          {dialog([](RecordingSettings& s) { s.textEnabled = 1; },
                  [](RecordingSettings& s) { s.textFileName = "new.csv"; }),
           "log.csv=? new.csv=H,09 timer1300 T [dialog, ask text, unavailable text, dialog]"}}},
        {"nothing opens at launch: retried at the ticks, which the timer keeps coming, until Cancel",
         {{[](Fixture& f) {
               f.settings.textEnabled = f.settings.binaryEnabled = 1, f.host.offline = {"log.csv", "log.hxg"};
           },
           "T B"},
          {kLaunch, "timer1300 text:unavailable binary:unavailable T B [enable]"},
          {tick(400), "timer400 text:unavailable binary:unavailable T B"},
          {kCancel, "[dialog]"}}},
        {"a file whose repair cannot be written is unavailable, not continued behind a gap",
         {{[](Fixture& f) {
               f.settings.textEnabled = 1, f.host.files["log.csv"] = "old", f.host.failWrites = {"log.csv"};
           },
           "log.csv=~ T"},
          {kLaunch, "log.csv=~ timer1300 text:unavailable T [enable]"},
          {kOnline, "log.csv=~ timer1300 text:unavailable T"},
          {tick(), "log.csv=?,H,10 timer1000 T"}}},
        {"a file that cannot be opened: its message, then the dialog again with the settings just accepted",
         {{dialog([](RecordingSettings& s) { s.textEnabled = 1, s.textFileName = "missing/log.csv"; },
                  [](RecordingSettings& s) { s.textFileName = "log.csv"; }),
           "log.csv=H,09 timer1300 T [dialog, unavailable text, dialog]"}}},
        // Regression: a tick during the existing-file question retried the binary file that launch could not open
        // under the name the dialog had just set, so it was created and written before its turn.
        {"a tick during the question opens nothing under a name not yet answered",
         {{[](Fixture& f) {
               f.settings.binaryEnabled = 1, f.settings.binaryFileName = "missing/log.hxg";
               f.host.files["log.csv"] = "old\r\n", f.host.answers = {true, true},
               f.host.duringQuestion = [&f] { f.tick(); };
           },
           "log.csv=? B"},
          {kLaunch, "log.csv=? timer1300 binary:unavailable B [enable]"},
          {dialog([](RecordingSettings& s) { s.textEnabled = 1, s.binaryFileName = "new.hxg"; }),
           "log.csv=?,H,10 new.hxg=10 timer1000 T B [dialog, ask text]"}}},
        {"an empty name at launch opens nothing and says nothing; Cancel switches it off",
         {{[](Fixture& f) { f.settings.textEnabled = 1, f.settings.textFileName.clear(); }, "T"},
          {kLaunch, "T [enable]"},
          {kCancel, "[dialog]"}}},
        {"Cancel while recording, a kind switched off, the binary file renamed, the interval changed, both off",
         {{dialog([](RecordingSettings& s) { s.textEnabled = s.binaryEnabled = 1; }),
           "log.csv=H,09 log.hxg=09 timer1300 T B [dialog]"},
          {kCancel, "log.csv=H,09 log.hxg=09 timer1300 T B [dialog]"},
          {tick(), "log.csv=H,09,10 log.hxg=09,10 timer1000 T B"},
          {dialog([](RecordingSettings& s) { s.textEnabled = 0; }),
           "log.csv=H,09,10 log.hxg=09,10,10 timer1000 B [dialog]"},
          {tick(), "log.csv=H,09,10 log.hxg=09,10,10,11 timer1000 B"},
          {dialog([](RecordingSettings& s) { s.binaryFileName = "new.hxg"; }),
           "log.csv=H,09,10 log.hxg=09,10,10,11 new.hxg=11 timer1000 B [dialog]"},
          {dialog([](RecordingSettings& s) { s.intervalSeconds = 60; }),
           "log.csv=H,09,10 log.hxg=09,10,10,11 new.hxg=11,11 timer60000 B [dialog]"},
          {dialog([](RecordingSettings& s) { s.binaryEnabled = 0; }),
           "log.csv=H,09,10 log.hxg=09,10,10,11 new.hxg=11,11 [dialog]"},
          {[](Fixture& f) { f.control.onTimer(); }, "log.csv=H,09,10 log.hxg=09,10,10,11 new.hxg=11,11"}}},
        // Regression: Cancel in the dialog that came back after the binary file failed left the text file open with
        // no timer, and no record followed, ever.
        {"Cancel after a failed second file: the file that opened records at the accepted interval",
         {{[](Fixture& f) {
               f.accept([](RecordingSettings& s) {
                   s.textEnabled = s.binaryEnabled = 1, s.binaryFileName = "missing/log.hxg", s.intervalSeconds = 5;
               });
               f.host.dialogs.push_back([](RecordingSettings&) { return false; });
               f.control.onSettingsCommand();
           },
           "log.csv=H,09 timer5300 T [dialog, unavailable binary, dialog]"},
          {tick(), "log.csv=H,09,14 timer5000 T"}}},
        // Regression: the dialog's two records took the clock each, with the question about the second file between.
        {"the dialog's records carry one time stamp however long the question about the second file takes",
         {{[](Fixture& f) {
               f.host.files["log.hxg"] = "", f.host.answers = {true},
               f.host.duringQuestion = [&f] { f.host.now += 2500; };
           },
           "log.hxg="},
          {dialog([](RecordingSettings& s) { s.textEnabled = s.binaryEnabled = 1; }),
           "log.csv=H,09 log.hxg=09 timer800 T B [dialog, ask binary]"}}},
        {"the comment goes into a text file opened from the dialog only: not at launch, not into the binary file",
         {{[](Fixture& f) {
               f.settings.textEnabled = f.settings.binaryEnabled = f.settings.commentEnabled = 1;
               f.settings.commentText = "Pok\xF3j 12";
           },
           "T B"},
          {kLaunch, "log.csv=H,09 log.hxg=09 timer1300 T B [enable]"},
          {dialog([](RecordingSettings& s) { s.textFileName = "new.csv", s.binaryFileName = "new.hxg"; }),
           "log.csv=H,09 log.hxg=09 new.csv=?,H,09 new.hxg=09 timer1300 T B [dialog]"}}},
        {"a tick while the file being reopened is asked about writes into neither",
         {{dialog([](RecordingSettings& s) { s.textEnabled = 1; }), "log.csv=H,09 timer1300 T [dialog]"},
          {[](Fixture& f) {
               f.host.files["old.csv"] = "old\r\n", f.host.answers = {true}, f.host.duringQuestion = [&f] { f.tick(); };
           },
           "log.csv=H,09 old.csv=? timer1300 T"},
          {dialog([](RecordingSettings& s) { s.textFileName = "old.csv"; }),
           "log.csv=H,09 old.csv=?,H,10 timer1000 T [dialog, ask text]"}}},
        {"a failed write is cut back and tried again; one whose cut fails too is not written over",
         {{[](Fixture& f) {
               f.host.files["log.hxg"] = "", f.host.answers = {true};
               f.host.failWrites = {"log.csv", "log.hxg"}, f.host.failTruncates = {"log.hxg"};
           },
           "log.hxg="},
          {dialog([](RecordingSettings& s) { s.textEnabled = s.binaryEnabled = 1; }),
           "log.csv= log.hxg= timer1300 text:write-failed binary:write-failed T B [dialog, ask binary]"},
          {kOnline, "log.csv= log.hxg= timer1300 text:write-failed binary:write-failed T B"},
          {tick(), "log.csv=H,10 log.hxg= timer1000 binary:write-failed T B"},
          {[](Fixture& f) { f.host.failTruncates.clear(); }, "log.csv=H,10 log.hxg= timer1000 binary:write-failed T B"},
          {tick(), "log.csv=H,10,11 log.hxg=11 timer1000 T B"},
          {[](Fixture& f) { f.host.failTruncates = {"log.hxg"}; }, "log.csv=H,10,11 log.hxg=11 timer1000 T B"},
          {tick(), "log.csv=H,10,11,12 log.hxg=11,12 timer1000 T B"}}},
        // Regression: a flush that failed after the write had completed cut the record away, so on a share that
        // refuses flushes every record was written and removed, and the file never grew.
        {"a record written whose flush failed is kept and said",
         {{[](Fixture& f) {
               f.host.failFlushes = {"log.csv", "log.hxg"};
           },
           ""},
          {dialog([](RecordingSettings& s) { s.textEnabled = s.binaryEnabled = 1; }),
           "log.csv=H,09 log.hxg=09 timer1300 text:flush-failed binary:flush-failed T B [dialog]"},
          {[](Fixture& f) { f.host.failFlushes.clear(); },
           "log.csv=H,09 log.hxg=09 timer1300 text:flush-failed binary:flush-failed T B"},
          {tick(), "log.csv=H,09,10 log.hxg=09,10 timer1000 T B"}}},
    };
    for (const auto& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        Fixture f;
        int index = 0;
        for (const auto& [act, state] : scenario.steps) {
            SCOPED_TRACE(index++);
            act(f);
            EXPECT_EQ(describe(f), state);
        }
    }
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
    host.current = {value(21.5), value(45.2), 1234, 77};
    RecordingControl control(host, settings);
    control.startAtLaunch();
    ASSERT_TRUE(control.isOpen(RecordingKind::Binary));
    EXPECT_LE(host.year->bytesRead, 3000000u + 70000u);
    // The temperature carries the current serial number, the humidity the one of the last line with both values.
    const std::string next = buildBinaryRecord(value(21.5), value(45.2), 1234, 77, {2024, 3, 5, 14, 7, 9});
    EXPECT_EQ(host.year->appended, std::string("\xC0\0\0", 3) + next);
}

TEST(RecordingControl, IntervalOutOfRangeIsClampedBeforeTheTimer) {
    const struct {
        int interval;
        unsigned firstDelay; // from 14:07:09.200 to the middle of the second the interval leads to
        int shown;           // in the status line
    } cases[] = {{0, 1300, 1}, {-5, 1300, 1}, {1000000000, 86399300, 86399}, {90, 90300, 90}};
    for (const auto& c : cases) {
        Fixture f;
        f.settings.intervalSeconds = c.interval;
        f.accept([](RecordingSettings& s) { s.textEnabled = 1; });
        f.control.onSettingsCommand();
        EXPECT_EQ(f.host.armedDelay, c.firstDelay) << c.interval;
        EXPECT_EQ(f.control.status().intervalSeconds, c.shown) << c.interval;
    }
}

// Ticks fall in the middle of a second, whole intervals after the start, whatever the timer's jitter.
TEST(TickSchedule, TicksStayOnTheirSecondsDespiteJitterAndClockChanges) {
    const struct {
        std::int64_t fireAt; // ms after the start second's beginning
        bool due;
        unsigned nextDelay;
    } steps[] = {
        {1497, true, 1003},  // slightly early: still the tick of second 1
        {1499, false, 1001}, // a second message for the same tick writes nothing
        {2250, true, 1250},  // as early as may be
        {4300, true, 1200},  // late, and so near the next tick that it is that one: no second gets two records
        {7900, true, 600},   // very late: one record, then back on the grid
        {8510, true, 990},
        {7800, false, 1700}, // clock set back by 0.7 s: the grid stays, so second 8 gets no second record
        {9500, true, 1000},
        {-60000, false, 1500}, // clock set back a minute: restarts at that moment
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
