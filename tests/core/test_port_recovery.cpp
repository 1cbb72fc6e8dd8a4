#include "app/port_recovery.h"

#include <gtest/gtest.h>

namespace {

// One unattended station's life: the adapter missing at boot, then gone and back while it runs.
TEST(PortRecovery, RetriesALostPortForeverAndAStartupPortForAWhile) {
    using Step = PortRecovery::Step;
    enum Event { StartupFailed, Lost, Settled, Timer };
    const struct {
        Event event;
        int port;
        std::int64_t nowMs;
        Step step; // of a Timer event
        int unavailable;
    } events[] = {
        {Timer, 0, 0, Step::None, 0},
        {StartupFailed, 7, 1000, Step::None, 7},
        {Timer, 0, 3000, Step::TryOpen, 7},
        {Lost, 7, 3100, Step::None, 7}, // it opened but failed at once: the start's deadline still holds
        {Timer, 0, 30999, Step::TryOpen, 7},
        {Timer, 0, 31000, Step::GiveUp, 0},
        {Timer, 0, 33000, Step::None, 0},
        {Lost, 3, 40000, Step::None, 3},
        {Timer, 0, 40000 + 86400000, Step::TryOpen, 3}, // a day later: still trying
        {Settled, 0, 0, Step::None, 0},
        {Timer, 0, 0, Step::None, 0},
    };
    PortRecovery recovery;
    int index = 0;
    for (const auto& e : events) {
        SCOPED_TRACE(index++);
        switch (e.event) {
        case StartupFailed:
            recovery.startupFailed(e.port, e.nowMs);
            break;
        case Lost:
            recovery.lost(e.port);
            break;
        case Settled:
            recovery.settled();
            break;
        case Timer:
            EXPECT_EQ(recovery.onRetryTimer(e.nowMs), e.step);
            break;
        }
        EXPECT_EQ(recovery.unavailablePort(), e.unavailable);
    }
}

} // namespace
