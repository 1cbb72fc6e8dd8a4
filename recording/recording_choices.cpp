#include "recording/recording_choices.h"

#include "base/cp1250.h"
#include "recording/recording_settings.h"

#include <algorithm>

namespace {

bool isContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

// The settings file is Windows-1250 on every system, so a character outside it would come back as "?" at the next
// start. A semicolon would come back too, but the settings store reads a value only up to its last semicolon:
// recording would then go on into a file of another name, unnoticed.
StorableFileName storableFileName(std::string_view utf8) {
    StorableFileName result;
    bool semicolon = false;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        std::size_t end = pos + 1;
        while (end < utf8.size() && isContinuationByte(utf8[end]))
            ++end;
        const std::string_view character = utf8.substr(pos, end - pos);
        pos = end;
        if (character == ";")
            semicolon = true;
        const std::string byte = utf8ToCp1250(character);
        if (cp1250ToUtf8(byte) != character) {
            if (std::find(result.unsupported.begin(), result.unsupported.end(), character) == result.unsupported.end())
                result.unsupported.emplace_back(character);
            continue;
        }
        result.cp1250 += byte;
    }
    if (!result.unsupported.empty())
        result.problem = FileNameProblem::UnsupportedCharacters;
    else if (semicolon)
        result.problem = FileNameProblem::Semicolon;
    return result;
}

std::string fileNameRefusalText(const StorableFileName& name) {
    switch (name.problem) {
    case FileNameProblem::UnsupportedCharacters: {
        std::string list;
        for (const std::string& character : name.unsupported)
            list += (list.empty() ? "" : ", ") + character;
        return "Nazwa pliku zawiera znaki, których program nie może zapisać w ustawieniach: " + list +
               ". Wybierz nazwę bez tych znaków.";
    }
    case FileNameProblem::Semicolon:
        return "Nazwa pliku zawiera średnik (;), którego program nie może zapisać w ustawieniach. Wybierz nazwę bez "
               "średnika.";
    case FileNameProblem::None:
        break;
    }
    return {};
}

std::string withFilterExtension(std::string name, unsigned extensionOffset, unsigned filterIndex, BrowsedFile kind) {
    if (extensionOffset != 0)
        return name;
    if (kind == BrowsedFile::Text) {
        if (filterIndex == 1)
            name += ".txt";
        else if (filterIndex == 2)
            name += ".csv";
    } else if (filterIndex == 1) {
        name += ".hxg";
    }
    return name;
}

// A hand-edited settings file may hold 24 hours or more, which no time of day can show: the picker shows the
// largest interval instead, and that is what it gives back.
PickerTime pickerTimeForInterval(int intervalSeconds) {
    const int seconds = clampedIntervalSeconds(intervalSeconds);
    return {seconds / 3600, seconds / 60 % 60, seconds % 60};
}

// 00:00:00, or a picker without a valid time, would make the recording timer fire continuously.
int intervalFromPickerTime(bool valid, const PickerTime& time) {
    if (!valid)
        return kMinIntervalSeconds;
    return clampedIntervalSeconds(time.hour * 3600 + time.minute * 60 + time.second);
}
