#pragma once

#include <cstdint>

// What a failed call on an open port means for its reader: try again after a pause, or give the handle up because
// the device behind it has gone (an unplugged USB adapter, a driver that dropped it, a pty whose other side closed).
enum class PortErrorKind { Transient, Gone };

// `code` is the system error code of a failed read or ClearCommError that the reader did not cause itself (a
// cancel of its own is no failure); 0 stands for a read that ended without a byte and without an error.
PortErrorKind classifyPortError(std::uint32_t code);

// The failures of one port handle since its last good read: how long to pause before the next attempt, and when
// to give the handle up. A code that says the device has gone ends it at once; transient failures end it only when
// they keep coming, so that a handle that fails in some unforeseen way is reopened rather than retried for ever.
class PortFailures {
public:
    static constexpr int kTransientLimit = 50;

    // true: give the handle up.
    bool onFailure(std::uint32_t code);
    void onSuccess() { consecutive_ = 0; }
    // The pause before the next attempt after a transient failure.
    unsigned retryDelayMs() const;

private:
    int consecutive_ = 0;
};
