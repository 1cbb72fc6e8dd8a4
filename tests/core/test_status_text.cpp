#include "app/status_text.h"

#include <gtest/gtest.h>

namespace {

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
    const struct {
        ReadingRecord record;
        const char* expected;
    } cases[] = {
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
    for (const auto& c : cases)
        EXPECT_EQ(composeStatusText(c.record, 1, {}), c.expected);
}

TEST(ComposeStatusText, LinkDownIgnoresTheRecord) {
    EXPECT_EQ(composeStatusText(thermoHygro(4660, 4, 2, 1), 0, {}), "Brak komunikacji z urządzeniem. ");
}

TEST(ComposeStatusText, NotesFollowTheVerdictUntilMended) {
    using P = FileProblem;
    const struct {
        int linkUp;
        StatusNotes notes;
        const char* expected;
    } cases[] = {
        {0, {{true, 90, P::None, P::None}}, "Brak komunikacji z urządzeniem. Rejestracja do pliku co 00:01:30. "},
        {1, {{true, 86399, P::None, P::None}}, "HX-350 nr 4660. Pomiar prawidłowy. Rejestracja do pliku co 23:59:59. "},
        {1, {{true, 1, P::None, P::None}}, "HX-350 nr 4660. Pomiar prawidłowy. Rejestracja do pliku co 00:00:01. "},
        {1,
         {{true, 360000, P::None, P::None}},
         "HX-350 nr 4660. Pomiar prawidłowy. Rejestracja do pliku co 100:00:00. "},
        {1, {{false, 90, P::None, P::None}}, "HX-350 nr 4660. Pomiar prawidłowy. "},
        {1,
         {{true, 60, P::WriteFailed, P::Unavailable}},
         "HX-350 nr 4660. Pomiar prawidłowy. Rejestracja do pliku co 00:01:00. Błąd zapisu do pliku rejestracji "
         "wyników pomiaru. Plik binarny jest niedostępny. "},
        {0,
         {{true, 60, P::Unavailable, P::WriteFailed}},
         "Brak komunikacji z urządzeniem. Rejestracja do pliku co 00:01:00. Plik rejestracji wyników pomiaru jest "
         "niedostępny. Błąd zapisu do pliku binarnego. "},
        {1,
         {{true, 60, P::FlushFailed, P::FlushFailed}},
         "HX-350 nr 4660. Pomiar prawidłowy. Rejestracja do pliku co 00:01:00. Błąd zapisu na dysk pliku rejestracji "
         "wyników pomiaru. Błąd zapisu na dysk pliku binarnego. "},
        {0,
         {{true, 60, P::None, P::None}, 3, true},
         "Brak komunikacji z urządzeniem. Port COM3 jest niedostępny. Rejestracja do pliku co 00:01:00. "},
        {1, {{false, 60, P::None, P::None}, 0, true}, "HX-350 nr 4660. Pomiar prawidłowy. Błąd inicjalizacji DDE! "},
        // The alarms follow the reading's and the recording's texts; what they could not carry out comes last.
        {1,
         {{true, 60, P::WriteFailed, P::None}, 0, false, "ALARM: a. ALARM: b. ", "Plik zdarzeń c. "},
         "HX-350 nr 4660. Pomiar prawidłowy. Rejestracja do pliku co 00:01:00. ALARM: a. ALARM: b. Błąd zapisu do "
         "pliku rejestracji wyników pomiaru. Plik zdarzeń c. "},
        {0,
         {{false, 60, P::None, P::None}, 3, false, "ALARM: a. ", ""},
         "Brak komunikacji z urządzeniem. Port COM3 jest niedostępny. ALARM: a. "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(composeStatusText(thermoHygro(4660, 0, 0, 0), c.linkUp, c.notes), c.expected);
}

} // namespace
