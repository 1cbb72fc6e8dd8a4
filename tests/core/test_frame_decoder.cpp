#include "protocol/frame_decoder.h"
#include "tools/hx350_decode/record_json.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Writes = std::function<void(ReadingRecord&)>;

// The worked example: status 0x30, serial 1234 hex, humidity 45.6, temperature 23.4.
const Bytes kWorkedExample = {0x40, 0x70, 0x73, 0x34, 0x31, 0x32, 0x34, 0x75, 0x76, 0x70, 0x32, 0x73, 0x34, 0x0D};

// Puts a code on the wire as the instrument does: bit 6 makes bits 0..6 hold an odd number of ones.
std::uint8_t onWire(int code) {
    int b = code & 0x3F;
    int ones = 0;
    for (int v = b; v != 0; v >>= 1)
        ones += v & 1;
    return static_cast<std::uint8_t>((ones % 2 == 0) ? (b | 0x40) : b);
}

// A line written as the characters whose low six bits are its codes: '@' is code 0, 'A' code 1, 'C' code 3,
// 'I' code 9, '0'..'9' the digits, ':'..'?' the codes 0x3A..0x3F, '-' the minus sign. The closing carriage
// return is appended. Fields are given separately only for legibility.
Bytes line(std::initializer_list<const char*> fields) {
    Bytes bytes;
    for (const char* field : fields) {
        for (const char* ch = field; *ch != '\0'; ++ch)
            bytes.push_back(onWire(static_cast<unsigned char>(*ch)));
    }
    bytes.push_back(0x0D);
    return bytes;
}

Bytes withByte(Bytes bytes, std::size_t at, std::uint8_t value) {
    bytes[at] = value;
    return bytes;
}

Bytes withBitSevenEverywhere(Bytes bytes) {
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i)
        bytes[i] |= 0x80;
    return bytes;
}

Bytes longExtendedLine(int n) {
    // Device 9, valid fields, then digit '1' (0x31, odd parity) up to n characters with the carriage return.
    Bytes bytes = line({"@A@I0", "3412", "002345"});
    bytes.pop_back();
    while (static_cast<int>(bytes.size()) < n - 1)
        bytes.push_back(0x31);
    bytes.push_back(0x0D);
    return bytes;
}

// Every field of the record starts as a value no line writes, so that any write shows.
constexpr int kKept = 77;
constexpr double kKeptValue = 77.5;
ReadingRecord sentinel() {
    ReadingRecord r;
    r.kind = kKept;
    r.thermoHygro = {kKept, kKept, kKept, kKeptValue, kKeptValue, kKept};
    r.fineThermo = {kKept, kKept, kKept, kKeptValue, kKept};
    r.quantity = {kKept, kKept, kKept, kKept, kKeptValue, kKept};
    r.scaled = {kKept, kKept, kKept, kKept, kKeptValue, kKept};
    r.code3 = {kKept, kKept, kKept, kKept, kKeptValue, kKept};
    return r;
}

// Every field, doubles bit-exact (the sign of zero included), in a form that shows the difference on failure.
std::string dump(const ReadingRecord& r) {
    return recordJson(LineOutcome{}, r);
}

// Decodes a copy in a buffer of exactly the line's size, so that the sanitizer catches any read past its end.
int decode(const Bytes& bytes, ReadingRecord& record, int n) {
    std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[bytes.size()]);
    std::copy(bytes.begin(), bytes.end(), exact.get());
    CFrameDecoder decoder;
    return decoder.decodeLine(exact.get(), n, record);
}

// What a line writes: `kind` and one whole sub-record.
template <typename Sub> Writes sets(int kind, Sub ReadingRecord::*sub, Sub value) {
    return [=](ReadingRecord& r) {
        r.kind = kind;
        r.*sub = value;
    };
}
const auto thermoHygro = [](ThermoHygroRecord s) { return sets(ThermoHygro, &ReadingRecord::thermoHygro, s); };
const auto fineThermo = [](FineThermoRecord s) { return sets(FineThermo, &ReadingRecord::fineThermo, s); };
const auto quantity = [](QuantityRecord s) { return sets(Quantity, &ReadingRecord::quantity, s); };
const auto scaled = [](ScaledRecord s) { return sets(Scaled, &ReadingRecord::scaled, s); };
const auto code3 = [](Code3Record s) { return sets(Code3, &ReadingRecord::code3, s); };

// What a rejected line wrote before the failing check.
Writes nothing() {
    return [](ReadingRecord&) {};
}
Writes kindOnly(int kind) {
    return [kind](ReadingRecord& r) { r.kind = kind; };
}

