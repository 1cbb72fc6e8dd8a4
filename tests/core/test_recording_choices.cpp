#include "recording/recording_choices.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(StorableFileName, Windows1250BytesOrTheReasonForRefusal) {
    const struct {
        const char* utf8;
        FileNameProblem problem;
        const char* cp1250;
        std::vector<std::string> unsupported;
    } cases[] = {
        {"", FileNameProblem::None, "", {}},
        {"C:\\Pomiary\\hala 1.csv", FileNameProblem::None, "C:\\Pomiary\\hala 1.csv", {}},
        {"C:\\Dane\\Łódź żółć.txt", FileNameProblem::None, "C:\\Dane\\\xA3\xF3\x64\x9F \xBF\xF3\xB3\xE6.txt", {}},
        {"D:\\koszt €.hxg", FileNameProblem::None, "D:\\koszt \x80.hxg", {}}, // the euro sign is in the code page
        {"C:\\Dane\\жара.csv", FileNameProblem::UnsupportedCharacters, "C:\\Dane\\.csv", {"ж", "а", "р"}},
        {"C:\\été\\ñ.txt", FileNameProblem::UnsupportedCharacters, "C:\\\xE9t\xE9\\.txt", {"ñ"}},
        {"C:\\a;b.csv", FileNameProblem::Semicolon, "C:\\a;b.csv", {}},
        {"C:\\a;ж.csv", FileNameProblem::UnsupportedCharacters, "C:\\a;.csv", {"ж"}}, // both: the characters first
        {"C:\\?.csv", FileNameProblem::None, "C:\\?.csv", {}}, // a question mark of its own is kept
        {"C:\\\xC3.csv", FileNameProblem::UnsupportedCharacters, "C:\\.csv", {"\xC3"}}, // broken UTF-8
    };
    for (const auto& c : cases) {
        const StorableFileName name = storableFileName(c.utf8);
        EXPECT_EQ(name.problem, c.problem) << c.utf8;
        EXPECT_EQ(name.cp1250, c.cp1250) << c.utf8;
        EXPECT_EQ(name.unsupported, c.unsupported) << c.utf8;
        EXPECT_EQ(fileNameRefusalText(name).empty(), c.problem == FileNameProblem::None) << c.utf8;
    }
}

TEST(WithFilterExtension, BareNameTakesTheSelectedFilterEntrysExtension) {
    const struct {
        const char* name;
        unsigned extensionOffset;
        unsigned filterIndex;
        BrowsedFile kind;
        const char* expected;
    } cases[] = {
        {"C:\\Dane\\pomiar", 0, 1, BrowsedFile::Text, "C:\\Dane\\pomiar.txt"},
        {"C:\\Dane\\pomiar", 0, 2, BrowsedFile::Text, "C:\\Dane\\pomiar.csv"},
        {"C:\\Dane\\pomiar", 0, 3, BrowsedFile::Text, "C:\\Dane\\pomiar"},
        {"C:\\Dane\\pomiar", 0, 0, BrowsedFile::Text, "C:\\Dane\\pomiar"}, // a custom filter
        {"C:\\Dane\\pomiar.dat", 15, 2, BrowsedFile::Text, "C:\\Dane\\pomiar.dat"},
        {".dat", 1, 2, BrowsedFile::Text, ".dat"}, // a name that is only an extension
        {"C:\\Dane\\pomiar", 0, 1, BrowsedFile::Binary, "C:\\Dane\\pomiar.hxg"},
        {"C:\\Dane\\pomiar", 0, 2, BrowsedFile::Binary, "C:\\Dane\\pomiar"},
        {"C:\\Dane\\pomiar.txt", 15, 1, BrowsedFile::Binary, "C:\\Dane\\pomiar.txt"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(withFilterExtension(c.name, c.extensionOffset, c.filterIndex, c.kind), c.expected)
            << c.name << " " << c.filterIndex;
}

TEST(IntervalPickerTime, BothWaysWithinOneSecondTo23h59m59s) {
    const struct {
        int interval;
        PickerTime shown;
        int readBack;
    } cases[] = {
        {1, {0, 0, 1}, 1},
        {60, {0, 1, 0}, 60},
        {90, {0, 1, 30}, 90},
        {3661, {1, 1, 1}, 3661},
        {86399, {23, 59, 59}, 86399},
        {86400, {23, 59, 59}, 86399}, // hand-edited settings: shown as the largest interval, not as 00:00:00
        {200000, {23, 59, 59}, 86399},
        {0, {0, 0, 1}, 1},
        {-5, {0, 0, 1}, 1},
    };
    for (const auto& c : cases) {
        const PickerTime shown = pickerTimeForInterval(c.interval);
        EXPECT_EQ(shown, c.shown) << c.interval;
        EXPECT_EQ(intervalFromPickerTime(true, shown), c.readBack) << c.interval;
    }
}

TEST(IntervalPickerTime, MidnightOrNoTimeGivesOneSecond) {
    EXPECT_EQ(intervalFromPickerTime(true, {0, 0, 0}), 1);
    EXPECT_EQ(intervalFromPickerTime(false, {0, 5, 0}), 1);
}

} // namespace
