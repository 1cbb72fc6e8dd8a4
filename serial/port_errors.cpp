#include "serial/port_errors.h"

#include <algorithm>
#include <iterator>

namespace {

// System error codes by number: this file is built without the platform's headers.
constexpr std::uint32_t kGoneCodes[] = {
    2,    // ERROR_FILE_NOT_FOUND: the device name no longer exists
    3,    // ERROR_PATH_NOT_FOUND
    5,    // ERROR_ACCESS_DENIED: USB-serial drivers answer so after a surprise removal
    6,    // ERROR_INVALID_HANDLE
    20,   // ERROR_BAD_UNIT
    21,   // ERROR_NOT_READY: Wine's ClearCommError on a pty whose other side closed
    22,   // ERROR_BAD_COMMAND: the driver no longer knows the device
    31,   // ERROR_GEN_FAILURE: a device that stopped answering
    38,   // ERROR_HANDLE_EOF
    55,   // ERROR_DEV_NOT_EXIST
    109,  // ERROR_BROKEN_PIPE: Wine's read on a pty whose other side closed
    433,  // ERROR_NO_SUCH_DEVICE
    995,  // ERROR_OPERATION_ABORTED that the reader did not ask for: the driver ended the I/O as the device left
    1117, // ERROR_IO_DEVICE
    1167, // ERROR_DEVICE_NOT_CONNECTED
    1617, // ERROR_DEVICE_REMOVED
};

// Doubling pauses from the first to the longest: at 300 baud the driver's input buffer holds minutes of bytes, so
// nothing is lost meanwhile, and a handle that fails at once cannot make the reader burn a core.
constexpr unsigned kFirstRetryDelayMs = 20;
constexpr unsigned kLongestRetryDelayMs = 100;

} // namespace

PortErrorKind classifyPortError(std::uint32_t code) {
    return std::find(std::begin(kGoneCodes), std::end(kGoneCodes), code) != std::end(kGoneCodes)
               ? PortErrorKind::Gone
               : PortErrorKind::Transient;
}

bool PortFailures::onFailure(std::uint32_t code) {
    if (classifyPortError(code) == PortErrorKind::Gone)
        return true;
    consecutive_ = std::min(consecutive_ + 1, kTransientLimit);
    return consecutive_ >= kTransientLimit;
}

unsigned PortFailures::retryDelayMs() const {
    unsigned delay = kFirstRetryDelayMs;
    for (int i = 1; i < consecutive_ && delay < kLongestRetryDelayMs; ++i)
        delay *= 2;
    return std::min(delay, kLongestRetryDelayMs);
}
