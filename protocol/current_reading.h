#pragma once

// The current reading: what the last line and the link state leave for the displays to paint, for the DDE service
// to answer and for recording to write. The reading update alone fills it; everything else only reads it.

// One quantity of the current reading.
struct QuantityReading {
    double rawValue = 0;           // the last value; kept while there is no data, as DDE still answers with it
    bool noData = true;            // no value: "???"
    bool flagged = false;          // the instrument marked the value faulty: shown blinking, recorded as "???"
    bool twoDecimalPlaces = false; // the instrument asks for two decimals

    // A value that recording writes and DDE reports as "Pomiar OK".
    bool valid() const { return !noData && !flagged; }
};

struct CurrentReading {
    QuantityReading temperature;
    QuantityReading humidity;
    int serialNumber = 0;         // of the instrument that sent the last line, as the status line names it
    int humiditySerialNumber = 0; // of the last temperature-and-humidity line
};
