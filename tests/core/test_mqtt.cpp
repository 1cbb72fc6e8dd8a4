#include "mqtt/mqtt_fields.h"
#include "mqtt/mqtt_packet.h"
#include "mqtt/mqtt_payloads.h"
#include "mqtt/mqtt_session.h"
#include "mqtt/mqtt_settings.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <tuple>
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
    for (const char c : data)
        out += (out.empty() ? "" : " ") + std::string{"0123456789ABCDEF"[(c >> 4) & 15], "0123456789ABCDEF"[c & 15]};
    return out;
}

// ---- The codec against the standard's examples

TEST(MqttCodec, RemainingLengthAsTheStandardsTable) {
    const std::pair<std::size_t, const char*> rows[] = {
        {0, "00"},           {127, "7F"},           {128, "80 01"},           {16383, "FF 7F"},
        {16384, "80 80 01"}, {2097151, "FF FF 7F"}, {2097152, "80 80 80 01"}, {268435455, "FF FF FF 7F"},
    };
    for (const auto& [length, encoded] : rows)
        EXPECT_EQ(hex(encodeRemainingLength(length)), encoded) << length;
}

TEST(MqttCodec, EncodesTheStandardsExamplePackets) {
    const MqttConnect connect{"c", true, 10, MqttWill{"w", "x", 1, false}, "u", "p"};
    const MqttConnect passwordOnly{"c", true, 60, {}, {}, "p"};
    const std::pair<std::string, const char*> rows[] = {
        // The example's variable header: "MQTT", level 4, flags CE (user name, password, will QoS 1, clean
        // session), keep-alive 10; then the payload in the standard's order.
        {encodeConnect(connect), "10 19 00 04 4D 51 54 54 04 CE 00 0A 00 01 63 00 01 77 00 01 78 00 01 75 00 01 70"},
        // A password without a user name is not allowed by the standard: neither is sent.
        {encodeConnect(passwordOnly), "10 0D 00 04 4D 51 54 54 04 02 00 3C 00 01 63"},
        {encodePublish({"a/b", "", 1, false, false, 10}), "32 07 00 03 61 2F 62 00 0A"},
        {encodePublish({"a/b", "x", 1, true, true, 10}), "3B 08 00 03 61 2F 62 00 0A 78"},
        // "A𪛔", the standard's string example
        {encodePublish({"A\xF0\xAA\x9B\x94", "", 0, false, false, 0}), "30 07 00 05 41 F0 AA 9B 94"},
        {encodeSubscribe(10, {{"a/b", 1}, {"c/d", 2}}), "82 0E 00 0A 00 03 61 2F 62 01 00 03 63 2F 64 02"},
        {encodePubAck(10), "40 02 00 0A"},
        {encodePingReq(), "C0 00"},
        {encodeDisconnect(), "E0 00"},
    };
    for (const auto& [encoded, expected] : rows)
        EXPECT_EQ(hex(encoded), expected);
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
    const std::pair<std::string, std::string> rows[] = {
        {bytes("20 02 00 00"), "CONNACK 0 0"},
        {bytes("20 02 01 05"), "CONNACK 1 5"},
        {bytes("40 02 00 0A"), "PUBACK 10"},
        {bytes("90 06 00 0A 00 01 02 80"), "SUBACK 10 00 01 02 80"}, // the standard's SUBACK example
        {bytes("D0 00"), "PINGRESP"},
        {bytes("3B 08 00 03 61 2F 62 00 0A 78"), "PUBLISH a/b q1rd #10 x"},
        {bytes("30 80 01 00 01 74") + payload, "PUBLISH t q0 #0 " + payload},
    };
    for (const auto& [input, expected] : rows) {
        const std::string_view data = input;
        for (std::size_t split = 0; split <= data.size(); ++split) {
            MqttDecoder decoder;
            std::vector<MqttIncoming> packets;
            ASSERT_TRUE(decoder.feed(data.substr(0, split), packets));
            EXPECT_EQ(decoder.midPacket(), split > 0 && split < data.size());
            ASSERT_TRUE(decoder.feed(data.substr(split), packets));
            ASSERT_EQ(packets.size(), 1u) << expected << " split at " << split;
            EXPECT_EQ(describe(packets[0]), expected);
            EXPECT_FALSE(decoder.midPacket());
        }
    }
}

