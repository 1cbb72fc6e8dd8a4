#include "protocol/frame_decoder.h"
#include "tools/hx350_decode/record_json.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// The worked example: status 0x30, serial 1234 hex, humidity 45.6, temperature 23.4.
const Bytes kWorkedExample = {0x40, 0x70, 0x73, 0x34, 0x31, 0x32, 0x34, 0x75, 0x76, 0x70, 0x32, 0x73, 0x34, 0x0D};

// Puts a code on the wire as the instrument does: bit 6 makes bits 0..6 hold an odd number of ones.
std::uint8_t onWire(int code) {
    int b = code & 0x3F;
    int ones = 0;
    for (int v = b; v != 0; v >>= 1) {
        ones += v & 1;
    }
    return static_cast<std::uint8_t>((ones % 2 == 0) ? (b | 0x40) : b);
}

// A line written as the characters whose low six bits are its codes: '@' is code 0, 'A' code 1, 'C' code 3,
// 'I' code 9, '0'..'9' the digits, ':'..'?' the codes 0x3A..0x3F, '-' the minus sign. The closing carriage
// return is appended. Fields are given separately only for legibility.
Bytes line(std::initializer_list<const char*> fields) {
    Bytes bytes;
    for (const char* field : fields) {
        for (const char* ch = field; *ch != '\0'; ++ch) {
            bytes.push_back(onWire(static_cast<unsigned char>(*ch)));
        }
    }
    bytes.push_back(0x0D);
    return bytes;
}

// A record in which every field holds a value no line writes, so that any write shows.
ReadingRecord sentinel() {
    ReadingRecord r;
    r.kind = 77;
    r.thermoHygro = {101, 102, 103, 10.5, 10.25, 104};
    r.fineThermo = {201, 202, 203, 20.5, 204};
    r.quantity = {301, 302, 303, 304, 30.5, 305};
    r.scaled = {401, 402, 403, 404, 40.5, 405};
    r.code3 = {501, 502, 503, 504, 50.5, 505};
    return r;
}

// Every field, doubles bit-exact (the sign of zero included), in a form that shows the difference on failure.
std::string dump(const ReadingRecord& r) {
    return recordJson(LineOutcome{}, r);
}

// Decodes a copy in a buffer of exactly the line's size, so that the sanitizer catches any read past its end.
int decode(const Bytes& bytes, ReadingRecord& record) {
    std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[bytes.size()]);
    std::copy(bytes.begin(), bytes.end(), exact.get());
    CFrameDecoder decoder;
    return decoder.decodeLine(exact.get(), static_cast<int>(bytes.size()), record);
}

bool isNegativeZero(double v) {
    return v == 0.0 && std::signbit(v);
}
bool isPositiveZero(double v) {
    return v == 0.0 && !std::signbit(v);
}

TEST(FrameDecoderWorkedExample, DecodesSerialHumidityAndTemperature) {
    ReadingRecord r;
    ASSERT_EQ(decode(kWorkedExample, r), 1);
    EXPECT_EQ(r.kind, ThermoHygro);
    EXPECT_EQ(r.thermoHygro.serialNumber, 4660);
    EXPECT_EQ(r.thermoHygro.humidity, 45.600000000000001);
    EXPECT_EQ(r.thermoHygro.temperature, 23.400000000000002);
    EXPECT_EQ(r.thermoHygro.humidityError, 0);
    EXPECT_EQ(r.thermoHygro.temperatureError, 0);
    EXPECT_EQ(r.thermoHygro.calibrationError, 0);
}

TEST(FrameDecoderWorkedExample, MinusSignGivesNegativeTemperature) {
    Bytes bytes = kWorkedExample;
    bytes[9] = 0x6D;
    bytes[10] = 0x70;
    bytes[11] = 0x75;
    bytes[12] = 0x32;
    ReadingRecord r;
    ASSERT_EQ(decode(bytes, r), 1);
    EXPECT_EQ(r.thermoHygro.temperature, -5.2000000000000002);
    EXPECT_EQ(r.thermoHygro.humidity, 45.600000000000001);
}

TEST(FrameDecoderWorkedExample, BuilderReproducesTheGoldenBytes) {
    EXPECT_EQ(line({"@0", "3412", "456", "0234"}), kWorkedExample);
}

