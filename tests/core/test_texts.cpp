#include "app/status_text.h"
#include "base/cp1250.h"
#include "dde/dde_items.h"
#include "display/value_text.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <limits>
#include <tuple>

namespace {

TEST(TruncateToTenth, CutsTowardZeroButKeepsWholeTenths) {
    const std::tuple<double, const char*> cases[] = {
        {23.46, "23.4"},
        {23.49, "23.4"},
        {23.399999, "23.3"},
        {-5.07, "-5.0"},
        {-0.04, "-0.0"},
        {-0.0, "-0.0"}, // the sign is kept, as the display does
        {999.99, "999.9"},
        // Whole tenths computed in floating point may lie a hair below (55 W/m2 converted to kLx and back is
        // 54.999999999999993); moving 0.9 or 2.0 by 0.05 before a half-to-even printf would give 0.8 and 1.9.
        {55 / 1.47 * 1.47, "55.0"},
        {-55 / 1.47 * 1.47, "-55.0"},
        {200 * 0.1, "20.0"},
        {234 * 0.1, "23.4"},
        {590 * 0.01, "5.9"},
        {-4260 * 0.01, "-42.6"},
        {0.9, "0.9"},
        {2.0, "2.0"},
        {0.0, "0.0"},
        {-32.0, "-32.0"},
        {1e15, "1000000000000000.0"},
        {-1e20, "-100000000000000000000.0"},
        {std::numeric_limits<double>::infinity(), "inf"},
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(truncateToTenth(value), expected) << value;
}

// Without units the texts are the DDE "Wynik" item's, tested there.
TEST(FormatValueText, EveryKindWithUnits) {
    const std::tuple<double, int, bool, const char*> cases[] = {
        // Only the temperature follows two-decimal mode; every kind rounds.
        {12.25, WattsPerSquareMetre, true, "12.3 W/m2"},
        {1.005, KiloLux, false, "1.00 kLx"},
        {23.46, DegreesCelsius, false, "23.5 °C"},
        {23.46, DegreesCelsius, true, "23.46 °C"},
        {179.5, Degrees, true, "180 °"},
        {1013.25, HectoPascal, false, "1013.3 hPa"},
        {3.25, MetresPerSecond, false, "3.3 m/s"},
        {45.25, Percent, true, "45.3 %"},
        {412.5, PartsPerMillion, false, "413 ppm"},
        {1.0, NoQuantity, false, ""},
    };
    for (const auto& [value, kind, twoDecimals, expected] : cases)
        EXPECT_EQ(formatValueText(value, kind, true, twoDecimals), expected) << value << " kind " << kind;
}

TEST(DisplayText, ConvertsLightUnitsAndShowsNoData) {
    QuantityReading reading;
    reading.rawValue = 10;
    QuantityView view{KiloLux, WattsPerSquareMetre, true};
    EXPECT_EQ(displayText(reading, view), "???");
    reading.noData = false;
    EXPECT_EQ(displayText(reading, view), "14.7 W/m2");
    reading.flagged = true; // a faulty value is still shown (blinking)
    EXPECT_EQ(displayText(reading, view), "14.7 W/m2");

    reading.rawValue = 14.7;
    view = {WattsPerSquareMetre, KiloLux, true};
    EXPECT_EQ(displayText(reading, view), "10.00 kLx");

    view = {DegreesCelsius, Percent, false}; // any other pair is shown as given
    EXPECT_EQ(displayText(reading, view), "14.7");

    view.displayQuantity = 9;
    EXPECT_EQ(displayText(reading, view), "");
    reading.noData = true;
    EXPECT_EQ(displayText(reading, view), "???");
}

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
    EXPECT_EQ(ddeTopicWithSerial("Wilgotność", 4660), "Wilgotność#4660");
}

// A client reads an item's text up to its terminating NUL (every byte when there is none), from Windows-1250.
TEST(DdeItemText, UpToTheTerminatingNul) {
    const std::tuple<std::string, const char*> cases[] = {
        {"23.4\0"s, "23.4"}, {"B\263\271d pomiaru\0"s, "Błąd pomiaru"}, {"OK"s, "OK"}, {"\0rest"s, ""}, {""s, ""},
    };
    for (const auto& [data, text] : cases)
        EXPECT_EQ(ddeItemText(data), text);
}

// With alarms off the service answers exactly the three items it always did.
TEST(DdeItemServed, AlarmOnlyWhileAlarmsAreOn) {
    const std::tuple<int, bool, bool> cases[] = {
        {ResultItem, false, true}, {StatusItem, false, true}, {AlarmItem, false, false}, {AlarmItem, true, true},
        {StatusItem, true, true},  {4, true, false},          {-1, false, false},
    };
    for (const auto& [item, alarmsOn, served] : cases)
        EXPECT_EQ(ddeItemServed(item, alarmsOn), served) << item << " " << alarmsOn;
    EXPECT_STREQ(kDdeItemNames[AlarmItem], "Alarm");
}

TEST(FormatDdeItem, ResultAndMeasurementForEveryKind) {
    const std::tuple<double, int, bool, const char*, const char*> cases[] = {
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
        {1013.29, HectoPascal, false, "1013.2", "1013.2 hPa"},
        {3.29, MetresPerSecond, false, "3.2", "3.2 m/s"},
        {3.29, MetresPerSecond, true, "3.29", "3.2 m/s"},
        {45.39, Percent, true, "45.39", "45.3 %"},
        {45.39, Percent, false, "45.3", "45.3 %"},
        {0.0, Percent, false, "0.0", "0.0 %"},
        {-0.0, Percent, false, "-0.0", "-0.0 %"}, // the sign is kept, as the display does
        {412.5, PartsPerMillion, false, "413", "413 ppm"},
        {1.0, NoQuantity, false, "", ""},
        {1.0, 9, false, "", ""},
    };
    for (const auto& [value, quantity, twoDecimals, result, measurement] : cases) {
        const QuantityReading reading = shown(value, twoDecimals);
        EXPECT_EQ(formatDdeItem(ResultItem, reading, kind(quantity)), result) << value << " kind " << quantity;
        EXPECT_EQ(formatDdeItem(MeasurementItem, reading, kind(quantity)), measurement)
            << value << " kind " << quantity;
    }
    EXPECT_EQ(formatDdeItem(AlarmItem, shown(23.4), kind(DegreesCelsius)), "");
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
    const std::pair<std::string, std::string> cases[] = {
        {"ñ€", "?\x80"},
        {"a\xE2\x82", "a??"}, // unmappable; truncated at the end
        {"\x80x", "?x"},
        {"\xC0\xAF", "??"}, // stray continuation; overlong "/"
        {"\xED\xA0\x80", "???"},
        {"\xF4\x90\x80\x80", "????"}, // surrogate; beyond U+10FFFF
        {"\xF0\x9F\x98\x80!", "?!"},
        {"a\0b"s, "a\0b"s},
        {"\xC2\x80\xE0\xA0\x80\xF0\x90\x80\x80", "???"}, // the lowest of each length, none in the code page
        {"\xED\xBF\xBF\xF4\x8F\xBF\xBF", "????"},        // the last surrogate; U+10FFFF
        {"\xC5(", "?("},                                 // a lead byte without its continuation
    };
    for (const auto& [utf8, cp1250] : cases)
        EXPECT_EQ(utf8ToCp1250(utf8), cp1250);
    EXPECT_EQ(utf8ToCp1250(std::string_view("\xC5\x82", 1)), "?"); // truncated by the view, not by a NUL
}

ReadingRecord thermoHygro(int serial, int calibration, int temperature, int humidity) {
    ReadingRecord record;
    record.kind = ThermoHygro;
    record.thermoHygro.serialNumber = serial;
    record.thermoHygro.calibrationError = calibration;
    record.thermoHygro.temperatureError = temperature;
    record.thermoHygro.humidityError = humidity;
    return record;
}

ReadingRecord fineThermo(int kind, int serial, int calibration, int temperature, int twoDecimals) {
    ReadingRecord record;
    record.kind = kind;
    record.thermoHygro.serialNumber = 1111; // must not be the one shown
    record.thermoHygro.humidityError = 1;   // nor may its bits count
    record.fineThermo.serialNumber = serial;
    record.fineThermo.calibrationError = calibration;
    record.fineThermo.temperatureError = temperature;
    record.fineThermo.twoDecimals = twoDecimals;
    return record;
}

TEST(ComposeStatusText, VerdictsPerKind) {
    const std::pair<ReadingRecord, const char*> cases[] = {
        {thermoHygro(4660, 0, 0, 0), "HX-350 nr 4660. Pomiar prawidłowy. "},
        {thermoHygro(4660, 4, 2, 0), "HX-350 nr 4660. Błąd wartości temperatury. Błąd kalibracji. "},
        {thermoHygro(1, 0, 0, 1), "HX-350 nr 1. Błąd wartości wilgotności względnej. "},
        {thermoHygro(1, 4, 2, 1),
         "HX-350 nr 1. Błąd wartości temperatury. Błąd wartości wilgotności względnej. Błąd kalibracji. "},
        {thermoHygro(0, 0, 0, 0), "HX-350 nr 0. Pomiar prawidłowy. "},
        {thermoHygro(-5, 0, 0, 0), "HX-350 nr -5. Pomiar prawidłowy. "},
        {fineThermo(FineThermo, 77, 0, 0, 0), "HX-350 nr 77. Pomiar prawidłowy. "},
        {fineThermo(FineThermo, 77, 0, 2, 0), "HX-350 nr 77. Błąd wartości temperatury. "},
        {fineThermo(FineThermo, 77, 4, 0, 0), "HX-350 nr 77. Błąd kalibracji. "},
        // Two-decimal mode sits among the verdict bits: neither the correct nor an error text.
        {fineThermo(FineThermo, 77, 0, 0, 1), "HX-350 nr 77. "},
        // Rejected kinds still read the fine-thermometer sub-record.
        {fineThermo(Scaled, 78, 0, 0, 0), "HX-350 nr 78. Pomiar prawidłowy. "},
    };
    for (const auto& [record, expected] : cases)
        EXPECT_EQ(composeStatusText(record, 1, {}), expected);
}

TEST(ComposeStatusText, NotesFollowTheVerdictUntilMended) {
    using P = FileProblem;
    const std::tuple<bool, StatusNotes, const char*> cases[] = {
        {false, {{true, 90, P::None, P::None}}, "Brak komunikacji z urządzeniem. Rejestracja do pliku co 00:01:30. "},
        {true,
         {{true, 86399, P::None, P::None}},
         "HX-350 nr 4660. Pomiar prawidłowy. Rejestracja do pliku co 23:59:59. "},
        {true, {{true, 1, P::None, P::None}}, "HX-350 nr 4660. Pomiar prawidłowy. Rejestracja do pliku co 00:00:01. "},
        {true,
         {{true, 360000, P::None, P::None}},
         "HX-350 nr 4660. Pomiar prawidłowy. Rejestracja do pliku co 100:00:00. "},
        {true, {{false, 90, P::None, P::None}}, "HX-350 nr 4660. Pomiar prawidłowy. "},
        {true,
         {{true, 60, P::WriteFailed, P::Unavailable}},
         "HX-350 nr 4660. Pomiar prawidłowy. Rejestracja do pliku co 00:01:00. Błąd zapisu do pliku rejestracji "
         "wyników pomiaru. Plik binarny jest niedostępny. "},
        {false,
         {{true, 60, P::Unavailable, P::WriteFailed}},
         "Brak komunikacji z urządzeniem. Rejestracja do pliku co 00:01:00. Plik rejestracji wyników pomiaru jest "
         "niedostępny. Błąd zapisu do pliku binarnego. "},
        {true,
         {{true, 60, P::FlushFailed, P::FlushFailed}},
         "HX-350 nr 4660. Pomiar prawidłowy. Rejestracja do pliku co 00:01:00. Błąd zapisu na dysk pliku rejestracji "
         "wyników pomiaru. Błąd zapisu na dysk pliku binarnego. "},
        {false,
         {{true, 60, P::None, P::None}, 3, true},
         "Brak komunikacji z urządzeniem. Port COM3 jest niedostępny. Rejestracja do pliku co 00:01:00. "},
        {true, {{false, 60, P::None, P::None}, 0, true}, "HX-350 nr 4660. Pomiar prawidłowy. Błąd inicjalizacji DDE! "},
        // The alarms follow the reading's and the recording's texts; what they could not carry out comes last.
        {true,
         {{true, 60, P::WriteFailed, P::None}, 0, false, "ALARM: a. ALARM: b. ", "Plik zdarzeń c. "},
         "HX-350 nr 4660. Pomiar prawidłowy. Rejestracja do pliku co 00:01:00. ALARM: a. ALARM: b. Błąd zapisu do "
         "pliku rejestracji wyników pomiaru. Plik zdarzeń c. "},
        {false,
         {{false, 60, P::None, P::None}, 3, false, "ALARM: a. ", ""},
         "Brak komunikacji z urządzeniem. Port COM3 jest niedostępny. ALARM: a. "},
    };
    for (const auto& [linkUp, notes, expected] : cases)
        EXPECT_EQ(composeStatusText(thermoHygro(4660, 0, 0, 0), linkUp, notes), expected);
}

} // namespace
