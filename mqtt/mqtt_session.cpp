#include "mqtt/mqtt_session.h"

#include <algorithm>

namespace {

// CONNACK return codes (3.2.2.3) that say the login itself was refused.
constexpr int kBadUserNameOrPassword = 4;
constexpr int kNotAuthorised = 5;
// The status topic's messages are hints that the home automation has started; a lost one costs nothing, since
// discovery goes out at every connect anyway.
constexpr int kStatusSubscriptionQos = 0;

std::string endpoint(const std::string& host, int port) {
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

} // namespace

std::string mqttNoConnectionText(const std::string& host, int port) {
    return "MQTT: brak połączenia z brokerem " + endpoint(host, port) + ". ";
}

std::string mqttLoginRefusedText(const std::string& host, int port) {
    return "MQTT: broker " + endpoint(host, port) + " odrzucił logowanie. ";
}

std::string mqttRefusedText(const std::string& host, int port, int returnCode) {
    return "MQTT: broker " + endpoint(host, port) + " odrzucił połączenie (kod " + std::to_string(returnCode) + "). ";
}

std::string mqttTlsFailedText(const std::string& host, int port, TlsFailure failure) {
    return "MQTT: brak połączenia szyfrowanego z brokerem " + endpoint(host, port) + " (" + tlsFailureText(failure) +
           "). ";
}

std::string mqttDroppedRecordsText(std::uint64_t count) {
    return "MQTT: rekordy usunięte z pełnej kolejki: " + std::to_string(count) + ". ";
}

MqttPlan MqttSession::start(const MqttSettings& settings, const ClockReading& clock) {
    begin();
    if (phase_ != Phase::Off)
        return finish(clock);
    settings_ = settings;
    boundMqttSettings(settings_);
    if (settings_.recordIntervalSeconds > 0)
        schedule_.start(clock.wall.utcMs, settings_.recordIntervalSeconds);
    backoffMs_ = kMinBackoffMs;
    problem_ = Problem::None;
    // A retained alarm of an earlier run (alarms on then) is replaced or cleared by the first connection.
    alarmPending_ = true;
    open(clock);
    return finish(clock);
}

// A connection that carried the device to the home automation takes it away when the new settings put it
// elsewhere or switch discovery off; otherwise it only says "offline" until the new connection says "online".
MqttPlan MqttSession::reconfigure(const MqttSettings& settings, const ClockReading& clock) {
    MqttSettings next = settings;
    if (!next.enabled)
        return stop(MqttStop::SwitchOff, clock);
    begin();
    boundMqttSettings(next);
    if (phase_ == Phase::Off || next == settings_)
        return finish(clock);
    const MqttSettings before = settings_;
    const bool deviceLeaves = before.discovery && (!next.discovery || next.station != before.station ||
                                                   next.host != before.host || next.port != before.port);
    settings_ = next;
    if (next.recordIntervalSeconds != before.recordIntervalSeconds && next.recordIntervalSeconds > 0)
        schedule_.start(clock.wall.utcMs, next.recordIntervalSeconds);
    backoffMs_ = kMinBackoffMs;
    problem_ = Problem::None;
    switch (phase_) {
    case Phase::Connected:
        leave(deviceLeaves ? MqttStop::SwitchOff : MqttStop::ProgramClose, before, clock);
        reopenAfterClose_ = true;
        deadlineMs_ = clock.monotonicMs + kCloseTimeoutMs;
        break;
    case Phase::Connecting:
    case Phase::AwaitingConnAck:
        plan_.close = MqttPlan::Close::Now;
        open(clock);
        break;
    case Phase::Waiting:
        open(clock);
        break;
    default: // Closing already: the connection after it takes the new settings
        break;
    }
    return finish(clock);
}

MqttPlan MqttSession::tcpConnected(const ClockReading& clock) {
    begin();
    if (phase_ != Phase::Connecting)
        return finish(clock);
    phase_ = Phase::AwaitingConnAck;
    deadlineMs_ = clock.monotonicMs + kConnAckTimeoutMs;
    decoder_.reset();
    packetStartMs_.reset();
    pingSentMs_.reset();
    inFlight_.clear();
    MqttConnect connect;
    connect.clientId = "hx350-" + settings_.station;
    connect.cleanSession = true;
    connect.keepAliveSeconds = static_cast<std::uint16_t>(settings_.keepAliveSeconds);
    connect.will = MqttWill{mqttTopic(settings_.station, "availability"), kMqttOffline, 1, true};
    if (!settings_.user.empty()) {
        connect.userName = settings_.user;
        if (!settings_.password.empty())
            connect.password = settings_.password;
    }
    write(encodeConnect(connect), clock);
    return finish(clock);
}

MqttPlan MqttSession::connectionEnded(const ClockReading& clock, TlsFailure tls) {
    begin();
    switch (phase_) {
    case Phase::Connecting:
    case Phase::AwaitingConnAck:
    case Phase::Connected:
        tlsFailure_ = tls;
        fail(tls != TlsFailure::None ? Problem::Tls : Problem::NoConnection, clock);
        break;
    case Phase::Closing:
        closed(clock);
        break;
    default:
        break;
    }
    return finish(clock);
}

MqttPlan MqttSession::received(std::string_view bytes, const ClockReading& clock) {
    begin();
    const auto accepting = [this] {
        return phase_ == Phase::AwaitingConnAck || phase_ == Phase::Connected ||
               (phase_ == Phase::Closing && !leaveSent_);
    };
    // Once the clean close is written, whatever the broker still says changes nothing.
    if (!accepting())
        return finish(clock);
    std::vector<MqttIncoming> packets;
    const bool intact = decoder_.feed(bytes, packets);
    for (const MqttIncoming& packet : packets) {
        if (!accepting())
            break;
        handle(packet, clock);
    }
    if (!accepting())
        return finish(clock);
    if (!intact) {
        fail(Problem::NoConnection, clock);
        return finish(clock);
    }
    // A packet's time runs from the chunk in which it began, so a broker that trickles bytes cannot keep one open.
    if (!decoder_.midPacket())
        packetStartMs_.reset();
    else if (!packetStartMs_ || !packets.empty())
        packetStartMs_ = clock.monotonicMs;
    publishDue(clock);
    return finish(clock);
}

MqttPlan MqttSession::tick(const ClockReading& clock) {
    begin();
    const std::int64_t now = clock.monotonicMs;
    switch (phase_) {
    case Phase::Waiting:
        if (now >= deadlineMs_)
            open(clock);
        break;
    case Phase::Connecting:
    case Phase::AwaitingConnAck:
        if (now >= deadlineMs_)
            fail(Problem::NoConnection, clock);
        break;
    case Phase::Connected:
        watchTimeouts(clock);
        break;
    case Phase::Closing:
        if (now >= deadlineMs_)
            closed(clock);
        break;
    default:
        return finish(clock);
    }
    if (phase_ != Phase::Off)
        takeRecord(clock);
    publishDue(clock);
    return finish(clock);
}

MqttPlan MqttSession::updateState(const MqttState& state, const ClockReading& clock) {
    begin();
    if (phase_ == Phase::Off)
        return finish(clock);
    state_ = state;
    statePending_ = true;
    publishDue(clock);
    return finish(clock);
}

MqttPlan MqttSession::updateAlarm(const MqttAlarm& alarm, const ClockReading& clock) {
    begin();
    if (phase_ == Phase::Off || alarm == alarm_)
        return finish(clock);
    // The problem sensor comes and goes with the alarms.
    if (alarm.enabled != alarm_.enabled)
        discoveryPending_ = settings_.discovery;
    alarm_ = alarm;
    alarmPending_ = true;
    // The state carries the alarm too, and the window hands over no new state while the values stay.
    statePending_ = state_.has_value();
    publishDue(clock);
    return finish(clock);
}

MqttPlan MqttSession::stop(MqttStop how, const ClockReading& clock) {
    begin();
    problem_ = Problem::None;
    dropped_ = 0;
    switch (phase_) {
    case Phase::Connected:
        leave(how, settings_, clock);
        reopenAfterClose_ = false;
        deadlineMs_ = clock.monotonicMs + kCloseTimeoutMs;
        break;
    case Phase::AwaitingConnAck:
        // The close waits a little for the CONNACK: only an accepted connection can say goodbye.
        phase_ = Phase::Closing;
        leaveSent_ = false;
        leaveHow_ = how;
        reopenAfterClose_ = false;
        deadlineMs_ = clock.monotonicMs + kCloseTimeoutMs;
        break;
    case Phase::Closing:
        reopenAfterClose_ = false;
        leaveHow_ = how;
        break;
    default:
        plan_.close = MqttPlan::Close::Now;
        phase_ = Phase::Off;
        plan_.finished = true;
        break;
    }
    return finish(clock);
}

void MqttSession::begin() {
    plan_ = MqttPlan{};
}

MqttPlan MqttSession::finish(const ClockReading& clock) {
    std::string status = composeStatus();
    if (status != status_) {
        status_ = std::move(status);
        plan_.statusChanged = true;
    }
    const std::int64_t now = clock.monotonicMs;
    std::int64_t next = now + kIdleTickMs;
    const auto sooner = [&next](std::int64_t at) { next = std::min(next, at); };
    switch (phase_) {
    case Phase::Waiting:
    case Phase::Connecting:
    case Phase::AwaitingConnAck:
    case Phase::Closing:
        sooner(deadlineMs_);
        break;
    case Phase::Connected: {
        const std::int64_t keepAliveMs = std::int64_t{settings_.keepAliveSeconds} * 1000;
        if (packetStartMs_)
            sooner(*packetStartMs_ + kPacketTimeoutMs);
        if (pingSentMs_)
            sooner(*pingSentMs_ + keepAliveMs);
        else
            sooner(lastSentMs_ + keepAliveMs);
        for (const InFlight& entry : inFlight_)
            sooner(entry.sentMs + keepAliveMs);
        if (statePending_ && lastStateMs_ && inFlight_.size() < kMaxInFlight)
            sooner(*lastStateMs_ + kStateIntervalMs);
        break;
    }
    default:
        break;
    }
    if (phase_ != Phase::Off && settings_.recordIntervalSeconds > 0)
        sooner(now + schedule_.delayMs(clock.wall.utcMs));
    plan_.nextTickMs = std::max(next, now);
    return plan_;
}

void MqttSession::open(const ClockReading& clock) {
    phase_ = Phase::Connecting;
    deadlineMs_ = clock.monotonicMs + kConnectTimeoutMs;
    plan_.open = true;
    plan_.host = settings_.host;
    plan_.port = settings_.port;
    plan_.tls = settings_.tls;
}

// Whatever was in flight is sent again on the next connection: records in their order, the state and the alarm
// as they are by then.
void MqttSession::dropConnection() {
    plan_.close = MqttPlan::Close::Now;
    decoder_.reset();
    packetStartMs_.reset();
    pingSentMs_.reset();
    inFlight_.clear();
    for (Record& record : records_)
        record.sent = false;
}

void MqttSession::fail(Problem problem, const ClockReading& clock, int returnCode) {
    dropConnection();
    phase_ = Phase::Waiting;
    deadlineMs_ = clock.monotonicMs + backoffMs_;
    backoffMs_ = std::min(backoffMs_ * 2, kMaxBackoffMs);
    problem_ = problem;
    refusedCode_ = returnCode;
}

void MqttSession::closed(const ClockReading& clock) {
    dropConnection();
    if (reopenAfterClose_) {
        reopenAfterClose_ = false;
        open(clock);
        return;
    }
    phase_ = Phase::Off;
    plan_.finished = true;
}

void MqttSession::write(const std::string& bytes, const ClockReading& clock) {
    plan_.send += bytes;
    lastSentMs_ = clock.monotonicMs;
}

void MqttSession::publish(const std::string& topic, const std::string& payload, bool retain, Kind kind,
                          const ClockReading& clock, std::uint64_t record) {
    MqttPublish packet;
    packet.topic = topic;
    packet.payload = payload;
    packet.qos = 1;
    packet.retain = retain;
    packet.packetId = nextPacketId();
    write(encodePublish(packet), clock);
    inFlight_.push_back({packet.packetId, kind, record, clock.monotonicMs});
}

void MqttSession::handle(const MqttIncoming& packet, const ClockReading& clock) {
    using Type = MqttIncoming::Type;
    if (phase_ != Phase::Connected) {
        // The broker's first packet is its CONNACK.
        if (packet.type == Type::ConnAck)
            connAck(packet, clock);
        else
            broken(clock);
        return;
    }
    const auto entry = std::find_if(inFlight_.begin(), inFlight_.end(),
                                    [&](const InFlight& f) { return f.packetId == packet.packetId; });
    switch (packet.type) {
    case Type::PubAck:
        if (entry == inFlight_.end() || entry->kind == Kind::Subscription)
            return broken(clock);
        if (entry->kind == Kind::Record) {
            // Sent records are the queue's first ones, but their PUBACKs may come in any order.
            const auto record = std::find_if(records_.begin(), records_.end(),
                                             [&](const Record& r) { return !r.sent || r.sequence == entry->record; });
            if (record != records_.end() && record->sent)
                records_.erase(record);
        }
        inFlight_.erase(entry);
        break;
    case Type::SubAck:
        // A refused subscription only costs the rediscovery when the home automation restarts.
        if (entry == inFlight_.end() || entry->kind != Kind::Subscription)
            return broken(clock);
        inFlight_.erase(entry);
        break;
    case Type::PingResp:
        if (!pingSentMs_)
            return broken(clock);
        pingSentMs_.reset();
        break;
    case Type::Publish:
        if (packet.publish.qos == 1)
            write(encodePubAck(packet.publish.packetId), clock);
        // A retained "online" is only the broker's copy of an old announcement, sent because this connection
        // subscribed; the connection has sent discovery already.
        if (settings_.discovery && packet.publish.topic == kHomeAssistantStatusTopic &&
            packet.publish.payload == kMqttOnline && !packet.publish.retain)
            discoveryPending_ = true;
        break;
    default: // a second CONNACK
        broken(clock);
        break;
    }
}

void MqttSession::connAck(const MqttIncoming& packet, const ClockReading& clock) {
    if (packet.returnCode != 0) {
        if (phase_ == Phase::Closing)
            return closed(clock);
        const bool login = packet.returnCode == kBadUserNameOrPassword || packet.returnCode == kNotAuthorised;
        return fail(login ? Problem::LoginRefused : Problem::Refused, clock, packet.returnCode);
    }
    // A clean session has no stored state: a broker that says otherwise is not speaking the standard.
    if (packet.sessionPresent)
        return broken(clock);
    backoffMs_ = kMinBackoffMs;
    problem_ = Problem::None;
    if (phase_ == Phase::Closing)
        return leave(leaveHow_, settings_, clock);
    phase_ = Phase::Connected;
    if (settings_.discovery) {
        const std::uint16_t id = nextPacketId();
        write(encodeSubscribe(id, {{kHomeAssistantStatusTopic, kStatusSubscriptionQos}}), clock);
        inFlight_.push_back({id, Kind::Subscription, 0, clock.monotonicMs});
    }
    publish(mqttTopic(settings_.station, "availability"), kMqttOnline, true, Kind::Availability, clock);
    discoveryPending_ = settings_.discovery;
    alarmPending_ = alarmPending_ || alarm_.enabled;
    statePending_ = state_.has_value();
}

void MqttSession::broken(const ClockReading& clock) {
    if (phase_ == Phase::Closing)
        closed(clock);
    else
        fail(Problem::NoConnection, clock);
}

// Discovery first (it names the topics), then the alarm and the state, each the newest, then the records in
// their order, as long as the window of unacknowledged messages has room.
void MqttSession::publishDue(const ClockReading& clock) {
    if (phase_ != Phase::Connected)
        return;
    const std::string& station = settings_.station;
    while (inFlight_.size() < kMaxInFlight) {
        if (discoveryPending_) {
            discoveryPending_ = false;
            publish(mqttDiscoveryTopic(station), mqttDiscoveryJson(station, alarm_.enabled), true, Kind::Discovery,
                    clock);
            continue;
        }
        if (alarmPending_) {
            // With alarms off the empty retained message removes the last alarm the broker kept.
            alarmPending_ = false;
            publish(mqttTopic(station, "alarm"), alarm_.enabled ? mqttAlarmJson(alarm_) : "", true, Kind::Alarm, clock);
            continue;
        }
        if (statePending_ && state_ && (!lastStateMs_ || clock.monotonicMs >= *lastStateMs_ + kStateIntervalMs)) {
            statePending_ = false;
            lastStateMs_ = clock.monotonicMs;
            publish(mqttTopic(station, "state"), mqttStateJson(*state_, alarm_), true, Kind::State, clock);
            continue;
        }
        const auto record = std::find_if(records_.begin(), records_.end(), [](const Record& r) { return !r.sent; });
        if (record == records_.end())
            break;
        record->sent = true;
        publish(mqttTopic(station, "record"), record->payload, false, Kind::Record, clock, record->sequence);
    }
}

void MqttSession::leave(MqttStop how, const MqttSettings& settings, const ClockReading& clock) {
    phase_ = Phase::Closing;
    leaveSent_ = true;
    if (how == MqttStop::SwitchOff && settings.discovery)
        publish(mqttDiscoveryTopic(settings.station), "", true, Kind::Leaving, clock);
    publish(mqttTopic(settings.station, "availability"), kMqttOffline, true, Kind::Leaving, clock);
    write(encodeDisconnect(), clock);
    plan_.close = MqttPlan::Close::AfterSending;
}

void MqttSession::takeRecord(const ClockReading& clock) {
    if (settings_.recordIntervalSeconds <= 0 || !schedule_.takeDue(clock.wall.utcMs))
        return;
    if (records_.size() >= kMaxQueuedRecords) {
        records_.pop_front();
        ++dropped_;
    }
    // Without a reading yet every value is null, as recording writes "???".
    const CurrentReading reading = state_ ? state_->reading : CurrentReading{};
    records_.push_back({nextRecord_++, mqttRecordJson(reading, clock.wall), false});
}

void MqttSession::watchTimeouts(const ClockReading& clock) {
    const std::int64_t now = clock.monotonicMs;
    const std::int64_t keepAliveMs = std::int64_t{settings_.keepAliveSeconds} * 1000;
    if (packetStartMs_ && now >= *packetStartMs_ + kPacketTimeoutMs)
        return fail(Problem::NoConnection, clock);
    // Every message that waits for an answer (a PUBLISH, the SUBSCRIBE, a PINGREQ) must have it within the
    // keep-alive, or the broker is gone.
    std::optional<std::int64_t> oldest = pingSentMs_;
    for (const InFlight& entry : inFlight_)
        oldest = std::min(oldest.value_or(entry.sentMs), entry.sentMs);
    if (oldest && now >= *oldest + keepAliveMs)
        return fail(Problem::NoConnection, clock);
    if (!pingSentMs_ && now >= lastSentMs_ + keepAliveMs) {
        write(encodePingReq(), clock);
        pingSentMs_ = now;
    }
}

std::uint16_t MqttSession::nextPacketId() {
    // Ids in use are skipped; with at most kMaxInFlight + 3 of them a free one is always near.
    const auto inUse = [this](std::uint16_t id) {
        return std::any_of(inFlight_.begin(), inFlight_.end(), [id](const InFlight& f) { return f.packetId == id; });
    };
    do {
        lastPacketId_ = lastPacketId_ == 0xFFFF ? 1 : static_cast<std::uint16_t>(lastPacketId_ + 1);
    } while (inUse(lastPacketId_));
    return lastPacketId_;
}

std::string MqttSession::composeStatus() const {
    std::string text;
    switch (problem_) {
    case Problem::NoConnection:
        text = mqttNoConnectionText(settings_.host, settings_.port);
        break;
    case Problem::LoginRefused:
        text = mqttLoginRefusedText(settings_.host, settings_.port);
        break;
    case Problem::Refused:
        text = mqttRefusedText(settings_.host, settings_.port, refusedCode_);
        break;
    case Problem::Tls:
        text = mqttTlsFailedText(settings_.host, settings_.port, tlsFailure_);
        break;
    default:
        break;
    }
    if (dropped_ > 0)
        text += mqttDroppedRecordsText(dropped_);
    return text;
}