TEST(FrameDecoderParity, EverySingleBitFlipInTheTestedBytesIsRejectedUntouched) {
    for (int pos = 1; pos <= 12; ++pos) {
        for (int bit = 0; bit <= 6; ++bit) {
            Bytes bytes = kWorkedExample;
            bytes[pos] ^= static_cast<std::uint8_t>(1 << bit);
            ReadingRecord r = sentinel();
            EXPECT_EQ(decode(bytes, r), 0) << "byte " << pos << " bit " << bit;
            EXPECT_EQ(dump(r), dump(sentinel())) << "byte " << pos << " bit " << bit;
        }
    }
}

TEST(FrameDecoderParity, BitSevenIsIgnoredEverywhere) {
    Bytes bytes = kWorkedExample;
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
        bytes[i] |= 0x80;
    }
    ReadingRecord expected;
    ReadingRecord r;
    ASSERT_EQ(decode(kWorkedExample, expected), 1);
    ASSERT_EQ(decode(bytes, r), 1);
    EXPECT_EQ(dump(r), dump(expected));
}

TEST(FrameDecoderParity, FirstByteAndCarriageReturnAreNotTested) {
    struct Case {
        std::uint8_t first;
        int result;
    };
    // 0x00/0x40/0x80/0xC0 all carry code 0; other codes in the first position reject the line.
    const Case cases[] = {{0x00, 1}, {0x40, 1}, {0x80, 1}, {0xC0, 1}, {0x01, 0}, {0x70, 0}, {0x3F, 0}};
    for (const Case& c : cases) {
        Bytes bytes = kWorkedExample;
        bytes[0] = c.first;
        ReadingRecord r = sentinel();
        EXPECT_EQ(decode(bytes, r), c.result) << std::hex << int(c.first);
        if (c.result == 1) {
            EXPECT_EQ(r.thermoHygro.serialNumber, 4660);
        } else {
            EXPECT_EQ(dump(r), dump(sentinel()));
        }
    }
    // The closing character takes no part in the parity test (0x0D has odd parity; 0x4D would not).
    Bytes evenEnd = kWorkedExample;
    evenEnd.back() = 0x4D;
    ReadingRecord r;
    EXPECT_EQ(decode(evenEnd, r), 1);
}

TEST(FrameDecoderParity, CheckParityCountsOnlyBitsZeroToSix) {
    const std::uint8_t odd[] = {0x01, 0x70, 0x81, 0xF0, 0x7F};
    const std::uint8_t even[] = {0xB3, 0x00}; // 0x33 with bit 7 set, and no bits at all
    EXPECT_EQ(CFrameDecoder::checkParity(odd, 5), 1);
    EXPECT_EQ(CFrameDecoder::checkParity(even, 1), 0);
    EXPECT_EQ(CFrameDecoder::checkParity(even + 1, 1), 0);
    EXPECT_EQ(CFrameDecoder::checkParity(even, 0), 1);
    EXPECT_EQ(CFrameDecoder::checkParity(even, -1), 1);
}

// What the record holds after each rejection: the fields written before the failing check, and nothing else.
struct RejectionCase {
    const char* name;
    Bytes bytes;
    std::function<void(ReadingRecord&)> writes; // applied to the sentinel to form the expected record
};

Bytes longExtendedLine(int n) {
    // Device 9, valid fields, then digit '1' (0x31, odd parity) up to n characters with the carriage return.
    Bytes bytes = line({"@A@I0", "3412", "002345"});
    bytes.pop_back();
    while (static_cast<int>(bytes.size()) < n - 1) {
        bytes.push_back(0x31);
    }
    bytes.push_back(0x0D);
    return bytes;
}

