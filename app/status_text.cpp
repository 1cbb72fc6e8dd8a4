#include "app/status_text.h"

#include <cstdio>

namespace {

struct ProblemTexts {
    const char* unavailable;
    const char* writeFailed;
    const char* flushFailed;
};

const char* problemText(FileProblem problem, const ProblemTexts& texts) {
    switch (problem) {
    case FileProblem::Unavailable:
        return texts.unavailable;
    case FileProblem::WriteFailed:
        return texts.writeFailed;
    case FileProblem::FlushFailed:
        return texts.flushFailed;
    default:
        return "";
    }
}

} // namespace

// Every piece ends with a blank so that the pieces simply follow one another.
std::string composeStatusText(const ReadingRecord& record, bool linkUp, const StatusNotes& notes) {
    const RecordingStatus& recording = notes.recording;
    std::string text;
    if (!linkUp) {
        text = "Brak komunikacji z urządzeniem. ";
        if (notes.unavailablePort > 0)
            text += "Port COM" + std::to_string(notes.unavailablePort) + " jest niedostępny. ";
    } else {
        text = "HX-350 nr " + std::to_string(currentSerialNumber(record)) + ". ";
        if (record.kind == ThermoHygro) {
            const ThermoHygroRecord& r = record.thermoHygro;
            if (r.temperatureError == 0 && r.humidityError == 0 && r.calibrationError == 0)
                text += "Pomiar prawidłowy. ";
            if (r.temperatureError != 0)
                text += "Błąd wartości temperatury. ";
            if (r.humidityError != 0)
                text += "Błąd wartości wilgotności względnej. ";
            if (r.calibrationError != 0)
                text += "Błąd kalibracji. ";
        } else {
            // The two-decimal bit takes the place of the humidity error bit in the verdict, so a reading with
            // two decimals shows neither the correct-measurement text nor an error.
            const FineThermoRecord& r = record.fineThermo;
            if (r.temperatureError == 0 && r.twoDecimals == 0 && r.calibrationError == 0)
                text += "Pomiar prawidłowy. ";
            if (r.temperatureError != 0)
                text += "Błąd wartości temperatury. ";
            if (r.calibrationError != 0)
                text += "Błąd kalibracji. ";
        }
    }
    if (linkUp && notes.ddeFailed)
        text += "Błąd inicjalizacji DDE! ";
    if (recording.timerRunning) {
        const int seconds = recording.intervalSeconds;
        char interval[64];
        std::snprintf(interval, sizeof interval, "Rejestracja do pliku co %02d:%02d:%02d. ", seconds / 3600,
                      seconds % 3600 / 60, seconds % 60);
        text += interval;
    }
    text += notes.alarms;
    // A recording that fails is said until it works again: nobody may be there to see a message box.
    text += problemText(recording.text, {"Plik rejestracji wyników pomiaru jest niedostępny. ",
                                         "Błąd zapisu do pliku rejestracji wyników pomiaru. ",
                                         "Błąd zapisu na dysk pliku rejestracji wyników pomiaru. "});
    text += problemText(recording.binary, {"Plik binarny jest niedostępny. ", "Błąd zapisu do pliku binarnego. ",
                                           "Błąd zapisu na dysk pliku binarnego. "});
    return text + notes.alarmProblems + notes.network;
}
