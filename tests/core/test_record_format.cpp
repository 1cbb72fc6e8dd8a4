#include "recording/record_format.h"

#include <gtest/gtest.h>

namespace {

const LocalTime kTick{2024, 3, 5, 14, 7, 9};
const char* const kHeader = "Data i Godzina;Temperatura \xB0"
                            "C;Wilgotno\x9C\xE6 %\r\n";

constexpr bool kNoData = true;
constexpr bool kFlagged = true;
constexpr bool kTwoDecimals = true;

QuantityReading reading(double value, bool noData = false, bool flagged = false, bool twoDecimals = false) {
    QuantityReading reading;
    reading.rawValue = value;
    reading.noData = noData;
    reading.flagged = flagged;
    reading.twoDecimalPlaces = twoDecimals;
    return reading;
}

RecordingSettings columns(int separator, int temperature, int humidity) {
    RecordingSettings settings;
    settings.separator = separator;
    settings.recordTemperature = temperature;
    settings.recordHumidity = humidity;
    return settings;
}

RecordingSettings decimalComma(int separator) {
    RecordingSettings settings = columns(separator, 1, 1);
    settings.decimalComma = true;
    return settings;
}

TEST(TextRecord, WorkedExampleThenDisconnected) {
    int last = -1;
    EXPECT_EQ(buildTextRecord(columns(Semicolon, 1, 1), last, reading(21.5), reading(45.2), kTick),
              std::string(kHeader) + "2024.03.05 14:07:09;21.5;45.2\r\n");
    EXPECT_EQ(last, 20);
    EXPECT_EQ(buildTextRecord(columns(Semicolon, 1, 1), last, reading(21.5, kNoData), reading(45.2, kNoData, kFlagged),
                              kTick),
              "2024.03.05 14:07:09;???;???\r\n");
}

// The header comes with the first record and whenever the columns changed; the fields follow the reading.
TEST(TextRecord, FieldsFollowTheColumnsAndTheReading) {
    const QuantityReading minus = reading(-3.4), humid = reading(45.2),
                          fine = reading(-21.57, false, false, kTwoDecimals);
    const struct {
        RecordingSettings settings;
        int lastBefore;
        QuantityReading temperature, humidity;
        const char* expected;
    } cases[] = {
        {columns(Comma, 1, 0), 20, minus, humid,
         "Data i Godzina,Temperatura \xB0"
         "C\r\n2024.03.05 14:07:09,-3.4\r\n"}, // changed while open
        {columns(Tab, 0, 1), -1, minus, humid, "Data i Godzina\tWilgotno\x9C\xE6 %\r\n2024.03.05 14:07:09\t45.2\r\n"},
        {columns(Semicolon, 0, 0), -1, minus, humid, "Data i Godzina\r\n2024.03.05 14:07:09;\r\n"},
        {columns(7, 4, 4), 20, minus, humid, "2024.03.05 14:07:09\t-3.4\t45.2\r\n"}, // flags are only compared with 0
        {columns(Comma, 1, 1), 20, reading(21.57, false, false, kTwoDecimals), reading(0, kNoData, kFlagged),
         "2024.03.05 14:07:09,21.57,???\r\n"}, // kind 1, two decimals
        {columns(Comma, 1, 1), 20, reading(21.25), reading(45.25, false, false, kTwoDecimals),
         "2024.03.05 14:07:09,21.3,45.3\r\n"}, // halves away from zero
        {columns(Comma, 1, 1), 20, reading(21.5, false, kFlagged), reading(0.0), "2024.03.05 14:07:09,???,0.0\r\n"},
        // The decimal comma goes between tabs and semicolons only.
        {decimalComma(Semicolon), 20, fine, reading(45.2, kNoData), "2024.03.05 14:07:09;-21,57;???\r\n"},
        {decimalComma(Tab), 20, fine, reading(45.2, kNoData), "2024.03.05 14:07:09\t-21,57\t???\r\n"},
        {decimalComma(7), 20, fine, reading(45.2, kNoData), "2024.03.05 14:07:09\t-21,57\t???\r\n"}, // with tabs
        {decimalComma(Comma), 20, fine, reading(45.2, kNoData), "2024.03.05 14:07:09,-21.57,???\r\n"},
    };
    for (const auto& c : cases) {
        int last = c.lastBefore;
        EXPECT_EQ(buildTextRecord(c.settings, last, c.temperature, c.humidity, kTick), c.expected);
    }
}

// Undoes the storage step and checks the check bytes, as the grapher would.
std::string plainRecord(const std::string& stored) {
    std::string plain;
    for (const char c : stored)
        plain.push_back(static_cast<char>(-c));
    const std::size_t marker = plain.find('@');
    EXPECT_EQ(marker + 3, plain.size());
    int sum = 0;
    for (std::size_t i = 0; i < marker; ++i)
        sum += plain[i];
    EXPECT_EQ(static_cast<unsigned char>(plain[marker + 1]), sum % 253 + 1);
    EXPECT_EQ(static_cast<unsigned char>(plain[marker + 2]), sum % 251 + 1);
    return plain.substr(0, marker);
}

TEST(BinaryRecord, GroupsCarryOnlyValidValues) {
    const struct {
        QuantityReading temperature, humidity;
        int temperatureSerial;
        const char* plain;
    } cases[] = {
        {reading(21.5, false, kFlagged), reading(45.2), 1234, "20240305140709$21,1234,26,45.2,1$"},
        {reading(21.57, false, false, kTwoDecimals), reading(0, kNoData), 77,
         "20240305140709$21,77,25,21.6,1$"}, // always one decimal
        {reading(-3.4), reading(0, false, kFlagged), 1234, "20240305140709$21,1234,25,-3.4,1$"},
        {reading(21.25), reading(0.05), 7, "20240305140709$21,7,25,21.3,1$21,1234,26,0.1,1$"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(plainRecord(buildBinaryRecord(c.temperature, c.humidity, c.temperatureSerial, 1234, kTick)), c.plain);
}

} // namespace
