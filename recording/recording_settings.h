#pragma once

#include <string>

enum ColumnSeparator : int { Tab = 0, Comma = 1, Semicolon = 2 };

// The recording options, persisted in section LOG. File names and the comment are Windows-1250 bytes on every
// system, as the settings file holds them; the recording settings dialog refuses names that the code page lacks.
struct RecordingSettings {
    int textEnabled = 0;
    std::string textFileName;
    int binaryEnabled = 0;
    std::string binaryFileName;
    int separator = Tab;
    int intervalSeconds = 60;
    int recordTemperature = 1;
    int recordHumidity = 1;
    int commentEnabled = 0;
    int commentSerialNumber = 0;
    std::string commentText;   // not stored; lines separated by CR LF
    bool decimalComma = false; // numbers in the text file with "," (tab and semicolon separators only)
};

// The interval of a program that runs without its settings file (one that cannot be opened): the window's own.
constexpr int kIntervalWithoutSettingsFile = 1;

constexpr int kMinIntervalSeconds = 1;
constexpr int kMaxIntervalSeconds = 86399; // 23:59:59, the largest the interval picker shows

// A hand-edited settings file may hold any number; 0 would make the timer fire every few milliseconds.
constexpr int clampedIntervalSeconds(int seconds) {
    return seconds < kMinIntervalSeconds ? kMinIntervalSeconds
                                         : (seconds > kMaxIntervalSeconds ? kMaxIntervalSeconds : seconds);
}
