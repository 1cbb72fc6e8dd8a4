#include "alarm/alarm_action.h"
#include "alarm/alarm_dispatch.h"
#include "alarm/alarm_event_log.h"
#include "alarm/alarm_fields.h"
#include "alarm/alarm_monitor.h"
#include "alarm/alarm_texts.h"
#include "app/settings_keys.h"
#include "base/cp1250.h"
#include "tests/core/memory_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <tuple>

namespace {

// The entry of a key of section ALARM.
const SettingEntry<AppSettings>& alarmEntry(const std::string& key) {
    for (const SettingEntry<AppSettings>& entry : settingsTable()) {
        if (entry.section == std::string(kAlarmSection) && key == entry.key)
            return entry;
    }
    throw std::invalid_argument(key);
}

// "ENABLED=1 TEMP_HIGH=25" read over `settings`, as the settings file would give the keys.
AlarmSettings withKeys(AlarmSettings settings, const std::string& keys) {
    AppSettings app;
    app.alarm = settings;
    std::istringstream words(keys);
    for (std::string word; words >> word;) {
        const std::size_t equals = word.find('=');
        const std::string text = word.substr(equals + 1);
        alarmEntry(word.substr(0, equals)).read(app, &text);
    }
    boundAlarmSettings(app.alarm);
    return app.alarm;
}

// 2024.03.05 14:00:00 plus `seconds` (within the day).
LocalTime localAt(int seconds) {
    const int t = 14 * 3600 + seconds;
    return {2024, 3, 5, t / 3600, t % 3600 / 60, t % 60};
}

// One input: "T25.3 H45.0" a good line (the values computed as the decoder does, tenths times 0.1), "T~24.0" a
// flagged value, "bad" a bad line or a watchdog expiry, "tick", "ack", "set KEY=value ...".
struct Step {
    int second; // on the monotonic clock
    const char* input;
    // The events as the event file has them, without the date, then the displays in alarm colours and the sound
    // ("T-S": the temperature display and the sound).
    const char* expected;
    int wallClockShift = 0; // seconds the wall clock has been set off
};

AlarmPlan apply(AlarmMonitor& monitor, const std::string& input, const AlarmClock& clock) {
    if (input == "tick")
        return monitor.onTick(clock);
    if (input == "ack")
        return monitor.acknowledge(clock);
    if (input.compare(0, 4, "set ") == 0)
        return monitor.applySettings(withKeys(monitor.settings(), input.substr(4)), clock);
    AlarmReading reading;
    reading.lineGood = input != "bad";
    std::istringstream words(input);
    for (std::string word; reading.lineGood && words >> word;) {
        QuantityReading& quantity = reading.quantity[word[0] == 'T' ? AlarmTemperature : AlarmHumidity];
        quantity.noData = false;
        quantity.flagged = word[1] == '~';
        quantity.rawValue = *parseTenths(word.substr(quantity.flagged ? 2 : 1)) * 0.1;
    }
    return monitor.onReading(reading, clock);
}

std::string render(const AlarmPlan& plan) {
    std::string out;
    for (const AlarmEvent& event : plan.events) {
        const std::string line = cp1250ToUtf8(alarmEventLine(event, ';'));
        out += line.substr(11, line.size() - 13) + " | ";
    }
    return out + (plan.alarmColours[AlarmTemperature] ? "T" : "-") + (plan.alarmColours[AlarmHumidity] ? "H" : "-") +
           (plan.sound ? "S" : "-");
}

AlarmPlan run(AlarmMonitor& monitor, const std::vector<Step>& steps) {
    AlarmPlan plan;
    for (const Step& step : steps) {
        plan = apply(monitor, step.input, {step.second * 1000LL, localAt(step.second + step.wallClockShift)});
        EXPECT_EQ(render(plan), step.expected) << "at " << step.second << " s: " << step.input;
    }
    return plan;
}

AlarmPlan run(const std::string& keys, const std::vector<Step>& steps) {
    AlarmMonitor monitor(withKeys({}, keys));
    return run(monitor, steps);
}

TEST(AlarmMonitor, StartsOnceTheValueStayedBeyondTheLimitForTheDelay) {
    run("ENABLED=1 TEMP_HIGH=25.2 DELAY=10",
        {
            {0, "T25.2 H45.0", "---"}, // at the limit is not above it, though 252 x 0.1 is a little above 25.2
            {1, "T25.3 H45.0", "---"},
            {6, "T25.2", "---"}, // back at the limit: the delay starts again
            {7, "T25.4", "---"},
            {16, "T25.6", "---"},
            {17, "T25.5", "14:00:17;początek;temperatura powyżej;25.2;25.6;00:00:10 | T--"},
            {18, "T25.3", "T--"},
        });
}

TEST(AlarmMonitor, EndsOnceBackInsideByTheHysteresis) {
    run("ENABLED=1 TEMP_LOW=18 TEMP_HIGH=25 DELAY=0 HYSTERESIS=0.5",
        {
            {0, "T25.5", "14:00:00;początek;temperatura powyżej;25.0;25.5;00:00:00 | T--"},
            {5, "T26.1", "T--"},
            {10, "T24.6", "T--"},
            {15, "T24.5", "14:00:15;koniec;temperatura powyżej;25.0;26.1;00:00:15 | ---"},
            {19, "T18.0", "---"}, // at the lower limit is not below it
            {20, "T17.9", "14:00:20;początek;temperatura poniżej;18.0;17.9;00:00:00 | T--"},
            {25, "T18.4", "T--"},
            {30, "T18.5", "14:00:30;koniec;temperatura poniżej;18.0;17.9;00:00:10 | ---"},
        });
}

TEST(AlarmMonitor, AValuePastBothLimitsEndsOneAlarmBeforeStartingTheOther) {
    // A hysteresis wider than the gap between the limits: the upper alarm ends when the lower one begins.
    run("ENABLED=1 RH_LOW=40 RH_HIGH=41 DELAY=0 HYSTERESIS=2",
        {
            {0, "H41.5", "14:00:00;początek;wilgotność powyżej;41.0;41.5;00:00:00 | -H-"},
            {1, "H39.9",
             "14:00:01;koniec;wilgotność powyżej;41.0;41.5;00:00:01 | "
             "14:00:01;początek;wilgotność poniżej;40.0;39.9;00:00:00 | -H-"},
        });
}

TEST(AlarmMonitor, FlaggedValuesNeitherStartNorEndNorBreakTheDelay) {
    run("ENABLED=1 TEMP_HIGH=25 DELAY=10",
        {
            {0, "T25.5", "---"},
            {5, "T~24.0", "---"},
            {10, "T~26.0", "---"},
            {11, "T25.3", "14:00:11;początek;temperatura powyżej;25.0;25.5;00:00:11 | T--"},
            {12, "T~20.0", "T--"},
            {13, "bad", "T--"},
            {14, "T24.0", "14:00:14;koniec;temperatura powyżej;25.0;25.5;00:00:14 | ---"},
        });
}

TEST(AlarmMonitor, LinkAlarmAfterTheMinutesWithoutAValidReading) {
    run("ENABLED=1 LINK_MINUTES=1 SOUND=1",
        {
            {0, "bad", "---"}, // the first input: the minutes count from here
            {59, "tick", "---"},
            {60, "tick", "14:01:00;początek;brak prawidłowego pomiaru;1;;00:01:00 | THS"},
            {70, "T~23.0 H~45.0", "THS"}, // a good line of flagged values only is no reading
            {75, "T23.0", "14:01:15;koniec;brak prawidłowego pomiaru;1;;00:01:15 | ---"},
            {134, "bad", "---"},
            {135, "bad", "14:02:15;początek;brak prawidłowego pomiaru;1;;00:01:00 | THS"},
        });
    // Before any input there is no time to count from: the minutes run from the first one, a tick included.
    run("ENABLED=1 LINK_MINUTES=1", {
                                        {30, "tick", "---"},
                                        {89, "tick", "---"},
                                        {90, "tick", "14:01:30;początek;brak prawidłowego pomiaru;1;;00:01:00 | TH-"},
                                    });
}

TEST(AlarmMonitor, AcknowledgingStopsTheSoundButNotTheAlarm) {
    run("ENABLED=1 TEMP_HIGH=25 DELAY=0 SOUND=1",
        {
            {0, "ack", "---"},
            {1, "T25.5", "14:00:01;początek;temperatura powyżej;25.0;25.5;00:00:00 | T-S"},
            {2, "ack", "14:00:02;potwierdzenie;temperatura powyżej;25.0;25.5;00:00:01 | T--"},
            {3, "ack", "T--"},
            {4, "T26.0", "T--"},
            {5, "T24.0", "14:00:05;koniec;temperatura powyżej;25.0;26.0;00:00:04 | ---"},
            {6, "T25.1", "14:00:06;początek;temperatura powyżej;25.0;25.1;00:00:00 | T-S"},
        });
    // Without a sound there is still an alarm to acknowledge.
    const AlarmPlan quiet = run("ENABLED=1 TEMP_HIGH=25 DELAY=0",
                                {
                                    {1, "T25.5", "14:00:01;początek;temperatura powyżej;25.0;25.5;00:00:00 | T--"},
                                    {2, "ack", "14:00:02;potwierdzenie;temperatura powyżej;25.0;25.5;00:00:01 | T--"},
                                });
    EXPECT_FALSE(quiet.acknowledgeable);
    EXPECT_EQ(quiet.status, "ALARM (potwierdzony): temperatura powyżej 25.0 °C od 14:00. ");
}

TEST(AlarmMonitor, DelayAndDurationRunOnTheMonotonicClockWhenTheWallClockSteps) {
    const AlarmPlan plan =
        run("ENABLED=1 TEMP_HIGH=25 DELAY=60",
            {
                {0, "T25.5", "---"},
                {30, "T25.5", "---", -3600},
                {60, "T25.5", "13:01:00;początek;temperatura powyżej;25.0;25.5;00:01:00 | T--", -3600},
            });
    EXPECT_EQ(plan.status, "ALARM: temperatura powyżej 25.0 °C od 14:00. ");
}

// A delay that runs when its limit changes starts again; other settings leave it running.
TEST(AlarmMonitor, NewSettingsEndOrRestartOnlyWhatTheyChange) {
    run("ENABLED=1 TEMP_HIGH=25 DELAY=10",
        {
            {0, "T25.5", "---"},
            {5, "set SOUND=1", "---"},
            {10, "T25.5", "14:00:10;początek;temperatura powyżej;25.0;25.5;00:00:10 | T-S"},
        });
    run("ENABLED=1 TEMP_HIGH=25 DELAY=10",
        {
            {0, "T25.5", "---"},
            {5, "set TEMP_HIGH=25.2", "---"},
            {10, "T25.5", "---"},
            {20, "T25.5", "14:00:20;początek;temperatura powyżej;25.2;25.5;00:00:10 | T--"},
        });
    run("ENABLED=1 TEMP_HIGH=25 DELAY=0",
        {
            {0, "T25.5", "14:00:00;początek;temperatura powyżej;25.0;25.5;00:00:00 | T--"},
            {1, "set SOUND=1 HYSTERESIS=1", "T-S"},
            {2, "set TEMP_HIGH=26", "14:00:02;koniec;temperatura powyżej;25.0;25.5;00:00:02 | ---"},
            {3, "T26.5", "14:00:03;początek;temperatura powyżej;26.0;26.5;00:00:00 | T-S"},
            {4, "set ENABLED=0", "14:00:04;koniec;temperatura powyżej;26.0;26.5;00:00:01 | ---"},
            {5, "T30.0", "---"},
        });
}

TEST(AlarmMonitor, SeveralAlarmsAtOnceAreAllSaid) {
    const AlarmPlan plan =
        run("ENABLED=1 TEMP_HIGH=25 RH_LOW=30 LINK_MINUTES=1 DELAY=0",
            {
                {0, "T25.5 H45.0", "14:00:00;początek;temperatura powyżej;25.0;25.5;00:00:00 | T--"},
                {120, "T25.5 H29.0", "14:02:00;początek;wilgotność poniżej;30.0;29.0;00:00:00 | TH-"},
                {180, "tick", "14:03:00;początek;brak prawidłowego pomiaru;1;;00:01:00 | TH-"},
            });
    EXPECT_EQ(plan.status, "ALARM: temperatura powyżej 25.0 °C od 14:00. ALARM: wilgotność poniżej 30.0 % od 14:02. "
                           "ALARM: brak prawidłowego pomiaru od 14:02. ");
    EXPECT_EQ(plan.dde[AlarmTemperature], "ALARM: temperatura powy\xBF"
                                          "ej 25.0 \xB0"
                                          "C od 14:00. ALARM: brak prawid\xB3owego pomiaru od 14:02.");
    EXPECT_EQ(plan.dde[AlarmHumidity], "ALARM: wilgotno\x9C\xE6 poni\xBF"
                                       "ej 30.0 % od 14:02. ALARM: brak prawid\xB3owego pomiaru od 14:02.");
    EXPECT_EQ(AlarmMonitor().onTick({}).dde[AlarmHumidity], "OK");
}

// Each key's text as the file has it, and the text written back.
TEST(AlarmSettings, KeyTextsReadLenientlyWithinBounds) {
    const std::tuple<const char*, std::string, const char*> cases[] = {
        {"ENABLED", "1", "1"},
        {"ENABLED", "7", "1"},
        {"ENABLED", "yes", "0"},
        {"TEMP_HIGH", "25", "25.0"},
        {"TEMP_HIGH", " 25.25 ", "25.3"},
        {"TEMP_HIGH", "25,24", "25.2"},
        {"TEMP_LOW", "-0.05", "-0.1"},
        {"TEMP_LOW", ".5", "0.5"},
        {"RH_LOW", "5.", "5.0"},
        {"RH_HIGH", "", ""},
        {"RH_HIGH", "1e3", ""},
        {"RH_HIGH", "10000", ""},
        {"RH_HIGH", "-9999.94", "-9999.9"},
        {"DELAY", "-5", "0"},
        {"DELAY", "99999999999999999999999", "86400"},
        {"DELAY", "5 s", "60"},
        {"HYSTERESIS", "-1", "0.0"},
        {"HYSTERESIS", "500", "100.0"},
        {"HYSTERESIS", "x", "0.5"},
        {"LINK_MINUTES", "15", "15"},
        {"LINK_MINUTES", "20000", "10080"},
        {"SOUND", "1", "1"},
        {"ACTION", "C:\\Skrypty\\alarm sms.cmd", "C:\\Skrypty\\alarm sms.cmd"},
        {"EVENT_FILE", std::string("zdarzenia.csv\0x", 15), "zdarzenia.csv"},
        {"BACKGROUND_ALARM", "4294967295", "4294967295"},
        {"TEXT_ALARM", "-1", "4294967295"},
        {"TEXT_ALARM", "", "16777215"}};
    for (const auto& [key, text, read] : cases) {
        const SettingEntry<AppSettings>& entry = alarmEntry(key);
        AppSettings settings;
        entry.read(settings, &text);
        EXPECT_EQ(entry.text(settings, nullptr), read) << key << "=" << text;
        // What is written reads back the same, and only a value other than the default's makes the section.
        EXPECT_EQ(entry.holdsDefault(settings), entry.text(settings, nullptr) == entry.text(AppSettings(), nullptr))
            << key << "=" << text;
        AppSettings again;
        const std::string written = read;
        entry.read(again, &written);
        EXPECT_EQ(entry.text(again, nullptr), read) << key;
    }
}

TEST(AlarmTexts, StatusPiecesWithAcknowledgementAndAnOnsetOnAnotherDay) {
    const std::vector<ActiveAlarm> active = {
        {AlarmKind::TemperatureBelow, -35, true, {2024, 3, 5, 8, 5, 59}},
        {AlarmKind::HumidityAbove, 605, false, {2024, 3, 4, 23, 59, 0}},
        {AlarmKind::Link, 15, false, {2023, 3, 5, 9, 0, 0}},
    };
    EXPECT_EQ(alarmStatusText(active, {2024, 3, 5, 9, 0, 0}),
              "ALARM (potwierdzony): temperatura poniżej -3.5 °C od 08:05. "
              "ALARM: wilgotność powyżej 60.5 % od 2024.03.04 23:59. "
              "ALARM: brak prawidłowego pomiaru od 2023.03.05 09:00. ");
    EXPECT_EQ(alarmStatusText({}, {}), "");
}

TEST(AlarmTexts, EventFileGoldenBytes) {
    EXPECT_EQ(alarmEventHeader('\t'),
              "Data i Godzina\tZdarzenie\tAlarm\tGranica\tWarto\x9C\xE6 skrajna\tCzas trwania\r\n");
    AlarmEvent event{AlarmEventType::End, AlarmKind::TemperatureBelow, -30, -3.47,
                     360000000 + 61999,   {2024, 3, 5, 14, 7, 9}};
    EXPECT_EQ(alarmEventLine(event, ','), "2024.03.05 14:07:09,koniec,temperatura poni\xBF"
                                          "ej,-3.0,-3.4,100:01:01\r\n");
    event = {AlarmEventType::Start, AlarmKind::HumidityAbove, 600, 60.19, 10000, {2024, 12, 31, 0, 0, 0}};
    EXPECT_EQ(alarmEventLine(event, ';'), "2024.12.31 00:00:00;pocz\xB9tek;wilgotno\x9C\xE6 powy\xBF"
                                          "ej;60.0;60.1;00:00:10\r\n");
}

TEST(AlarmTexts, ActionArgumentsForStartAndEndOnly) {
    using Args = std::vector<std::string>;
    AlarmEvent event{AlarmEventType::Start, AlarmKind::TemperatureAbove, 250, 25.47, 0, {2024, 3, 5, 14, 7, 9}};
    EXPECT_EQ(alarmActionArguments(event), (Args{"start", "temperature", "25.0", "25.4", "2024.03.05 14:07:09"}));
    event = {AlarmEventType::End, AlarmKind::Link, 15, 0, 3599999, {2024, 3, 5, 15, 0, 0}};
    EXPECT_EQ(alarmActionArguments(event), (Args{"end", "link", "15", "59", "2024.03.05 15:00:00"}));
    event.type = AlarmEventType::Acknowledged;
    EXPECT_EQ(alarmActionArguments(event), Args{});
    EXPECT_EQ(alarmProblemText(true, FileProblem::WriteFailed),
              "Nie można uruchomić programu alarmowego. Błąd zapisu do pliku zdarzeń alarmowych. ");
}

TEST(AlarmAction, CommandLineGivesBackEachArgumentUnchanged) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"start", "temperature", "25.0", "25.4", "2024.03.05 14:07:09"},
         R"("C:\Program Files\sms.exe" start temperature 25.0 25.4 "2024.03.05 14:07:09")"},
        {{""}, R"("C:\Program Files\sms.exe" "")"},
        {{R"(say "hi")"}, R"("C:\Program Files\sms.exe" "say \"hi\"")"},
        {{R"(a\\b)", R"(a\"b)", R"(C:\a b\)", R"(C:\ab\)"},
         R"("C:\Program Files\sms.exe" a\\b "a\\\"b" "C:\a b\\" C:\ab\)"},
        {{"tab\there", "\"", "\\\\\""}, "\"C:\\Program Files\\sms.exe\" \"tab\there\" \"\\\"\" \"\\\\\\\\\\\"\""},
    };
    for (const auto& [arguments, line] : cases)
        EXPECT_EQ(commandLine(R"(C:\Program Files\sms.exe)", arguments), line);
}

