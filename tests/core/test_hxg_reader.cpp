#include "recording/hxg_reader.h"
#include "recording/tail_repair.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

namespace {

std::string bytes(std::initializer_list<unsigned char> list) {
    return std::string(list.begin(), list.end());
}

const std::string kWorked =
    bytes({0xCE, 0xD0, 0xCE, 0xCC, 0xD0, 0xCD, 0xD0, 0xCB, 0xCF, 0xCC, 0xD0, 0xC9, 0xD0, 0xC7, 0xDC, 0xCE, 0xCF, 0xD4,
           0xCF, 0xCE, 0xCD, 0xCC, 0xD4, 0xCE, 0xCB, 0xD4, 0xCE, 0xCF, 0xD2, 0xCB, 0xD4, 0xCF, 0xDC, 0xCE, 0xCF, 0xD4,
           0xCF, 0xCE, 0xCD, 0xCC, 0xD4, 0xCE, 0xCA, 0xD4, 0xCC, 0xCB, 0xD2, 0xCE, 0xD4, 0xCF, 0xDC, 0xC0, 0x39, 0x27});
const std::string kNoValue =
    bytes({0xCE, 0xD0, 0xCE, 0xCC, 0xD0, 0xCD, 0xD0, 0xCB, 0xCF, 0xCC, 0xD0, 0xC9, 0xD0, 0xC7, 0xDC, 0xC0, 0x10, 0x0C});

// A plain record stored with correct check bytes, whatever its content.
std::string stored(const std::string& plain) {
    int sum = 0;
    for (const char c : plain)
        sum += static_cast<signed char>(c);
    std::string out = plain + '@' + static_cast<char>(sum % 253 + 1) + static_cast<char>(sum % 251 + 1);
    for (char& c : out)
        c = static_cast<char>(-static_cast<unsigned char>(c));
    return out;
}

std::string reencode(const HxgRecord& r) {
    QuantityReading temperature, humidity;
    temperature.noData = !r.hasTemperature;
    temperature.rawValue = r.temperature;
    humidity.noData = !r.hasHumidity;
    humidity.rawValue = r.humidity;
    return buildBinaryRecord(temperature, humidity, r.temperatureSerial, r.humiditySerial, r.time);
}

std::size_t validCount(const std::vector<HxgEntry>& entries) {
    return std::count_if(entries.begin(), entries.end(), [](const HxgEntry& entry) { return entry.valid; });
}

// The worked examples as written and read back, and which serial number is whose: the temperature's group carries
// the current one, the humidity's the one of the last line with both values.
TEST(HxgReader, WorkedExamples) {
    HxgRecord both{{2024, 3, 5, 14, 7, 9}, true, 21.5, 1234, true, 45.2, 1234};
    EXPECT_EQ(reencode(both), kWorked);
    EXPECT_EQ(reencode(HxgRecord{both.time}), kNoValue);
    const auto entries = readHxg(kWorked + kNoValue);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_TRUE(entries[0].valid && entries[1].valid);
    EXPECT_EQ(reencode(entries[0].record) + reencode(entries[1].record), kWorked + kNoValue);
    both.temperatureSerial = 7;
    const auto serials = readHxg(reencode(both));
    ASSERT_EQ(serials.size(), 1u);
    EXPECT_EQ(std::make_pair(serials[0].record.temperatureSerial, serials[0].record.humiditySerial),
              std::make_pair(7, 1234));
}

TEST(HxgReader, AcceptsExactlyTheWritersGrammar) {
    const std::string t = "20240305140709$";
    const std::vector<std::string> valid = {
        // both, humidity only, a negative value, the extremes of serial and value and of the time stamp, no value
        t + "21,1234,25,21.5,1$21,1234,26,45.2,1$",
        t + "21,1234,26,45.2,1$",
        t + "21,7,25,-3.4,1$",
        t + "21,0,25,0.0,1$21,2147483647,26,-0.0,1$",
        "99991231235959$",
        "00000101000000$",
        t,
        // the longest values read without formatting them back: 15 significant digits
        t + "21,1234,25,-99999999999999.9,1$21,1234,26,12345678901234.5,1$",
    };
    const std::vector<std::string> invalid = {
        // month, day, hour, minute, second out of range; a digit short; no "$"; a space before
        "20241305140709$", "20240005140709$", "20240300140709$", "20240332140709$", "20240305240709$",
        "20240305146009$", "20240305140760$", "2024030514070$", "20240305140709", " 20240305140709$", t + "$",
        // serial: leading zero, sign, beyond int
        t + "21,01234,25,21.5,1$", t + "21,-1234,25,21.5,1$", t + "21,+1234,25,21.5,1$", t + "21,2147483648,25,21.5,1$",
        // value: exactly one decimal, no leading zeros, no "+", no more digits than a double keeps or read back as .3
        t + "21,1234,25,21.50,1$", t + "21,1234,25,21,1$", t + "21,1234,25,21.,1$", t + "21,1234,25,.5,1$",
        t + "21,1234,25,021.5,1$", t + "21,1234,25,-03.4,1$", t + "21,1234,25,+3.4,1$",
        t + "21,1234,25,123456789012345678.9,1$", t + "21,1234,25,999999999999999.2,1$",
        // other fields; humidity before temperature, a quantity twice, bytes after the last group
        t + "22,1234,25,21.5,1$", t + "21,1234,25,21.5,2$", t + "21,1234,27,21.5,1$", t + "21,1234,25,21.5,1",
        t + "21,1234,26,45.2,1$21,1234,25,21.5,1$", t + "21,1234,25,21.5,1$21,1234,25,21.5,1$",
        t + "21,1234,26,45.2,1$21,1234,26,45.2,1$", t + "21,1234,25,21.5,1$x"};
    for (const auto& [plains, isValid] : {std::make_pair(&valid, true), std::make_pair(&invalid, false)}) {
        for (const std::string& plain : *plains) {
            const std::string record = stored(plain);
            const auto entries = readHxg(record);
            ASSERT_EQ(entries.size(), 1u) << plain;
            EXPECT_EQ(entries[0].valid, isValid) << plain;
            if (entries[0].valid) {
                EXPECT_EQ(reencode(entries[0].record), record) << plain;
            }
        }
    }
}

TEST(HxgReader, RejectsWrongCheckBytes) {
    const std::size_t a = 52, b = 53;
    const struct {
        std::size_t at;
        unsigned char value;
    } cases[] = {{a, 0x38}, {a, 0x00}, {b, 0x26}, {b, 0x00}, {a, 0x27}};
    for (const auto& c : cases) {
        std::string record = kWorked;
        record[c.at] = static_cast<char>(c.value);
        HxgRecord parsed;
        EXPECT_FALSE(parseHxgRecord(record, parsed)) << c.at << " " << int(c.value);
    }
    // Shorter than a marker and its check bytes, alone in its allocation: nothing around it is read.
    const std::unique_ptr<char[]> tooShort(new char[2]{'\xC0', '\x39'});
    HxgRecord parsed;
    EXPECT_FALSE(parseHxgRecord(std::string_view(tooShort.get(), 2), parsed));
}

// A record read after one whose layout it shares (read at its differing digits alone) is accepted or refused, and
// read, as it is alone; so is one of another layout.
TEST(HxgReader, RecordOfAFileReadAsAlone) {
    const std::string t = "20240305140709$", both = t + "21,1234,25,21.5,1$21,1234,26,45.2,1$";
    const std::string temperature = t + "21,1234,25,-13.4,1$", humidity = t + "21,1234,26,9.9,1$",
                      wide = t + "21,1234,25,1234567.8,1$";
    const struct {
        std::string before, record;
        bool wrongCheck;
    } rows[] = {
        {both, "20240305145959$21,1234,25,99.9,1$21,1234,26,10.0,1$", false},
        {both, "20240305140760$21,1234,25,21.5,1$21,1234,26,45.2,1$", false},
        {both, "20240305146009$21,1234,25,21.5,1$21,1234,26,45.2,1$", false},
        {both, "20240305140709$21,1234,25,01.5,1$21,1234,26,45.2,1$", false},
        {both, "20240305140709$21,1234,25,21.5,1$21,1234,26,4/.2,1$", false},
        {both, "20240305140709$21,1234,25,21.5,1$21,1234,26,45.:,1$", false},
        {both, "20240305140710$21,1234,25,21.5,1$21,1234,26,45.3,1$", true},
        {both, "20240305150709$21,1235,25,21.5,1$21,1234,26,45.2,1$", false},
        {both, "20240305140709$21,1234,26,21.5,1$21,1234,26,45.2,1$", false},
        {both, "20240305140709$21,1234,25,21.5,1$21,1234,26,452.0,1$", false},
        {temperature, t + "21,1234,25,-03.4,1$", false},
        {temperature, t + "21,1234,25,-10.0,1$", false},
        {humidity, t + "21,1234,26,0.0,1$", false},
        {humidity, t + "21,1234,26,10.0,1$", false},
        {wide, t + "21,1234,25,9876543.2,1$", false},
        {wide, t + "21,1234,25,0234567.8,1$", false},
        {wide, t + "21,1234,25,1234567.x,1$", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.record);
        std::string record = stored(row.record);
        if (row.wrongCheck)
            record.back() = static_cast<char>(record.back() + 1);
        CHxgParser parser;
        HxgRecord before, inTurn, alone;
        ASSERT_TRUE(parser.parse(stored(row.before), before));
        const bool valid = parseHxgRecord(record, alone);
        EXPECT_EQ(parser.parse(record, inTurn), valid);
        EXPECT_EQ(reencode(inTurn), reencode(alone));
    }
}

// Valid records, one whose check byte is the marker byte, damaged ones and a torn tail.
TEST(HxgReader, GoldenFileInAnyChunkingReencodesExactly) {
    std::ifstream in(HX350_TEST_DATA_DIR "/decode/records.hxg", std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(file.substr(0, 72), kWorked + kNoValue);

    const auto whole = readHxg(file);
    for (const std::size_t chunk : {1u, 2u, 3u, 53u, 54u, 4096u}) {
        std::vector<HxgEntry> entries;
        CHxgScanner scanner([&entries](const HxgEntry& entry) { entries.push_back(entry); });
        for (std::size_t at = 0; at < file.size(); at += chunk)
            scanner.feed(std::string_view(file).substr(at, chunk));
        EXPECT_EQ(scanner.validCount(), 5u);
        EXPECT_EQ(scanner.damagedCount(), 2u);
        EXPECT_EQ(scanner.pendingBytes(), 20u);
        ASSERT_EQ(entries.size(), whole.size());
        std::uint64_t end = 0;
        for (const auto& entry : entries) {
            EXPECT_EQ(entry.offset, end);
            end = entry.offset + entry.length;
            if (entry.valid) {
                EXPECT_EQ(reencode(entry.record), file.substr(entry.offset, entry.length)) << entry.offset;
            }
        }
    }
}

TailReader readerOf(const std::string& file) {
    return [&file](std::uint64_t offset, char* buffer, std::size_t length) {
        return offset + length <= file.size() && file.copy(buffer, length, offset) == length;
    };
}

// Applies the program's repair to `file` as it does before it appends, and checks it against the scanner's repair
// of the whole file: the program reads only the file's end, and must repair it as a reader of the whole file
// would, except that it may close in its own way a window holding no valid record.
std::string repaired(std::string file) {
    TailRepair repair;
    EXPECT_TRUE(repairBinaryTail(file.size(), readerOf(file), repair));
    std::vector<HxgEntry> entries;
    CHxgScanner scanner([&entries](const HxgEntry& entry) { entries.push_back(entry); });
    scanner.feed(file);
    const TailRepair whole = scanner.tailRepair();
    const std::uint64_t window = repair.truncateTo - std::min<std::uint64_t>(repair.truncateTo, kBinaryTailWindow);
    const bool validInWindow = std::any_of(entries.begin(), entries.end(), [window](const HxgEntry& entry) {
        return entry.valid && entry.offset + entry.length >= window + 5;
    });
    if (validInWindow || repair.append.size() != 5) {
        EXPECT_EQ(repair.truncateTo, whole.truncateTo) << file.size();
        EXPECT_EQ(repair.append, whole.append) << file.size();
    }
    EXPECT_LE(repair.truncateTo, file.size());
    file.resize(repair.truncateTo);
    return file + repair.append;
}

const std::string kNext = stored("20240306080000$21,1234,25,19.0,1$");

// 5500 bytes of records before a file's last records put the repair's window inside the file. Every second one has
// the marker byte as its last check byte, so that a window may begin just before a check byte that looks like a
// marker.
std::string earlierRecords() {
    std::string earlier;
    for (int i = 0; i < 62; ++i)
        earlier += kWorked + stored("20240305140709$21,1234,25,8.9,1$");
    return earlier;
}

TEST(HxgTailRepair, TornAtEveryByteOfTheWorkedExample) {
    for (const std::string& earlier : {std::string(), earlierRecords()}) {
        for (std::size_t k = 0; k <= kWorked.size(); ++k) {
            for (const std::size_t nuls : {0u, 1u, 2u, 3u, 700u}) {
                const std::string file = earlier + kNoValue + kWorked.substr(0, k) + std::string(nuls, '\0');
                const std::string continued = repaired(file) + kNext;
                const auto entries = readHxg(continued);
                const bool torn = k > 0 && k < kWorked.size();
                ASSERT_EQ(entries.size(), readHxg(earlier).size() + (k > 0 ? 3u : 2u)) << k << " " << nuls;
                EXPECT_EQ(continued.substr(0, earlier.size() + 18 + (torn ? 0 : k)),
                          file.substr(0, earlier.size() + 18 + (torn ? 0 : k)));
                EXPECT_EQ(validCount(entries), entries.size() - (torn ? 1 : 0)) << k << " " << nuls;
                EXPECT_EQ(continued.substr(entries.back().offset), kNext);
            }
        }
    }
}

// Marker bytes where a window may begin (check bytes that equal the marker, runs of them) must not make the repair
// take a check byte for a marker; tails that no window makes sense of are closed without losing a record.
TEST(HxgTailRepair, EndsThatHideWhereRecordsBeginLoseNoRecord) {
    std::ifstream in(HX350_TEST_DATA_DIR "/decode/records.hxg", std::ios::binary);
    const std::string golden((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> tails;
    for (std::size_t cut = 0; cut <= golden.size(); ++cut)
        tails.push_back(golden.substr(0, cut));
    tails.push_back(std::string(5000, '\xCE'));             // no marker in the window
    tails.push_back(std::string(4098, '\xC0') + kWorked);   // the window's only certain marker is its last record's
    for (const std::size_t markers : {5000u, 5001u, 5002u}) // nothing but marker bytes, ending in every state
        tails.push_back(std::string(markers, '\xC0'));
    // The window begins at the marker of a record whose last check byte is the marker byte, then only markers.
    tails.push_back(std::string(4093, '\xC0'));
    // Pieces in a random order: records, their torn beginnings, markers, NULs and stray bytes.
    const std::string pieces[] = {kWorked,
                                  kNoValue,
                                  kWorked.substr(0, 52),
                                  "\xC0",
                                  "\xC0\xC0",
                                  std::string(1, '\0'),
                                  "\x39",
                                  golden.substr(0, 200)};
    unsigned seed = 19;
    for (int file = 0; file < 100; ++file) {
        std::string tail;
        for (int piece = 0; piece < 40; ++piece) {
            seed = seed * 1103515245u + 12345u;
            tail += pieces[(seed >> 16) % std::size(pieces)];
        }
        tails.push_back(tail);
    }
    for (const std::string& tail : tails) {
        const std::string file = earlierRecords() + tail;
        const std::size_t valid = validCount(readHxg(file));
        const std::string continued = repaired(file) + kNext;
        const auto entries = readHxg(continued);
        ASSERT_FALSE(entries.empty());
        EXPECT_EQ(validCount(entries), valid + 1) << tail.size();
        EXPECT_EQ(continued.substr(entries.back().offset), kNext) << tail.size();
    }
}

TEST(HxgTailRepair, FilesThatAreNoRecordsAreOnlyClosed) {
    const std::string closing("\xC0\0\0", 3);
    const struct {
        std::string file;
        std::uint64_t truncateTo;
        std::string append;
    } cases[] = {
        {"", 0, ""},
        {std::string(9, '\0'), 0, ""},
        {"Data i Godzina;Temperatura\r\n", 28, closing},
        {"Data i Godzina;Temperatura\r\n" + std::string(5, '\0'), 28, closing},
        {std::string("a\0b\0\0", 5), 3, closing},
    };
    for (const auto& c : cases) {
        TailRepair repair;
        ASSERT_TRUE(repairBinaryTail(c.file.size(), readerOf(c.file), repair));
        EXPECT_EQ(repair.truncateTo, c.truncateTo) << c.file;
        EXPECT_EQ(repair.append, c.append) << c.file;
        // What was there becomes one damaged record, and the appended one parses.
        const auto entries = readHxg(repaired(c.file) + kNext);
        EXPECT_EQ(entries.size(), c.truncateTo > 0 ? 2u : 1u) << c.file;
        EXPECT_EQ(validCount(entries), 1u) << c.file;
        EXPECT_TRUE(entries.back().valid);
    }
}

TEST(TextTailRepair, CutsNulsAndClosesTheLastLine) {
    const std::string line = "2024.03.05 14:07:09;21.5;45.2\r\n";
    const struct {
        std::string file;
        std::uint64_t truncateTo;
        const char* append;
    } cases[] = {
        {line, 31, ""},
        {line.substr(0, 30), 30, "\n"},
        {line.substr(0, 29), 29, "\r\n"},
        {line + std::string(3, '\0'), 31, ""},
        {line + "2024" + std::string(150000, '\0'), 35, "\r\n"}, // NULs over more than two reads
        {line + std::string(65536, '\0'), 31, ""},
        {std::string(65537, '\0'), 0, ""},
        {"", 0, ""},
        {"\n", 1, "\r\n"},
        {"\r", 1, "\n"},
    };
    for (const auto& c : cases) {
        TailRepair repair;
        ASSERT_TRUE(repairTextTail(c.file.size(), readerOf(c.file), repair));
        EXPECT_EQ(repair.truncateTo, c.truncateTo) << c.file.size();
        EXPECT_EQ(repair.append, c.append) << c.file.size();
    }
}

} // namespace
