#include "tools/hx350_decode/record_json.h"

#include "base/number_format.h"

#include <cstdint>
#include <cstdio>

// The output is compared byte for byte with other decoders, so the field order is the record's own and every
// number has exactly one spelling: %.17g round-trips each double and keeps the sign of negative zero ("-0").

namespace {

class JsonObject {
public:
    explicit JsonObject(std::string& out) : out_(out) { out_ += '{'; }
    ~JsonObject() { out_ += '}'; }
    JsonObject(const JsonObject&) = delete;
    JsonObject& operator=(const JsonObject&) = delete;

    void key(const char* name) {
        if (!first_)
            out_ += ',';
        first_ = false;
        out_ += '"';
        out_ += name;
        out_ += "\":";
    }
    void add(const char* name, int value) {
        key(name);
        out_ += std::to_string(value);
    }
    void add(const char* name, bool value) {
        key(name);
        out_ += value ? "true" : "false";
    }
    void add(const char* name, std::uint64_t value) {
        key(name);
        out_ += std::to_string(value);
    }
    void add(const char* name, const std::string& text) {
        key(name);
        out_ += '"';
        out_ += text;
        out_ += '"';
    }
    void addNull(const char* name) {
        key(name);
        out_ += "null";
    }
    void addRaw(const char* name, const std::string& json) {
        key(name);
        out_ += json;
    }
    void add(const char* name, double value) {
        key(name);
        char text[32];
        std::snprintf(text, sizeof text, "%.17g", value);
        out_ += text;
    }

private:
    std::string& out_;
    bool first_ = true;
};

} // namespace

std::string recordJson(const LineOutcome& outcome, const ReadingRecord& record) {
    std::string out;
    out.reserve(640);
    {
        JsonObject line(out);
        line.add("n", outcome.length);
        line.add("result", outcome.result);
        line.add("good", outcome.good);
        line.add("kind", record.kind);
        {
            const ThermoHygroRecord& r = record.thermoHygro;
            line.key("thermoHygro");
            JsonObject sub(out);
            sub.add("calibrationError", r.calibrationError);
            sub.add("temperatureError", r.temperatureError);
            sub.add("humidityError", r.humidityError);
            sub.add("humidity", r.humidity);
            sub.add("temperature", r.temperature);
            sub.add("serialNumber", r.serialNumber);
        }
        {
            const FineThermoRecord& r = record.fineThermo;
            line.key("fineThermo");
            JsonObject sub(out);
            sub.add("calibrationError", r.calibrationError);
            sub.add("temperatureError", r.temperatureError);
            sub.add("twoDecimals", r.twoDecimals);
            sub.add("temperature", r.temperature);
            sub.add("serialNumber", r.serialNumber);
        }
        {
            const QuantityRecord& r = record.quantity;
            line.key("quantity");
            JsonObject sub(out);
            sub.add("hundredths", r.hundredths);
            sub.add("quantityIndex", r.quantityIndex);
            sub.add("statusBit2", r.statusBit2);
            sub.add("statusBit1", r.statusBit1);
            sub.add("value", r.value);
            sub.add("serialNumber", r.serialNumber);
        }
        {
            const ScaledRecord& r = record.scaled;
            line.key("scaled");
            JsonObject sub(out);
            sub.add("statusBit0", r.statusBit0);
            sub.add("milliScale", r.milliScale);
            sub.add("statusBit2", r.statusBit2);
            sub.add("statusBit3", r.statusBit3);
            sub.add("value", r.value);
            sub.add("serialNumber", r.serialNumber);
        }
        {
            const Code3Record& r = record.code3;
            line.key("code3");
            JsonObject sub(out);
            sub.add("wholeUnits", r.wholeUnits);
            sub.add("statusBit2", r.statusBit2);
            sub.add("statusBit1", r.statusBit1);
            sub.add("statusBit0", r.statusBit0);
            sub.add("value", r.value);
            sub.add("serialNumber", r.serialNumber);
        }
    }
    return out;
}

namespace {

void addQuantity(JsonObject& object, const char* name, const char* serialName, bool present, double value, int serial) {
    if (present) {
        object.addRaw(name, formatFixed(value, 1));
        object.add(serialName, serial);
    } else {
        object.addNull(name);
        object.addNull(serialName);
    }
}

} // namespace

std::string hxgEntryJson(const HxgEntry& entry) {
    std::string out;
    {
        JsonObject object(out);
        object.add("offset", entry.offset);
        object.add("length", entry.length);
        object.add("valid", entry.valid);
        if (entry.valid) {
            const HxgRecord& r = entry.record;
            char time[64];
            std::snprintf(time, sizeof time, "%04d-%02d-%02d %02d:%02d:%02d", r.time.year, r.time.month, r.time.day,
                          r.time.hour, r.time.minute, r.time.second);
            object.add("time", std::string(time));
            addQuantity(object, "temperature", "temperatureSerial", r.hasTemperature, r.temperature,
                        r.temperatureSerial);
            addQuantity(object, "humidity", "humiditySerial", r.hasHumidity, r.humidity, r.humiditySerial);
        }
    }
    return out;
}