// A line and what the record holds afterwards: the sentinel with the line's writes applied.
struct Case {
    const char* name;
    Bytes bytes;
    Writes writes;
};

void expectDecodes(const Case& c, int result, std::optional<int> n = std::nullopt) {
    ReadingRecord r = sentinel();
    ReadingRecord expected = sentinel();
    c.writes(expected);
    EXPECT_EQ(decode(c.bytes, r, n.value_or(static_cast<int>(c.bytes.size()))), result) << c.name;
    EXPECT_EQ(dump(r), dump(expected)) << c.name;
}

TEST(FrameDecoder, AcceptedLinesWriteKindAndTheirOwnSubRecordOnly) {
    const ThermoHygroRecord workedExample = {0, 0, 0, 45.600000000000001, 23.400000000000002, 4660};
    const Case cases[] = {
        {"worked example", kWorkedExample, thermoHygro(workedExample)},
        {"worked example, minus sign", line({"@0", "3412", "456", "-052"}),
         thermoHygro({0, 0, 0, 45.600000000000001, -5.2000000000000002, 4660})},
        // The first character and the closing one carry no parity; bit 7 is noise everywhere.
        {"first byte 0x00", withByte(kWorkedExample, 0, 0x00), thermoHygro(workedExample)},
        {"first byte 0xC0", withByte(kWorkedExample, 0, 0xC0), thermoHygro(workedExample)},
        {"closing byte of even parity", withByte(kWorkedExample, 13, 0x4D), thermoHygro(workedExample)},
        {"bit 7 set everywhere", withBitSevenEverywhere(kWorkedExample), thermoHygro(workedExample)},
        {"kind 0, error bits 0..2 set", line({"@7", "3412", "999", "9999"}),
         thermoHygro({4, 2, 1, 99.900000000000006, 999.90000000000009, 4660})},
        {"kind 0, hexadecimal serial digits", line({"@0", "????", "000", "0000"}), thermoHygro({0, 0, 0, 0, 0, 65535})},
        // serial: 4096*11 + 256*12 + 16*1 + 10; temperature 1000 tenths
        {"kind 0, codes 0x3A..0x3F count as 10..15", line({"@0", "1:;<", "?00", "0:00"}),
         thermoHygro({0, 0, 0, 150.0, 100.0, 48154})},
        // humidity -100 tenths; temperature: minus, then digits -16, 0, 0 make -1600 tenths, negated
        {"kind 0, any code is a digit (m - 48)", line({"@0", "0000", "\x2F", "00", "-\x20", "00"}),
         thermoHygro({0, 0, 0, -10.0, 160.0, 0})},
        // Kinds 0, 2 and 3 negate the double, kinds 1 and 4 the integer.
        {"kind 0, -000", line({"@0", "3412", "456", "-000"}), thermoHygro({0, 0, 0, 45.600000000000001, -0.0, 4660})},
        {"kind 1", line({"@A@I5", "3412", "-12345"}), fineThermo({4, 0, 1, -123.45, 4660})},
        {"kind 1, status bit 3 unused", line({"@A@I:", "0000", "000001"}), fineThermo({0, 2, 0, 0.01, 0})},
        {"kind 1, -00000", line({"@A@I0", "3412", "-00000"}), fineThermo({0, 0, 0, 0.0, 4660})},
        {"kind 1, extra characters ignored", line({"@A@I0", "3412", "002345", "-?7"}),
         fineThermo({0, 0, 0, 23.449999999999999, 4660})},
        {"kind 1, 127 characters", longExtendedLine(127), fineThermo({0, 0, 0, 23.449999999999999, 4660})},
        {"kind 2, 13 characters, tenths", line({"@6", "3412", "8", "-1234"}),
         quantity({0, 8, 4, 2, -123.40000000000001, 4660})},
        {"kind 2, 15 characters, hundredths", line({"@0", "3412", "0", "012345", "0"}),
         quantity({1, 0, 0, 0, 123.45, 4660})},
        {"kind 2, -0000", line({"@0", "3412", "3", "-0000"}), quantity({0, 3, 0, 0, -0.0, 4660})},
        {"kind 2, -00000 0", line({"@0", "3412", "3", "-00000", "0"}), quantity({1, 3, 0, 0, -0.0, 4660})},
        // 2345 x 0.1 x 0.1 and 2345 x 0.01 differ in the last bit; the recorded value is the former.
        {"kind 3, bit 1 clear and bit 3 set: x0.1", line({"@8", "3412", "02345"}), scaled({0, 0, 0, 8, 234.5, 4660})},
        {"kind 3, both clear: x0.1 then x0.1", line({"@5", "3412", "02345"}),
         scaled({1, 0, 4, 0, 23.450000000000003, 4660})},
        {"kind 3, bit 1 set and bit 3 set: x0.001", line({"@:", "3412", "02345"}),
         scaled({0, 2, 0, 8, 2.3450000000000002, 4660})},
        {"kind 3, bit 1 set and bit 3 clear: x0.001 then x0.1", line({"@2", "3412", "02345"}),
         scaled({0, 2, 0, 0, 0.23450000000000004, 4660})},
        {"kind 3, -0000", line({"@0", "3412", "-0000"}), scaled({0, 0, 0, 0, -0.0, 4660})},
        {"kind 4, tenths", line({"@A@C7", "3412", "-1234"}), code3({0, 4, 2, 1, -123.40000000000001, 4660})},
        {"kind 4, whole units", line({"@A@C8", "3412", "01234"}), code3({8, 0, 0, 0, 1234.0, 4660})},
        {"kind 4, -0000 tenths", line({"@A@C0", "3412", "-0000"}), code3({0, 0, 0, 0, 0.0, 4660})},
        {"kind 4, -0000 whole", line({"@A@C8", "3412", "-0000"}), code3({8, 0, 0, 0, 0.0, 4660})},
    };
    for (const Case& c : cases)
        expectDecodes(c, 1);
}

