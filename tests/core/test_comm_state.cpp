#include "serial/comm_state.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

auto fields(const CommState& s) {
    return std::make_tuple(s.baudRate, s.byteSize, s.parity, s.stopBits, s.binary, s.parityCheck, s.outxCtsFlow,
                           s.outxDsrFlow, s.dtrControl, s.dsrSensitivity, s.txContinueOnXoff, s.outX, s.inX,
                           s.errorCharReplace, s.discardNull, s.rtsControl, s.abortOnError, s.xonLimit, s.xoffLimit,
                           s.xonChar, s.xoffChar, s.errorChar, s.eofChar, s.eventChar);
}

// What a driver may hold when the port is opened: every flag set, every handshake on, its own limits and characters.
CommState driverState() {
    CommState s;
    s.baudRate = 9600;
    s.byteSize = 8;
    s.parity = CommState::EvenParity;
    s.stopBits = CommState::TwoStopBits;
    s.binary = s.parityCheck = s.outxCtsFlow = s.outxDsrFlow = s.dsrSensitivity = s.txContinueOnXoff = true;
    s.outX = s.inX = s.errorCharReplace = s.discardNull = s.abortOnError = true;
    s.dtrControl = CommState::DtrHandshake;
    s.rtsControl = CommState::RtsToggle;
    s.xonLimit = 2048;
    s.xoffLimit = 1024;
    s.xonChar = 0x21;
    s.xoffChar = 0x22;
    s.errorChar = '?';
    s.eofChar = 0x1A;
    s.eventChar = '\n';
    return s;
}

// Regressions: the port started from whatever state the driver held (a leftover DSR sensitivity drops every
// byte), and then from nothing, so a driver that refused a value of a field reception ignores (the XON/XOFF limits,
// the special characters) refused the port where its own values would have worked.
TEST(ReceiveOnlyCommState, SetsWhatReceptionNeedsAndKeepsTheDriversOtherFields) {
    CommState expected = driverState();
    expected.baudRate = 300;
    expected.byteSize = 7;
    expected.parity = CommState::NoParity;
    expected.stopBits = CommState::OneStopBit;
    expected.binary = true;
    expected.parityCheck = expected.outxCtsFlow = expected.outxDsrFlow = expected.dsrSensitivity = false;
    expected.outX = expected.inX = expected.errorCharReplace = expected.discardNull = expected.abortOnError = false;
    expected.dtrControl = CommState::DtrEnable;
    expected.rtsControl = CommState::RtsEnable;
    const std::optional<CommState> state = receiveOnlyCommState(driverState(), 300, 'N', 7, 1);
    ASSERT_TRUE(state);
    EXPECT_EQ(fields(*state), fields(expected));
}

TEST(ReceiveOnlyCommState, LineSettings) {
    using S = CommState;
    const std::tuple<int, char, int, int, std::optional<std::pair<int, int>>> cases[] = {
        // baud rate, parity, data bits, stop bits; the parity and stop bits set, none when refused
        {9600, 'E', 8, 2, {{S::EvenParity, S::TwoStopBits}}},
        {300, 'O', 5, 1, {{S::OddParity, S::OneStopBit}}},
        {300, 'M', 7, 1, {{S::MarkParity, S::OneStopBit}}},
        {300, 'S', 7, 1, {{S::SpaceParity, S::OneStopBit}}},
        {300, 'n', 7, 1, {}},
        {300, 'X', 7, 1, {}},
        {0, 'N', 7, 1, {}},
        {300, 'N', 4, 1, {}},
        {300, 'N', 9, 1, {}},
        {300, 'N', 7, 0, {}},
        {300, 'N', 7, 3, {}}};
    for (const auto& [baud, parity, dataBits, stopBits, set] : cases) {
        const std::optional<CommState> state = receiveOnlyCommState(driverState(), baud, parity, dataBits, stopBits);
        ASSERT_EQ(state.has_value(), set.has_value()) << parity << dataBits << stopBits;
        if (state) {
            EXPECT_EQ(
                std::make_tuple(int(state->baudRate), int(state->byteSize), int(state->parity), int(state->stopBits)),
                std::make_tuple(baud, dataBits, set->first, set->second));
        }
    }
}

} // namespace
