#include "serial/port_list.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace {

TEST(BuildPortListText, CutsOnlyATrailingPortSuffix) {
    const std::tuple<const char*, const char*> cases[] = {
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
    for (const auto& [description, line] : cases) {
        PortTable table;
        table[2] = description;
        const PortListText list = buildPortListText(table);
        EXPECT_EQ(list.text, line) << description;
        EXPECT_EQ(list.count, 1);
    }
    PortTable table;
    table[0] = "";
    table[9] = "Bluetooth (COM10)";
    table[255] = "";
    const PortListText list = buildPortListText(table);
    EXPECT_EQ(list.text, "COM1\nCOM10:Bluetooth\nCOM256\n"); // ascending, with and without descriptions
    EXPECT_EQ(list.count, 3);
    EXPECT_EQ(buildPortListText(PortTable{}).count, 0);
}

TEST(PortNumberFromPortName, TakesOnlyComWithANumberInRange) {
    const std::tuple<const char*, bool, int, int> cases[] = {
        {"COM1", true, 256, 1},   {"COM255", true, 256, 255},       {"COM03", true, 256, 3},
        {"COM256", true, 256, 0}, {"COM0", true, 256, 0},           {"COM", true, 256, 0},
        {"COM4a", true, 256, 0},  {"LPT1", true, 256, 0},           {"com4", true, 256, 0},
        {"COM4", false, 256, 0},  {"COM-4", true, 256, 0},          {"COM 4", true, 256, 0},
        {"COM+4", true, 256, 0},  {"COM99999999999", true, 256, 0}, {"COM10", true, 10, 0},
    };
    for (const auto& [value, regSz, count, expected] : cases)
        EXPECT_EQ(portNumberFromPortName(value, regSz, count), expected) << value;
}

TEST(PortEntriesFromListText, LinesBecomeEntries) {
    const std::vector<std::string> expected = {"COM1", "COM3 (USB Serial Port)", "COM4 (Modem: 56k)", "COM10"};
    EXPECT_EQ(portEntriesFromListText("COM1\nCOM3:USB Serial Port\n\n\nCOM4:Modem: 56k\nCOM10\n"), expected);
    EXPECT_EQ(portEntriesFromListText("\nCOM1\nCOM2"), std::vector<std::string>{"COM1"}); // no final LF: not taken
    EXPECT_TRUE(portEntriesFromListText("\n\n").empty());
}

TEST(FindEntryForPort, MatchesTheWholeNumber) {
    const std::vector<std::string> entries = {"COM10 (USB)", "COM1", "COM2 (Modem)", "COM2", "LPT3"};
    for (const auto& [port, index] : std::vector<std::pair<int, int>>{{1, 1}, {10, 0}, {2, 2}, {3, -1}, {0, -1}})
        EXPECT_EQ(findEntryForPort(entries, port), index) << port;
    EXPECT_EQ(findEntryForPort({}, 1), -1);
}

TEST(CurrentPortInfoText, NamesThePortOrNone) {
    EXPECT_EQ(currentPortInfoText(4), "Aktualnie używany port: COM4");
    EXPECT_EQ(currentPortInfoText(0), "Aktualnie żaden port nie jest używany");
}

std::vector<int> foundPorts(const PortTable& table) {
    std::vector<int> ports;
    for (std::size_t i = 0; i < table.size(); ++i)
        if (table[i])
            ports.push_back(static_cast<int>(i) + 1);
    return ports;
}

// Regression: "Anuluj" in the wait box set a flag that the enumeration never read, so a slow probe of all 256
// names ran to its end whatever the user did.
TEST(ProbePortSlots, StopsBetweenPortsKeepingWhatItFound) {
    const struct {
        const char* what;
        bool probeAll;
        int stopWhileProbing;   // "Anuluj" while this port is probed (0: never, -1: before the first)
        std::vector<int> known; // found before the probe (by SetupAPI)
        std::vector<int> found;
        std::vector<int> asked;
    } cases[] = {
        {"no stop", true, 0, {}, {1, 3, 5, 7, 9}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {"stop while probing COM5", true, 5, {}, {1, 3, 5}, {1, 2, 3, 4, 5}},
        {"stop while probing COM1", true, 1, {}, {1}, {1}},
        {"stop before the first port", true, -1, {}, {}, {}},
        {"known ports are not probed", false, 6, {2, 4}, {1, 2, 3, 4, 5}, {1, 3, 5, 6}},
        {"known ports stay after a stop", false, 1, {2, 8}, {1, 2, 8}, {1}},
    };
    for (const auto& c : cases) {
        PortTable table;
        for (int port : c.known)
            table[static_cast<std::size_t>(port - 1)] = "known";
        bool stop = c.stopWhileProbing < 0;
        std::vector<int> asked;
        auto answers = [&](int port) {
            asked.push_back(port);
            stop = stop || port == c.stopWhileProbing;
            return port % 2 == 1; // the odd ports answer
        };
        probePortSlots(table, 10, c.probeAll, answers, [&] { return stop; });
        EXPECT_EQ(foundPorts(table), c.found) << c.what;
        EXPECT_EQ(asked, c.asked) << c.what;
    }
}

} // namespace