std::vector<RejectionCase> rejectionCases() {
    auto nothing = [](ReadingRecord&) {};
    Bytes badParity = kWorkedExample;
    badParity[5] ^= 0x40;
    return {
        {"128 characters", longExtendedLine(128), nothing},
        {"first code not zero", line({"A0", "3412", "456", "0234"}), nothing},
        {"parity", badParity, nothing},
        {"extended line, device code 5", line({"@A@E0", "3412", "002345"}), nothing},
        {"extended line, device code 73", line({"@AAI0", "3412", "002345"}), nothing},
        {"11 characters", line({"@0", "3412", "4560"}), nothing},
        {"16 characters, not extended", line({"@0", "3412", "456", "023456"}), nothing},
        {"2 characters", line({"@"}), nothing},
        {"kind 1, status bit 4 clear", line({"@A@I", "\x27", "3412", "002345"}), [](ReadingRecord& r) { r.kind = 1; }},
        {"kind 1, status bit 5 clear", line({"@A@I", "\x17", "3412", "002345"}), [](ReadingRecord& r) { r.kind = 1; }},
        {"kind 4, status bit 4 clear", line({"@A@C", "\x2F", "3412", "01234"}), [](ReadingRecord& r) { r.kind = 4; }},
        {"kind 4, status bit 5 clear", line({"@A@C", "\x1F", "3412", "01234"}), [](ReadingRecord& r) { r.kind = 4; }},
        {"kind 0, status bit 3 set", line({"@=", "3412", "456", "0234"}),
         [](ReadingRecord& r) {
             r.kind = 0;
             r.thermoHygro.humidityError = 1;
             r.thermoHygro.temperatureError = 0;
             r.thermoHygro.calibrationError = 4;
         }},
        {"kind 0, status bit 4 clear", line({"@\x27", "3412", "456", "0234"}),
         [](ReadingRecord& r) {
             r.kind = 0;
             r.thermoHygro.humidityError = 1;
             r.thermoHygro.temperatureError = 2;
             r.thermoHygro.calibrationError = 4;
         }},
        {"kind 0, status bit 5 clear", line({"@\x12", "3412", "456", "0234"}),
         [](ReadingRecord& r) {
             r.kind = 0;
             r.thermoHygro.humidityError = 0;
             r.thermoHygro.temperatureError = 2;
             r.thermoHygro.calibrationError = 0;
         }},
        {"kind 3, status bit 5 clear", line({"@\x1F", "3412", "01234"}),
         [](ReadingRecord& r) {
             r.kind = 3;
             r.scaled.statusBit0 = 1;
             r.scaled.milliScale = 2;
             r.scaled.statusBit2 = 4;
             r.scaled.statusBit3 = 8;
         }},
        {"kind 3, status bit 4 clear", line({"@\x20", "3412", "01234"}),
         [](ReadingRecord& r) {
             r.kind = 3;
             r.scaled.statusBit0 = 0;
             r.scaled.milliScale = 0;
             r.scaled.statusBit2 = 0;
             r.scaled.statusBit3 = 0;
         }},
        {"kind 2, quantity index 9", line({"@0", "3412", "9", "01234"}),
         [](ReadingRecord& r) {
             r.kind = 2;
             r.quantity.quantityIndex = 9;
         }},
        {"kind 2, quantity index -1", line({"@0", "3412", "/", "01234"}),
         [](ReadingRecord& r) {
             r.kind = 2;
             r.quantity.quantityIndex = -1;
         }},
        {"kind 2, status bit 0 set", line({"@7", "3412", "5", "01234"}),
         [](ReadingRecord& r) {
             r.kind = 2;
             r.quantity.quantityIndex = 5;
             r.quantity.statusBit2 = 4;
             r.quantity.statusBit1 = 2;
         }},
        {"kind 2, status bit 3 set", line({"@8", "3412", "0", "01234"}),
         [](ReadingRecord& r) {
             r.kind = 2;
             r.quantity.quantityIndex = 0;
             r.quantity.statusBit2 = 0;
             r.quantity.statusBit1 = 0;
         }},
        {"kind 2, status bit 5 clear", line({"@\x16", "3412", "8", "01234"}),
         [](ReadingRecord& r) {
             r.kind = 2;
             r.quantity.quantityIndex = 8;
             r.quantity.statusBit2 = 4;
             r.quantity.statusBit1 = 2;
         }},
        {"kind 2, 15 characters, position 13 not the digit 0", line({"@2", "3412", "1", "012345", "1"}),
         [](ReadingRecord& r) {
             r.kind = 2;
             r.quantity.quantityIndex = 1;
             r.quantity.statusBit2 = 0;
             r.quantity.statusBit1 = 2;
             r.quantity.serialNumber = 4660;
         }},
    };
}

