#include "mqtt/mqtt_packet.h"
#include "mqtt/mqtt_payloads.h"
#include "mqtt/mqtt_settings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {

// "20 02 00 00" as bytes.
std::string bytes(const std::string& hex) {
    std::istringstream in(hex);
    std::string out;
    for (std::string pair; in >> pair;)
        out.push_back(static_cast<char>(std::stoi(pair, nullptr, 16)));
    return out;
}

std::string hex(const std::string& data) {
    std::string out;
    for (const char c : data) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned char>(c));
        out += (out.empty() ? "" : " ") + std::string(pair);
    }
    return out;
}

// ---- The codec against the standard's examples

TEST(MqttCodec, RemainingLengthAsTheStandardsTable) {
    const struct {
        std::size_t length;
        const char* encoded;
    } rows[] = {
        {0, "00"},           {127, "7F"},           {128, "80 01"},           {16383, "FF 7F"},
        {16384, "80 80 01"}, {2097151, "FF FF 7F"}, {2097152, "80 80 80 01"}, {268435455, "FF FF FF 7F"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(hex(encodeRemainingLength(row.length)), row.encoded) << row.length;
}

TEST(MqttCodec, EncodesTheStandardsExamplePackets) {
    MqttConnect connect;
    connect.clientId = "c";
    connect.keepAliveSeconds = 10;
    connect.will = MqttWill{"w", "x", 1, false};
    connect.userName = "u";
    connect.password = "p";
    MqttPublish publish{"a/b", "", 1, false, false, 10};
    MqttPublish flagged{"a/b", "x", 1, true, true, 10};
    MqttPublish utf8Topic{"A\xF0\xAA\x9B\x94", "", 0, false, false, 0}; // "A𪛔", the standard's string example
    const struct {
        std::string encoded;
        const char* expected;
    } rows[] = {
        // The example's variable header: "MQTT", level 4, flags CE (user name, password, will QoS 1, clean
        // session), keep-alive 10; then the payload in the standard's order.
        {encodeConnect(connect), "10 19 00 04 4D 51 54 54 04 CE 00 0A 00 01 63 00 01 77 00 01 78 00 01 75 00 01 70"},
        {encodePublish(publish), "32 07 00 03 61 2F 62 00 0A"},
        {encodePublish(flagged), "3B 08 00 03 61 2F 62 00 0A 78"},
        {encodePublish(utf8Topic), "30 07 00 05 41 F0 AA 9B 94"},
        {encodeSubscribe(10, {{"a/b", 1}, {"c/d", 2}}), "82 0E 00 0A 00 03 61 2F 62 01 00 03 63 2F 64 02"},
        {encodePubAck(10), "40 02 00 0A"},
        {encodePingReq(), "C0 00"},
        {encodeDisconnect(), "E0 00"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(hex(row.encoded), row.expected);
}

// A password without a user name is not allowed by the standard: neither is sent.
TEST(MqttCodec, APasswordGoesOnlyWithAUserName) {
    MqttConnect connect;
    connect.clientId = "c";
    connect.password = "p";
    EXPECT_EQ(hex(encodeConnect(connect)), "10 0D 00 04 4D 51 54 54 04 02 00 3C 00 01 63");
}

std::string describe(const MqttIncoming& in) {
    switch (in.type) {
    case MqttIncoming::Type::ConnAck:
        return "CONNACK " + std::to_string(in.sessionPresent) + " " + std::to_string(in.returnCode);
    case MqttIncoming::Type::PubAck:
        return "PUBACK " + std::to_string(in.packetId);
    case MqttIncoming::Type::SubAck:
        return "SUBACK " + std::to_string(in.packetId) + " " + hex(in.grantedQos);
    case MqttIncoming::Type::PingResp:
        return "PINGRESP";
    default:
        return "PUBLISH " + in.publish.topic + " q" + std::to_string(in.publish.qos) + (in.publish.retain ? "r" : "") +
               (in.publish.dup ? "d" : "") + " #" + std::to_string(in.publish.packetId) + " " + in.publish.payload;
    }
}

// Whatever the chunks: every split of the bytes decodes the same.
TEST(MqttCodec, DecodesWhatABrokerSendsInAnyChunks) {
    const std::string payload(125, 'p'); // with its topic, a remaining length of two bytes
    const struct {
        std::string bytes;
        std::string expected;
    } rows[] = {
        {bytes("20 02 00 00"), "CONNACK 0 0"},
        {bytes("20 02 01 05"), "CONNACK 1 5"},
        {bytes("40 02 00 0A"), "PUBACK 10"},
        {bytes("90 06 00 0A 00 01 02 80"), "SUBACK 10 00 01 02 80"}, // the standard's SUBACK example
        {bytes("D0 00"), "PINGRESP"},
        {bytes("3B 08 00 03 61 2F 62 00 0A 78"), "PUBLISH a/b q1rd #10 x"},
        {bytes("30 80 01 00 01 74") + payload, "PUBLISH t q0 #0 " + payload},
    };
    for (const auto& row : rows) {
        const std::string_view data = row.bytes;
        for (std::size_t split = 0; split <= data.size(); ++split) {
            MqttDecoder decoder;
            std::vector<MqttIncoming> packets;
            ASSERT_TRUE(decoder.feed(data.substr(0, split), packets));
            EXPECT_EQ(decoder.midPacket(), split > 0 && split < data.size());
            ASSERT_TRUE(decoder.feed(data.substr(split), packets));
            ASSERT_EQ(packets.size(), 1u) << row.expected << " split at " << split;
            EXPECT_EQ(describe(packets[0]), row.expected);
            EXPECT_FALSE(decoder.midPacket());
        }
    }
}

TEST(MqttCodec, RefusesWhatNoBrokerMaySendThisClient) {
    const struct {
        const char* bytes;
        MqttDecodeError error;
    } rows[] = {
        {"21 02 00 00", MqttDecodeError::ReservedFlags},
        {"D8 00", MqttDecodeError::ReservedFlags},
        {"10 00", MqttDecodeError::UnexpectedType},                      // CONNECT
        {"50 02 00 01", MqttDecodeError::UnexpectedType},                // PUBREC: QoS 2 flows
        {"B0 02 00 01", MqttDecodeError::UnexpectedType},                // UNSUBACK: never unsubscribed
        {"00 00", MqttDecodeError::UnexpectedType},                      // reserved types
        {"F0 00", MqttDecodeError::UnexpectedType},                      //
        {"34 07 00 03 61 2F 62 00 01", MqttDecodeError::UnexpectedType}, // QoS 2: subscribed at 0
        {"36 05 00 03 61 2F 62", MqttDecodeError::Malformed},            // QoS 3
        {"38 05 00 03 61 2F 62", MqttDecodeError::Malformed},            // DUP at QoS 0
        {"D0 80 80 80 80 01", MqttDecodeError::LengthEncoding},          // five length bytes
        {"D0 80 00", MqttDecodeError::LengthEncoding},                   // 0 in two bytes
        {"30 81 08", MqttDecodeError::TooLong},                          // 1025
        {"30 FF FF FF 7F", MqttDecodeError::TooLong},
        {"20 03 00 00 00", MqttDecodeError::Malformed},
        {"20 02 02 00", MqttDecodeError::Malformed}, // reserved acknowledge flags
        {"40 02 00 00", MqttDecodeError::Malformed}, // packet id 0
        {"90 03 00 01 03", MqttDecodeError::Malformed},
        {"D0 01 00", MqttDecodeError::Malformed},
        {"30 04 00 05 61 62", MqttDecodeError::Malformed},    // the topic runs past the packet
        {"30 02 00 00", MqttDecodeError::Malformed},          // an empty topic
        {"30 03 00 01 2B", MqttDecodeError::Malformed},       // a wildcard
        {"30 04 00 02 C0 80", MqttDecodeError::Malformed},    // an overlong UTF-8 form
        {"30 03 00 01 00", MqttDecodeError::Malformed},       // U+0000
        {"30 05 00 03 ED A0 80", MqttDecodeError::Malformed}, // a surrogate
        {"32 05 00 01 61 00 00", MqttDecodeError::Malformed}, // QoS 1 with packet id 0
    };
    for (const auto& row : rows) {
        MqttDecoder decoder;
        std::vector<MqttIncoming> packets;
        // A good packet first, then the bad one, then a good one that is no longer decoded.
        EXPECT_FALSE(decoder.feed(bytes(std::string("D0 00 ") + row.bytes + " D0 00"), packets)) << row.bytes;
        EXPECT_EQ(decoder.error(), row.error) << row.bytes;
        EXPECT_EQ(packets.size(), 1u) << row.bytes;
        EXPECT_EQ(decoder.held(), 0u);
        EXPECT_FALSE(decoder.feed(bytes("D0 00"), packets));
        decoder.reset();
        EXPECT_TRUE(decoder.feed(bytes("D0 00"), packets));
    }
}

// ---- Settings

TEST(MqttSettings, StationNames) {
    EXPECT_TRUE(isValidStationName("PC01-com3_b"));
    for (const char* bad : {"", "pc 01", "pc/01", "pc+", "łódź", "a#"})
        EXPECT_FALSE(isValidStationName(bad)) << bad;
    EXPECT_FALSE(isValidStationName(std::string(kMaxMqttStationLength + 1, 'a')));

    EXPECT_EQ(proposeStationName("PC01", 3), "pc01-com3");
    EXPECT_EQ(proposeStationName("Biuro Łódź", 12), "biuro---d--com12"); // one '-' per character
    EXPECT_EQ(proposeStationName("", 1), "hx350-com1");
    const std::string longName = proposeStationName(std::string(100, 'A'), 255);
    EXPECT_EQ(longName.size(), kMaxMqttStationLength);
    EXPECT_EQ(longName.substr(longName.size() - 7), "-com255");
}

TEST(MqttSettings, BoundsWhatAFileMayHold) {
    MqttSettings settings;
    settings.port = 70000;
    settings.keepAliveSeconds = 1;
    settings.recordIntervalSeconds = -5;
    settings.station = "hala 2/a";
    settings.password = std::string(kMaxMqttCredentialLength - 1, 'x') + "ł";
    boundMqttSettings(settings);
    EXPECT_EQ(settings.port, 1883);
    EXPECT_EQ(settings.keepAliveSeconds, kMinMqttKeepAliveSeconds);
    EXPECT_EQ(settings.recordIntervalSeconds, 0);
    EXPECT_EQ(settings.station, "hala-2-a");
    EXPECT_EQ(settings.password, std::string(kMaxMqttCredentialLength - 1, 'x')); // never half a character
    settings.station.clear();
    boundMqttSettings(settings);
    EXPECT_EQ(settings.station, "hx350");
}

// ---- Payloads

TEST(MqttPayloads, LocalTimeWithItsOffset) {
    const struct {
        std::int64_t utcMs;
        int offset;
        const char* expected;
    } rows[] = {
        {1792891800000, 60, "2026-10-25T02:30:00+01:00"}, // the repeated hour, second time
        {1792891800000 - 3600000, 120, "2026-10-25T02:30:00+02:00"},
        {1709251199999, 0, "2024-02-29T23:59:59+00:00"}, // milliseconds are cut, never rounded
        {1709251199000, -150, "2024-02-29T21:29:59-02:30"},
        {-1, 0, "1969-12-31T23:59:59+00:00"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(isoLocalTime({row.utcMs, row.offset}), row.expected);
}

TEST(MqttPayloads, JsonStringsEscapeAndStayUtf8) {
    const struct {
        std::string text;
        const char* expected;
    } rows[] = {
        {"wilgotność 45.0 %", "\"wilgotność 45.0 %\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"\n\x01", "\"\\u000a\\u0001\""},
        {"\xFF"
         "a\xC5",
         "\"\\ufffda\\ufffd\""}, // not UTF-8: a byte that starts nothing, a cut sequence
        {"\xF0\xAA\x9B\x94", "\"\xF0\xAA\x9B\x94\""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(jsonString(row.text), row.expected);
}

QuantityReading quantity(double value, bool flagged = false, bool twoDecimals = false) {
    QuantityReading q;
    q.rawValue = value;
    q.noData = false;
    q.flagged = flagged;
    q.twoDecimalPlaces = twoDecimals;
    return q;
}

TEST(MqttPayloads, ValuesAsTheDisplaysShowThem) {
    MqttState state;
    state.reading.temperature = quantity(234.6 * 0.1); // cut, not rounded
    state.reading.humidity = quantity(450 * 0.1);
    state.reading.serialNumber = 4660;
    state.linkUp = true;
    state.time = {1792891800000, 60};
    MqttAlarm alarm{true, true, false, "ALARM: temperatura powyżej 23.0 °C od 02:29."};
    EXPECT_EQ(mqttStateJson(state, alarm),
              R"({"time":"2026-10-25T02:30:00+01:00","serial":4660,"temperature":23.4,"humidity":45.0,)"
              R"("temperature_ok":true,"humidity_ok":true,"link":"ok","alarm":true})");
    EXPECT_EQ(mqttAlarmJson(alarm),
              R"({"active":true,"acknowledged":false,"text":"ALARM: temperatura powyżej 23.0 °C od 02:29."})");

    // A flagged fine temperature with its two decimals, no humidity, alarms off.
    state.reading.temperature = quantity(-0.05, true, true);
    state.reading.humidity.noData = true;
    state.reading.serialNumber = 0;
    EXPECT_EQ(mqttStateJson(state, MqttAlarm{}),
              R"({"time":"2026-10-25T02:30:00+01:00","serial":null,"temperature":-0.05,"humidity":null,)"
              R"("temperature_ok":false,"humidity_ok":false,"link":"ok"})");
    // A record writes a flagged value as none, as the recording's "???".
    state.reading.humidity = quantity(-0.07);
    EXPECT_EQ(mqttRecordJson(state.reading, state.time),
              R"({"time":"2026-10-25T02:30:00+01:00","serial":null,"temperature":null,"humidity":-0.0})");
}

TEST(MqttPayloads, AlarmFromTheMonitorsPlan) {
    AlarmPlan plan;
    plan.active.push_back(ActiveAlarm{});
    plan.status = "ALARM (potwierdzony): brak prawidłowego pomiaru od 14:03. ";
    EXPECT_EQ(mqttAlarmOf(true, plan), (MqttAlarm{true, true, true,
                                                  "ALARM (potwierdzony): brak prawidłowego pomiaru "
                                                  "od 14:03."}));
    plan.acknowledgeable = true;
    EXPECT_FALSE(mqttAlarmOf(true, plan).acknowledged);
    EXPECT_EQ(mqttAlarmOf(false, plan), MqttAlarm{});
}

TEST(MqttPayloads, DiscoveryDeviceMessage) {
    EXPECT_EQ(mqttDiscoveryTopic("pc01-com3"), "homeassistant/device/hx350_pc01-com3/config");
    EXPECT_EQ(mqttDiscoveryJson("pc01-com3", true),
              R"({"device":{"identifiers":["hx350_pc01-com3"],"name":"HX350 pc01-com3","model":"HX-350"},)"
              R"("origin":{"name":"HX350"},"availability_topic":"hx350/pc01-com3/availability",)"
              R"("state_topic":"hx350/pc01-com3/state","qos":1,"components":{)"
              R"("temperature":{"platform":"sensor","name":"Temperatura","device_class":"temperature",)"
              R"("unit_of_measurement":"°C","state_class":"measurement",)"
              R"("value_template":"{{ value_json.temperature if value_json.temperature_ok else None }}",)"
              R"("unique_id":"hx350_pc01-com3_temperature","expire_after":60},)"
              R"("humidity":{"platform":"sensor","name":"Wilgotność","device_class":"humidity",)"
              R"("unit_of_measurement":"%","state_class":"measurement",)"
              R"("value_template":"{{ value_json.humidity if value_json.humidity_ok else None }}",)"
              R"("unique_id":"hx350_pc01-com3_humidity","expire_after":60},)"
              R"("alarm":{"platform":"binary_sensor","name":"Alarm","device_class":"problem",)"
              R"("state_topic":"hx350/pc01-com3/alarm","value_template":"{{ 'ON' if value_json.active else 'OFF' }}",)"
              R"("json_attributes_topic":"hx350/pc01-com3/alarm","unique_id":"hx350_pc01-com3_alarm"}}})");
    const std::string off = mqttDiscoveryJson("pc01-com3", false);
    EXPECT_NE(off.find(R"("alarm":{"platform":"binary_sensor"}}})"), std::string::npos) << off;
}

} // namespace
