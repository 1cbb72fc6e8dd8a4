#pragma once

#include "recording/record_format.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The content of one valid binary record. The values are also given as whole numbers of tenths (the writer gives
// them one decimal), exact, held at ±(2^31 - 1) beyond: read from their digits, as a value divided by ten and
// multiplied again would be only near them.
struct HxgRecord {
    LocalTime time;
    bool hasTemperature = false;
    double temperature = 0;
    int temperatureSerial = 0;
    bool hasHumidity = false;
    double humidity = 0;
    int humiditySerial = 0;
    std::int32_t temperatureTenths = 0;
    std::int32_t humidityTenths = 0;
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
// The check marker "@" after the storage step: the byte that ends a record's text, before its two check bytes.
constexpr unsigned char kHxgStoredMarker = 0xC0;

// Parses one stored record (its bytes up to and including the two check bytes). True only when the check bytes
// agree and the content is exactly what buildBinaryRecord writes; `record` is then its content, and all defaults
// otherwise.
bool parseHxgRecord(std::string_view stored, HxgRecord& record);

// Parses the records of one file in file order, each exactly as parseHxgRecord does. Consecutive records mostly
// differ only in the digits of the stamp's minute and second and of the values: a record as long as the last one
// parsed whole, with the same bytes everywhere else, is read at those digits alone. Its grammar is that record's (the
// same runs of digits between the same characters) once no value starts with a zero and no minute or second passes
// 59, and its check bytes follow from that record's sum and the change at those digits. Any other record is parsed
// whole and becomes the pattern.
class CHxgParser {
public:
    bool parse(std::string_view stored, HxgRecord& record);
    // The length of the record at the start of `bytes` when it is valid and laid out as the pattern, `record` then
    // its content; 0 otherwise. Such a record's first stored marker is the pattern's, three bytes before its end:
    // every byte before it is the pattern's text or a digit.
    std::size_t parseKnown(std::string_view bytes, HxgRecord& record) const {
        return havePattern_ && bytes.size() >= size_ && parseLikePattern(bytes.substr(0, size_), record) ? size_ : 0;
    }

private:
    static constexpr std::size_t kPatternLength = 128; // longer records are always parsed whole

    // A value's digits in the pattern: `digits` before the point from `first`, one after it.
    struct ValueDigits {
        std::size_t first = 0;
        std::size_t digits = 0;
        bool negative = false;
        bool temperature = false;
    };

    bool parseLikePattern(std::string_view stored, HxgRecord& record) const;
    void learn(std::string_view stored, const HxgRecord& record);

    bool havePattern_ = false;
    std::size_t size_ = 0;
    unsigned char pattern_[kPatternLength] = {};   // stored bytes, NUL after them
    std::uint64_t fixed_[kPatternLength / 8] = {}; // the bytes that must be the pattern's, 0xFF each
    std::uint64_t fixedEnd_ = 0;                   // the same for the record's last eight bytes
    int sum_ = 0;                                  // of the pattern's plain text, as the check bytes take it
    int digitSum_ = 0;                             // of the digits that may differ
    HxgRecord record_;
    ValueDigits values_[2];
    int valueCount_ = 0;
};

// What to do with the end of a recording file before new records are appended to it: cut it to `truncateTo`
// bytes (the file's size when nothing is cut), then write `append`.
struct TailRepair {
    std::uint64_t truncateTo = 0;
    std::string append;
};

// Streams the bytes of a binary recording file, in chunks of any size, in constant memory, and reports every
// complete record in file order. Bytes after the last complete record stay pending until more arrive.
class CHxgScanner {
public:
    using Sink = std::function<void(const HxgEntry&)>;

    explicit CHxgScanner(Sink sink);

    void feed(std::string_view bytes);
    // The same without entries: `visit(offset, length, stored)` gets each complete record's place and its stored
    // bytes (empty when it is longer than kMaxHxgRecordLength) and returns whether it is valid. A record that lies
    // whole in `bytes` is handed out where it lies, without a copy.
    template <typename Visit> void feedRecords(std::string_view bytes, Visit&& visit) {
        feedRecords(
            bytes, [](std::uint64_t, std::string_view) { return std::size_t{0}; }, visit);
    }
    // The same, offering each record that lies whole in `bytes` first to `known(offset, rest)`, `rest` the bytes
    // from its start on: the length of a valid record there that ends two bytes after its first stored marker,
    // which `known` has taken, spares the search for the marker; 0 leaves the record to `visit`.
    template <typename Known, typename Visit> void feedRecords(std::string_view bytes, Known&& known, Visit&& visit);

    std::uint64_t validCount() const { return validCount_; }
    std::uint64_t damagedCount() const { return damagedCount_; }
    std::uint64_t bytesFed() const { return offset_; }
    // Bytes of an unfinished record at the end of what was fed.
    std::uint64_t pendingBytes() const { return offset_ - recordStart_; }

    // Given that everything fed so far is the whole file: how to end it so that records appended after it parse,
    // with its torn last record (if any) read as one damaged record.
    TailRepair tailRepair() const;

private:
    std::size_t continueRecord(std::string_view bytes);
    // A complete record from `start`, its first stored marker at `markerAt`. Inlined by force: every record is
    // counted here.
    [[gnu::always_inline]] void counted(bool valid, std::uint64_t start, std::uint64_t markerAt) {
        ++(valid ? validCount_ : damagedCount_);
        haveLast_ = true;
        lastStart_ = start;
        lastMarkerAt_ = markerAt;
    }
    void keepPending(std::string_view bytes, std::uint64_t base, std::size_t from);
    void noteTrailingNuls(std::string_view bytes);

    Sink sink_;
    std::string content_; // stored bytes of the pending record, up to kMaxHxgRecordLength
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

// A record ends two bytes after the first stored marker from its start; the check bytes are taken blindly (either
// may itself be the marker byte), so the end is never looked for from the back.
template <typename Known, typename Visit>
void CHxgScanner::feedRecords(std::string_view bytes, Known&& known, Visit&& visit) {
    std::size_t i = 0;
    if (offset_ > recordStart_) {
        // A record begun in the bytes fed before.
        i = continueRecord(bytes);
        if (checkBytes_ < 2)
            return;
        const std::uint64_t length = offset_ - recordStart_;
        const bool kept = length == content_.size();
        counted(visit(recordStart_, length, kept ? std::string_view(content_) : std::string_view()), recordStart_,
                markerAt_);
        recordStart_ = offset_;
        markerSeen_ = false;
        checkBytes_ = 0;
        content_.clear();
    }
    const char* data = bytes.data();
    const std::size_t size = bytes.size();
    const std::uint64_t base = offset_ - i;
    while (i < size) {
        const std::size_t knownLength = known(base + i, std::string_view(data + i, size - i));
        if (knownLength > 0) {
            counted(true, base + i, base + i + knownLength - 3);
            i += knownLength;
            continue;
        }
        const void* found = std::memchr(data + i, kHxgStoredMarker, size - i);
        if (!found)
            break;
        const auto marker = static_cast<std::size_t>(static_cast<const char*>(found) - data);
        if (size - marker < 3)
            break;
        const std::size_t length = marker + 3 - i;
        const bool valid = visit(
            base + i, length, length <= kMaxHxgRecordLength ? std::string_view(data + i, length) : std::string_view());
        counted(valid, base + i, base + marker);
        i = marker + 3;
    }
    keepPending(bytes, base, i);
}

// Every complete record of `bytes`, for tests and small files.
std::vector<HxgEntry> readHxg(std::string_view bytes);
