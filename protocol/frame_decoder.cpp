#include "protocol/frame_decoder.h"

// The instrument's lines are bytes whose low six bits are the character code, bit 6 makes bits 0..6 odd and
// bit 7 is noise. Everything below works on the codes; only the parity test looks at the received bytes.
//
// The order of writes and checks matters to the rest of the program: a rejected line may already have set `kind`
// and some status fields, and the window's layout reads `kind` after every line. Each branch therefore writes
// exactly the fields that precede its checks, in the order the instrument family defines.

namespace {

constexpr int kMinus = 0x2D;
constexpr int kExtendedMarker = 1;
constexpr int kDigitZero = 0x30;
constexpr int kDeviceFineThermo = 9;
constexpr int kDeviceCode3 = 3;

// Positions 0..4 must exist before an extended line's device code and status can be read.
constexpr int kExtendedHeaderLength = 5;
constexpr int kFineThermoLength = 16;
constexpr int kCode3Length = 15;

constexpr int kBit0 = 1;
constexpr int kBit1 = 2;
constexpr int kBit2 = 4;
constexpr int kBit3 = 8;
constexpr int kBit4 = 16;
constexpr int kBit5 = 32;

// The scale constants are applied one multiplication at a time: ×0.1 twice does not round like ×0.01 once, and
// the recorded and published values are defined to the last bit by this sequence.
constexpr double kTenth = 0.1;
constexpr double kHundredth = 0.01;
constexpr double kThousandth = 0.001;

bool hasBits4And5(int status) {
    return (status & kBit4) != 0 && (status & kBit5) != 0;
}

// Low byte first, high byte second, each as two hexadecimal digits with the high digit first.
int serialNumber(const std::uint8_t* m, int p) {
    return 4096 * CFrameDecoder::digitValue(m[p + 2]) + 256 * CFrameDecoder::digitValue(m[p + 3]) +
           16 * CFrameDecoder::digitValue(m[p]) + CFrameDecoder::digitValue(m[p + 1]);
}

// Digits are not validated: any code contributes its arithmetic value m - 48 (0x3A..0x3F count as 10..15).
int digitsValue(const std::uint8_t* m, int first, int last) {
    int v = 0;
    for (int i = first; i <= last; ++i)
        v = 10 * v + CFrameDecoder::digitValue(m[i]);
    return v;
}

bool isNegative(const std::uint8_t* m, int p) {
    return m[p] == kMinus;
}

// Kinds 1 and 4 negate the integer, so "-00000" is +0.0.
int signedInteger(const std::uint8_t* m, int p, int q) {
    return isNegative(m, p) ? -digitsValue(m, p + 1, q) : digitsValue(m, p, q);
}

// Kinds 0, 2 and 3 negate the double, so "-000" is -0.0.
double signedDouble(const std::uint8_t* m, int p, int q) {
    return isNegative(m, p) ? -static_cast<double>(digitsValue(m, p + 1, q))
                            : static_cast<double>(digitsValue(m, p, q));
}

} // namespace

int CFrameDecoder::checkParity(const std::uint8_t* bytes, int count) {
    for (int i = 0; i < count; ++i) {
        unsigned bits = bytes[i] & 0x7Fu;
        int ones = 0;
        while (bits != 0) {
            ones += static_cast<int>(bits & 1u);
            bits >>= 1;
        }
        if ((ones & 1) == 0)
            return 0;
    }
    return 1;
}

