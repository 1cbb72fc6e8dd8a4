// decode-bench: how many instrument lines a second the program's own line assembly and decoder take, natively on
// one core; a sanity figure beside the live measurements (bench/bench.sh), which are dominated by everything else.
//
//   decode-bench [LINES]   (default 2 000 000)

#include "protocol/line_assembly.h"
#include "serial/receive_batch.h"
#include "tools/hx350_sim/instrument.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    const long long lines = argc > 1 ? std::atoll(argv[1]) : 2000000;
    if (lines <= 0) {
        std::fputs("usage: decode-bench [LINES]\n", stderr);
        return 2;
    }
    // A thousand distinct lines of both kinds, as the simulator would send them.
    std::vector<std::uint8_t> stream;
    InstrumentState state;
    for (int i = 0; i < 1000; ++i) {
        state.kind = i % 10 == 9 ? 1 : 0;
        state.temperature = -20.0 + i * 0.1;
        state.humidity = 10.0 + (i % 800) * 0.1;
        const Line line = instrumentLine(state);
        stream.insert(stream.end(), line.begin(), line.end());
    }
    // The good lines are counted, so that the work cannot be optimised away and a broken decoder shows. The lines
    // go through the batch as the serial worker hands them over.
    CLineAssembly assembly;
    CReceiveBatch batch;
    long long fed = 0, good = 0;
    const auto start = std::chrono::steady_clock::now();
    while (fed < lines) {
        batch.take(stream.data(), stream.size(), [&](const std::uint8_t* piece, std::size_t count) {
            const LineOutcome outcome = assembly.onReceived(piece, count);
            if (outcome.finished && fed < lines) {
                ++fed;
                good += outcome.good ? 1 : 0;
            }
        });
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("lines=%lld good=%lld seconds=%.3f lines_per_second=%.0f ns_per_line=%.1f\n", fed, good, seconds,
                fed / seconds, seconds * 1e9 / fed);
    return good == fed ? 0 : 1;
}
