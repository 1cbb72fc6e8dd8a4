// Arbitrary bytes from a broker through the MQTT decoder, in chunks the first byte chooses, and through a connected
// session. Invariants besides memory safety: the chunks never change what is decoded, the decoder never holds
// more than its bound, every packet it accepts encodes back to exactly the bytes it came from, and the session
// answers a stream that fails to decode by closing the connection.

#include "mqtt/mqtt_packet.h"
#include "mqtt/mqtt_session.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

// A broken invariant is a finding: libFuzzer keeps the input that caused it.
#define require(condition) ((condition) ? (void)0 : (std::fprintf(stderr, "broken: %s\n", #condition), std::abort()))

std::string uint16Bytes(std::uint16_t value) {
    return {static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)};
}

// The bytes of an accepted packet, written as a broker writes them; the client's own encoders where the format is
// the same both ways.
std::string encode(const MqttIncoming& in) {
    switch (in.type) {
    case MqttIncoming::Type::ConnAck:
        return std::string("\x20\x02", 2) + static_cast<char>(in.sessionPresent ? 1 : 0) +
               static_cast<char>(in.returnCode);
    case MqttIncoming::Type::PubAck:
        return encodePubAck(in.packetId);
    case MqttIncoming::Type::SubAck: {
        const std::string rest = uint16Bytes(in.packetId) + in.grantedQos;
        return '\x90' + encodeRemainingLength(rest.size()) + rest;
    }
    case MqttIncoming::Type::PingResp:
        return std::string("\xD0\x00", 2);
    default:
        return encodePublish(in.publish);
    }
}

bool same(const MqttIncoming& a, const MqttIncoming& b) {
    return encode(a) == encode(b);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::size_t chunk = data[0] % 16 + 1;
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);

    MqttDecoder whole;
    std::vector<MqttIncoming> all;
    const bool intact = whole.feed(input, all);
    require(whole.held() <= MqttDecoder::kMaxRemainingLength);

    MqttDecoder pieces;
    std::vector<MqttIncoming> chunked;
    bool chunksIntact = true;
    for (std::size_t at = 0; at < input.size() && chunksIntact; at += chunk) {
        chunksIntact = pieces.feed(input.substr(at, chunk), chunked);
        require(pieces.held() <= MqttDecoder::kMaxRemainingLength);
    }
    require(chunksIntact == intact && pieces.error() == whole.error());
    require(chunked.size() == all.size());
    std::string encoded;
    for (std::size_t i = 0; i < all.size(); ++i) {
        require(same(all[i], chunked[i]));
        encoded += encode(all[i]);
    }
    require(encoded == input.substr(0, encoded.size()));
    require(!intact || whole.midPacket() == (encoded.size() < input.size()));

    // The same bytes as a connected broker's answer.
    MqttSettings settings;
    settings.enabled = true;
    settings.host = "broker";
    settings.station = "fuzz";
    settings.recordIntervalSeconds = 1;
    MqttSession session;
    ClockReading clock{0, {1772715600000, 60}};
    session.start(settings, clock);
    session.tcpConnected(clock);
    session.received(std::string("\x20\x02\x00\x00", 4), clock);
    session.updateState(MqttState{}, clock);
    for (std::size_t at = 0; at < input.size(); at += chunk) {
        clock.monotonicMs += 100;
        clock.wall.utcMs += 100;
        const MqttPlan plan = session.received(input.substr(at, chunk), clock);
        session.tick(clock);
        require(plan.send.size() <= 64 * 1024);
        if (!session.connected())
            break;
    }
    require(intact || !session.connected());
    return 0;
}
