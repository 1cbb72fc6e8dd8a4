#pragma once

#include "recording/record_format.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The content of one valid binary record.
struct HxgRecord {
    LocalTime time;
    bool hasTemperature = false;
    double temperature = 0;
    int temperatureSerial = 0;
    bool hasHumidity = false;
    double humidity = 0;
    int humiditySerial = 0;
};

// One complete record found in a binary file: where it lies, and its content when it is valid.
struct HxgEntry {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    bool valid = false;
    HxgRecord record; // all defaults when not valid
};

// No record the writer produces comes near this length; longer ones are counted as damaged without being kept.
constexpr std::size_t kMaxHxgRecordLength = 1024;

// Parses one stored record (its bytes up to and including the two check bytes). True only when the check bytes
// agree and the content is exactly what buildBinaryRecord writes.
bool parseHxgRecord(std::string_view stored, HxgRecord& record);

// Streams the bytes of a binary recording file, in chunks of any size, in constant memory, and reports every
// complete record in file order. Bytes after the last complete record stay pending until more arrive.
// What to do with the end of a recording file before new records are appended to it: cut it to `truncateTo`
// bytes (the file's size when nothing is cut), then write `append`.
struct TailRepair {
    std::uint64_t truncateTo = 0;
    std::string append;
};

class CHxgScanner {
public:
    using Sink = std::function<void(const HxgEntry&)>;

    explicit CHxgScanner(Sink sink);

    void feed(std::string_view bytes);

    std::uint64_t validCount() const { return validCount_; }
    std::uint64_t damagedCount() const { return damagedCount_; }
    std::uint64_t bytesFed() const { return offset_; }
    // Bytes of an unfinished record at the end of what was fed.
    std::uint64_t pendingBytes() const { return offset_ - recordStart_; }

    // Given that everything fed so far is the whole file: how to end it so that records appended after it parse,
    // with its torn last record (if any) read as one damaged record.
    TailRepair tailRepair() const;

private:
    void finishRecord();

    Sink sink_;
    std::string content_; // stored bytes of the current record, up to kMaxHxgRecordLength
    std::uint64_t offset_ = 0;
    std::uint64_t recordStart_ = 0;
    bool markerSeen_ = false;
    std::uint64_t markerAt_ = 0;
    int checkBytes_ = 0;
    std::uint64_t trailingNuls_ = 0;
    bool haveLast_ = false;
    std::uint64_t lastStart_ = 0;
    std::uint64_t lastMarkerAt_ = 0;
    std::uint64_t validCount_ = 0;
    std::uint64_t damagedCount_ = 0;
};

// Every complete record of `bytes`, for tests and small files.
std::vector<HxgEntry> readHxg(std::string_view bytes);