TEST(FrameDecoder, RejectedLinesKeepOnlyTheWritesBeforeTheFailingCheck) {
    Bytes badExtra = line({"@A@I0", "3412", "002345", "-?7"});
    badExtra[17] ^= 0x40;
    const Case cases[] = {
        {"128 characters", longExtendedLine(128), nothing()},
        {"first code not zero", line({"A0", "3412", "456", "0234"}), nothing()},
        {"first byte 0x70", withByte(kWorkedExample, 0, 0x70), nothing()},
        {"parity of ignored extra characters", badExtra, nothing()},
        {"extended line, device code 5", line({"@A@E0", "3412", "002345"}), nothing()},
        {"extended line, device code 73", line({"@AAI0", "3412", "002345"}), nothing()},
        {"11 characters", line({"@0", "3412", "4560"}), nothing()},
        {"16 characters, not extended", line({"@0", "3412", "456", "023456"}), nothing()},
        {"2 characters", line({"@"}), nothing()},
        {"lone carriage return", Bytes{0x0D}, nothing()},
        {"one code-0 byte", Bytes{0x40}, nothing()},
        // Extended lines shorter than their full length have no content past their end: after the device code is
        // known only `kind` has been written.
        {"extended marker alone, 3 characters", line({"@A"}), nothing()},
        {"extended, 4 characters", line({"@A@"}), nothing()},
        {"device 9 in 4 bytes, no carriage return, no status", Bytes{0x40, 0x01, 0x40, 0x49}, nothing()},
        {"device 9, no status", line({"@A@I"}), kindOnly(FineThermo)},
        {"device 9, 15 characters", line({"@A@I0", "3412", "00234"}), kindOnly(FineThermo)},
        {"device 9, 9 characters", line({"@A@I0", "341"}), kindOnly(FineThermo)},
        {"device 3, 14 characters", line({"@A@C0", "3412", "0123"}), kindOnly(Code3)},
        {"device 3, 6 characters", line({"@A@C0"}), kindOnly(Code3)},
        {"kind 1, status bit 4 clear", line({"@A@I", "\x27", "3412", "002345"}), kindOnly(FineThermo)},
        {"kind 1, status bit 5 clear", line({"@A@I", "\x17", "3412", "002345"}), kindOnly(FineThermo)},
        {"kind 4, status bit 4 clear", line({"@A@C", "\x2F", "3412", "01234"}), kindOnly(Code3)},
        {"kind 4, status bit 5 clear", line({"@A@C", "\x1F", "3412", "01234"}), kindOnly(Code3)},
        {"kind 0, status bit 3 set", line({"@=", "3412", "456", "0234"}),
         thermoHygro({4, 0, 1, kKeptValue, kKeptValue, kKept})},
        {"kind 0, status bit 4 clear", line({"@\x27", "3412", "456", "0234"}),
         thermoHygro({4, 2, 1, kKeptValue, kKeptValue, kKept})},
        {"kind 0, status bit 5 clear", line({"@\x12", "3412", "456", "0234"}),
         thermoHygro({0, 2, 0, kKeptValue, kKeptValue, kKept})},
        {"kind 3, status bit 5 clear", line({"@\x1F", "3412", "01234"}), scaled({1, 2, 4, 8, kKeptValue, kKept})},
        {"kind 3, status bit 4 clear", line({"@\x20", "3412", "01234"}), scaled({0, 0, 0, 0, kKeptValue, kKept})},
        {"kind 2, quantity index 9", line({"@0", "3412", "9", "01234"}),
         quantity({kKept, 9, kKept, kKept, kKeptValue, kKept})},
        {"kind 2, quantity index -1", line({"@0", "3412", "/", "01234"}),
         quantity({kKept, -1, kKept, kKept, kKeptValue, kKept})},
        {"kind 2, status bit 0 set", line({"@7", "3412", "5", "01234"}), quantity({kKept, 5, 4, 2, kKeptValue, kKept})},
        {"kind 2, status bit 3 set", line({"@8", "3412", "0", "01234"}), quantity({kKept, 0, 0, 0, kKeptValue, kKept})},
        {"kind 2, status bit 5 clear", line({"@\x16", "3412", "8", "01234"}),
         quantity({kKept, 8, 4, 2, kKeptValue, kKept})},
        {"kind 2, 15 characters, position 13 not the digit 0", line({"@2", "3412", "1", "012345", "1"}),
         quantity({kKept, 1, 0, 2, kKeptValue, 4660})},
    };
    for (const Case& c : cases)
        expectDecodes(c, 0);
    for (int n : {0, -5})
        expectDecodes({"length below one", kWorkedExample, nothing()}, 0, n);
}

