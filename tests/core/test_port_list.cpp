#include "serial/port_list.h"

#include <gtest/gtest.h>

namespace {

TEST(BuildPortListText, CutsOnlyATrailingPortSuffix) {
    const struct {
        const char* description;
        const char* line;
    } cases[] = {
        {"USB Serial Port (COM3)", "COM3:USB Serial Port\n"},
        {"Port (COM12345678901234567890)", "COM3:Port\n"},
        {"USB Serial Port (COM3) x", "COM3:USB Serial Port (COM3) x\n"}, // something after ")"
        {"USB Serial Port (COM3", "COM3:USB Serial Port (COM3\n"},
        {"USB Serial Port (COM3a", "COM3:USB Serial Port (COM3a\n"},
        {"USB Serial Port (COM)", "COM3:USB Serial Port (COM)\n"},
        {"USB Serial Port (COM3a)", "COM3:USB Serial Port (COM3a)\n"},
        {"A (COMx) B (COM3)", "COM3:A (COMx) B (COM3)\n"}, // only the first " (COM" is looked at
        {"USB Serial Port(COM3)", "COM3:USB Serial Port(COM3)\n"},
        {" (COM3)", "COM3\n"},                 // nothing left: listed without a description
        {"Two\r\nlines", "COM3:Two  lines\n"}, // a line break would split the entry
    };
    for (const auto& c : cases) {
        PortTable table;
        table[2] = c.description;
        const PortListText list = buildPortListText(table);
        EXPECT_EQ(list.text, c.line) << c.description;
        EXPECT_EQ(list.count, 1);
    }
}

TEST(BuildPortListText, AscendingWithAndWithoutDescriptions) {
    PortTable table;
    table[0] = "";
    table[9] = "Bluetooth (COM10)";
    table[255] = "";
    const PortListText list = buildPortListText(table);
    EXPECT_EQ(list.text, "COM1\nCOM10:Bluetooth\nCOM256\n");
    EXPECT_EQ(list.count, 3);

    const PortListText none = buildPortListText(PortTable{});
    EXPECT_EQ(none.text, "");
    EXPECT_EQ(none.count, 0);
}

TEST(PortNumberFromPortName, TakesOnlyComWithANumberInRange) {
    const struct {
        const char* value;
        bool regSz;
        int count;
        int expected;
    } cases[] = {
        {"COM1", true, 256, 1},   {"COM255", true, 256, 255},       {"COM03", true, 256, 3},
        {"COM256", true, 256, 0}, {"COM0", true, 256, 0},           {"COM", true, 256, 0},
        {"COM4a", true, 256, 0},  {"LPT1", true, 256, 0},           {"com4", true, 256, 0},
        {"COM4", false, 256, 0},  {"COM-4", true, 256, 0},          {"COM 4", true, 256, 0},
        {"COM+4", true, 256, 0},  {"COM99999999999", true, 256, 0}, {"COM10", true, 10, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(portNumberFromPortName(c.value, c.regSz, c.count), c.expected) << c.value;
}

TEST(PortEntriesFromListText, LinesBecomeEntries) {
    const std::vector<std::string> expected = {"COM1", "COM3 (USB Serial Port)", "COM4 (Modem: 56k)", "COM10"};
    EXPECT_EQ(portEntriesFromListText("COM1\nCOM3:USB Serial Port\n\n\nCOM4:Modem: 56k\nCOM10\n"), expected);
    EXPECT_EQ(portEntriesFromListText("\nCOM1\nCOM2"), std::vector<std::string>{"COM1"}); // no final LF: not taken
    EXPECT_TRUE(portEntriesFromListText("").empty());
    EXPECT_TRUE(portEntriesFromListText("\n\n").empty());
}

TEST(PortNumberFromEntry, DigitsFromTheFourthCharacter) {
    const struct {
        const char* entry;
        int expected;
    } cases[] = {
        {"COM3", 3},     {"COM12 (USB Serial Port)", 12},
        {"  \tCOM7", 7}, {"COM", 0},
        {"", 0},         {"   ", 0},
        {"COM0", 0},     {"COMx", 0},
        {"COM 5", 0},    {"COM99999999999", 0},
        {"LPT2", 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(portNumberFromEntry(c.entry), c.expected) << c.entry;
}

TEST(FindEntryForPort, MatchesTheWholeNumber) {
    const std::vector<std::string> entries = {"COM10 (USB)", "COM1", "COM2 (Modem)", "COM2", "LPT3"};
    EXPECT_EQ(findEntryForPort(entries, 1), 1);
    EXPECT_EQ(findEntryForPort(entries, 10), 0);
    EXPECT_EQ(findEntryForPort(entries, 2), 2);
    EXPECT_EQ(findEntryForPort(entries, 3), -1);
    EXPECT_EQ(findEntryForPort(entries, 0), -1);
    EXPECT_EQ(findEntryForPort({}, 1), -1);
}

TEST(CurrentPortInfoText, NamesThePortOrNone) {
    EXPECT_EQ(currentPortInfoText(4), "Aktualnie używany port: COM4");
    EXPECT_EQ(currentPortInfoText(0), "Aktualnie żaden port nie jest używany");
}

} // namespace
