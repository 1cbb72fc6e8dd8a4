#include "mqtt/mqtt_packet.h"

#include "base/cp1250.h"

#include <algorithm>

namespace {

// Control packet types (the high nibble of the first byte).
enum PacketType : std::uint8_t {
    kConnect = 1,
    kConnAck = 2,
    kPublish = 3,
    kPubAck = 4,
    kSubscribe = 8,
    kSubAck = 9,
    kPingReq = 12,
    kPingResp = 13,
    kDisconnect = 14,
};

// SUBSCRIBE's fixed header has the flags 0010, which the standard reserves; every other packet this client sends
// or accepts (PUBLISH aside) has 0000.
constexpr std::uint8_t kSubscribeFlags = 0x02;
constexpr std::uint8_t kProtocolLevel = 4; // 3.1.1
constexpr std::size_t kMaxStringLength = 0xFFFF;
constexpr int kSubAckFailure = 0x80;

// Connect flags (3.1.2.3).
constexpr std::uint8_t kUserNameFlag = 0x80;
constexpr std::uint8_t kPasswordFlag = 0x40;
constexpr std::uint8_t kWillRetainFlag = 0x20;
constexpr std::uint8_t kWillFlag = 0x04;
constexpr std::uint8_t kCleanSessionFlag = 0x02;

void appendUint16(std::string& out, std::size_t value) {
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
    out.push_back(static_cast<char>(value & 0xFF));
}

// A length-prefixed string; the callers keep their strings within the 64 kB its prefix can say.
void appendString(std::string& out, std::string_view text) {
    const std::string_view kept = text.substr(0, kMaxStringLength);
    appendUint16(out, kept.size());
    out.append(kept);
}

std::string packet(std::uint8_t firstByte, const std::string& rest) {
    return static_cast<char>(firstByte) + encodeRemainingLength(rest.size()) + rest;
}

std::uint16_t uint16At(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint16_t>((static_cast<unsigned char>(bytes[at]) << 8) |
                                      static_cast<unsigned char>(bytes[at + 1]));
}

} // namespace

std::string encodeRemainingLength(std::size_t length) {
    std::string out;
    length = length > kMqttMaxRemainingLength ? kMqttMaxRemainingLength : length;
    do {
        std::uint8_t digit = length % 128;
        length /= 128;
        if (length > 0)
            digit |= 0x80;
        out.push_back(static_cast<char>(digit));
    } while (length > 0);
    return out;
}

std::string encodeConnect(const MqttConnect& connect) {
    std::string rest;
    appendString(rest, "MQTT");
    rest.push_back(static_cast<char>(kProtocolLevel));
    std::uint8_t flags = connect.cleanSession ? kCleanSessionFlag : 0;
    if (connect.will) {
        flags |= kWillFlag | static_cast<std::uint8_t>((connect.will->qos & 3) << 3);
        if (connect.will->retain)
            flags |= kWillRetainFlag;
    }
    const bool password = connect.userName && connect.password;
    if (connect.userName)
        flags |= kUserNameFlag;
    if (password)
        flags |= kPasswordFlag;
    rest.push_back(static_cast<char>(flags));
    appendUint16(rest, connect.keepAliveSeconds);
    appendString(rest, connect.clientId);
    if (connect.will) {
        appendString(rest, connect.will->topic);
        appendString(rest, connect.will->payload);
    }
    if (connect.userName)
        appendString(rest, *connect.userName);
    if (password)
        appendString(rest, *connect.password);
    return packet(kConnect << 4, rest);
}

std::string encodePublish(const MqttPublish& publish) {
    std::uint8_t header = kPublish << 4;
    if (publish.dup)
        header |= 0x08;
    header |= static_cast<std::uint8_t>((publish.qos & 3) << 1);
    if (publish.retain)
        header |= 0x01;
    std::string rest;
    appendString(rest, publish.topic);
    if (publish.qos > 0)
        appendUint16(rest, publish.packetId);
    rest += publish.payload;
    return packet(header, rest);
}

std::string encodePubAck(std::uint16_t packetId) {
    std::string rest;
    appendUint16(rest, packetId);
    return packet(kPubAck << 4, rest);
}

std::string encodeSubscribe(std::uint16_t packetId, const std::vector<std::pair<std::string, int>>& filters) {
    std::string rest;
    appendUint16(rest, packetId);
    for (const auto& [filter, qos] : filters) {
        appendString(rest, filter);
        rest.push_back(static_cast<char>(qos & 3));
    }
    return packet(kSubscribe << 4 | kSubscribeFlags, rest);
}

std::string encodePingReq() {
    return packet(kPingReq << 4, {});
}

std::string encodeDisconnect() {
    return packet(kDisconnect << 4, {});
}

bool isMqttUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = utf8CharacterLength(text, i);
        if (length == 0 || text[i] == '\0')
            return false;
        i += length;
    }
    return true;
}

