#include "recording/hxg_reader.h"

#include "base/number_format.h"

#include <charconv>
#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

namespace {

// (256 - stored) % 256, written as a byte's negation, which the compiler turns into one vector instruction for 16.
unsigned char plainByte(char stored) {
    return static_cast<unsigned char>(0u - static_cast<unsigned char>(stored));
}

// Whether the two check bytes after the stored marker at `marker` are those of `sum`, the sum of the record's plain
// text. A sum below zero means bytes no writer puts there; the grammar would refuse them anyway.
inline bool checkBytesAgree(std::string_view stored, std::size_t marker, int sum) {
    return sum >= 0 && plainByte(stored[marker + 1]) == sum % 253 + 1 && plainByte(stored[marker + 2]) == sum % 251 + 1;
}

// A value of `tenths` tenths, negated when its text had a minus sign ("-0.0" is -0.0).
inline double tenthsValue(bool negative, std::uint64_t tenths) {
    const double value = static_cast<double>(tenths) / 10;
    return negative ? -value : value;
}

// A value of `digits` whole digits (and one decimal) that reads `tenths` tenths, as HxgRecord holds it.
std::int32_t heldTenths(bool negative, std::size_t digits, std::uint64_t tenths) {
    constexpr std::uint64_t kMost = 2147483647;
    const std::uint64_t held = digits + 1 > 15 || tenths > kMost ? kMost : tenths;
    return negative ? -static_cast<std::int32_t>(held) : static_cast<std::int32_t>(held);
}

// NUL bytes after a record's plain text: the reader looks up to four bytes ahead without comparing with the text's
// length, since neither a digit nor any character it looks for is a NUL.
constexpr std::size_t kPlainPadding = 16;

// Reads the plain text of a record left to right, accepting only what the writer produces, so that writing an
// accepted record again gives the same bytes. Nothing is backtracked: the first mismatch rejects the record. The text
// is followed by kPlainPadding NUL bytes, which end every run of digits and match no literal.
class PlainReader {
public:
    explicit PlainReader(std::string_view text) : text_(text.data()), size_(text.size()) {}

    bool atEnd() const { return pos_ == size_; }

    bool literal(char c) {
        if (text_[pos_] != c)
            return false;
        ++pos_;
        return true;
    }

    bool literal(char a, char b, char c) {
        if (text_[pos_] != a || text_[pos_ + 1] != b || text_[pos_ + 2] != c)
            return false;
        pos_ += 3;
        return true;
    }

    // Exactly `width` (at most 4) digits, the number within [low, high].
    bool fixedWidth(std::size_t width, int low, int high, int& out) {
        int value = 0;
        for (std::size_t i = 0; i < width; ++i) {
            const unsigned digit = digitAt(pos_ + i);
            if (digit > 9)
                return false;
            value = value * 10 + static_cast<int>(digit);
        }
        if (value < low || value > high)
            return false;
        pos_ += width;
        out = value;
        return true;
    }

    // "%d" of a non-negative int: no sign, no leading zeros.
    bool serial(int& out) {
        std::uint64_t value = 0;
        const std::size_t digits = wholeDigits(value);
        if (digits == 0 || digits > 10 || value > INT_MAX)
            return false;
        pos_ += digits;
        out = static_cast<int>(value);
        return true;
    }

    // A one-decimal value as formatFixed writes it. Up to 15 significant digits survive the trip through a double
    // unchanged, and the whole number of tenths divided by ten is the double nearest to the text, as a text parser
    // gives it. A longer text is parsed to the nearest double and formatted back: one with more digits than a double
    // keeps would otherwise be accepted and written back differently.
    bool oneDecimal(double& out, std::int32_t& tenths) {
        const std::size_t start = pos_;
        const bool negative = literal('-');
        std::uint64_t whole = 0;
        const std::size_t digits = wholeDigits(whole);
        if (digits == 0)
            return false;
        pos_ += digits;
        const unsigned decimal = digitAt(pos_ + 1);
        if (text_[pos_] != '.' || decimal > 9)
            return false;
        pos_ += 2;
        tenths = heldTenths(negative, digits, whole * 10 + decimal);
        if (digits + 1 <= 15) {
            out = tenthsValue(negative, whole * 10 + decimal);
            return true;
        }
        const std::string_view text(text_ + start, pos_ - start);
        double value = 0;
        const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
        if (parsed.ec != std::errc() || parsed.ptr != text.data() + text.size() || formatFixed(value, 1) != text)
            return false;
        out = value;
        return true;
    }

private:
    // The digit at `at` as a number, above 9 for any other byte.
    unsigned digitAt(std::size_t at) const {
        return static_cast<unsigned>(static_cast<unsigned char>(text_[at])) - '0';
    }

