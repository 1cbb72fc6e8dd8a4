#include "recording/record_format.h"

#include "base/cp1250.h"
#include "base/number_format.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr const char* kCrLf = "\r\n";

std::string textField(const QuantityReading& reading, int decimals, bool decimalComma) {
    if (!reading.valid())
        return "???";
    std::string text = formatFixed(reading.rawValue, decimals);
    if (decimalComma)
        std::replace(text.begin(), text.end(), '.', ',');
    return text;
}

// "21,<serial>,<code>,<value>,1$": the value always with one decimal, whatever the display shows.
std::string binaryGroup(int serialNumber, int quantityCode, double value) {
    return "21," + std::to_string(serialNumber) + "," + std::to_string(quantityCode) + "," + formatFixed(value, 1) +
           ",1$";
}

} // namespace

char separatorChar(int separator) {
    switch (separator) {
    case Comma:
        return ',';
    case Semicolon:
        return ';';
    default:
        return '\t';
    }
}

// A spreadsheet set up for a decimal comma (Polish, German, French …) takes "23.4" for a date or for text. With commas
// between the columns a decimal comma would split every number in two, so the choice applies to the other
// separators only.
bool decimalCommaAllowed(int separator) {
    return separatorChar(separator) != ',';
}

bool usesDecimalComma(const RecordingSettings& settings) {
    return settings.decimalComma && decimalCommaAllowed(settings.separator);
}

int headerColumns(const RecordingSettings& settings) {
    return 16 * (settings.recordTemperature != 0 ? 1 : 0) + 4 * (settings.recordHumidity != 0 ? 1 : 0);
}

// The header is repeated whenever the column choice differs from the last header written, so a file whose
// columns change while it stays open still reads correctly in a spreadsheet.
std::string buildTextRecord(const RecordingSettings& settings, int& lastHeaderColumns,
                            const QuantityReading& temperature, const QuantityReading& humidity,
                            const LocalTime& time) {
    const char separator = separatorChar(settings.separator);
    const bool withTemperature = settings.recordTemperature != 0;
    const bool withHumidity = settings.recordHumidity != 0;
    const bool decimalComma = usesDecimalComma(settings);

    std::string out;
    const int columns = headerColumns(settings);
    if (columns != lastHeaderColumns) {
        lastHeaderColumns = columns;
        std::string header = "Data i Godzina";
        if (withTemperature) {
            header += separator;
            header += "Temperatura °C";
        }
        if (withHumidity) {
            header += separator;
            header += "Wilgotność %";
        }
        out = utf8ToCp1250(header) + kCrLf;
    }

    out += localTimeText(time);
    out += separator;
    if (withTemperature)
        out += textField(temperature, temperature.twoDecimalPlaces ? 2 : 1, decimalComma);
    if (withHumidity) {
        if (withTemperature)
            out += separator;
        out += textField(humidity, 1, decimalComma);
    }
    out += kCrLf;
    return out;
}

std::string buildCommentBlock(const RecordingSettings& settings, bool continued, bool lineDecoded, int serialNumber) {
    std::string out;
    if (settings.commentEnabled == 0)
        return out;
    if (continued)
        out += kCrLf;
    if (!settings.commentText.empty()) {
        // Already in the system's code page, as typed; line breaks are CR LF already.
        out += settings.commentText;
        out += kCrLf;
    }
    if (settings.commentSerialNumber != 0) {
        out += "HX-350 nr ";
        out += lineDecoded && serialNumber >= 1 ? std::to_string(serialNumber) : "???";
        out += kCrLf;
    }
    return out;
}

// The checksum sums the plain bytes as signed 8-bit values; the plain record holds only ASCII, so this is the
// plain sum. Storing each byte negated keeps the file from looking like text to other programs.
std::string buildBinaryRecord(const QuantityReading& temperature, const QuantityReading& humidity,
                              int temperatureSerial, int humiditySerial, const LocalTime& time) {
    char stamp[80];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d%02d%02d%02d$", time.year, time.month, time.day, time.hour,
                  time.minute, time.second);
    std::string record = stamp;
    if (temperature.valid())
        record += binaryGroup(temperatureSerial, 25, temperature.rawValue);
    if (humidity.valid())
        record += binaryGroup(humiditySerial, 26, humidity.rawValue);

    long long sum = 0;
    for (const char c : record)
        sum += static_cast<signed char>(c);
    record += '@';
    record += static_cast<char>(sum % 253 + 1);
    record += static_cast<char>(sum % 251 + 1);

    for (char& c : record)
        c = static_cast<char>((256 - static_cast<unsigned char>(c)) % 256);
    return record;
}