TEST(FrameDecoderRejection, RecordHoldsExactlyTheWritesBeforeTheFailingCheck) {
    for (const RejectionCase& c : rejectionCases()) {
        ReadingRecord r = sentinel();
        ReadingRecord expected = sentinel();
        c.writes(expected);
        EXPECT_EQ(decode(c.bytes, r), 0) << c.name;
        EXPECT_EQ(dump(r), dump(expected)) << c.name;
    }
}

// Extended lines shorter than their full length have no content past their end: they are refused, and after
// the device code is known only `kind` has been written.
TEST(FrameDecoderRejection, ShortExtendedLinesReadNothingPastTheirEnd) {
    const RejectionCase cases[] = {
        {"marker alone, 3 characters", line({"@A"}), [](ReadingRecord&) {}},
        {"4 characters", line({"@A@"}), [](ReadingRecord&) {}},
        // Not from the line assembly (no carriage return): the device code is complete, the status is missing.
        {"device 9 in 4 bytes", Bytes{0x40, 0x01, 0x40, 0x49}, [](ReadingRecord&) {}},
        {"device 9, no status", line({"@A@I"}), [](ReadingRecord& r) { r.kind = 1; }},
        {"device 9, 15 characters", line({"@A@I0", "3412", "00234"}), [](ReadingRecord& r) { r.kind = 1; }},
        {"device 9, 9 characters", line({"@A@I0", "341"}), [](ReadingRecord& r) { r.kind = 1; }},
        {"device 3, 14 characters", line({"@A@C0", "3412", "0123"}), [](ReadingRecord& r) { r.kind = 4; }},
        {"device 3, 6 characters", line({"@A@C0"}), [](ReadingRecord& r) { r.kind = 4; }},
    };
    for (const RejectionCase& c : cases) {
        ReadingRecord r = sentinel();
        ReadingRecord expected = sentinel();
        c.writes(expected);
        EXPECT_EQ(decode(c.bytes, r), 0) << c.name;
        EXPECT_EQ(dump(r), dump(expected)) << c.name;
    }
}

TEST(FrameDecoderRejection, LengthsBelowTwoAreRejectedUntouched) {
    CFrameDecoder decoder;
    ReadingRecord r = sentinel();
    // A lone carriage return: code 0x0D in the first position.
    std::unique_ptr<std::uint8_t[]> cr(new std::uint8_t[1]{0x0D});
    EXPECT_EQ(decoder.decodeLine(cr.get(), 1, r), 0);
    // A single code-0 byte has no second character to look at.
    std::unique_ptr<std::uint8_t[]> zero(new std::uint8_t[1]{0x40});
    EXPECT_EQ(decoder.decodeLine(zero.get(), 1, r), 0);
    EXPECT_EQ(decoder.decodeLine(zero.get(), 0, r), 0);
    EXPECT_EQ(decoder.decodeLine(zero.get(), -5, r), 0);
    EXPECT_EQ(dump(r), dump(sentinel()));
}

TEST(FrameDecoderLength, CharacterLimitIs127) {
    ReadingRecord r = sentinel();
    ASSERT_EQ(decode(longExtendedLine(127), r), 1);
    EXPECT_EQ(r.kind, FineThermo);
    EXPECT_EQ(r.fineThermo.temperature, 23.449999999999999);

    ReadingRecord untouched = sentinel();
    EXPECT_EQ(decode(longExtendedLine(128), untouched), 0);
    EXPECT_EQ(dump(untouched), dump(sentinel()));
}

TEST(FrameDecoderLength, ExtendedLineIgnoresExtraCharactersButTestsTheirParity) {
    ReadingRecord plain;
    ASSERT_EQ(decode(line({"@A@I0", "3412", "002345"}), plain), 1);
    ReadingRecord extra;
    ASSERT_EQ(decode(line({"@A@I0", "3412", "002345", "-?7"}), extra), 1);
    EXPECT_EQ(dump(extra), dump(plain));

    Bytes badExtra = line({"@A@I0", "3412", "002345", "-?7"});
    badExtra[17] ^= 0x40;
    ReadingRecord r = sentinel();
    EXPECT_EQ(decode(badExtra, r), 0);
    EXPECT_EQ(dump(r), dump(sentinel()));
}