TEST(AlarmAction, OnlyFullPathsAreStarted) {
    const std::pair<const char*, bool> cases[] = {{R"(C:\Skrypty\alarm.cmd)", true},
                                                  {"d:/alarm.exe", true},
                                                  {R"(\\serwer\udzial\sms.exe)", true},
                                                  {"alarm.exe", false},
                                                  {R"(.\alarm.exe)", false},
                                                  {R"(Skrypty\alarm.exe)", false},
                                                  {"C:alarm.exe", false},
                                                  {R"(\alarm.exe)", false},
                                                  {R"(C:\Skrypty\)", false},
                                                  {R"(\\serwer\udzial)", false},
                                                  {R"(\\serwer\\sms.exe)", false},
                                                  {R"(\\.\COM1\x)", false},
                                                  {R"(\\?\C:\alarm.exe)", false},
                                                  {R"(C:\a"b.exe)", false},
                                                  {R"(C:\alarm.exe:strumien)", false},
                                                  {"", false}};
    for (const auto& [path, full] : cases)
        EXPECT_EQ(isFullProgramPath(path), full) << path;
    // Regression: a program in a drive's root started in "C:", the drive's current folder, not in its root.
    const std::pair<const char*, const char*> folders[] = {
        {R"(C:\alarm.exe)", R"(C:\)"},
        {R"(C:\Skrypty\alarm.cmd)", R"(C:\Skrypty)"},
        {"d:/alarm.exe", "d:/"},
        {R"(\\serwer\udzial\sms.exe)", R"(\\serwer\udzial\)"},
        {R"(\\serwer\udzial\sms\sms.exe)", R"(\\serwer\udzial\sms)"}};
    for (const auto& [path, folder] : folders)
        EXPECT_EQ(programFolder(path), folder) << path;
}

