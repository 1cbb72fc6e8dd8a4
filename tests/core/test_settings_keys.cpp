#include "app/settings_keys.h"
#include "tests/core/settings_files.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <filesystem>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <tuple>

namespace fs = std::filesystem;

namespace {

using settings_test::copyFixture;
using settings_test::readBytes;
using settings_test::TempDir;
using settings_test::writeBytes;

constexpr int kScreenWidth = 1920;
constexpr int kScreenHeight = 1080;

// One run of the program as far as settings go: open (creating a missing file), load, let the user change
// things, write everything back and close the store, which saves only if something changed.
AppSettings runSession(const std::string& path, const std::function<void(AppSettings&)>& userChanges = {}) {
    AppSettings settings;
    CSettingsStore store;
    if (store.open(path, SettingsFileUse::Keep))
        loadSettings(store, settings);
    if (userChanges)
        userChanges(settings);
    saveSettings(store, settings, kScreenWidth, kScreenHeight);
    return settings;
}

// Every persisted value by name, so that a mismatch says which one.
std::string describe(const AppSettings& s) {
    std::ostringstream out;
    const auto display = [&out](const char* name, const DisplayLook& d) {
        out << name << ": background " << d.backgroundColour << ", text " << d.textColour << ", height " << d.fontHeight
            << ", name '" << d.fontName << "', italic " << int(d.fontItalic) << ", weight " << d.fontWeight << '\n';
    };
    display("temperature", s.displays.temperature);
    display("humidity", s.displays.humidity);
    const RecordingSettings& r = s.recording;
    out << "port " << s.portNumber << ", window " << s.windowRect.left << ' ' << s.windowRect.top << ' '
        << s.windowRect.right << ' ' << s.windowRect.bottom << ", topmost " << s.topmost << ", info "
        << s.showInfoAtStart << '\n'
        << "recording: text '" << r.textFileName << "' " << r.textEnabled << ", binary '" << r.binaryFileName << "' "
        << r.binaryEnabled << ", separator " << r.separator << ", interval " << r.intervalSeconds << ", columns "
        << r.recordTemperature << r.recordHumidity << ", comment " << r.commentEnabled << r.commentSerialNumber
        << ", decimal comma " << r.decimalComma;
    for (const char* section : {kAlarmSection, kMailSection}) {
        out << '\n' << section << ':';
        for (const SettingEntry<AppSettings>& entry : settingsTable()) {
            if (entry.section == std::string(section))
                out << ' ' << entry.key << '=' << entry.text(s, nullptr);
        }
    }
    return out.str() + '\n';
}

// Every key in the first-run layout, as the first run writes them (the end-to-end tests build on it too).
const std::string kFirstRunFile = readBytes(HX350_TEST_DATA_DIR "/settings/first_run.ini");

} // namespace

TEST(SettingsKeysSession, NothingChangedLeavesTheFileUntouched) {
    TempDir dir;
    const std::string path = copyFixture(dir, "app_unchanged.ini");
    const std::string before = readBytes(path);
    const auto writeTime = fs::last_write_time(path);
    const AppSettings loaded = runSession(path);
    EXPECT_EQ(readBytes(path), before); // comments, blank lines, letter case, missing final line end
    EXPECT_EQ(fs::last_write_time(path), writeTime);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.file("")), fs::directory_iterator()), 1);

    // The keys were found whatever their letter case: these are the file's values, not the defaults.
    AppSettings expected;
    expected.displays.temperature = {255, 16777215, -48, "Courier New", 1, 700};
    expected.displays.humidity = {4294967295u, 0, 72, "Times New Roman", 0, 400};
    expected.portNumber = 3;
    expected.windowRect = {-5, 50, 595, 450};
    expected.topmost = true;
    expected.showInfoAtStart = false;
    RecordingSettings& r = expected.recording;
    r.textFileName = "C:\\Pomiary\\wilgotno\x9c\xe6.csv";
    r.binaryFileName = "C:\\Pomiary\\wilgotno\x9c\xe6.hxg";
    r.textEnabled = r.binaryEnabled = 1;
    r.separator = Semicolon;
    r.intervalSeconds = 10;
    r.recordTemperature = 1;
    r.recordHumidity = 0;
    r.commentEnabled = r.commentSerialNumber = 1;
    EXPECT_EQ(describe(loaded), describe(expected));
}

TEST(SettingsKeysSession, ChangedValueKeepsTheFilesLetterCaseAndEverythingElse) {
    TempDir dir;
    const std::string path = copyFixture(dir, "app_unchanged.ini");
    std::string expected = readBytes(path);
    runSession(path, [](AppSettings& s) { s.portNumber = 4; });
    // Only the one value changes. Because the whole file is written, comment lines gain "=" (the whole line is
    // their key) and the last line gains its line end.
    expected.replace(expected.find("port_nr=3"), 9, "port_nr=4");
    expected.replace(expected.find("by hand"), 7, "by hand=");
    expected.replace(expected.find("0x00BBGGRR"), 10, "0x00BBGGRR=");
    expected += "\r\n";
    EXPECT_EQ(readBytes(path), expected);
}