TEST(MqttCodec, RefusesWhatNoBrokerMaySendThisClient) {
    using E = MqttDecodeError;
    const std::pair<MqttDecodeError, std::vector<const char*>> rows[] = {
        {E::ReservedFlags, {"21 02 00 00", "D8 00"}},
        // CONNECT; PUBREC (QoS 2 flows); UNSUBACK (never unsubscribed); reserved types; QoS 2 (subscribed at 0).
        {E::UnexpectedType, {"10 00", "50 02 00 01", "B0 02 00 01", "00 00", "F0 00", "34 07 00 03 61 2F 62 00 01"}},
        {E::LengthEncoding, {"D0 80 80 80 80 01", "D0 80 00"}}, // five length bytes; 0 in two bytes
        {E::TooLong, {"30 81 08", "30 FF FF FF 7F"}},           // 1025
        // QoS 3; DUP at QoS 0; lengths that disagree; reserved acknowledge flags; packet id 0; a bad SUBACK code; a
        // PINGRESP with a body; a topic past the packet, empty, a wildcard, an overlong UTF-8 form, U+0000, a
        // surrogate; QoS 1 with packet id 0.
        {E::Malformed,
         {"36 05 00 03 61 2F 62", "38 05 00 03 61 2F 62", "20 03 00 00 00", "20 02 02 00", "40 02 00 00",
          "90 03 00 01 03", "D0 01 00", "30 04 00 05 61 62", "30 02 00 00", "30 03 00 01 2B", "30 04 00 02 C0 80",
          "30 03 00 01 00", "30 05 00 03 ED A0 80", "32 05 00 01 61 00 00"}},
    };
    for (const auto& [error, inputs] : rows) {
        for (const std::string input : inputs) {
            MqttDecoder decoder;
            std::vector<MqttIncoming> packets;
            // A good packet first, then the bad one, then a good one that is no longer decoded.
            EXPECT_FALSE(decoder.feed(bytes("D0 00 " + input + " D0 00"), packets)) << input;
            EXPECT_EQ(decoder.error(), error) << input;
            EXPECT_EQ(packets.size(), 1u) << input;
            EXPECT_EQ(decoder.held(), 0u);
            EXPECT_FALSE(decoder.feed(bytes("D0 00"), packets));
            decoder.reset();
            EXPECT_TRUE(decoder.feed(bytes("D0 00"), packets));
        }
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

// What the dialog keeps of each field, or the start of its refusal; then what cannot work together.
TEST(MqttSettings, WhatTheDialogKeepsOrRefuses) {
    using F = MqttField;
    const std::tuple<MqttField, std::string, const char*, std::string> cases[] = {
        {F::Host, "broker.zaklad.local", "broker.zaklad.local", ""},
        {F::Host, "broker zaklad", "", "Adres brokera"},
        {F::Port, "8883", "8883", ""},
        {F::Port, "0", "1883", "Port musi"},
        {F::Port, "65536", "1883", "Port musi"},
        {F::Station, "hala-2_a", "hala-2_a", ""},
        {F::Station, "hala 2", "", "Nazwa stacji"},
        {F::User, "użytkownik", "użytkownik", ""},
        {F::User, "ж", "", "Nazwa użytkownika zawiera"}, // the settings file could not hold it
        {F::KeepAlive, "4", "60", "Czas podtrzymania"},
        {F::RecordInterval, "0", "0", ""},
        {F::RecordInterval, "86400", "60", "Odstęp rekordów"},
    };
    for (const auto& [field, typed, kept, refusal] : cases) {
        MqttSettings settings;
        const std::string said = takeMqttField(settings, field, typed);
        EXPECT_EQ(mqttFieldText(settings, field), kept) << typed;
        EXPECT_EQ(said.substr(0, refusal.size()), refusal) << typed;
        EXPECT_EQ(said.empty(), refusal.empty()) << typed;
    }
    MqttSettings settings;
    MqttField field = F::Port;
    settings.enabled = true;
    EXPECT_EQ(checkMqttSettings(settings, field), "Podaj adres brokera MQTT.");
    EXPECT_EQ(field, F::Host);
    settings.host = "broker";
    settings.password = "tajne";
    EXPECT_EQ(checkMqttSettings(settings, field), "Hasło wymaga nazwy użytkownika.");
    EXPECT_EQ(field, F::User);
    settings.user = "hx";
    EXPECT_EQ(checkMqttSettings(settings, field), "");
    // The encryption switched: the standard port follows, a port of the user's own stays.
    const std::tuple<const char*, bool, const char*> switches[] = {
        {"1883", true, "8883"}, {"8883", false, "1883"}, {"8883", true, "8883"}, {"1884", true, "1884"}};
    for (const auto& [typed, tls, shown] : switches)
        EXPECT_EQ(portAfterTlsSwitch(typed, tls), shown) << typed << tls;
}

// ---- Payloads

TEST(MqttPayloads, LocalTimeWithItsOffset) {
    const std::tuple<std::int64_t, int, const char*> rows[] = {
        {1792891800000, 60, "2026-10-25T02:30:00+01:00"}, // the repeated hour, second time
        {1792891800000 - 3600000, 120, "2026-10-25T02:30:00+02:00"},
        {1709251199999, 0, "2024-02-29T23:59:59+00:00"}, // milliseconds are cut, never rounded
        {1709251199000, -150, "2024-02-29T21:29:59-02:30"},
        {-1, 0, "1969-12-31T23:59:59+00:00"},
    };
    for (const auto& [utcMs, offset, expected] : rows)
        EXPECT_EQ(isoLocalTime({utcMs, offset}), expected);
}

TEST(MqttPayloads, JsonStringsEscapeAndStayUtf8) {
    const std::pair<std::string, const char*> rows[] = {
        {"wilgotność 45.0 %", "\"wilgotność 45.0 %\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"\n\x01", "\"\\u000a\\u0001\""},
        {"\xFF\x61\xC5", "\"\\ufffda\\ufffd\""}, // not UTF-8: a byte that starts nothing, 'a', a cut sequence
        {"\xF0\xAA\x9B\x94", "\"\xF0\xAA\x9B\x94\""},
    };
    for (const auto& [text, expected] : rows)
        EXPECT_EQ(jsonString(text), expected);
}

QuantityReading quantity(double value, bool flagged = false, bool twoDecimals = false) {
    return {value, false, flagged, twoDecimals};
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
    const std::string text = "ALARM (potwierdzony): brak prawidłowego pomiaru od 14:03.";
    plan.status = text + " ";
    EXPECT_EQ(mqttAlarmOf(true, plan), (MqttAlarm{true, true, true, text}));
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

// ---- The session as event tables

constexpr std::int64_t kEpochMs = 1772715600000; // 2026-03-05 13:00:00 UTC, 14:00:00 in the local time below
constexpr int kOffsetMinutes = 60;

// The value of "key" in a flat JSON text: `"key":VALUE` or `"key":"VALUE"`.
std::string jsonValue(const std::string& json, const std::string& key) {
    const std::size_t at = json.find("\"" + key + "\":");
    if (at == std::string::npos)
        return "?";
    std::size_t begin = at + key.size() + 3;
    if (json[begin] == '"')
        return json.substr(begin + 1, json.find('"', begin + 1) - begin - 1);
    return json.substr(begin, json.find_first_of(",}", begin) - begin);
}

// The client's packets as words: "CONNECT", "SUB#1", "PUB#2 availability=online r", "PUB#3 state 23.4 r",
// "PUB#4 record 14:01:00", "PUB#5 discovery r" ("discovery=∅": the empty message), "PUBACK#9", "PING", "DISCONNECT".
std::string packetWords(const std::string& data) {
    std::string out;
    for (std::size_t i = 0; i < data.size();) {
        const int type = static_cast<unsigned char>(data[i]) >> 4;
        const bool retain = data[i++] & 0x01;
        std::size_t length = 0;
        for (int shift = 0; shift == 0 || data.at(i - 1) & 0x80; shift += 7)
            length |= std::size_t{static_cast<unsigned char>(data.at(i++)) & 0x7Fu} << shift;
        const std::string body = data.substr(i, length);
        i += length;
        const auto u16 = [&](std::size_t k) {
            return std::to_string(static_cast<unsigned char>(body[k]) * 256 + static_cast<unsigned char>(body[k + 1]));
        };
        std::string word = type == 1    ? "CONNECT"
                           : type == 4  ? "PUBACK#" + u16(0)
                           : type == 8  ? "SUB#" + u16(0)
                           : type == 12 ? "PING"
                           : type == 14 ? "DISCONNECT"
                                        : "?";
        if (type == 3) {
            const std::size_t topicLength = std::stoul(u16(0));
            const std::string topic = body.substr(2, topicLength);
            const std::string payload = body.substr(2 + topicLength + 2);
            const std::string leaf =
                topic.rfind("homeassistant/device/", 0) == 0 ? "discovery" : topic.substr(topic.rfind('/') + 1);
            word = "PUB#" + u16(2 + topicLength) + " " + leaf;
            if (payload.empty())
                word += "=∅";
            else if (leaf == "availability")
                word += "=" + payload;
            else if (leaf == "state")
                word += " " + jsonValue(payload, "temperature");
            else if (leaf == "record")
                word += " " + jsonValue(payload, "time").substr(11, 8);
            else if (leaf == "alarm")
                word += " " + jsonValue(payload, "active");
            word += retain ? " r" : "";
        }
        out += (out.empty() ? "" : " | ") + word;
    }
    return out;
}

// The plan as the worker carries it out: "close!" (at once), the packets, "close" (after sending), "open", the
// status when it changed, then "finished" or the next tick ("@61000").
std::string describe(const MqttPlan& plan, const std::string& status) {
    std::vector<std::string> words;
    if (plan.close == MqttPlan::Close::Now)
        words.push_back("close!");
    if (!plan.send.empty())
        words.push_back(packetWords(plan.send));
    if (plan.close == MqttPlan::Close::AfterSending)
        words.push_back("close");
    if (plan.open)
        words.push_back("open " + plan.host + ":" + std::to_string(plan.port) + (plan.tls ? " tls" : ""));
    if (plan.statusChanged)
        words.push_back("status: " + (status.empty() ? std::string("-") : status.substr(0, status.size() - 1)));
    words.push_back(plan.finished ? "finished" : "@" + std::to_string(plan.nextTickMs));
    std::string out;
    for (const std::string& word : words)
        out += (out.empty() ? "" : " ; ") + word;
    return out;
}

// What the broker sends, comma-separated: "CONNACK 5", "CONNACK+ 0" (session present), "PUBACK 3", "SUBACK 1",
// "PINGRESP", "STATUS online" (QoS 0 on the status topic), "STATUS1 online" (QoS 1, packet id 9),
// "RETAINED online", "hex 90 03".
std::string brokerBytes(const std::string& words) {
    std::string out;
    std::istringstream list(words);
    for (std::string item; std::getline(list, item, ',');) {
        std::istringstream in(item);
        std::string what, arg;
        in >> what;
        std::getline(in >> std::ws, arg);
        const auto id = [&] { return bytes("00 " + hex(std::string(1, static_cast<char>(std::stoi(arg))))); };
        if (what == "CONNACK" || what == "CONNACK+")
            out += bytes(what == "CONNACK" ? "20 02 00" : "20 02 01") + static_cast<char>(std::stoi(arg));
        else if (what == "PUBACK")
            out += bytes("40 02") + id();
        else if (what == "SUBACK")
            out += bytes("90 03") + id() + bytes("00");
        else if (what == "PINGRESP")
            out += bytes("D0 00");
        else if (what == "hex")
            out += bytes(arg);
        else
            out += encodePublish({kHomeAssistantStatusTopic, arg, what == "STATUS1" ? 1 : 0, what == "RETAINED", false,
                                  static_cast<std::uint16_t>(what == "STATUS1" ? 9 : 0)});
    }
    return out;
}

enum Event {
    Start,
    Connected, // the TCP connection is up
    Ended,     // the TCP connection failed or went; arg "untrusted": the broker's certificate was refused
    Recv,      // arg: the broker's packets (brokerBytes)
    Tick,
    State,    // arg: the temperature ("23.4"), or "lost" for the lost link
    Alarm,    // arg: "off", "on" (no alarm), "active", "ack"
    Stop,     // arg: "off" (switched off) or "close" (the program closes)
    Reconfig, // arg: the new host
};

struct Row {
    std::int64_t ms; // on the monotonic clock; the wall clock runs with it from kEpochMs
    Event event;
    const char* arg;
    const char* expected;
};

MqttSettings settings(int recordInterval = 0, bool discovery = false) {
    MqttSettings s;
    s.enabled = true;
    s.host = "broker";
    s.station = "st1";
    s.recordIntervalSeconds = recordInterval;
    s.discovery = discovery;
    return s;
}

MqttPlan apply(MqttSession& session, const MqttSettings& base, const Row& row) {
    const ClockReading clock{row.ms, {kEpochMs + row.ms, kOffsetMinutes}};
    const std::string arg = row.arg;
    switch (row.event) {
    case Start:
        return session.start(base, clock);
    case Connected:
        return session.tcpConnected(clock);
    case Ended:
        return session.connectionEnded(clock, arg == "untrusted" ? TlsFailure::Untrusted : TlsFailure::None);
    case Recv:
        return session.received(brokerBytes(arg), clock);
    case Tick:
        return session.tick(clock);
    case State: {
        MqttState state;
        state.linkUp = arg != "lost";
        state.time = clock.wall;
        state.reading.serialNumber = 4660;
        if (state.linkUp) {
            state.reading.temperature = quantity(std::stod(arg));
            state.reading.humidity = quantity(45.0);
        }
        return session.updateState(state, clock);
    }
    case Alarm:
        return session.updateAlarm({arg != "off", arg == "active" || arg == "ack", arg == "ack", ""}, clock);
    case Stop:
        return session.stop(arg == "off" ? MqttStop::SwitchOff : MqttStop::ProgramClose, clock);
    case Reconfig: {
        MqttSettings next = base; // "host" or "host tls"
        next.host = arg.substr(0, arg.find(' '));
        next.tls = arg.find(" tls") != std::string::npos;
        next.port = next.tls ? kMqttTlsPort : next.port;
        return session.reconfigure(next, clock);
    }
    }
    return {};
}

// The connection every scenario starts with: the alarm topic's retained message of an earlier run is cleared.
const Row kConnect[] = {
    {0, Start, "", "open broker:1883 ; @10000"},
    {100, Connected, "", "CONNECT ; @10100"},
    {200, Recv, "CONNACK 0", "PUB#1 availability=online r | PUB#2 alarm=∅ r ; @60200"},
    {300, Recv, "PUBACK 1, PUBACK 2", "@60200"},
};

// The first `steps` of kConnect, then the rows.
void run(MqttSession& session, const MqttSettings& base, std::size_t steps, std::vector<Row> rows) {
    rows.insert(rows.begin(), kConnect, kConnect + steps);
    for (const Row& row : rows)
        EXPECT_EQ(describe(apply(session, base, row), session.statusText()), row.expected)
            << "at " << row.ms << " ms: " << row.arg;
}

void run(const MqttSettings& base, std::size_t steps, std::vector<Row> rows) {
    MqttSession session;
    run(session, base, steps, std::move(rows));
}

TEST(MqttSession, ConnectsWithTheWillAndTheLogin) {
    MqttSettings s = settings();
    s.user = "user";
    s.password = "pass";
    s.keepAliveSeconds = 30;
    MqttSession session;
    session.start(s, {});
    // Client id hx350-st1, clean session, will "offline" retained at QoS 1, keep-alive 30.
    EXPECT_EQ(hex(session.tcpConnected({}).send),
              hex(bytes("10 42 00 04") + "MQTT" + bytes("04 EE 00 1E 00 09") + "hx350-st1" + bytes("00 16") +
                  "hx350/st1/availability" + bytes("00 07") + "offline" + bytes("00 04") + "user" + bytes("00 04") +
                  "pass"));
}

TEST(MqttSession, StateAtMostOnceASecondTheNewestWins) {
    run(settings(), 4,
        {{400, State, "23.4", "PUB#3 state 23.4 r ; @60400"},
         {500, State, "23.5", "@1400"},
         {900, State, "23.6", "@1400"},
         {1400, Tick, "", "PUB#4 state 23.6 r ; @60400"},
         {1500, Recv, "PUBACK 4, PUBACK 3", "@61400"}, // in any order
         {2500, State, "lost", "PUB#5 state null r ; @62500"},
         // The state carries the alarm: it goes again with it, once a second allows.
         {2600, Alarm, "active", "PUB#6 alarm true r ; @3500"},
         {3500, Tick, "", "PUB#7 state null r ; @62500"}});
    // The window hands over a state when its values change, else once in kRefreshMs.
    MqttStateFilter filter;
    const std::tuple<std::int64_t, double, bool, bool> handed[] = {
        {0, 23.4, true, true},     {500, 23.4, true, false},    {1000, 23.5, true, true},
        {1500, 23.5, false, true}, {31499, 23.5, false, false}, {31500, 23.5, false, true},
    };
    for (const auto& [ms, temperature, linkUp, passed] : handed) {
        MqttState state;
        state.reading.temperature = quantity(temperature);
        state.linkUp = linkUp;
        state.time = {kEpochMs + ms, kOffsetMinutes}; // the time alone is no change
        EXPECT_EQ(filter.pass(state, ms), passed) << ms;
    }
}

TEST(MqttSession, ConnectRefusedWithEachReturnCodeBacksOff) {
    run(settings(), 1,
        {{10, Connected, "", "CONNECT ; @10010"},
         {20, Recv, "CONNACK 1", "close! ; status: MQTT: broker broker:1883 odrzucił połączenie (kod 1). ; @1020"},
         {1020, Tick, "", "open broker:1883 ; @11020"},
         {1030, Ended, "", "close! ; status: MQTT: brak połączenia z brokerem broker:1883. ; @3030"},
         {3030, Tick, "", "open broker:1883 ; @13030"},
         {3040, Connected, "", "CONNECT ; @13040"},
         {3050, Recv, "CONNACK 4", "close! ; status: MQTT: broker broker:1883 odrzucił logowanie. ; @7050"},
         {7050, Tick, "", "open broker:1883 ; @17050"},
         {7060, Connected, "", "CONNECT ; @17060"},
         {7070, Recv, "CONNACK 5", "close! ; @15070"}, // not authorised: the same text
         {15070, Tick, "", "open broker:1883 ; @25070"},
         {15080, Connected, "", "CONNECT ; @25080"},
         {15090, Recv, "CONNACK 2", "close! ; status: MQTT: broker broker:1883 odrzucił połączenie (kod 2). ; @31090"},
         {31090, Tick, "", "open broker:1883 ; @41090"},
         {31100, Connected, "", "CONNECT ; @41100"},
         {31110, Recv, "CONNACK 3", "close! ; status: MQTT: broker broker:1883 odrzucił połączenie (kod 3). ; @63110"},
         {63110, Tick, "", "open broker:1883 ; @73110"},
         {63120, Ended, "", "close! ; status: MQTT: brak połączenia z brokerem broker:1883. ; @123120"}, // 60 s
         {123120, Tick, "", "open broker:1883 ; @133120"},
         {123130, Connected, "", "CONNECT ; @133130"},
         {123140, Recv, "CONNACK 0", "PUB#1 availability=online r | PUB#2 alarm=∅ r ; status: - ; @183140"},
         {123150, Ended, "", "close! ; status: MQTT: brak połączenia z brokerem broker:1883. ; @124150"}, // 1 s
         {124150, Tick, "", "open broker:1883 ; @134150"},
         {124160, Ended, "untrusted",
          "close! ; status: MQTT: brak połączenia szyfrowanego z brokerem broker:1883 (certyfikat serwera nie "
          "pochodzi od zaufanego wystawcy). ; @126160"}});
}

TEST(MqttSession, ABrokerThatNeverAnswersIsGone) {
    run(settings(), 1,
        {{10000, Tick, "", "close! ; status: MQTT: brak połączenia z brokerem broker:1883. ; @11000"},
         {11000, Tick, "", "open broker:1883 ; @21000"},
         {11100, Connected, "", "CONNECT ; @21100"},
         {21100, Tick, "", "close! ; @23100"}, // TCP accepted, no CONNACK
         {23100, Tick, "", "open broker:1883 ; @33100"},
         {23200, Connected, "", "CONNECT ; @33200"},
         {23300, Recv, "hex 20", "@33200"}, // a CONNACK that trickles
         {33200, Tick, "", "close! ; @37200"}});
}

TEST(MqttSession, KeepAliveLostWhenThePingGoesUnanswered) {
    run(settings(), 4,
        {{60200, Tick, "", "PING ; @120200"},
         {60300, Recv, "PINGRESP", "@120200"},
         {120200, Tick, "", "PING ; @180200"},
         {180200, Tick, "", "close! ; status: MQTT: brak połączenia z brokerem broker:1883. ; @181200"}});
}

TEST(MqttSession, BadInputFromTheBrokerClosesTheConnection) {
    const char* bad[] = {
        "hex 50 02 00 01",    // a type it never sends this client
        "PUBACK 7",           // nothing waits for it
        "PINGRESP",           // no ping was sent
        "CONNACK 0",          // a second one
        "hex 30 FF FF FF 7F", // a huge remaining length
        "hex 30 03 00 01 2B", // a wildcard topic
    };
    for (const char* input : bad)
        run(settings(), 4,
            {{400, Recv, input, "close! ; status: MQTT: brak połączenia z brokerem broker:1883. ; @1400"}});
    // A clean session has nothing stored: a broker that says otherwise does not speak the standard.
    run(settings(), 2,
        {{200, Recv, "CONNACK+ 0", "close! ; status: MQTT: brak połączenia z brokerem broker:1883. ; @1200"}});
    run(settings(), 4,
        {{400, Recv, "hex 90", "@10400"},     // a SUBACK begins...
         {9000, Recv, "hex 03 00", "@10400"}, // ...and trickles
         {10400, Tick, "", "close! ; status: MQTT: brak połączenia z brokerem broker:1883. ; @11400"}});
}

TEST(MqttSession, RecordsOfAnOutageGoOutInOrderWhenTheBrokerIsBack) {
    MqttSession session;
    run(session, settings(60), 4,
        {{1000, State, "23.4", "PUB#3 state 23.4 r ; @60500"},
         {60500, Tick, "", "PUB#4 record 14:01:00 ; @61000"}, // 14:01:00.500: the schedule's tick
         {61000, Ended, "", "close! ; status: MQTT: brak połączenia z brokerem broker:1883. ; @62000"},
         {62000, Tick, "", "open broker:1883 ; @72000"},
         {62100, Ended, "", "close! ; @64100"},
         {64100, Tick, "", "open broker:1883 ; @74100"},
         {64200, Ended, "", "close! ; @68200"},
         {68200, Tick, "", "open broker:1883 ; @78200"},
         {68300, Ended, "", "close! ; @76300"},
         {76300, Tick, "", "open broker:1883 ; @86300"},
         {76400, Ended, "", "close! ; @92400"},
         {92400, Tick, "", "open broker:1883 ; @102400"},
         {92500, Ended, "", "close! ; @120500"},
         {120500, Tick, "", "@124500"}, // 14:02:00
         {124500, Tick, "", "open broker:1883 ; @134500"},
         {124600, Ended, "", "close! ; @180500"},
         {180500, Tick, "", "@184600"}, // 14:03:00
         {184600, Tick, "", "open broker:1883 ; @194600"},
         {184700, Connected, "", "CONNECT ; @194700"},
         // The record that was never acknowledged first, then the outage's, in order.
         {184800, Recv, "CONNACK 0",
          "PUB#5 availability=online r | PUB#6 state 23.4 r | PUB#7 record 14:01:00 | PUB#8 record 14:02:00 | "
          "PUB#9 record 14:03:00 ; status: - ; @240500"},
         {184900, Recv, "PUBACK 8, PUBACK 9, PUBACK 7", "@240500"},
         {240500, Tick, "", "PUB#10 record 14:04:00 ; @244800"}});
    EXPECT_EQ(session.queuedRecords(), 1u);
}

TEST(MqttSession, AtMostAWeekOfRecordsWaitTheOldestGo) {
    MqttSession session;
    run(session, settings(1), 0, {{0, Start, "", "open broker:1883 ; @1500"}});
    const auto at = [](std::int64_t ms) { return ClockReading{ms, {kEpochMs + ms, kOffsetMinutes}}; };
    session.connectionEnded(at(10));
    // A record every second, 14:00:01 onwards, while the broker cannot be reached.
    const std::int64_t last = 500 + 1000 * std::int64_t{MqttSession::kMaxQueuedRecords + 3};
    for (std::int64_t ms = 1500; ms <= last; ms += 1000)
        if (session.tick(at(ms)).open)
            session.connectionEnded(at(ms));
    EXPECT_EQ(session.queuedRecords(), MqttSession::kMaxQueuedRecords);
    EXPECT_EQ(session.statusText(), "MQTT: brak połączenia z brokerem broker:1883. "
                                    "MQTT: rekordy usunięte z pełnej kolejki: 3. ");
    // The three oldest went: the first to go out is 14:00:04.
    session.reconfigure(settings(1), at(last + 100)); // unchanged: nothing happens
    MqttSettings other = settings(1);
    other.host = "broker2";
    EXPECT_TRUE(session.reconfigure(other, at(last + 100)).open);
    session.tcpConnected(at(last + 200));
    const std::string words = packetWords(session.received(brokerBytes("CONNACK 0"), at(last + 300)).send);
    EXPECT_EQ(words.substr(words.find("record"), 15), "record 14:00:04") << words;
}

TEST(MqttSession, DiscoveryAfterConnectAndWhenTheHomeAutomationComesOnline) {
    run(settings(0, true), 2,
        {{200, Recv, "CONNACK 0", "SUB#1 | PUB#2 availability=online r | PUB#3 discovery r | PUB#4 alarm=∅ r ; @60200"},
         {300, Recv, "SUBACK 1, PUBACK 2, PUBACK 3, PUBACK 4", "@60200"},
         {400, Recv, "RETAINED online", "@60200"}, // the broker's old copy: discovery went out already
         {500, Recv, "STATUS online", "PUB#5 discovery r ; @60500"},
         {600, Recv, "STATUS1 offline", "PUBACK#9 ; @60500"},
         {700, Alarm, "on", "PUB#6 discovery r | PUB#7 alarm false r ; @60500"}, // the problem sensor comes
         {800, Alarm, "active", "PUB#8 alarm true r ; @60500"},
         {900, Alarm, "active", "@60500"}});
}

TEST(MqttSession, CleanCloseIsBounded) {
    // Switched off: the device leaves, then "offline", then DISCONNECT; closed once written.
    run(settings(0, true), 2,
        {{200, Recv, "CONNACK 0", "SUB#1 | PUB#2 availability=online r | PUB#3 discovery r | PUB#4 alarm=∅ r ; @60200"},
         {300, Stop, "off", "PUB#5 discovery=∅ r | PUB#6 availability=offline r | DISCONNECT ; close ; @1800"},
         {400, Recv, "PUBACK 5", "@1800"},
         {500, Ended, "", "close! ; finished"}});
    // The program closes while the broker hangs: "offline", DISCONNECT, and closed at the bound.
    run(settings(), 4,
        {{400, Stop, "close", "PUB#3 availability=offline r | DISCONNECT ; close ; @1900"},
         {1900, Tick, "", "close! ; finished"}});
    // Before the CONNACK the close waits for it; without one there is nobody to say goodbye to.
    run(settings(), 2,
        {{200, Stop, "close", "@1700"},
         {300, Recv, "CONNACK 0", "PUB#1 availability=offline r | DISCONNECT ; close ; @1700"},
         {400, Ended, "", "close! ; finished"}});
    run(settings(), 1,
        {{10000, Tick, "", "close! ; status: MQTT: brak połączenia z brokerem broker:1883. ; @11000"},
         {10500, Stop, "off", "close! ; status: - ; finished"}});
}

TEST(MqttSession, NewSettingsCloseCleanlyAndKeepTheRecords) {
    run(settings(60, true), 2,
        {{200, Recv, "CONNACK 0", "SUB#1 | PUB#2 availability=online r | PUB#3 discovery r | PUB#4 alarm=∅ r ; @60200"},
         {300, Recv, "SUBACK 1, PUBACK 2, PUBACK 3, PUBACK 4", "@60200"},
         {60500, Tick, "", "PING | PUB#5 record 14:01:00 ; @120500"},
         // Another broker: the device leaves this one.
         {61000, Reconfig, "broker2 tls",
          "PUB#6 discovery=∅ r | PUB#7 availability=offline r | DISCONNECT ; close ; @62500"},
         {61100, Ended, "", "close! ; open broker2:8883 tls ; @71100"},
         {61200, Connected, "", "CONNECT ; @71200"},
         {61300, Recv, "CONNACK 0",
          "SUB#8 | PUB#9 availability=online r | PUB#10 discovery r | PUB#11 record 14:01:00 ; @120500"}});
}

} // namespace
