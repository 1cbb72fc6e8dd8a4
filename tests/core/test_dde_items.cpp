#include "base/cp1250.h"
#include "dde/dde_items.h"

#include <gtest/gtest.h>

#include <iconv.h>

namespace {

using namespace std::string_literals;

QuantityReading shown(double value, bool twoDecimals = false) {
    QuantityReading reading;
    reading.rawValue = value;
    reading.noData = false;
    reading.twoDecimalPlaces = twoDecimals;
    return reading;
}

QuantityView kind(int quantity) {
    return {quantity, quantity, true};
}

TEST(DdeTopicName, CarriesTheSerialNumber) {
    EXPECT_EQ(ddeTopicName(TemperatureTopic, 1234), "Temperatura#1234");
    EXPECT_EQ(utf8ToCp1250(ddeTopicName(HumidityTopic, 1234)), "Wilgotno\x9C\xE6#1234");
    EXPECT_EQ(ddeTopicName(2, 1), "");
}

// With alarms off the service answers exactly the three items it always did.
TEST(DdeItemServed, AlarmOnlyWhileAlarmsAreOn) {
    const struct {
        int item;
        bool alarmsOn, served;
    } cases[] = {
        {ResultItem, false, true}, {StatusItem, false, true}, {AlarmItem, false, false}, {AlarmItem, true, true},
        {StatusItem, true, true},  {4, true, false},          {-1, false, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ddeItemServed(c.item, c.alarmsOn), c.served) << c.item << " " << c.alarmsOn;
    EXPECT_STREQ(kDdeItemNames[AlarmItem], "Alarm");
}

TEST(FormatDdeItem, ResultAndMeasurementForEveryKind) {
    const struct {
        double value;
        int kind;
        bool twoDecimals;
        const char *result, *measurement;
    } cases[] = {
        // "Pomiar" cuts every one-decimal kind, where the display with units would round.
        {12.39, WattsPerSquareMetre, false, "12.3", "12.3 W/m2"},
        {12.375, WattsPerSquareMetre, true, "12.38", "12.3 W/m2"},
        {1.005, KiloLux, false, "1.00", "1.00 kLx"},
        {23.46, DegreesCelsius, false, "23.4", "23.4 °C"},
        {23.46, DegreesCelsius, true, "23.46", "23.46 °C"},
        {200 * 0.1, DegreesCelsius, false, "20.0", "20.0 °C"},
        {-5.07, DegreesCelsius, false, "-5.0", "-5.0 °C"},
        {179.5, Degrees, false, "180", "180 °"},
        {1013.29, HectoPascal, true, "1013.29", "1013.2 hPa"},
        {3.29, MetresPerSecond, false, "3.2", "3.2 m/s"},
        {45.39, Percent, true, "45.39", "45.3 %"},
        {0.0, Percent, false, "0.0", "0.0 %"},
        {-0.0, Percent, false, "-0.0", "-0.0 %"}, // the sign is kept, as the display does
        {412.5, PartsPerMillion, false, "413", "413 ppm"},
        {1.0, NoQuantity, false, "", ""},
        {1.0, 9, false, "", ""},
    };
    for (const auto& c : cases) {
        const QuantityReading reading = shown(c.value, c.twoDecimals);
        EXPECT_EQ(formatDdeItem(ResultItem, reading, kind(c.kind)), c.result) << c.value << " kind " << c.kind;
        EXPECT_EQ(formatDdeItem(MeasurementItem, reading, kind(c.kind)), c.measurement)
            << c.value << " kind " << c.kind;
    }
    EXPECT_EQ(formatDdeItem(AlarmItem, shown(23.4), kind(DegreesCelsius)), "");
}

TEST(FormatDdeItem, StatusFollowsNoDataAndTheFlag) {
    QuantityReading reading = shown(23.4);
    EXPECT_EQ(formatDdeItem(StatusItem, reading, kind(DegreesCelsius)), "Pomiar OK");
    reading.flagged = true;
    EXPECT_EQ(formatDdeItem(StatusItem, reading, kind(DegreesCelsius)), "Błąd pomiaru");
    reading.flagged = false;
    reading.noData = true;
    EXPECT_EQ(utf8ToCp1250(formatDdeItem(StatusItem, reading, kind(DegreesCelsius))), "B\xB3\xB9"
                                                                                      "d pomiaru");
    EXPECT_EQ(formatDdeItem(ResultItem, reading, kind(DegreesCelsius)), "23.4"); // the last value is still given
}

// Every byte against the C library's own conversion. A byte that it refuses is one that Windows-1250 leaves
// undefined: it decodes to U+FFFD, which no character encodes back to.
TEST(Cp1250, EveryByteAsIconvConvertsIt) {
    iconv_t toUtf8 = iconv_open("UTF-8", "CP1250");
    ASSERT_NE(toUtf8, reinterpret_cast<iconv_t>(-1));
    for (int byte = 0; byte < 256; ++byte) {
        char in[1] = {static_cast<char>(byte)};
        char out[8] = {};
        char* inPtr = in;
        char* outPtr = out;
        std::size_t inLeft = 1;
        std::size_t outLeft = sizeof out;
        const bool defined = iconv(toUtf8, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1);
        const std::string utf8 = defined ? std::string(out, outPtr) : "\xEF\xBF\xBD";
        const std::string one(in, 1);
        EXPECT_EQ(cp1250ToUtf8(one), utf8) << byte;
        EXPECT_EQ(utf8ToCp1250(utf8), defined ? one : "?") << byte;
    }
    iconv_close(toUtf8);
}

TEST(Cp1250, UnmappableAndMalformedInputBecomesQuestionMarks) {
    const struct {
        std::string utf8, cp1250;
    } cases[] = {
        {"ñ€", "?\x80"},
        {"a\xE2\x82", "a??"}, // unmappable; truncated at the end
        {"\x80x", "?x"},
        {"\xC0\xAF", "??"}, // stray continuation; overlong "/"
        {"\xED\xA0\x80", "???"},
        {"\xF4\x90\x80\x80", "????"}, // surrogate; beyond U+10FFFF
        {"\xF0\x9F\x98\x80!", "?!"},
        {"a\0b"s, "a\0b"s},
    };
    for (const auto& c : cases)
        EXPECT_EQ(utf8ToCp1250(c.utf8), c.cp1250);
}

} // namespace
