#include "serial/port_list.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

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
        int stopWhileProbing;   // the user presses "Anuluj" while this port is being probed (0: never)
        std::vector<int> known; // found before the probe (by SetupAPI)
        std::vector<int> found;
        int lastAsked;
    } cases[] = {
        {"no stop", true, 0, {}, {1, 3, 5, 7, 9}, 10},
        {"stop while probing COM5", true, 5, {}, {1, 3, 5}, 5},
        {"stop while probing COM1", true, 1, {}, {1}, 1},
        {"known ports are not probed", false, 6, {2, 4}, {1, 2, 3, 4, 5}, 6},
        {"known ports stay after a stop", false, 1, {2, 8}, {1, 2, 8}, 1},
    };
    for (const auto& c : cases) {
        PortTable table;
        for (int port : c.known)
            table[static_cast<std::size_t>(port - 1)] = "known";
        bool stop = false;
        int lastAsked = 0;
        auto answers = [&](int port) {
            lastAsked = port;
            stop = stop || port == c.stopWhileProbing;
            return port % 2 == 1; // the odd ports answer
        };
        probePortSlots(table, 10, c.probeAll, answers, [&] { return stop; });
        EXPECT_EQ(foundPorts(table), c.found) << c.what;
        EXPECT_EQ(lastAsked, c.lastAsked) << c.what;
    }
}

TEST(ProbePortSlots, StopBeforeTheFirstPortProbesNothing) {
    PortTable table;
    bool asked = false;
    probePortSlots(
        table, 256, true, [&](int) { return asked = true; }, [] { return true; });
    EXPECT_FALSE(asked);
    EXPECT_TRUE(foundPorts(table).empty());
}

} // namespace
