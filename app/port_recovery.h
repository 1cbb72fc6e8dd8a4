#pragma once

#include <cstdint>

// What the main window does about a port that cannot be used: one that went away while it was read (an adapter
// unplugged, a driver that dropped it on resume) is tried again every few seconds for as long as it takes; the
// configured port that does not open at start (an adapter that enumerates after the program started at boot) is
// tried the same way for a while before the user is asked for another one.
class PortRecovery {
public:
    static constexpr unsigned kRetryPeriodMs = 2000;
    static constexpr std::int64_t kStartupPatienceMs = 30000;

    enum class Step {
        None,    // nothing to retry: the retry timer can stop
        TryOpen, // open port() now
        GiveUp,  // the configured port did not appear in time: say so and offer the port dialog
    };

    void startupFailed(int port, std::int64_t nowMs);
    void lost(int port);
    // Good lines arrive again, or the user chose what happens next: nothing is retried any more. (A port that
    // opens is not enough: a mapping to a missing device may open and fail at once.)
    void settled();
    Step onRetryTimer(std::int64_t nowMs);

    int port() const { return port_; }
    // The port the status line names as unavailable, 0 when none.
    int unavailablePort() const { return state_ == State::None ? 0 : port_; }

private:
    enum class State { None, Lost, Starting };
    State state_ = State::None;
    int port_ = 0;
    std::int64_t deadlineMs_ = 0;
};