int CFrameDecoder::decodeLine(const std::uint8_t* line, int n, ReadingRecord& record) {
    // The copy goes into a fixed buffer of 128 codes; longer lines are not the instrument's anyway.
    if (n >= kMaxLineLength || n < 1)
        return 0;
    for (int i = 0; i < n; ++i)
        codes_[i] = static_cast<std::uint8_t>(line[i] & 0x3F);
    length_ = n;
    const std::uint8_t* m = codes_;

    if (m[0] != 0)
        return 0;
    // The first character and the closing carriage return carry no parity.
    if (!checkParity(line + 1, length_ - 2))
        return 0;

    if (length_ >= 2 && m[1] == kExtendedMarker) {
        // The positions past a short line's end hold nothing; reading them would decode the previous line's
        // leftovers (or memory that was never received), so such lines are refused before the device code.
        if (length_ < kExtendedHeaderLength)
            return 0;
        const int deviceCode = m[2] * 64 + m[3];
        const int status = m[4];
        if (deviceCode == kDeviceFineThermo) {
            record.kind = FineThermo;
            if (!hasBits4And5(status) || length_ < kFineThermoLength)
                return 0;
            FineThermoRecord& r = record.fineThermo;
            r.twoDecimals = status & kBit0;
            r.calibrationError = status & kBit2;
            r.temperatureError = status & kBit1;
            r.serialNumber = serialNumber(m, 5);
            r.temperature = static_cast<double>(signedInteger(m, 9, 14)) * kHundredth;
            return 1;
        }
        if (deviceCode == kDeviceCode3) {
            record.kind = Code3;
            if (!hasBits4And5(status) || length_ < kCode3Length)
                return 0;
            Code3Record& r = record.code3;
            r.wholeUnits = status & kBit3;
            r.statusBit2 = status & kBit2;
            r.statusBit1 = status & kBit1;
            r.statusBit0 = status & kBit0;
            r.serialNumber = serialNumber(m, 5);
            r.value = static_cast<double>(signedInteger(m, 9, 13));
            if (r.wholeUnits == 0)
                r.value = r.value * kTenth;
            return 1;
        }
        return 0;
    }

    // Non-extended lines are told apart by their length alone.
    switch (length_) {
    case 14: {
        const int status = m[1];
        ThermoHygroRecord& r = record.thermoHygro;
        record.kind = ThermoHygro;
        r.humidityError = status & kBit0;
        r.temperatureError = status & kBit1;
        r.calibrationError = status & kBit2;
        if ((status & kBit3) != 0 || !hasBits4And5(status))
            return 0;
        r.serialNumber = serialNumber(m, 2);
        const int humidityTenths = 100 * digitValue(m[6]) + 10 * digitValue(m[7]) + digitValue(m[8]);
        r.humidity = static_cast<double>(humidityTenths) * kTenth;
        r.temperature = signedDouble(m, 9, 12) * kTenth;
        return 1;
    }
    case 12: {
        const int status = m[1];
        ScaledRecord& r = record.scaled;
        r.statusBit0 = status & kBit0;
        record.kind = Scaled;
        r.milliScale = status & kBit1;
        r.statusBit2 = status & kBit2;
        r.statusBit3 = status & kBit3;
        if (!hasBits4And5(status))
            return 0;
        r.serialNumber = serialNumber(m, 2);
        double value = signedDouble(m, 6, 10);
        value = value * (r.milliScale != 0 ? kThousandth : kTenth);
        if (r.statusBit3 == 0)
            value = value * kTenth;
        r.value = value;
        return 1;
    }
    case 13:
    case 15: {
        const int status = m[1];
        QuantityRecord& r = record.quantity;
        record.kind = Quantity;
        r.quantityIndex = digitValue(m[6]);
        if (r.quantityIndex < 0 || r.quantityIndex > 8)
            return 0;
        r.statusBit2 = status & kBit2;
        r.statusBit1 = status & kBit1;
        if ((status & (kBit0 | kBit3)) != 0 || !hasBits4And5(status))
            return 0;
        r.serialNumber = serialNumber(m, 2);
        if (length_ == 13) {
            r.hundredths = 0;
            r.value = signedDouble(m, 7, 11) * kTenth;
            return 1;
        }
        if (m[13] != kDigitZero)
            return 0;
        r.hundredths = 1;
        r.value = signedDouble(m, 7, 12) * kHundredth;
        return 1;
    }
    default:
        return 0;
    }
}