TEST(AlarmFields, WhatTheDialogKeepsOrRefuses) {
    // The key, what was typed, the key's text afterwards and the start of the refusal (empty when taken).
    const std::tuple<AlarmKey, std::string, const char*, std::string> cases[] = {
        {AlarmKey::TemperatureHigh, " 25,46 ", "25.5", ""},
        {AlarmKey::TemperatureHigh, "", "", ""},
        {AlarmKey::TemperatureHigh, "-9999.9", "-9999.9", ""},
        {AlarmKey::TemperatureHigh, "abc", "30.0", "Granica musi być liczbą"},
        {AlarmKey::HumidityLow, "10000", "", "Granica musi być liczbą"}, // the file would read it as no limit
        {AlarmKey::Delay, "0", "0", ""},
        {AlarmKey::Delay, "86401", "60", "Opóźnienie musi być"}, // the file would bring it to 86400
        {AlarmKey::Delay, "1.5", "60", "Opóźnienie musi być"},
        {AlarmKey::Hysteresis, "0,2", "0.2", ""},
        {AlarmKey::Hysteresis, "-0.1", "0.5", "Histereza musi być"},
        {AlarmKey::Hysteresis, "", "0.5", "Histereza musi być"},
        {AlarmKey::LinkMinutes, "10080", "10080", ""},
        {AlarmKey::LinkMinutes, "10081", "0", "Czas bez prawidłowego pomiaru"},
        {AlarmKey::Action, R"(C:\Alarmy\sms.exe)", R"(C:\Alarmy\sms.exe)", ""},
        {AlarmKey::Action, "", "", ""},
        {AlarmKey::Action, "sms.exe", "", "Program alarmowy trzeba podać pełną ścieżką"},
        {AlarmKey::Action, R"(C:\a;b.exe)", "", "Nazwa pliku zawiera średnik"},
        {AlarmKey::Action, R"(C:\Alarmy\ñ.exe)", "", "Nazwa pliku zawiera znaki"},
        {AlarmKey::EventFile, "zdarzenia_ćw.csv", "zdarzenia_ćw.csv", ""},
        {AlarmKey::EventFile, "zdarzenia;1.csv", "", "Nazwa pliku zawiera średnik"},
    };
    for (const auto& [key, typed, kept, refusal] : cases) {
        AlarmSettings settings = withKeys({}, "TEMP_HIGH=30");
        const std::string said = takeAlarmField(settings, key, typed);
        EXPECT_EQ(alarmFieldText(settings, key), kept) << static_cast<int>(key) << " " << typed;
        EXPECT_EQ(said.substr(0, refusal.size()), refusal) << static_cast<int>(key) << " " << typed;
        EXPECT_EQ(said.empty(), refusal.empty()) << static_cast<int>(key) << " " << typed;
    }
    EXPECT_EQ(alarmFieldText(withKeys({}, "EVENT_FILE=\x9C.csv"), AlarmKey::EventFile), "ś.csv");

    AlarmKey key = AlarmKey::Delay;
    EXPECT_EQ(checkAlarmLimits(withKeys({}, "TEMP_LOW=20 TEMP_HIGH=20 RH_LOW=30"), key), "");
    AlarmSettings crossed = withKeys({}, "RH_HIGH=30");
    takeAlarmField(crossed, AlarmKey::HumidityLow, "40");
    EXPECT_EQ(checkAlarmLimits(crossed, key), "Dolna granica wilgotności jest większa od górnej.");
    EXPECT_EQ(key, AlarmKey::HumidityLow);
}

