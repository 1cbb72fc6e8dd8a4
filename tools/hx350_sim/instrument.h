#pragma once

#include <cstdint>
#include <vector>

// What the simulated HX-350 currently measures and how it reports it; the line encoders below turn it into the
// exact bytes the instrument puts on the wire.
struct InstrumentState {
    int serialNumber = 4660;
    double temperature = 23.4; // degrees Celsius
    double humidity = 45.6;    // percent
    int errorBits = 0;         // status bits 0..2: humidity, temperature, calibration error
    int kind = 0;              // 0: temperature and humidity line, 1: extended temperature-only line
    bool twoDecimals = false;  // kind 1: status bit 0, the program shows hundredths
};

using Line = std::vector<std::uint8_t>;

// A 6-bit character code with bit 6 chosen so that bits 0..6 hold an odd number of ones.
std::uint8_t wireByte(int code);

// 14 characters: code 0, status, serial (low byte, high byte; two hex digits each, high digit first), humidity in
// tenths (3 digits), temperature in tenths (4 positions, '-' first when negative), CR.
Line kind0Line(const InstrumentState& state);

// 16 characters: code 0, code 1, device code 9 (codes 0, 9), status, serial as in kind 0, temperature in
// hundredths (6 positions, '-' first when negative), CR.
Line kind1Line(const InstrumentState& state);

// The line for the state's kind.
Line instrumentLine(const InstrumentState& state);

// The same line with bit 0 of one inner character flipped: its parity no longer holds, so a receiver must reject it.
Line damagedLine(const InstrumentState& state);

// Parses "40 70 0d" or "40700D" (blanks, commas and colons between bytes are allowed); false on anything else.
bool parseHexBytes(const char* text, Line& bytes);
