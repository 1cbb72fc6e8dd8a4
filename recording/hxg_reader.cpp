#include "recording/hxg_reader.h"

#include "base/number_format.h"

#include <charconv>
#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

namespace {

// The check marker "@" after the storage step.
constexpr unsigned char kStoredMarker = 0xC0;

unsigned char plainByte(char stored) {
    return static_cast<unsigned char>((256 - static_cast<unsigned char>(stored)) % 256);
}

// Reads the plain text of a record left to right, accepting only what the writer produces, so that writing an
// accepted record again gives the same bytes. Nothing is backtracked: the first mismatch rejects the record.
class PlainReader {
public:
    explicit PlainReader(std::string_view text) : text_(text) {}

    bool atEnd() const { return pos_ == text_.size(); }

    bool literal(std::string_view expected) {
        if (text_.size() - pos_ < expected.size())
            return false;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            if (text_[pos_ + i] != expected[i])
                return false;
        }
        pos_ += expected.size();
        return true;
    }

    // Exactly `width` digits, the number within [low, high].
    bool fixedWidth(std::size_t width, int low, int high, int& out) {
        if (text_.size() - pos_ < width)
            return false;
        int value = 0;
        for (std::size_t i = 0; i < width; ++i) {
            const char c = text_[pos_ + i];
            if (c < '0' || c > '9')
                return false;
            value = value * 10 + (c - '0');
        }
        if (value < low || value > high)
            return false;
        pos_ += width;
        out = value;
        return true;
    }

    // "%d" of a non-negative int: no sign, no leading zeros.
    bool serial(int& out) {
        const std::size_t digits = wholeDigits();
        if (digits == 0)
            return false;
        long long value = 0;
        for (std::size_t i = 0; i < digits; ++i) {
            value = value * 10 + (text_[pos_ + i] - '0');
            if (value > INT_MAX)
                return false;
        }
        pos_ += digits;
        out = static_cast<int>(value);
        return true;
    }