TEST(FrameDecoder, EverySingleBitFlipInTheTestedBytesIsRejectedUntouched) {
    for (std::size_t pos = 1; pos <= 12; ++pos) {
        for (int bit = 0; bit <= 6; ++bit) {
            SCOPED_TRACE("byte " + std::to_string(pos) + " bit " + std::to_string(bit));
            const std::uint8_t flipped = kWorkedExample[pos] ^ static_cast<std::uint8_t>(1 << bit);
            expectDecodes({"flipped", withByte(kWorkedExample, pos, flipped), nothing()}, 0);
        }
    }
}

TEST(FrameDecoder, ShortLineDoesNotUseThePreviousLinesCodes) {
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

// Each field lands under its own name: a record whose every field differs catches swapped fields.
TEST(RecordJson, EveryFieldInRecordOrder) {
    ReadingRecord r;
    r.kind = 3;
    r.thermoHygro = {4, 2, 1, 1.5, -2.5, 3};
    r.fineThermo = {5, 6, 7, 8.25, 9};
    r.quantity = {10, -1, 12, 13, 14.5, 15};
    r.scaled = {16, 17, 18, 19, -0.0, 20};
    r.code3 = {21, 22, 23, 24, 25.75, 65535};
    LineOutcome outcome;
    outcome.length = 999;
    outcome.result = 0;
    outcome.good = false;
    EXPECT_EQ(recordJson(outcome, r),
              "{\"n\":999,\"result\":0,\"good\":false,\"kind\":3,"
              "\"thermoHygro\":{\"calibrationError\":4,\"temperatureError\":2,\"humidityError\":1,"
              "\"humidity\":1.5,\"temperature\":-2.5,\"serialNumber\":3},"
              "\"fineThermo\":{\"calibrationError\":5,\"temperatureError\":6,\"twoDecimals\":7,\"temperature\":8.25,"
              "\"serialNumber\":9},"
              "\"quantity\":{\"hundredths\":10,\"quantityIndex\":-1,\"statusBit2\":12,\"statusBit1\":13,"
              "\"value\":14.5,\"serialNumber\":15},"
              "\"scaled\":{\"statusBit0\":16,\"milliScale\":17,\"statusBit2\":18,\"statusBit3\":19,\"value\":-0,"
              "\"serialNumber\":20},"
              "\"code3\":{\"wholeUnits\":21,\"statusBit2\":22,\"statusBit1\":23,\"statusBit0\":24,\"value\":25.75,"
              "\"serialNumber\":65535}}");
}

TEST(RecordJson, DoublesUseSeventeenSignificantDigits) {
    const std::tuple<double, const char*> cases[] = {
        {0.0, "0"},
        {-0.0, "-0"},
        {150.0, "150"},
        {-5.2000000000000002, "-5.2000000000000002"},
        {23.450000000000003, "23.450000000000003"},
        {0.0007000000000000001, "0.0007000000000000001"},
        {7e-05, "6.9999999999999994e-05"},
        {-4799952.0, "-4799952"},
        {1e17, "1e+17"},
    };
    for (const auto& [value, text] : cases) {
        ReadingRecord r;
        r.code3.value = value;
        const std::string json = recordJson(LineOutcome{}, r);
        EXPECT_NE(json.find(std::string("\"statusBit0\":0,\"value\":") + text + ","), std::string::npos) << json;
    }
}

} // namespace
