// Arbitrary bytes as a binary recording file: every record the reader accepts passes its check bytes and writes
// back to exactly the same bytes; the torn-tail repair keeps every valid record and makes a following one readable.

#include "recording/hxg_reader.h"
#include "recording/tail_repair.h"

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

    // After the program's repair, which reads only the file's end, every valid record is still there and a record
    // appended reads back as the last valid one.
    TailRepair repair;
    require(repairBinaryTail(
        bytes.size(),
        [&bytes](std::uint64_t offset, char* buffer, std::size_t length) {
            return bytes.copy(buffer, length, offset) == length;
        },
        repair));
    require(repair.truncateTo <= bytes.size());
    const std::string appended =
        buildBinaryRecord(shown(true, 21.5), shown(true, 45.2), 1234, 1234, {2024, 3, 5, 14, 7, 9});
    const std::vector<HxgEntry> entries = readHxg(bytes.substr(0, repair.truncateTo) + repair.append + appended);
    std::size_t kept = 0;
    for (const HxgEntry& entry : entries)
        kept += entry.valid ? 1 : 0;
    require(kept == valid + 1 && entries.back().valid && entries.back().length == appended.size());
    return 0;
}
