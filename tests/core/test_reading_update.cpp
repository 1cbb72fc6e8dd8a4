#include "app/reading_update.h"

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

std::string feedText(const DisplayFeed& f) {
    return std::to_string(f.twoDecimalPlaces) + (f.blinking ? " blink " : " still ") +
           (f.noData ? "???" : std::to_string(f.value).substr(0, 5));
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
    int index = 0;
    for (const auto& s : steps) {
        const ReadingUpdatePlan plan = planReadingUpdate(state, s.record, s.linkUp);
        EXPECT_EQ(plan.relayout, s.relayout) << "step " << index;
        EXPECT_EQ(plan.dde, s.dde) << "step " << index;
        EXPECT_EQ(plan.humidityVisible, s.record.kind != FineThermo) << "step " << index;
        if (s.dde == DdeAction::StopThenStart) {
            EXPECT_EQ(plan.ddeSerialNumber, s.serial) << "step " << index;
        }
        EXPECT_EQ(state.linkUp, s.linkUp);
        EXPECT_EQ(state.layoutIsThermoHygro, s.record.kind == ThermoHygro ? 1 : 0);
        state.ddeStartFailed = s.startFails;
        ++index;
    }
}

TEST(PlanReadingUpdate, DisplayFeeds) {
    const struct {
        ReadingRecord record;
        int linkUp;
        const char *temperature, *humidity;
    } cases[] = {
        {reading(ThermoHygro, 1, 4, 2, 1), 0, "-1 blink ???", "-1 blink ???"},
        {reading(ThermoHygro, 1), 1, "0 still 21.50", "-1 still 45.20"},
        {reading(ThermoHygro, 1, 0, 2, 0), 1, "0 blink 21.50", "-1 still 45.20"},
        {reading(ThermoHygro, 1, 0, 0, 1), 1, "0 still 21.50", "-1 blink 45.20"},
        {reading(ThermoHygro, 1, 4, 0, 0), 1, "0 blink 21.50", "-1 blink 45.20"}, // calibration: both blink
        {reading(FineThermo, 1), 1, "0 still 21.57", "-1 blink ???"},
        {reading(FineThermo, 1, 0, 0, 1), 1, "1 still 21.57", "-1 blink ???"},
        {reading(FineThermo, 1, 0, 2, 1), 1, "1 blink 21.57", "-1 blink ???"},
        {reading(FineThermo, 1, 4, 0, 0), 1, "0 blink 21.57", "-1 blink ???"},
    };
    for (const auto& c : cases) {
        ReadingUpdateState state;
        const ReadingUpdatePlan plan = planReadingUpdate(state, c.record, c.linkUp);
        EXPECT_EQ(feedText(plan.temperature), c.temperature);
        EXPECT_EQ(feedText(plan.humidity), c.humidity);
    }
}

} // namespace
