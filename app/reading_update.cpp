#include "app/reading_update.h"

namespace {

// The last value stays: the DDE service still answers with it while the display shows "???".
void setNoData(QuantityReading& reading) {
    reading.noData = true;
    reading.flagged = false;
}

// A faulty value is kept as it is and flagged: the display blinks it, recording writes "???" and DDE answers
// "Błąd pomiaru".
void setValue(QuantityReading& reading, double value, bool faulty) {
    reading.rawValue = value;
    reading.noData = false;
    reading.flagged = faulty;
}

} // namespace

// Status fields may hold their bit's own value (4), so they are only compared with zero.
ReadingUpdatePlan planReadingUpdate(ReadingUpdateState& state, const ReadingRecord& record, bool linkUp,
                                    CurrentReading& reading) {
    const int isThermoHygro = record.kind == ThermoHygro ? 1 : 0;

    ReadingUpdatePlan plan;
    plan.humidityVisible = record.kind != FineThermo;
    const bool changed = isThermoHygro != state.layoutIsThermoHygro || linkUp != state.linkUp;
    if (changed) {
        state.layoutIsThermoHygro = isThermoHygro;
        state.linkUp = linkUp;
        plan.relayout = true;
    }
    // The service's topic names carry the serial number, so it is restarted whenever the link comes up or the
    // kind of instrument changes; a number that is not positive leaves it stopped, silently. A start that failed
    // is tried again at the next good line.
    if (changed || (linkUp && state.ddeStartFailed)) {
        state.ddeStartFailed = false;
        plan.dde = DdeAction::Stop;
        const int serial = currentSerialNumber(record);
        if (linkUp && serial > 0) {
            plan.dde = DdeAction::StopThenStart;
            plan.ddeSerialNumber = serial;
        }
    }

    reading.serialNumber = currentSerialNumber(record);
    reading.humiditySerialNumber = record.thermoHygro.serialNumber;
    if (!linkUp) {
        setNoData(reading.temperature);
        setNoData(reading.humidity);
    } else if (record.kind == ThermoHygro) {
        const ThermoHygroRecord& r = record.thermoHygro;
        setValue(reading.temperature, r.temperature, r.calibrationError != 0 || r.temperatureError != 0);
        reading.temperature.twoDecimalPlaces = false;
        setValue(reading.humidity, r.humidity, r.calibrationError != 0 || r.humidityError != 0);
    } else {
        const FineThermoRecord& r = record.fineThermo;
        setValue(reading.temperature, r.temperature, r.calibrationError != 0 || r.temperatureError != 0);
        reading.temperature.twoDecimalPlaces = r.twoDecimals != 0;
        setNoData(reading.humidity);
    }
    return plan;
}
