#pragma once

#include <cstdint>
#include <optional>

// The line settings and flow control of a serial port, field for field as the platform's DCB holds them and with
// its numeric values, so that the port's state is decided here and the Win32 code only copies it.
struct CommState {
    // Values of `parity`, `stopBits`, `dtrControl` and `rtsControl`, as the platform numbers them.
    enum : std::uint8_t { NoParity = 0, OddParity = 1, EvenParity = 2, MarkParity = 3, SpaceParity = 4 };
    enum : std::uint8_t { OneStopBit = 0, OneAndHalfStopBits = 1, TwoStopBits = 2 };
    enum : std::uint8_t { DtrDisable = 0, DtrEnable = 1, DtrHandshake = 2 };
    enum : std::uint8_t { RtsDisable = 0, RtsEnable = 1, RtsHandshake = 2, RtsToggle = 3 };

    std::uint32_t baudRate = 0;
    std::uint8_t byteSize = 0;
    std::uint8_t parity = NoParity;
    std::uint8_t stopBits = OneStopBit;
    bool binary = true;
    bool parityCheck = false;
    bool outxCtsFlow = false;
    bool outxDsrFlow = false;
    std::uint8_t dtrControl = DtrDisable;
    bool dsrSensitivity = false;
    bool txContinueOnXoff = false;
    bool outX = false;
    bool inX = false;
    bool errorCharReplace = false;
    bool discardNull = false;
    std::uint8_t rtsControl = RtsDisable;
    bool abortOnError = false;
    std::uint16_t xonLimit = 0;
    std::uint16_t xoffLimit = 0;
    char xonChar = 0;
    char xoffChar = 0;
    char errorChar = 0;
    char eofChar = 0;
    char eventChar = 0;
};

// The state of a port that only receives, for the given line settings (parity 'N', 'O', 'E', 'M' or 'S'; 5 to 8
// data bits; 1 or 2 stop bits), made from the port's `current` state: every field that reception depends on is
// set, the others stay as the driver holds them. nullopt for settings that a port cannot take.
std::optional<CommState> receiveOnlyCommState(const CommState& current, int baudRate, char parity, int dataBits,
                                              int stopBits);
