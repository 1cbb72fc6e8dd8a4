#pragma once

// The decoded content of the last instrument line. One line touches only `kind` and its own sub-record;
// the other sub-records keep what earlier lines left in them.

enum FrameKind : int {
    ThermoHygro = 0, // temperature and relative humidity, tenths
    FineThermo = 1,  // temperature alone, hundredths
    Quantity = 2,
    Scaled = 3,
    Code3 = 4,
};

struct ThermoHygroRecord {
    int calibrationError = 0;
    int temperatureError = 0;
    int humidityError = 0;
    double humidity = 0;
    double temperature = 0;
    int serialNumber = 0;
};

struct FineThermoRecord {
    int calibrationError = 0;
    int temperatureError = 0;
    int twoDecimals = 0;
    double temperature = 0;
    int serialNumber = 0;
};

struct QuantityRecord {
    int hundredths = 0;
    int quantityIndex = 0;
    int statusBit2 = 0;
    int statusBit1 = 0;
    double value = 0;
    int serialNumber = 0;
};

struct ScaledRecord {
    int statusBit0 = 0;
    int milliScale = 0;
    int statusBit2 = 0;
    int statusBit3 = 0;
    double value = 0;
    int serialNumber = 0;
};

struct Code3Record {
    int wholeUnits = 0;
    int statusBit2 = 0;
    int statusBit1 = 0;
    int statusBit0 = 0;
    double value = 0;
    int serialNumber = 0;
};

struct ReadingRecord {
    int kind = ThermoHygro;
    ThermoHygroRecord thermoHygro;
    FineThermoRecord fineThermo;
    QuantityRecord quantity;
    ScaledRecord scaled;
    Code3Record code3;
};

// The serial number of the instrument that sent the last line.
inline int currentSerialNumber(const ReadingRecord& record) {
    return record.kind != ThermoHygro ? record.fineThermo.serialNumber : record.thermoHygro.serialNumber;
}