bool MqttDecoder::feed(std::string_view bytes, std::vector<MqttIncoming>& packets) {
    if (error_ != MqttDecodeError::None)
        return false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<std::uint8_t>(bytes[i]);
        switch (stage_) {
        case Stage::Type:
            if (!startPacket(byte))
                return false;
            break;
        case Stage::Length:
            length_ |= static_cast<std::size_t>(byte & 0x7F) << (7 * lengthBytes_);
            ++lengthBytes_;
            if (byte & 0x80) {
                if (lengthBytes_ == 4)
                    return fail(MqttDecodeError::LengthEncoding);
                break;
            }
            // A last byte of 0 after others adds nothing: the same length had a shorter form. Refusing it keeps
            // every accepted packet exactly as its encoder writes it.
            if (lengthBytes_ > 1 && byte == 0)
                return fail(MqttDecodeError::LengthEncoding);
            if (length_ > kMaxRemainingLength)
                return fail(MqttDecodeError::TooLong);
            stage_ = Stage::Body;
            if (length_ == 0 && !finishPacket(packets))
                return false;
            break;
        case Stage::Body: {
            // Takes as much of the chunk as the packet still needs in one go.
            const std::size_t take = std::min(length_ - body_.size(), bytes.size() - i);
            body_.append(bytes.substr(i, take));
            i += take - 1;
            if (body_.size() == length_ && !finishPacket(packets))
                return false;
            break;
        }
        }
    }
    return true;
}

void MqttDecoder::reset() {
    stage_ = Stage::Type;
    header_ = 0;
    length_ = 0;
    lengthBytes_ = 0;
    body_.clear();
    body_.shrink_to_fit();
    error_ = MqttDecodeError::None;
}

bool MqttDecoder::fail(MqttDecodeError error) {
    error_ = error;
    body_.clear();
    return false;
}

// The type and flags are judged at the first byte, before any length is believed.
bool MqttDecoder::startPacket(std::uint8_t header) {
    const std::uint8_t flags = header & 0x0F;
    switch (header >> 4) {
    case kConnAck:
    case kPubAck:
    case kSubAck:
    case kPingResp:
        if (flags != 0)
            return fail(MqttDecodeError::ReservedFlags);
        break;
    case kPublish: {
        const int qos = (flags >> 1) & 3;
        if (qos == 3 || (qos == 0 && (flags & 0x08)))
            return fail(MqttDecodeError::Malformed);
        // This client subscribes at QoS 1 at most, so a broker never sends it QoS 2.
        if (qos == 2)
            return fail(MqttDecodeError::UnexpectedType);
        break;
    }
    default:
        return fail(MqttDecodeError::UnexpectedType);
    }
    header_ = header;
    length_ = 0;
    lengthBytes_ = 0;
    body_.clear();
    stage_ = Stage::Length;
    return true;
}

bool MqttDecoder::finishPacket(std::vector<MqttIncoming>& packets) {
    const std::string_view body = body_;
    MqttIncoming in;
    switch (header_ >> 4) {
    case kConnAck:
        if (body.size() != 2 || (static_cast<unsigned char>(body[0]) & 0xFE) != 0)
            return fail(MqttDecodeError::Malformed);
        in.type = MqttIncoming::Type::ConnAck;
        in.sessionPresent = (body[0] & 0x01) != 0;
        in.returnCode = static_cast<unsigned char>(body[1]);
        break;
    case kPubAck:
        if (body.size() != 2 || uint16At(body, 0) == 0)
            return fail(MqttDecodeError::Malformed);
        in.type = MqttIncoming::Type::PubAck;
        in.packetId = uint16At(body, 0);
        break;
    case kSubAck:
        if (body.size() < 3 || uint16At(body, 0) == 0)
            return fail(MqttDecodeError::Malformed);
        in.type = MqttIncoming::Type::SubAck;
        in.packetId = uint16At(body, 0);
        in.grantedQos = std::string(body.substr(2));
        for (const char code : in.grantedQos) {
            const int value = static_cast<unsigned char>(code);
            if (value > 2 && value != kSubAckFailure)
                return fail(MqttDecodeError::Malformed);
        }
        break;
    case kPingResp:
        if (!body.empty())
            return fail(MqttDecodeError::Malformed);
        in.type = MqttIncoming::Type::PingResp;
        break;
    default: { // kPublish, the only other type startPacket lets through
        in.type = MqttIncoming::Type::Publish;
        MqttPublish& p = in.publish;
        p.dup = (header_ & 0x08) != 0;
        p.qos = (header_ >> 1) & 3;
        p.retain = (header_ & 0x01) != 0;
        if (body.size() < 2)
            return fail(MqttDecodeError::Malformed);
        const std::size_t topicEnd = 2 + std::size_t{uint16At(body, 0)};
        const std::size_t idEnd = topicEnd + (p.qos > 0 ? 2 : 0);
        if (idEnd > body.size())
            return fail(MqttDecodeError::Malformed);
        p.topic = std::string(body.substr(2, topicEnd - 2));
        // A topic name is at least one character, valid UTF-8, and never a filter.
        if (p.topic.empty() || !isMqttUtf8(p.topic) || p.topic.find_first_of("+#") != std::string::npos)
            return fail(MqttDecodeError::Malformed);
        if (p.qos > 0) {
            p.packetId = uint16At(body, topicEnd);
            if (p.packetId == 0)
                return fail(MqttDecodeError::Malformed);
        }
        p.payload = std::string(body.substr(idEnd));
        break;
    }
    }
    packets.push_back(std::move(in));
    stage_ = Stage::Type;
    body_.clear();
    return true;
}