    // Length of the digit run at the cursor when it is a number without leading zeros, else 0; `value` is the
    // number of its first 19 digits.
    std::size_t wholeDigits(std::uint64_t& value) const {
        std::size_t n = 0;
        for (unsigned digit = digitAt(pos_); digit <= 9; digit = digitAt(pos_ + ++n)) {
            if (n < 19)
                value = value * 10 + digit;
        }
        return n > 1 && text_[pos_] == '0' ? 0 : n;
    }

    const char* text_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

bool parseTime(PlainReader& reader, LocalTime& time) {
    return reader.fixedWidth(4, 0, 9999, time.year) && reader.fixedWidth(2, 1, 12, time.month) &&
           reader.fixedWidth(2, 1, 31, time.day) && reader.fixedWidth(2, 0, 23, time.hour) &&
           reader.fixedWidth(2, 0, 59, time.minute) && reader.fixedWidth(2, 0, 59, time.second) && reader.literal('$');
}

// "21,<serial>,<code>,<value>,1$" with code 25 (temperature) or 26 (humidity).
bool parseGroup(PlainReader& reader, int& code, int& serial, double& value, std::int32_t& tenths) {
    return reader.literal('2', '1', ',') && reader.serial(serial) && reader.literal(',') &&
           reader.fixedWidth(2, 25, 26, code) && reader.literal(',') && reader.oneDecimal(value, tenths) &&
           reader.literal(',', '1', '$');
}

bool parsePlain(std::string_view plain, HxgRecord& record) {
    PlainReader reader(plain);
    if (!parseTime(reader, record.time))
        return false;
    while (!reader.atEnd()) {
        int code = 0, serial = 0;
        double value = 0;
        std::int32_t tenths = 0;
        if (!parseGroup(reader, code, serial, value, tenths))
            return false;
        // At most one group of each quantity, the temperature first.
        if (code == 25 && !record.hasTemperature && !record.hasHumidity) {
            record.hasTemperature = true;
            record.temperatureSerial = serial;
            record.temperature = value;
            record.temperatureTenths = tenths;
        } else if (code == 26 && !record.hasHumidity) {
            record.hasHumidity = true;
            record.humiditySerial = serial;
            record.humidity = value;
            record.humidityTenths = tenths;
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

bool parseHxgRecord(std::string_view stored, HxgRecord& record) {
    record = HxgRecord{};
    if (stored.size() < 3)
        return false;
    const std::size_t marker = stored.size() - 3;
    if (static_cast<unsigned char>(stored[marker]) != kHxgStoredMarker)
        return false;
    // Records longer than the writer makes are refused by the grammar anyway.
    if (marker > kMaxHxgRecordLength)
        return false;
    char plain[kMaxHxgRecordLength + kPlainPadding];
    int sum = 0; // at most kMaxHxgRecordLength bytes of at most 128 each
    for (std::size_t i = 0; i < marker; ++i) {
        plain[i] = static_cast<char>(plainByte(stored[i]));
        sum += static_cast<signed char>(plain[i]);
    }
    std::memset(plain + marker, 0, kPlainPadding);
    if (!checkBytesAgree(stored, marker, sum))
        return false;
    if (!parsePlain(std::string_view(plain, marker), record)) {
        record = HxgRecord{};
        return false;
    }
    return true;
}

bool CHxgParser::parse(std::string_view stored, HxgRecord& record) {
    if (parseLikePattern(stored, record))
        return true;
    if (!parseHxgRecord(stored, record))
        return false;
    learn(stored, record);
    return true;
}

namespace {

// The stamp's minute and second digits: "YYYYMMDDhhmmss$".
constexpr std::size_t kMinuteAt = 10, kSecondAt = 12;

std::uint64_t wordAt(const unsigned char* bytes) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

} // namespace

bool CHxgParser::parseLikePattern(std::string_view stored, HxgRecord& record) const {
    if (!havePattern_ || stored.size() != size_)
        return false;
    // Everything up to the marker but the digits that may differ, eight bytes at a time, the last eight bytes of
    // the record (some already compared) in place of a word that would reach past it.
    const auto* bytes = reinterpret_cast<const unsigned char*>(stored.data());
    std::size_t at = 0;
    for (; at + 8 <= size_; at += 8) {
        if ((wordAt(bytes + at) ^ wordAt(pattern_ + at)) & fixed_[at / 8])
            return false;
    }
    if (at < size_ && (wordAt(bytes + size_ - 8) ^ wordAt(pattern_ + size_ - 8)) & fixedEnd_)
        return false;
    const auto digit = [bytes](std::size_t i) {
        return static_cast<unsigned>(plainByte(static_cast<char>(bytes[i]))) - '0';
    };
    const unsigned minuteTens = digit(kMinuteAt), minuteOnes = digit(kMinuteAt + 1);
    const unsigned secondTens = digit(kSecondAt), secondOnes = digit(kSecondAt + 1);
    if (minuteTens > 5 || minuteOnes > 9 || secondTens > 5 || secondOnes > 9)
        return false;
    unsigned digitSum = minuteTens + minuteOnes + secondTens + secondOnes;
    double values[2] = {0, 0};
    std::int32_t tenthsOf[2] = {0, 0};
    for (int v = 0; v < valueCount_; ++v) {
        const ValueDigits& value = values_[v];
        const std::size_t point = value.first + value.digits;
        if (value.digits > 1 && digit(value.first) == 0)
            return false;
        std::uint64_t tenths = 0;
        for (std::size_t i = value.first; i < point; ++i) {
            const unsigned d = digit(i);
            if (d > 9)
                return false;
            tenths = tenths * 10 + d;
            digitSum += d;
        }
        const unsigned decimal = digit(point + 1);
        if (decimal > 9)
            return false;
        digitSum += decimal;
        // As the whole parse reads a value of up to 15 digits.
        tenths = tenths * 10 + decimal;
        tenthsOf[v] = heldTenths(value.negative, value.digits, tenths);
        values[v] = tenthsValue(value.negative, tenths);
    }
    const int sum = sum_ + static_cast<int>(digitSum) - digitSum_;
    if (!checkBytesAgree(stored, size_ - 3, sum))
        return false;
    record = record_;
    record.time.minute = static_cast<int>(minuteTens * 10 + minuteOnes);
    record.time.second = static_cast<int>(secondTens * 10 + secondOnes);
    for (int v = 0; v < valueCount_; ++v) {
        (values_[v].temperature ? record.temperature : record.humidity) = values[v];
        (values_[v].temperature ? record.temperatureTenths : record.humidityTenths) = tenthsOf[v];
    }
    return true;
}

// `stored` was just parsed whole into `record`, so its text is the writer's: the stamp, then groups
// "21,<serial>,<code>,<value>,1$".
void CHxgParser::learn(std::string_view stored, const HxgRecord& record) {
    if (stored.size() > kPatternLength)
        return;
    const std::size_t marker = stored.size() - 3;
    const auto plain = [&stored](std::size_t at) { return static_cast<char>(plainByte(stored[at])); };
    ValueDigits values[2];
    int count = 0;
    for (std::size_t at = 15; at < marker;) {
        at += 3; // "21,"
        while (plain(at) != ',')
            ++at;
        const bool temperature = plain(at + 2) == '5';
        at += 4; // ",2X,"
        ValueDigits& value = values[count++];
        value.temperature = temperature;
        value.negative = plain(at) == '-';
        value.first = value.negative ? at + 1 : at;
        while (plain(value.first + value.digits) != '.')
            ++value.digits;
        // Longer values are read by formatting them back.
        if (value.digits + 1 > 15)
            return;
        at = value.first + value.digits + 2 + 3; // ".d,1$"
    }
    havePattern_ = true;
    size_ = stored.size();
    std::memset(pattern_, 0, sizeof pattern_);
    std::memcpy(pattern_, stored.data(), size_);
    unsigned char fixed[kPatternLength] = {};
    std::memset(fixed, 0xFF, marker + 1);
    sum_ = 0;
    for (std::size_t at = 0; at < marker; ++at)
        sum_ += static_cast<signed char>(plainByte(stored[at]));
    digitSum_ = 0;
    const auto mayDiffer = [&](std::size_t at) {
        fixed[at] = 0;
        digitSum_ += plain(at) - '0';
    };
    for (std::size_t at = kMinuteAt; at < kSecondAt + 2; ++at)
        mayDiffer(at);
    for (int v = 0; v < count; ++v) {
        for (std::size_t at = values[v].first; at < values[v].first + values[v].digits; ++at)
            mayDiffer(at);
        mayDiffer(values[v].first + values[v].digits + 1);
        values_[v] = values[v];
    }
    valueCount_ = count;
    for (std::size_t word = 0; word < kPatternLength / 8; ++word)
        fixed_[word] = wordAt(fixed + 8 * word);
    fixedEnd_ = wordAt(fixed + size_ - 8);
    record_ = record;
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
        const void* marker = std::memchr(bytes.data(), kHxgStoredMarker, bytes.size());
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

// The bytes of `bytes` (whose first lies at `base`) from `from` on begin a record that does not end in them.
void CHxgScanner::keepPending(std::string_view bytes, std::uint64_t base, std::size_t from) {
    recordStart_ = base + from;
    offset_ = base + bytes.size();
    const std::string_view rest = bytes.substr(from);
    content_.assign(rest.data(), std::min(kMaxHxgRecordLength, rest.size()));
    const void* marker = std::memchr(rest.data(), kHxgStoredMarker, rest.size());
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