// Each accepted shape: the line and what its sub-record holds afterwards (all other sub-records untouched).
struct AcceptCase {
    const char* name;
    Bytes bytes;
    std::function<void(ReadingRecord&)> writes;
};

std::vector<AcceptCase> acceptCases() {
    return {
        {"kind 0, error bits 0..2 set", line({"@7", "3412", "999", "9999"}),
         [](ReadingRecord& r) {
             r.kind = 0;
             r.thermoHygro = {4, 2, 1, 99.900000000000006, 999.90000000000009, 4660};
         }},
        {"kind 0, hexadecimal serial digits", line({"@0", "????", "000", "0000"}),
         [](ReadingRecord& r) {
             r.kind = 0;
             r.thermoHygro = {0, 0, 0, 0.0, 0.0, 65535};
         }},
        {"kind 0, codes 0x3A..0x3F count as 10..15 in numbers", line({"@0", "1:;<", "?00", "0:00"}),
         [](ReadingRecord& r) {
             r.kind = 0;
             // serial: 4096*11 + 256*12 + 16*1 + 10; temperature 1000 tenths
             r.thermoHygro = {0, 0, 0, 150.0, 100.0, 48154};
         }},
        {"kind 0, any code is a digit (m - 48)", line({"@0", "0000", "\x2F", "00", "-\x20", "00"}),
         [](ReadingRecord& r) {
             r.kind = 0;
             // humidity -100 tenths; temperature: minus, then digits -16, 0, 0 make -1600 tenths, negated
             r.thermoHygro = {0, 0, 0, -10.0, 160.0, 0};
         }},
        {"kind 1", line({"@A@I5", "3412", "-12345"}),
         [](ReadingRecord& r) {
             r.kind = 1;
             r.fineThermo = {4, 0, 1, -123.45, 4660};
         }},
        {"kind 1, status bit 3 unused", line({"@A@I:", "0000", "000001"}),
         [](ReadingRecord& r) {
             r.kind = 1;
             r.fineThermo = {0, 2, 0, 0.01, 0};
         }},
        {"kind 2, 13 characters, tenths", line({"@6", "3412", "8", "-1234"}),
         [](ReadingRecord& r) {
             r.kind = 2;
             r.quantity = {0, 8, 4, 2, -123.40000000000001, 4660};
         }},
        {"kind 2, 15 characters, hundredths", line({"@0", "3412", "0", "012345", "0"}),
         [](ReadingRecord& r) {
             r.kind = 2;
             r.quantity = {1, 0, 0, 0, 123.45, 4660};
         }},
        {"kind 3, bit 1 clear and bit 3 set: x0.1", line({"@8", "3412", "02345"}),
         [](ReadingRecord& r) {
             r.kind = 3;
             r.scaled = {0, 0, 0, 8, 234.5, 4660};
         }},
        {"kind 3, both clear: x0.1 then x0.1", line({"@5", "3412", "02345"}),
         [](ReadingRecord& r) {
             r.kind = 3;
             r.scaled = {1, 0, 4, 0, 23.450000000000003, 4660};
         }},
        {"kind 3, bit 1 set and bit 3 set: x0.001", line({"@:", "3412", "02345"}),
         [](ReadingRecord& r) {
             r.kind = 3;
             r.scaled = {0, 2, 0, 8, 2.3450000000000002, 4660};
         }},
        {"kind 3, bit 1 set and bit 3 clear: x0.001 then x0.1", line({"@2", "3412", "02345"}),
         [](ReadingRecord& r) {
             r.kind = 3;
             r.scaled = {0, 2, 0, 0, 0.23450000000000004, 4660};
         }},
        {"kind 4, tenths", line({"@A@C7", "3412", "-1234"}),
         [](ReadingRecord& r) {
             r.kind = 4;
             r.code3 = {0, 4, 2, 1, -123.40000000000001, 4660};
         }},
        {"kind 4, whole units", line({"@A@C8", "3412", "01234"}),
         [](ReadingRecord& r) {
             r.kind = 4;
             r.code3 = {8, 0, 0, 0, 1234.0, 4660};
         }},
    };
}