// A key beyond the 29 is written once the user has set it, and from then on at every exit, also when set back to
// its default; until then the file keeps its bytes. The alarm keys are one group, written as a whole section.
TEST(SettingsKeysSession, OptionalKeyIsWrittenOnlyOnceSet) {
    TempDir dir;
    const std::string path = dir.file(kSettingsFileName);
    const std::string firstRun = kFirstRunFile;
    const std::string comma = firstRun + "FILE_DECIMAL_COMMA=0\r\n";
    const auto alarms = [](const char* enabled, const char* high, const char* sound) {
        return std::string("[ALARM]\r\nENABLED=") + enabled + "\r\nTEMP_LOW=\r\nTEMP_HIGH=" + high +
               "\r\nRH_LOW=\r\nRH_HIGH=\r\nDELAY=60\r\nHYSTERESIS=0.5\r\nLINK_MINUTES=0\r\nSOUND=" + sound +
               "\r\nACTION=\r\nEVENT_FILE=\r\nBACKGROUND_ALARM=255\r\nTEXT_ALARM=16777215\r\n";
    };
    // What the user changes in each run, and the file afterwards.
    const std::pair<std::function<void(AppSettings&)>, std::string> runs[] = {
        {nullptr, firstRun},
        {[](AppSettings& s) { s.recording.decimalComma = false; }, firstRun},
        {[](AppSettings& s) { s.alarm = AlarmSettings{}; }, firstRun},
        {[](AppSettings& s) { s.recording.decimalComma = true; }, firstRun + "FILE_DECIMAL_COMMA=1\r\n"},
        {nullptr, firstRun + "FILE_DECIMAL_COMMA=1\r\n"},
        {[](AppSettings& s) { s.recording.decimalComma = false; }, comma},
        {[](AppSettings& s) { s.alarm.sound = true; }, comma + alarms("0", "", "1")},
        {[](AppSettings& s) { s.alarm.limits[AlarmTemperature].highTenths = 250; }, comma + alarms("0", "25.0", "1")},
        {[](AppSettings& s) { s.alarm = AlarmSettings{}; }, comma + alarms("0", "", "0")},
        {nullptr, comma + alarms("0", "", "0")},
        // The publisher's section comes once it is set up, its password as the program keeps it (encrypted).
        {[](AppSettings& s) { s.mqtt.host = "broker", s.mqtt.protectedPassword = "AQID"; },
         comma + alarms("0", "", "0") +
             "[MQTT]\r\nENABLED=0\r\nHOST=broker\r\nPORT=1883\r\nSTATION=\r\nUSER=\r\nPASSWORD=AQID\r\n"
             "KEEPALIVE=60\r\nRECORD_INTERVAL=60\r\nDISCOVERY=1\r\nTLS=0\r\n"},
    };
    for (const auto& [change, file] : runs) {
        runSession(path, change);
        EXPECT_EQ(readBytes(path), file);
    }
}