    // A one-decimal value as formatFixed writes it. Up to 15 significant digits survive the trip through a double
    // unchanged, and the whole number of tenths divided by ten is the double nearest to the text, as a text parser
    // gives it. A longer text is parsed to the nearest double and formatted back: one with more digits than a double
    // keeps would otherwise be accepted and written back differently.
    bool oneDecimal(double& out) {
        const std::size_t start = pos_;
        const bool negative = literal("-");
        const std::size_t digits = wholeDigits();
        if (digits == 0)
            return false;
        pos_ += digits;
        if (!literal(".") || pos_ >= text_.size() || text_[pos_] < '0' || text_[pos_] > '9')
            return false;
        ++pos_;
        if (digits + 1 <= 15) {
            std::int64_t tenths = 0;
            for (std::size_t i = pos_ - digits - 2; i < pos_ - 2; ++i)
                tenths = tenths * 10 + (text_[i] - '0');
            tenths = tenths * 10 + (text_[pos_ - 1] - '0');
            const double value = static_cast<double>(tenths) / 10;
            out = negative ? -value : value;
            return true;
        }
        const std::string_view text = text_.substr(start, pos_ - start);
        double value = 0;
        const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
        if (parsed.ec != std::errc() || parsed.ptr != text.data() + text.size() || formatFixed(value, 1) != text)
            return false;
        out = value;
        return true;
    }

private:
    // Length of the digit run at the cursor when it is a number without leading zeros, else 0.
    std::size_t wholeDigits() const {
        std::size_t n = 0;
        while (pos_ + n < text_.size() && text_[pos_ + n] >= '0' && text_[pos_ + n] <= '9')
            ++n;
        return n > 1 && text_[pos_] == '0' ? 0 : n;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

bool parseTime(PlainReader& reader, LocalTime& time) {
    return reader.fixedWidth(4, 0, 9999, time.year) && reader.fixedWidth(2, 1, 12, time.month) &&
           reader.fixedWidth(2, 1, 31, time.day) && reader.fixedWidth(2, 0, 23, time.hour) &&
           reader.fixedWidth(2, 0, 59, time.minute) && reader.fixedWidth(2, 0, 59, time.second) && reader.literal("$");
}

// "21,<serial>,<code>,<value>,1$" with code 25 (temperature) or 26 (humidity).
bool parseGroup(PlainReader& reader, int& code, int& serial, double& value) {
    return reader.literal("21,") && reader.serial(serial) && reader.literal(",") &&
           reader.fixedWidth(2, 25, 26, code) && reader.literal(",") && reader.oneDecimal(value) &&
           reader.literal(",1$");
}

bool parsePlain(std::string_view plain, HxgRecord& record) {
    PlainReader reader(plain);
    if (!parseTime(reader, record.time))
        return false;
    while (!reader.atEnd()) {
        int code = 0, serial = 0;
        double value = 0;
        if (!parseGroup(reader, code, serial, value))
            return false;
        // At most one group of each quantity, the temperature first.
        if (code == 25 && !record.hasTemperature && !record.hasHumidity) {
            record.hasTemperature = true;
            record.temperatureSerial = serial;
            record.temperature = value;
        } else if (code == 26 && !record.hasHumidity) {
            record.hasHumidity = true;
            record.humiditySerial = serial;
            record.humidity = value;
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

bool parseHxgRecord(std::string_view stored, HxgRecord& record) {
    if (stored.size() < 3)
        return false;
    const std::size_t marker = stored.size() - 3;
    if (static_cast<unsigned char>(stored[marker]) != kStoredMarker)
        return false;
    // Records longer than the writer makes are refused by the grammar anyway; the stack copy spares an allocation
    // per record, which is most of the time of a large file's first reading.
    if (marker > kMaxHxgRecordLength)
        return false;
    char buffer[kMaxHxgRecordLength];
    const std::string_view plain(buffer, marker);
    int sum = 0; // at most kMaxHxgRecordLength bytes of at most 128 each
    for (std::size_t i = 0; i < marker; ++i) {
        buffer[i] = static_cast<char>(plainByte(stored[i]));
        sum += static_cast<signed char>(buffer[i]);
    }
    // A sum below zero means bytes no writer puts there; the grammar would refuse them anyway.
    if (sum < 0 || plainByte(stored[marker + 1]) != sum % 253 + 1 || plainByte(stored[marker + 2]) != sum % 251 + 1)
        return false;
    HxgRecord parsed;
    if (!parsePlain(plain, parsed))
        return false;
    record = parsed;
    return true;
}

CHxgScanner::CHxgScanner(Sink sink) : sink_(std::move(sink)) {
    content_.reserve(kMaxHxgRecordLength);
}

void CHxgScanner::feed(std::string_view bytes) {
    feedRecords(bytes, [this](std::uint64_t offset, std::uint64_t length, std::string_view stored) {
        HxgEntry entry;
        entry.offset = offset;
        entry.length = length;
        entry.valid = parseHxgRecord(stored, entry.record);
        if (sink_)
            sink_(entry);
        return entry.valid;
    });
}

// Takes the bytes of the pending record up to its end (all of them when it does not end here).
std::size_t CHxgScanner::continueRecord(std::string_view bytes) {
    std::size_t i = 0;
    if (!markerSeen_) {
        const void* marker = std::memchr(bytes.data(), kStoredMarker, bytes.size());
        const std::size_t end =
            marker ? static_cast<std::size_t>(static_cast<const char*>(marker) - bytes.data()) + 1 : bytes.size();
        content_.append(bytes.data(), std::min(kMaxHxgRecordLength - content_.size(), end));
        offset_ += end;
        i = end;
        if (marker) {
            markerSeen_ = true;
            markerAt_ = offset_ - 1;
        }
    }
    while (markerSeen_ && checkBytes_ < 2 && i < bytes.size()) {
        if (content_.size() < kMaxHxgRecordLength)
            content_.push_back(bytes[i]);
        ++checkBytes_;
        ++offset_;
        ++i;
    }
    if (checkBytes_ < 2)
        noteTrailingNuls(bytes);
    return i;
}

void CHxgScanner::counted(bool valid, std::uint64_t start, std::uint64_t markerAt) {
    ++(valid ? validCount_ : damagedCount_);
    haveLast_ = true;
    lastStart_ = start;
    lastMarkerAt_ = markerAt;
}

// The bytes of `bytes` (whose first lies at `base`) from `from` on begin a record that does not end in them.
void CHxgScanner::keepPending(std::string_view bytes, std::uint64_t base, std::size_t from) {
    recordStart_ = base + from;
    offset_ = base + bytes.size();
    const std::string_view rest = bytes.substr(from);
    content_.assign(rest.data(), std::min(kMaxHxgRecordLength, rest.size()));
    const void* marker = std::memchr(rest.data(), kStoredMarker, rest.size());
    markerSeen_ = marker != nullptr;
    checkBytes_ = 0;
    if (marker) {
        const auto at = static_cast<std::size_t>(static_cast<const char*>(marker) - rest.data());
        markerAt_ = recordStart_ + at;
        checkBytes_ = static_cast<int>(rest.size() - at - 1);
    }
    noteTrailingNuls(bytes);
}

void CHxgScanner::noteTrailingNuls(std::string_view bytes) {
    const std::size_t lastNotNul = bytes.find_last_not_of('\0');
    trailingNuls_ = lastNotNul == std::string_view::npos ? trailingNuls_ + bytes.size() : bytes.size() - 1 - lastNotNul;
}

// Trailing NUL bytes are what a power cut leaves when the file's size reached the disk before its data; a stored
// byte is never 0, so they belong to no valid record and are cut. Whatever then remains of an unfinished record is
// closed with 0 check bytes, which no valid record has: a reader skips it as one damaged record and the records
// appended after it start on a record boundary. Only one record can end inside the NUL run (its marker is not a
// NUL), and that one is damaged, so nothing valid is ever cut.
TailRepair CHxgScanner::tailRepair() const {
    TailRepair repair;
    const std::uint64_t cut = offset_ - trailingNuls_;
    repair.truncateTo = cut;

    std::uint64_t start = recordStart_;
    bool marker = markerSeen_;
    std::uint64_t markerAt = markerAt_;
    if (haveLast_ && recordStart_ > cut) {
        // The last complete record ended with NUL check bytes and is torn again by the cut.
        start = lastStart_;
        marker = true;
        markerAt = lastMarkerAt_;
    }
    if (start == cut)
        return repair;
    if (!marker) {
        repair.append.assign("\xC0\0\0", 3);
    } else {
        // The marker is not a NUL, so it lies before the cut, with at most one check byte after it.
        repair.append.assign(static_cast<std::size_t>(2 - (cut - markerAt - 1)), '\0');
    }
    return repair;
}

std::vector<HxgEntry> readHxg(std::string_view bytes) {
    std::vector<HxgEntry> entries;
    CHxgScanner scanner([&entries](const HxgEntry& entry) { entries.push_back(entry); });
    scanner.feed(bytes);
    return entries;
}
