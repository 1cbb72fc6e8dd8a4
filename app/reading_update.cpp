#include "app/reading_update.h"

namespace {

DisplayFeed noDataFeed() {
    DisplayFeed feed;
    feed.blinking = 1;
    feed.noData = true;
    return feed;
}

DisplayFeed valueFeed(double value, bool faulty) {
    DisplayFeed feed;
    feed.blinking = faulty ? 1 : 0;
    feed.noData = false;
    feed.value = value;
    return feed;
}

} // namespace

// A faulty value is still handed to the display, which blinks it; recording and DDE tell it apart by the blinking.
// Status fields may hold their bit's own value (4), so they are only compared with zero.
ReadingUpdatePlan planReadingUpdate(ReadingUpdateState& state, const ReadingRecord& record, int linkUp) {
    const int up = linkUp != 0 ? 1 : 0;
    const int isThermoHygro = record.kind == ThermoHygro ? 1 : 0;

    ReadingUpdatePlan plan;
    plan.humidityVisible = record.kind != FineThermo;
    const bool changed = isThermoHygro != state.layoutIsThermoHygro || up != state.linkUp;
    if (changed) {
        state.layoutIsThermoHygro = isThermoHygro;
        state.linkUp = up;
        plan.relayout = true;
    }
    // The service's topic names carry the serial number, so it is restarted whenever the link comes up or the
    // kind of instrument changes; a number that is not positive leaves it stopped, silently. A start that failed
    // is tried again at the next good line.
    if (changed || (up != 0 && state.ddeStartFailed)) {
        state.ddeStartFailed = false;
        plan.dde = DdeAction::Stop;
        const int serial = currentSerialNumber(record);
        if (up != 0 && serial > 0) {
            plan.dde = DdeAction::StopThenStart;
            plan.ddeSerialNumber = serial;
        }
    }

    if (up == 0) {
        plan.temperature = noDataFeed();
        plan.humidity = noDataFeed();
    } else if (record.kind == ThermoHygro) {
        const ThermoHygroRecord& r = record.thermoHygro;
        plan.temperature = valueFeed(r.temperature, r.calibrationError != 0 || r.temperatureError != 0);
        plan.temperature.twoDecimalPlaces = 0;
        plan.humidity = valueFeed(r.humidity, r.calibrationError != 0 || r.humidityError != 0);
    } else {
        const FineThermoRecord& r = record.fineThermo;
        plan.temperature = valueFeed(r.temperature, r.calibrationError != 0 || r.temperatureError != 0);
        plan.temperature.twoDecimalPlaces = r.twoDecimals != 0 ? 1 : 0;
        plan.humidity = noDataFeed();
    }
    return plan;
}
