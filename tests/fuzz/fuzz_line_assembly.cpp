// Arbitrary bytes through the line assembly and the decoder behind it, as the serial worker delivers them.
// Invariants besides memory safety: only a finished line changes the record, a good line is one the decoder took
// whose kind is 0 or 1, and the line buffer never holds more than its 1000 bytes.

#include "protocol/line_assembly.h"
#include "serial/receive_batch.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A broken invariant is a finding: libFuzzer keeps the input that caused it.
#define require(condition) ((condition) ? (void)0 : (std::fprintf(stderr, "broken: %s\n", #condition), std::abort()))

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CLineAssembly assembly;
    CReceiveBatch batch;
    batch.take(data, size, [&](const std::uint8_t* piece, std::size_t count) {
        const ReadingRecord before = assembly.record();
        const LineOutcome outcome = assembly.onReceived(piece, count);
        const ReadingRecord& record = assembly.record();
        require(assembly.linePos() >= 0 && assembly.linePos() <= CLineAssembly::kBufferSize);
        if (!outcome.finished) {
            require(std::memcmp(&before, &record, sizeof record) == 0);
            return;
        }
        require(outcome.good == (outcome.result == 1 && (record.kind == ThermoHygro || record.kind == FineThermo)));
        require(assembly.linePos() == 0);
    });
    return 0;
}
