// Arbitrary bytes as a binary recording file: every record the reader accepts passes its check bytes and writes
// back to exactly the same bytes; the torn-tail repair makes a following record readable.

#include "recording/hxg_reader.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// A broken invariant is a finding: libFuzzer keeps the input that caused it.
#define require(condition) ((condition) ? (void)0 : (std::fprintf(stderr, "broken: %s\n", #condition), std::abort()))

QuantityReading shown(bool has, double value) {
    QuantityReading reading;
    reading.noData = !has;
    reading.rawValue = value;
    return reading;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::size_t valid = 0;
    CHxgScanner scanner([&](const HxgEntry& entry) {
        require(entry.offset + entry.length <= bytes.size());
        if (!entry.valid)
            return;
        ++valid;
        const HxgRecord& r = entry.record;
        const std::string again =
            buildBinaryRecord(shown(r.hasTemperature, r.temperature), shown(r.hasHumidity, r.humidity),
                              r.temperatureSerial, r.humiditySerial, r.time);
        require(again == bytes.substr(entry.offset, entry.length));
    });
    scanner.feed(bytes);
    require(scanner.validCount() == valid);

    // A record appended after the repair reads back as the last valid one.
    const TailRepair repair = scanner.tailRepair();
    require(repair.truncateTo <= bytes.size());
    const std::string appended =
        buildBinaryRecord(shown(true, 21.5), shown(true, 45.2), 1234, 1234, {2024, 3, 5, 14, 7, 9});
    const std::vector<HxgEntry> entries = readHxg(bytes.substr(0, repair.truncateTo) + repair.append + appended);
    require(!entries.empty() && entries.back().valid && entries.back().length == appended.size());
    return 0;
}
