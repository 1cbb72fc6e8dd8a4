#include "tools/hx350_sim/instrument.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace {

constexpr int kCarriageReturn = 0x0D;
constexpr int kMinus = 0x2D;
constexpr int kDigitZero = 0x30;

void putCode(Line& line, int code) {
    line.push_back(wireByte(code));
}

// Hexadecimal digits travel as codes 0x30 + value, so 10..15 become the codes 0x3A..0x3F.
void putSerial(Line& line, int serial) {
    const int low = serial & 0xFF;
    const int high = (serial >> 8) & 0xFF;
    putCode(line, kDigitZero + (low >> 4));
    putCode(line, kDigitZero + (low & 0x0F));
    putCode(line, kDigitZero + (high >> 4));
    putCode(line, kDigitZero + (high & 0x0F));
}

// A signed decimal field of `width` positions: a negative number gives up one position to the minus sign.
// Values that do not fit are clamped, as a display instrument would saturate.
void putSignedField(Line& line, long long value, int width) {
    int digits = width;
    if (value < 0) {
        putCode(line, kMinus);
        --digits;
        value = -value;
    }
    long long limit = 1;
    for (int i = 0; i < digits; ++i)
        limit *= 10;
    value = std::min(value, limit - 1);
    for (long long divisor = limit / 10; divisor > 0; divisor /= 10)
        putCode(line, kDigitZero + static_cast<int>((value / divisor) % 10));
}

long long scaled(double value, double factor) {
    return std::llround(value * factor);
}

} // namespace

std::uint8_t wireByte(int code) {
    const int sixBits = code & 0x3F;
    int ones = 0;
    for (int bit = 0; bit < 6; ++bit)
        ones += (sixBits >> bit) & 1;
    return static_cast<std::uint8_t>((ones % 2 == 0) ? (sixBits | 0x40) : sixBits);
}

Line kind0Line(const InstrumentState& state) {
    Line line;
    putCode(line, 0);
    putCode(line, 0x30 | (state.errorBits & 0x07));
    putSerial(line, state.serialNumber);
    const long long humidity = std::clamp(scaled(state.humidity, 10.0), 0LL, 999LL);
    putSignedField(line, humidity, 3);
    putSignedField(line, scaled(state.temperature, 10.0), 4);
    line.push_back(kCarriageReturn);
    return line;
}

Line kind1Line(const InstrumentState& state) {
    Line line;
    putCode(line, 0);
    putCode(line, 1);
    putCode(line, 0);
    putCode(line, 9);
    putCode(line, 0x30 | (state.errorBits & 0x06) | (state.twoDecimals ? 1 : 0));
    putSerial(line, state.serialNumber);
    putSignedField(line, scaled(state.temperature, 100.0), 6);
    line.push_back(kCarriageReturn);
    return line;
}

Line instrumentLine(const InstrumentState& state) {
    return state.kind == 1 ? kind1Line(state) : kind0Line(state);
}

Line damagedLine(const InstrumentState& state) {
    Line line = instrumentLine(state);
    // The first humidity (or serial) digit: inside the parity-checked part of both line shapes.
    line[6] ^= 0x01;
    return line;
}

bool parseHexBytes(const char* text, Line& bytes) {
    bytes.clear();
    int pending = -1;
    for (const char* p = text; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (std::isxdigit(c)) {
            const int value = std::isdigit(c) ? c - '0' : std::tolower(c) - 'a' + 10;
            if (pending < 0) {
                pending = value;
            } else {
                bytes.push_back(static_cast<std::uint8_t>(pending * 16 + value));
                pending = -1;
            }
        } else if (c == ' ' || c == '\t' || c == ',' || c == ':') {
            if (pending >= 0)
                return false; // a lone hex digit
        } else {
            return false;
        }
    }
    return pending < 0;
}
