#include "app/port_recovery.h"

void PortRecovery::startupFailed(int port, std::int64_t nowMs) {
    state_ = State::Starting;
    port_ = port;
    deadlineMs_ = nowMs + kStartupPatienceMs;
}

// A port that opened at start but failed at once keeps the start's deadline: one that never works gets the
// question after the same while.
void PortRecovery::lost(int port) {
    if (state_ == State::Starting && port_ == port)
        return;
    state_ = State::Lost;
    port_ = port;
}

void PortRecovery::settled() {
    state_ = State::None;
    port_ = 0;
}

PortRecovery::Step PortRecovery::onRetryTimer(std::int64_t nowMs) {
    switch (state_) {
    case State::Lost:
        return Step::TryOpen;
    case State::Starting:
        if (nowMs < deadlineMs_)
            return Step::TryOpen;
        settled();
        return Step::GiveUp;
    default:
        return Step::None;
    }
}