TEST(FrameDecoderShapes, EachShapeWritesOnlyKindAndItsOwnSubRecord) {
    for (const AcceptCase& c : acceptCases()) {
        ReadingRecord r = sentinel();
        ReadingRecord expected = sentinel();
        c.writes(expected);
        EXPECT_EQ(decode(c.bytes, r), 1) << c.name;
        EXPECT_EQ(dump(r), dump(expected)) << c.name;
    }
}

// 2345 x 0.1 x 0.1 and 2345 x 0.01 differ in the last bit; the recorded value is the former.
TEST(FrameDecoderShapes, DoubleDivisionIsTwoMultiplications) {
    ReadingRecord r;
    ASSERT_EQ(decode(line({"@0", "3412", "02345"}), r), 1);
    EXPECT_EQ(r.scaled.value, 23.450000000000003);
    EXPECT_NE(r.scaled.value, 23.45);
}

TEST(FrameDecoderSignedZero, SignGoesOnTheDoubleForKinds023AndOnTheIntegerFor14) {
    struct Case {
        const char* name;
        Bytes bytes;
        std::function<double(const ReadingRecord&)> value;
        bool negativeZero;
    };
    const Case cases[] = {
        {"kind 0 -000", line({"@0", "3412", "456", "-000"}),
         [](const ReadingRecord& r) { return r.thermoHygro.temperature; }, true},
        {"kind 0 0000", line({"@0", "3412", "456", "0000"}),
         [](const ReadingRecord& r) { return r.thermoHygro.temperature; }, false},
        {"kind 1 -00000", line({"@A@I0", "3412", "-00000"}),
         [](const ReadingRecord& r) { return r.fineThermo.temperature; }, false},
        {"kind 2 -0000", line({"@0", "3412", "3", "-0000"}), [](const ReadingRecord& r) { return r.quantity.value; },
         true},
        {"kind 2 -00000 0", line({"@0", "3412", "3", "-00000", "0"}),
         [](const ReadingRecord& r) { return r.quantity.value; }, true},
        {"kind 3 -0000", line({"@0", "3412", "-0000"}), [](const ReadingRecord& r) { return r.scaled.value; }, true},
        {"kind 4 -0000 tenths", line({"@A@C0", "3412", "-0000"}), [](const ReadingRecord& r) { return r.code3.value; },
         false},
        {"kind 4 -0000 whole", line({"@A@C8", "3412", "-0000"}), [](const ReadingRecord& r) { return r.code3.value; },
         false},
    };
    for (const Case& c : cases) {
        ReadingRecord r = sentinel();
        ASSERT_EQ(decode(c.bytes, r), 1) << c.name;
        const double v = c.value(r);
        if (c.negativeZero) {
            EXPECT_TRUE(isNegativeZero(v)) << c.name;
        } else {
            EXPECT_TRUE(isPositiveZero(v)) << c.name;
        }
    }
}

TEST(FrameDecoderRecord, LaterLineOfAnotherKindKeepsEarlierSubRecord) {
    ReadingRecord r;
    ASSERT_EQ(decode(kWorkedExample, r), 1);
    ASSERT_EQ(decode(line({"@A@I0", "7856", "002345"}), r), 1);
    EXPECT_EQ(r.kind, FineThermo);
    EXPECT_EQ(r.thermoHygro.serialNumber, 4660);
    EXPECT_EQ(r.thermoHygro.humidity, 45.600000000000001);
    EXPECT_EQ(currentSerialNumber(r), 0x5678);
}

TEST(FrameDecoderRecord, DecoderKeepsNothingBetweenLines) {
    // A full extended line leaves its codes in the decoder's buffer; a short one afterwards must not use them.
    CFrameDecoder decoder;
    ReadingRecord r;
    const Bytes full = line({"@A@I0", "3412", "002345"});
    ASSERT_EQ(decoder.decodeLine(full.data(), static_cast<int>(full.size()), r), 1);
    const Bytes shortLine = line({"@A@I0", "34"});
    r = sentinel();
    ReadingRecord expected = sentinel();
    expected.kind = FineThermo;
    EXPECT_EQ(decoder.decodeLine(shortLine.data(), static_cast<int>(shortLine.size()), r), 0);
    EXPECT_EQ(dump(r), dump(expected));
}

} // namespace
