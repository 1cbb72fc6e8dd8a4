#pragma once

#include "base/civil_time.h"
#include "protocol/current_reading.h"
#include "recording/recording_settings.h"

#include <string>

char separatorChar(int separator);

// Whether the text file's numbers may take a decimal comma with this separator (tab or semicolon), and whether
// they do with these settings.
bool decimalCommaAllowed(int separator);
bool usesDecimalComma(const RecordingSettings& settings);

// Column signature of the text file's header line: 16 x temperature + 4 x humidity.
int headerColumns(const RecordingSettings& settings);

// The bytes (Windows-1250) of one text record: a header line first when the column signature differs from
// `lastHeaderColumns` (which is then updated), then the dated record line, CR LF.
std::string buildTextRecord(const RecordingSettings& settings, int& lastHeaderColumns,
                            const QuantityReading& temperature, const QuantityReading& humidity, const LocalTime& time);

// The opening comment block: an empty line for a continued file, the comment, and the serial number line
// ("HX-350 nr ???" when no line has been decoded yet or the number is below 1).
std::string buildCommentBlock(const RecordingSettings& settings, bool continued, bool lineDecoded, int serialNumber);

// One stored binary record (already negated) for the grapher. `temperatureSerial` is the current serial number,
// `humiditySerial` the kind-0 one.
std::string buildBinaryRecord(const QuantityReading& temperature, const QuantityReading& humidity,
                              int temperatureSerial, int humiditySerial, const LocalTime& time);
