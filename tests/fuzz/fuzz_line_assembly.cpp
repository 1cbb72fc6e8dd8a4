// Arbitrary bytes through the line assembly and the decoder behind it, as the serial worker delivers them.
// Invariants besides memory safety: only a finished line changes the record, a line that is not good never starts
// the watchdog and a good one always does, and the line buffer never holds more than its 1000 bytes.

#include "protocol/line_assembly.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

class CountingHost : public ILinkHost {
public:
    unsigned startWatchdogTimer() override { return ++starts; }
    void killWatchdogTimer(unsigned) override {}
    void updateReading(bool) override {}
    unsigned starts = 0;
};

// A broken invariant is a finding: libFuzzer keeps the input that caused it.
#define require(condition) ((condition) ? (void)0 : (std::fprintf(stderr, "broken: %s\n", #condition), std::abort()))

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CountingHost host;
    ReadingRecord record;
    CLineAssembly assembly(host, record);
    for (std::size_t i = 0; i < size; ++i) {
        const ReadingRecord before = record;
        const unsigned startsBefore = host.starts;
        const LineOutcome outcome = assembly.onReceivedByte(data[i]);
        require(assembly.linePos() >= 0 && assembly.linePos() <= CLineAssembly::kBufferSize);
        if (!outcome.finished) {
            require(std::memcmp(&before, &record, sizeof record) == 0);
            require(host.starts == startsBefore);
            continue;
        }
        require(host.starts == startsBefore + (outcome.good ? 1 : 0));
        require(outcome.good == (outcome.result == 1 && (record.kind == ThermoHygro || record.kind == FineThermo)));
        require(assembly.linePos() == 0);
    }
    return 0;
}
