#include "protocol/line_assembly.h"

LineOutcome CLineAssembly::onReceivedByte(std::uint8_t byte) {
    LineOutcome outcome;

    // A line that never ends (wrong baud rate, another device) must not grow without bound: the partial line and
    // this byte are dropped without a word, and the next byte starts afresh.
    const int next = linePos_ + 1;
    if (next >= kBufferSize) {
        linePos_ = 0;
        return outcome;
    }
    lineBuffer_[next - 1] = byte;
    linePos_ = next;
    if (byte != kCarriageReturn)
        return outcome;

    outcome.finished = true;
    outcome.length = linePos_;
    outcome.result = decoder_.decodeLine(lineBuffer_, linePos_, record_);
    // Kinds 2..4 decode, but this program shows only temperature and humidity, so they count as a lost link.
    outcome.good = outcome.result == 1 && (record_.kind == ThermoHygro || record_.kind == FineThermo);

    // Only good lines feed the watchdog; a bad line leaves it on the schedule of the last good one.
    if (outcome.good) {
        if (watchdogTimerId_ != 0)
            host_.killWatchdogTimer(watchdogTimerId_);
        watchdogTimerId_ = host_.startWatchdogTimer();
    }
    linePos_ = 0;
    host_.updateReading(outcome.good);
    return outcome;
}

// The periodic timer is left running: it keeps reporting the lost link every period until a good line
// restarts it.
void CLineAssembly::onWatchdogExpired() {
    host_.updateReading(false);
}