// Each file line under its section: what the settings then hold, and the line written back.
TEST(SettingsKeysValues, ReadAsTheirTypeAndHolderAllow) {
    // 34 bytes of Windows-1250 letters; single bytes, so any cut leaves whole letters.
    const std::string polish = "\xa3\xb9\x9c\xe6 \xa3\xb9\x9c\xe6 \xa3\xb9\x9c\xe6 \xa3\xb9\x9c\xe6 \xa3\xb9\x9c\xe6 "
                               "\xa3\xb9\x9c\xe6 \xa3\xb9\x9c\xe6";
    const std::string longName = "C:\\Pomiary\\ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.csv";
    const std::tuple<const char*, std::string, std::string, std::string> cases[] = {
        {"TEMP", "FONT_ITALIC_TEMP=257", "italic 1,", "FONT_ITALIC_TEMP=1"},
        {"TEMP", "FONT_ITALIC_TEMP=255", "italic 255,", "FONT_ITALIC_TEMP=255"},
        {"TEMP", "FONT_ITALIC_TEMP=-1", "italic 255,", "FONT_ITALIC_TEMP=255"},
        {"TEMP", "FONT_NAME_TEMP=ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcd", "name 'ABCDEFGHIJKLMNOPQRSTUVWXYZ01234'",
         "FONT_NAME_TEMP=ABCDEFGHIJKLMNOPQRSTUVWXYZ01234"},
        {"TEMP", "FONT_NAME_TEMP=" + polish, "name '" + polish.substr(0, 31) + "'",
         "FONT_NAME_TEMP=" + polish.substr(0, 31)},
        {"TEMP", "BACKGROUND_TEMP=4294967295", "background 4294967295,", "BACKGROUND_TEMP=4294967295"},
        {"LOG", "FILE_INTERVAL=-5", "interval -5,", "FILE_INTERVAL=-5"}, // no range check
        {"LOG", "OTHER=1", "interval 60,", "FILE_INTERVAL=60"},          // absent: the table's default
        {"GENERAL", "PORT_NR=12abc", "port 12,", "PORT_NR=12"},
        {"LOG", "FILE_NAME=" + longName, "text '" + longName + "'", "FILE_NAME=" + longName}, // only face names are cut
        {"LOG", "FILE_DECIMAL_COMMA=2", "decimal comma 1", "FILE_DECIMAL_COMMA=1"},
        // The alarm keys read as the alarm settings read them, the swap of crossed limits included.
        {"ALARM", "TEMP_LOW=30\r\nTEMP_HIGH=20", "TEMP_LOW=20.0 TEMP_HIGH=30.0 ", "TEMP_LOW=20.0"},
        // The mail keys of a hand-edited file: words in any case, a time with one digit, values out of range.
        {"MAIL", "SECURITY= tls \r\nDAILY_AT=7:05", "SECURITY=TLS ", "DAILY_AT=07:05"},
        {"MAIL", "PORT=0\r\nSECURITY=SSL\r\nDAILY_AT=24:00\r\nREMINDER_MINUTES=99999", "PORT=1 SECURITY=STARTTLS ",
         "DAILY_AT=\r\nREMINDER_MINUTES=1440"},
        // A window off the screen is held as read and pulled back onto the screen only when written.
        {"GENERAL", "WINDOW_LEFT=1500\r\nWINDOW_RIGHT=2100\r\nWINDOW_TOP=-40\r\nWINDOW_BOTTOM=400",
         "window 1500 -40 2100 400,", "WINDOW_LEFT=1320\r\nWINDOW_RIGHT=1920\r\nWINDOW_TOP=0\r\nWINDOW_BOTTOM=440"},
    };
    for (const auto& [section, fileLine, shown, writtenBack] : cases) {
        TempDir dir;
        const std::string path = dir.file(kSettingsFileName);
        writeBytes(path, std::string("[") + section + "]\r\n" + fileLine + "\r\n");
        EXPECT_NE(describe(runSession(path)).find(shown), std::string::npos) << fileLine;
        EXPECT_NE(readBytes(path).find(writtenBack + "\r\n"), std::string::npos) << fileLine;
    }
}

TEST(SettingsKeysWindowRect, IsPulledBackOntoTheScreenInOrder) {
    // {left, top, right, bottom} on a 1920 x 1080 screen
    const std::tuple<const char*, WindowRect, std::array<int, 4>> cases[] = {
        {"inside", {100, 100, 700, 500}, {100, 100, 700, 500}},
        {"off the right edge moves left", {1500, 100, 2100, 400}, {1320, 100, 1920, 400}},
        {"right edge 10 over is kept", {1500, 100, 1930, 400}, {1500, 100, 1930, 400}},
        {"right edge 11 over moves", {1500, 100, 1931, 400}, {1489, 100, 1920, 400}},
        {"off the bottom moves up", {100, 900, 700, 1300}, {100, 680, 700, 1080}},
        {"bottom 10 over is kept", {100, 900, 700, 1090}, {100, 900, 700, 1090}},
        {"bottom 11 over moves", {100, 900, 700, 1091}, {100, 889, 700, 1080}},
        {"above the top moves down", {100, -40, 700, 400}, {100, 0, 700, 440}},
        {"top 10 above is kept", {100, -10, 700, 400}, {100, -10, 700, 400}},
        {"top 11 above moves", {100, -11, 700, 400}, {100, 0, 700, 411}},
        {"left 10 over is kept", {-10, 100, 590, 500}, {-10, 100, 590, 500}},
        {"left of the screen moves right", {-11, 100, 595, 500}, {0, 100, 606, 500}},
        {"a monitor left of the primary keeps the size", {-1600, 100, -1000, 500}, {0, 100, 600, 500}},
        {"wider than the screen: moved, keeps its size", {100, 100, 3000, 500}, {0, 100, 2900, 500}},
        {"taller than the screen: moved, keeps its size", {100, 100, 700, 2000}, {100, 0, 700, 1900}},
        // INT_MIN + (1920 - INT_MAX) taken modulo 2^32, as 32-bit arithmetic would, instead of overflowing.
        {"extreme values from the file wrap", {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {1921, 1081, 1920, 1080}},
    };
    for (const auto& [name, in, out] : cases) {
        const WindowRect r = correctWindowRect(in, kScreenWidth, kScreenHeight);
        EXPECT_EQ((std::array<int, 4>{r.left, r.top, r.right, r.bottom}), out) << name;
    }
}