TEST(AlarmFields, ARelativeEventFileLiesBesideTheProgram) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"zdarzenia.csv", R"(C:\HX350\HX350.exe)", R"(C:\HX350\zdarzenia.csv)"},
        {R"(alarmy\z.csv)", R"(\\serwer\hx\HX350.exe)", R"(\\serwer\hx\alarmy\z.csv)"},
        {R"(D:\z.csv)", R"(C:\HX350\HX350.exe)", R"(D:\z.csv)"},
        {R"(\\serwer\udzial\z.csv)", R"(C:\HX350\HX350.exe)", R"(\\serwer\udzial\z.csv)"},
        {"C:z.csv", R"(C:\HX350\HX350.exe)", "C:z.csv"},
        {"z.csv", "HX350.exe", "z.csv"},
        {"", R"(C:\HX350\HX350.exe)", ""},
    };
    for (const auto& [name, program, path] : cases)
        EXPECT_EQ(eventFilePath(name, program), path) << name;
}

std::string tabs(std::string text) {
    std::replace(text.begin(), text.end(), ';', '\t');
    return text;
}

// Each step: an input ("open" z.csv, "rename" to y.csv, "event", "flood", "tick", "offline", "online", "fail", "mend",
// "noflush", "flush"), then the files' bytes (UTF-8, as Windows-1250 text) and the problem the status line says.
TEST(AlarmEventLog, EveryEventReachesTheFileOnceItCanBeWritten) {
    const std::string header = "Data i Godzina;Zdarzenie;Alarm;Granica;Wartość skrajna;Czas trwania\r\n";
    const std::string start = "2024.03.05 14:00:03;początek;temperatura powyżej;25.0;26.0;00:00:03\r\n";
    const std::string old = "2024.01.01 10:00:00;koniec;wilgotność poniżej;30.0;20.0;00:10:00\r\n";
    // The flood: events a second apart in duration, of which the newest thousand wait.
    std::vector<AlarmEvent> flood(
        AlarmEventLog::kMaxWaiting + 1,
        {AlarmEventType::Start, AlarmKind::TemperatureAbove, 250, 26.0, 0, {2024, 3, 5, 14, 0, 3}});
    std::string thousand;
    for (std::size_t i = 0; i < flood.size(); ++i) {
        flood[i].durationMs = static_cast<std::int64_t>(i) * 1000;
        if (i > 0)
            thousand += cp1250ToUtf8(alarmEventLine(flood[i], ';'));
    }
    const struct {
        const char* name;
        std::string before; // the file at the start; "-" when it does not exist
        std::vector<std::tuple<const char*, std::string, FileProblem>> steps;
    } cases[] = {
        {"a new file gets the header with its first event",
         "-",
         {{"open", "", FileProblem::None}, {"event", header + start, FileProblem::None}}},
        {"an empty one too", "", {{"open", "", FileProblem::None}, {"event", header + start, FileProblem::None}}},
        {"a continued file's torn tail is closed off at once",
         header + old + "2024.01.01 10:00:01;pocz" + std::string(3, '\0'),
         {{"open", header + old + "2024.01.01 10:00:01;pocz\r\n", FileProblem::None},
          {"event", header + old + "2024.01.01 10:00:01;pocz\r\n" + start, FileProblem::None}}},
        {"an unavailable file is said, and the events wait for it",
         "-",
         {{"offline", "-", FileProblem::None},
          {"open", "-", FileProblem::Unavailable},
          {"event", "-", FileProblem::Unavailable},
          {"tick", "-", FileProblem::Unavailable},
          {"online", "-", FileProblem::Unavailable},
          {"tick", header + start, FileProblem::None},
          {"tick", header + start, FileProblem::None}}},
        {"a failed write leaves nothing behind and is tried again",
         header + old,
         {{"open", header + old, FileProblem::None},
          {"fail", header + old, FileProblem::None},
          {"event", header + old, FileProblem::WriteFailed},
          {"tick", header + old, FileProblem::WriteFailed},
          {"mend", header + old, FileProblem::WriteFailed},
          {"tick", header + old + start, FileProblem::None},
          {"event", header + old + start + start, FileProblem::None},
          {"tick", header + old + start + start, FileProblem::None}}},
        {"at most a thousand events wait for the file",
         "-",
         {{"offline", "-", FileProblem::None},
          {"open", "-", FileProblem::Unavailable},
          {"flood", "-", FileProblem::Unavailable},
          {"online", "-", FileProblem::Unavailable},
          {"tick", header + thousand, FileProblem::None}}},
        // Regression: only a failed write was said; a flush the system refused left no trace in the status line.
        {"a refused flush is said until a flush goes through",
         header + old,
         {{"open", header + old, FileProblem::None},
          {"noflush", header + old, FileProblem::None},
          {"event", header + old + start, FileProblem::FlushFailed},
          {"tick", header + old + start, FileProblem::FlushFailed},
          {"flush", header + old + start, FileProblem::FlushFailed},
          {"event", header + old + start + start, FileProblem::None}}},
        // Regression: each line took the recording's separator of its moment, so one file mixed two.
        {"a file with a header keeps its separator",
         tabs(header + old),
         {{"open", tabs(header + old), FileProblem::None}, {"event", tabs(header + old + start), FileProblem::None}}},
        {"a new name: the events go into the new file from then on",
         "-",
         {{"open", "", FileProblem::None},
          {"event", header + start, FileProblem::None},
          {"rename", header + start + " | y.csv=", FileProblem::None},
          {"event", header + start + " | y.csv=" + header + start, FileProblem::None}}},
        {"a new name takes the events that waited for the old one",
         "-",
         {{"offline", "-", FileProblem::None},
          {"open", "-", FileProblem::Unavailable},
          {"event", "-", FileProblem::Unavailable},
          {"rename", "- | y.csv=" + header + start, FileProblem::None}}},
        {"no name: nothing is opened and nothing waits",
         "-",
         {{"event", "-", FileProblem::None}, {"open", "", FileProblem::None}, {"tick", "", FileProblem::None}}},
    };
    const AlarmEvent event{AlarmEventType::Start, AlarmKind::TemperatureAbove, 250, 26.0, 3000, {2024, 3, 5, 14, 0, 3}};
    for (const auto& c : cases) {
        MemoryFiles files;
        if (c.before != "-")
            files.files["z.csv"] = utf8ToCp1250(c.before);
        AlarmEventLog log([&files](const std::string& path, bool& existed) { return files.open(path, existed); });
        for (const auto& [input, bytes, problem] : c.steps) {
            const std::string step = input;
            if (step == "open" || step == "rename")
                log.setFile(step == "open" ? "z.csv" : "y.csv");
            else if (step == "event" || step == "flood")
                log.write(step == "event" ? std::vector<AlarmEvent>{event} : flood, ';');
            else if (step == "tick")
                log.retry();
            else if (step == "offline" || step == "online")
                step == "offline" ? (void)files.offline.insert("z.csv") : (void)files.offline.erase("z.csv");
            else if (step == "noflush" || step == "flush")
                step == "noflush" ? (void)files.failFlushes.insert("z.csv") : (void)files.failFlushes.erase("z.csv");
            else
                step == "fail" ? (void)files.failWrites.insert("z.csv") : (void)files.failWrites.erase("z.csv");
            const auto file = files.files.find("z.csv"), renamed = files.files.find("y.csv");
            EXPECT_EQ((file == files.files.end() ? "-" : cp1250ToUtf8(file->second)) +
                          (renamed == files.files.end() ? "" : " | y.csv=" + cp1250ToUtf8(renamed->second)),
                      bytes)
                << c.name << ": " << step;
            EXPECT_EQ(log.problem(), problem) << c.name << ": " << step;
        }
    }
}

