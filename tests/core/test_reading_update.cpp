#include "app/reading_update.h"
#include "dde/dde_items.h"
#include "recording/record_format.h"

#include <gtest/gtest.h>

namespace {

// Status fields hold their bit's own value (4, 2, 1), as the decoder leaves them.
ReadingRecord reading(int kind, int serial, int calibration = 0, int temperature = 0, int third = 0) {
    ReadingRecord record;
    record.kind = kind;
    record.thermoHygro = {calibration, temperature, third, 45.2, 21.5, serial};
    record.fineThermo = {calibration, temperature, third, 21.57, serial};
    return record;
}

// "two 21.57 flagged"; "??? 45.20" for no data, with the last value that DDE still answers (none before the first).
std::string quantityText(const QuantityReading& q) {
    const std::string value = q.rawValue == 0 ? "" : std::to_string(q.rawValue).substr(0, 5);
    return std::string(q.twoDecimalPlaces ? "two " : "") +
           (q.noData ? "???" + (value.empty() ? "" : " " + value) : value) + (q.flagged ? " flagged" : "");
}

// A start that fails (the window sets ddeStartFailed) is tried again at the next good line, and only then.
TEST(PlanReadingUpdate, RelayoutAndDdeFollowLinkAndKindChangesAndFailedStarts) {
    const struct {
        ReadingRecord record;
        int linkUp;
        bool relayout;
        DdeAction dde;
        int serial;
        bool startFails = false;
    } steps[] = {
        {ReadingRecord{}, 0, true, DdeAction::Stop, 0},                         // start-up always lays out
        {reading(ThermoHygro, 4660), 1, true, DdeAction::StopThenStart, 4660},  // link comes up
        {reading(ThermoHygro, 4661), 1, false, DdeAction::None, 0},             // a new serial number alone: nothing
        {reading(FineThermo, 77), 1, true, DdeAction::StopThenStart, 77, true}, // kind changes while up; fails
        {reading(FineThermo, 77), 1, false, DdeAction::StopThenStart, 77},      // the next good line tries again
        {reading(FineThermo, 77), 1, false, DdeAction::None, 0},
        {reading(Scaled, 77), 0, true, DdeAction::Stop, 0}, // a rejected kind still counts
        {reading(Scaled, 77), 0, false, DdeAction::None, 0},
        {reading(FineThermo, 0), 1, true, DdeAction::Stop, 0}, // no positive number: stays stopped
    };
    ReadingUpdateState state;
    CurrentReading current;
    int index = 0;
    for (const auto& s : steps) {
        const ReadingUpdatePlan plan = planReadingUpdate(state, s.record, s.linkUp != 0, current);
        EXPECT_EQ(plan.relayout, s.relayout) << "step " << index;
        EXPECT_EQ(plan.dde, s.dde) << "step " << index;
        EXPECT_EQ(plan.humidityVisible, s.record.kind != FineThermo) << "step " << index;
        if (s.dde == DdeAction::StopThenStart) {
            EXPECT_EQ(plan.ddeSerialNumber, s.serial) << "step " << index;
        }
        EXPECT_EQ(state.linkUp, s.linkUp != 0);
        EXPECT_EQ(state.layoutIsThermoHygro, s.record.kind == ThermoHygro ? 1 : 0);
        state.ddeStartFailed = s.startFails;
        ++index;
    }
}

// One line after another, as the decoder leaves the record: a line fills its own kind's part and the other part
// keeps the last line of that kind. A fine thermometer's line after a thermo-hygrometer's and back: the serial
// numbers, the decimals and the humidity follow each line; the humidity's last value stays for DDE while it shows
// "???".
TEST(PlanReadingUpdate, FillsTheCurrentReadingLineAfterLine) {
    const struct {
        int kind;
        int serial, calibration, temperature, third;
        bool linkUp;
        const char *temperatureText, *humidityText;
        int serialNumber, humiditySerial;
    } lines[] = {
        {ThermoHygro, 1, 4, 2, 1, false, "???", "???", 1, 1},
        {ThermoHygro, 1, 0, 0, 0, true, "21.50", "45.20", 1, 1},
        {ThermoHygro, 1, 0, 2, 0, true, "21.50 flagged", "45.20", 1, 1},
        {ThermoHygro, 1, 0, 0, 1, true, "21.50", "45.20 flagged", 1, 1},
        {ThermoHygro, 1, 4, 0, 0, true, "21.50 flagged", "45.20 flagged", 1, 1}, // calibration: both
        {FineThermo, 2, 0, 0, 0, true, "21.57", "??? 45.20", 2, 1},
        {FineThermo, 2, 0, 0, 1, true, "two 21.57", "??? 45.20", 2, 1},
        {FineThermo, 2, 0, 2, 1, true, "two 21.57 flagged", "??? 45.20", 2, 1},
        {FineThermo, 2, 4, 0, 0, true, "21.57 flagged", "??? 45.20", 2, 1},
        {FineThermo, 2, 0, 0, 1, true, "two 21.57", "??? 45.20", 2, 1},
        {ThermoHygro, 3, 0, 0, 0, true, "21.50", "45.20", 3, 3}, // back: one decimal again
        {ThermoHygro, 3, 0, 0, 0, false, "??? 21.50", "??? 45.20", 3, 3},
    };
    ReadingUpdateState state;
    CurrentReading current;
    ReadingRecord record;
    for (const auto& l : lines) {
        const ReadingRecord line = reading(l.kind, l.serial, l.calibration, l.temperature, l.third);
        record.kind = l.kind;
        if (l.kind == ThermoHygro)
            record.thermoHygro = line.thermoHygro;
        else
            record.fineThermo = line.fineThermo;
        planReadingUpdate(state, record, l.linkUp, current);
        SCOPED_TRACE(std::string(l.temperatureText) + " | " + l.humidityText);
        EXPECT_EQ(quantityText(current.temperature), l.temperatureText);
        EXPECT_EQ(quantityText(current.humidity), l.humidityText);
        EXPECT_EQ(current.serialNumber, l.serialNumber);
        EXPECT_EQ(current.humiditySerialNumber, l.humiditySerial);
    }
}

// The display's blink timer once decided whether a value was good: when SetTimer failed, recording wrote the
// faulty value and DDE answered "Pomiar OK". Now the reading itself says so, whatever the display does.
TEST(CurrentReading, RegressionFaultyValueCountedAsGoodWhenTheBlinkTimerFailed) {
    ReadingUpdateState state;
    CurrentReading current;
    planReadingUpdate(state, reading(ThermoHygro, 4660, 0, 2, 0), true, current);
    const QuantityView celsius{DegreesCelsius, DegreesCelsius, true};
    EXPECT_EQ(formatDdeItem(StatusItem, current.temperature, celsius), "Błąd pomiaru");
    EXPECT_EQ(formatDdeItem(ResultItem, current.temperature, celsius), "21.5"); // the value itself is still given
    RecordingSettings settings;
    settings.recordTemperature = settings.recordHumidity = 1;
    int header = headerColumns(settings);
    EXPECT_EQ(buildTextRecord(settings, header, current.temperature, current.humidity, {2024, 3, 5, 14, 7, 9}),
              "2024.03.05 14:07:09\t???\t45.2\r\n");
}

} // namespace
