#pragma once

#include <string>
#include <string_view>
#include <vector>

// What the recording settings dialog decides without a window: whether a chosen file name can be kept in the
// settings, the extension that the open-file dialog's filter gives a bare name, and the interval as the picker's
// time of day.

enum class FileNameProblem { None, UnsupportedCharacters, Semicolon };

struct StorableFileName {
    FileNameProblem problem = FileNameProblem::None;
    std::string cp1250;                   // the name as the settings keep it; complete only when there is no problem
    std::vector<std::string> unsupported; // UTF-8: each character that Windows-1250 lacks, once, in order
};

// A file name typed or chosen in the dialog (UTF-8) as the settings file keeps it: Windows-1250 bytes.
StorableFileName storableFileName(std::string_view utf8);

// The message (UTF-8) that refuses a name; empty when the name can be kept.
std::string fileNameRefusalText(const StorableFileName& name);

enum class BrowsedFile { Text, Binary };

// The name chosen in the open-file dialog, with the extension of the selected filter entry (1-based, as the
// dialog counts them) appended when the dialog found none (extension offset 0).
std::string withFilterExtension(std::string name, unsigned extensionOffset, unsigned filterIndex, BrowsedFile kind);

struct PickerTime {
    int hour = 0;
    int minute = 0;
    int second = 0;
    bool operator==(const PickerTime& other) const {
        return hour == other.hour && minute == other.minute && second == other.second;
    }
};

// The time of day that shows an interval in the picker.
PickerTime pickerTimeForInterval(int intervalSeconds);

// The interval that the picker's time gives, 1 to 86 399 seconds.
int intervalFromPickerTime(bool valid, const PickerTime& time);