// The alarms as the window carries them out: the monitor's events through the dispatch, each step's programs
// ("a.exe start": the program and its first argument; programs named "broken" cannot be started), the event file's
// lines ("H" the header, then each event's word) and the problem the status line says.
TEST(AlarmDispatch, EachEventReachesTheFileAndTheProgramItsAlarmBeganWith) {
    const struct {
        const char* name;
        std::vector<std::pair<int, std::string>> inputs;
        std::vector<const char*> expected;
    } cases[] = {
        // Regression: switching alarms on carried out the missing-reading alarm's start before the event file was
        // named, so the file got nothing but, later, an end without a start.
        {"switched on with the missing-reading alarm due: its start reaches the file",
         {{0, "bad"}, {600, "set ENABLED=1 LINK_MINUTES=5 ACTION=C:\\a.exe EVENT_FILE=z.csv"}, {601, "T23.0"}},
         {" | - | ", "a.exe start | H początek | ", "a.exe end | H początek koniec | "}},
        // Regression: the end went to the program the new settings named.
        {"an end reaches the program that heard the start, whatever the settings say by then",
         {{0, "set ENABLED=1 TEMP_HIGH=25 DELAY=0 ACTION=C:\\a.exe EVENT_FILE=z.csv"},
          {1, "T26.0"},
          {2, "set ACTION=C:\\b.exe"},
          {3, "T24.0"},
          {4, "T26.0"},
          {5, "set ACTION="},
          {6, "set ENABLED=0"}},
         {" | - | ", "a.exe start | H początek | ", " | H początek | ", "a.exe end | H początek koniec | ",
          "b.exe start | H początek koniec początek | ", " | H początek koniec początek | ",
          "b.exe end | H początek koniec początek koniec | "}},
        // Regression: "Nie można uruchomić programu alarmowego." stayed after alarms were switched off.
        {"a program that cannot start is said while it is set, and no longer once alarms are off",
         {{0, "set ENABLED=1 TEMP_HIGH=25 DELAY=0 ACTION=C:\\broken.exe"}, {1, "T26.0"}, {2, "set ENABLED=0"}},
         {" | - | ", "broken.exe start | - | Nie można uruchomić programu alarmowego. ", "broken.exe end | - | "}},
    };
    for (const auto& c : cases) {
        MemoryFiles files;
        AlarmDispatch dispatch([&files](const std::string& path, bool& existed) { return files.open(path, existed); },
                               "HX350.exe");
        AlarmMonitor monitor;
        AlarmSettings settings;
        for (std::size_t i = 0; i < c.inputs.size(); ++i) {
            const auto& [second, input] = c.inputs[i];
            const AlarmClock clock{second * 1000LL, localAt(second)};
            std::vector<ActionStart> starts;
            if (input.compare(0, 4, "set ") == 0) {
                const AlarmSettings before = settings;
                settings = withKeys(settings, input.substr(4));
                starts = dispatch.deliverSettings(monitor.applySettings(settings, clock).events, before, settings, ';');
            } else {
                starts = dispatch.deliver(apply(monitor, input, clock).events, settings, ';');
            }
            std::string seen;
            for (const ActionStart& start : starts) {
                dispatch.actionStarted(start, start.program.find("broken") == std::string::npos);
                const std::string arguments = start.commandLine.substr(start.program.size() + 3);
                seen += (seen.empty() ? "" : ", ") + start.program.substr(3) + " " +
                        arguments.substr(0, arguments.find(' '));
            }
            std::string lines;
            std::istringstream file(cp1250ToUtf8(files.files.count("z.csv") ? files.files["z.csv"] : ""));
            for (std::string line; std::getline(file, line);) {
                const std::size_t field = line.find(';') + 1;
                lines += (lines.empty() ? "" : " ") +
                         (line.rfind("Data", 0) == 0 ? "H" : line.substr(field, line.find(';', field) - field));
            }
            EXPECT_EQ(seen + " | " + (lines.empty() ? "-" : lines) + " | " + dispatch.problemText(), c.expected[i])
                << c.name << ": " << input;
        }
    }
}

} // namespace
