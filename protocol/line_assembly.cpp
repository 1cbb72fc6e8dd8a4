#include "protocol/line_assembly.h"

LineOutcome CLineAssembly::onReceived(const std::uint8_t* bytes, std::size_t count) {
    LineOutcome outcome;
    bool ended = false;
    for (std::size_t i = 0; i < count; ++i) {
        // A line that never ends (wrong baud rate, another device) must not grow without bound: the partial line
        // and this byte are dropped without a word, and the next byte starts afresh.
        const int next = linePos_ + 1;
        if (next >= kBufferSize) {
            linePos_ = 0;
            ended = false;
            continue;
        }
        lineBuffer_[next - 1] = bytes[i];
        linePos_ = next;
        ended = i + 1 == count && bytes[i] == kCarriageReturn;
    }
    if (!ended)
        return outcome;

    outcome.finished = true;
    outcome.length = linePos_;
    outcome.result = decoder_.decodeLine(lineBuffer_, linePos_, record_);
    // Kinds 2..4 decode, but this program shows only temperature and humidity, so they count as a lost link; only
    // good lines feed the watchdog, and a bad line leaves it on the schedule of the last good one.
    outcome.good = outcome.result == 1 && (record_.kind == ThermoHygro || record_.kind == FineThermo);
    linePos_ = 0;
    return outcome;
}
