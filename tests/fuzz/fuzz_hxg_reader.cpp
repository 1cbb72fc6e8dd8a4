// Arbitrary bytes as a binary recording file: every record the reader accepts passes its check bytes and writes
// back to exactly the same bytes; the records read in turn (each read like the one before where it can be) are read
// as each alone, also after a valid one, one byte of whose text was changed; the torn-tail repair keeps every valid
// record and makes a following one readable.

#include "recording/hxg_reader.h"
#include "recording/tail_repair.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

// A broken invariant is a finding: libFuzzer keeps the input that caused it.
#define require(condition) ((condition) ? (void)0 : (std::fprintf(stderr, "broken: %s\n", #condition), std::abort()))

QuantityReading shown(bool has, double value) {
    QuantityReading reading;
    reading.noData = !has;
    reading.rawValue = value;
    return reading;
}

std::string written(const HxgRecord& r) {
    return buildBinaryRecord(shown(r.hasTemperature, r.temperature), shown(r.hasHumidity, r.humidity),
                             r.temperatureSerial, r.humiditySerial, r.time);
}

// A value in tenths as the grapher took them from the value itself: rounded, held within 32 bits.
std::int32_t tenthsOf(double value) {
    const double scaled = value * 10;
    return scaled >= 2147483647.0 ? 2147483647 : scaled <= -2147483647.0 ? -2147483647 : std::llround(scaled);
}

// Parsed in turn after the records before it, `stored` is accepted or refused, and read, as it is alone; a valid
// record's tenths are its values'.
void requireInTurnAsAlone(CHxgParser& parser, std::string_view stored) {
    HxgRecord inTurn, alone;
    const bool valid = parseHxgRecord(stored, alone);
    require(parser.parse(stored, inTurn) == valid);
    require(!valid || written(inTurn) == written(alone));
    require(!valid ||
            (inTurn.temperatureTenths == alone.temperatureTenths && inTurn.humidityTenths == alone.humidityTenths &&
             alone.temperatureTenths == (alone.hasTemperature ? tenthsOf(alone.temperature) : 0) &&
             alone.humidityTenths == (alone.hasHumidity ? tenthsOf(alone.humidity) : 0)));
}

// `stored` with its plain byte at `at` (before the marker) replaced, and check bytes that fit the new text.
std::string changed(std::string_view stored, std::size_t at, unsigned char plain) {
    std::string text(stored.substr(0, stored.size() - 3));
    for (char& c : text)
        c = static_cast<char>(-static_cast<unsigned char>(c));
    text[at] = static_cast<char>(plain);
    int sum = 0;
    for (const char c : text)
        sum += static_cast<signed char>(c);
    text += '@';
    text += static_cast<char>(sum % 253 + 1);
    text += static_cast<char>(sum % 251 + 1);
    for (char& c : text)
        c = static_cast<char>(-static_cast<unsigned char>(c));
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::size_t valid = 0;
    CHxgParser parser;
    std::vector<std::pair<std::uint64_t, std::string>> records; // where each record starts and what it reads
    CHxgScanner scanner([&](const HxgEntry& entry) {
        require(entry.offset + entry.length <= bytes.size());
        records.push_back({entry.offset, entry.valid ? written(entry.record) : std::string()});
        const std::string_view stored = std::string_view(bytes).substr(entry.offset, entry.length);
        requireInTurnAsAlone(parser, stored);
        if (!entry.valid)
            return;
        ++valid;
        require(written(entry.record) == stored);
        // Each byte of the first few valid records' texts in turn becomes each of "-./0123456789:;<".
        for (std::size_t at = 0; at + 3 < stored.size() && valid <= 4; ++at) {
            for (unsigned char plain = '-'; plain <= '<'; ++plain) {
                CHxgParser after;
                HxgRecord ignored;
                after.parse(stored, ignored);
                requireInTurnAsAlone(after, changed(stored, at, plain));
            }
        }
    });
    scanner.feed(bytes);
    require(scanner.validCount() == valid);

    // Read again with the records that are laid out as the one before recognised where they start, in two pieces:
    // the same records in the same places.
    std::vector<std::pair<std::uint64_t, std::string>> again;
    CHxgParser inTurn;
    CHxgScanner recognising(nullptr);
    const auto known = [&](std::uint64_t offset, std::string_view rest) {
        HxgRecord record;
        const std::size_t length = inTurn.parseKnown(rest, record);
        if (length > 0)
            again.push_back({offset, written(record)});
        return length;
    };
    const auto visit = [&](std::uint64_t offset, std::uint64_t, std::string_view stored) {
        HxgRecord record;
        const bool ok = inTurn.parse(stored, record);
        again.push_back({offset, ok ? written(record) : std::string()});
        return ok;
    };
    recognising.feedRecords(std::string_view(bytes).substr(0, size / 2), known, visit);
    recognising.feedRecords(std::string_view(bytes).substr(size / 2), known, visit);
    require(again == records && recognising.validCount() == valid);

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
