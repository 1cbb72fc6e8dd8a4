#include "app/status_text.h"

#include <cstdio>

// Every piece ends with a blank so that the pieces simply follow one another.
std::string composeStatusText(const ReadingRecord& record, int linkUp, bool recordingTimerRunning,
                              int intervalSeconds) {
    std::string text;
    if (linkUp == 0) {
        text = "Brak komunikacji z urządzeniem. ";
    } else {
        text = "HX-350 nr " + std::to_string(currentSerialNumber(record)) + ". ";
        if (record.kind == ThermoHygro) {
            const ThermoHygroRecord& r = record.thermoHygro;
            if (r.temperatureError == 0 && r.humidityError == 0 && r.calibrationError == 0) {
                text += "Pomiar prawidłowy. ";
            }
            if (r.temperatureError != 0) {
                text += "Błąd wartości temperatury. ";
            }
            if (r.humidityError != 0) {
                text += "Błąd wartości wilgotności względnej. ";
            }
            if (r.calibrationError != 0) {
                text += "Błąd kalibracji. ";
            }
        } else {
            // The two-decimal bit takes the place of the humidity error bit in the verdict, so a reading with
            // two decimals shows neither the correct-measurement text nor an error.
            const FineThermoRecord& r = record.fineThermo;
            if (r.temperatureError == 0 && r.twoDecimals == 0 && r.calibrationError == 0) {
                text += "Pomiar prawidłowy. ";
            }
            if (r.temperatureError != 0) {
                text += "Błąd wartości temperatury. ";
            }
            if (r.calibrationError != 0) {
                text += "Błąd kalibracji. ";
            }
        }
    }
    if (recordingTimerRunning) {
        char interval[64];
        std::snprintf(interval, sizeof interval, "Rejestracja do pliku co %02d:%02d:%02d. ", intervalSeconds / 3600,
                      intervalSeconds % 3600 / 60, intervalSeconds % 60);
        text += interval;
    }
    return text;
}
