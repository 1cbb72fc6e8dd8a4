#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// MQTT 3.1.1 as a publisher speaks it: the packets it sends, as bytes, and an incremental decoder of the packets a
// broker sends it, which trusts nothing it is given. Byte strings are std::string.

struct MqttWill {
    std::string topic;
    std::string payload;
    int qos = 1;
    bool retain = true;
};

struct MqttConnect {
    std::string clientId;
    bool cleanSession = true;
    std::uint16_t keepAliveSeconds = 60;
    std::optional<MqttWill> will;
    std::optional<std::string> userName;
    std::optional<std::string> password; // sent only with a user name, as the standard requires
};

struct MqttPublish {
    std::string topic;
    std::string payload;
    int qos = 0; // 0 or 1
    bool retain = false;
    bool dup = false;
    std::uint16_t packetId = 0; // QoS 1 only; never 0
};

// The variable-length Remaining Length field, 1 to 4 bytes, for lengths up to kMqttMaxRemainingLength.
inline constexpr std::size_t kMqttMaxRemainingLength = 268435455;
std::string encodeRemainingLength(std::size_t length);

// Whole packets. Strings (topics, client id, user name, password) stay below 64 kB, which the settings ensure.
std::string encodeConnect(const MqttConnect& connect);
std::string encodePublish(const MqttPublish& publish);
std::string encodePubAck(std::uint16_t packetId);
std::string encodeSubscribe(std::uint16_t packetId, const std::vector<std::pair<std::string, int>>& filters);
std::string encodePingReq();
std::string encodeDisconnect();

// A packet a broker sent to a publisher that subscribes at QoS 0 or 1 and never unsubscribes.
struct MqttIncoming {
    enum class Type { ConnAck, Publish, PubAck, SubAck, PingResp };
    Type type = Type::PingResp;
    bool sessionPresent = false; // ConnAck
    int returnCode = 0;          // ConnAck
    std::uint16_t packetId = 0;  // PubAck, SubAck
    std::string grantedQos;      // SubAck: one byte per filter, 0, 1, 2 or 0x80 (refused)
    MqttPublish publish;         // Publish
};

enum class MqttDecodeError {
    None,
    ReservedFlags,  // flag bits the packet type fixes hold something else
    LengthEncoding, // a Remaining Length longer than 4 bytes, or not in its shortest form
    TooLong,        // more than MqttDecoder::kMaxRemainingLength
    UnexpectedType, // a type a broker never sends to this client (a client's packet, QoS 2 flows, UNSUBACK)
    Malformed,      // lengths that disagree, a zero packet id, a bad topic, an unknown SUBACK code
};

// Takes the broker's bytes in whatever chunks they come and gives complete packets. It holds at most one
// unfinished packet of at most kMaxRemainingLength bytes after its fixed header. The first error ends decoding
// until reset(): the connection must then go.
class MqttDecoder {
public:
    // A broker sends this client acknowledgements and the status topic's short messages; anything longer is
    // someone else's traffic or an attack.
    static constexpr std::size_t kMaxRemainingLength = 1024;

    // Decodes `bytes` after those fed before; complete packets are appended to `packets`. False once failed.
    bool feed(std::string_view bytes, std::vector<MqttIncoming>& packets);
    void reset();

    MqttDecodeError error() const { return error_; }
    // Bytes of an unfinished packet have come: its fixed header at least began.
    bool midPacket() const { return stage_ != Stage::Type; }
    // Bytes held for the unfinished packet's body.
    std::size_t held() const { return body_.size(); }

private:
    enum class Stage { Type, Length, Body };

    bool fail(MqttDecodeError error);
    bool startPacket(std::uint8_t header);
    bool finishPacket(std::vector<MqttIncoming>& packets);

    Stage stage_ = Stage::Type;
    std::uint8_t header_ = 0;
    std::size_t length_ = 0;
    int lengthBytes_ = 0;
    std::string body_;
    MqttDecodeError error_ = MqttDecodeError::None;
};

// Whether `text` is UTF-8 as the standard allows in its strings: well formed, no surrogates, no U+0000.
bool isMqttUtf8(std::string_view text);
