#pragma once

#include "mqtt/mqtt_packet.h"
#include "mqtt/mqtt_payloads.h"
#include "net/tls_failure.h"
#include "mqtt/mqtt_settings.h"
#include "recording/recording_control.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// How the publisher ends: switched off by the user (the device leaves the home automation too) or with the
// program, which comes back.
enum class MqttStop { SwitchOff, ProgramClose };

// What the worker does after an input, in this order: close the connection (Now: at once, dropping unsent bytes);
// write `send`; close once everything is written (AfterSending); open a connection to host:port, which ends in
// tcpConnected() or connectionEnded(). Then it calls tick() at `nextTickMs` at the latest, and takes the status
// text when `statusChanged`. After `finished` nothing follows: the worker ends.
struct MqttPlan {
    enum class Close { No, AfterSending, Now };
    Close close = Close::No;
    std::string send;
    bool open = false;
    std::string host;
    int port = 0;
    bool tls = false;            // the connection is encrypted: tcpConnected() once the TLS handshake is done
    std::int64_t nextTickMs = 0; // monotonic
    bool statusChanged = false;
    bool finished = false;
};

// The MQTT session of one station, which owns no socket: events in, with the time; what to do with the connection
// out. It connects (client id hx350-<station>, a clean session, the will "offline"), announces itself "online",
// keeps the link alive, tries again with a back-off, and publishes the state (at most once a second, the newest),
// the alarm (the newest) and the records of its own schedule. Records wait in order until the broker acknowledges
// them, across outages, up to kMaxQueuedRecords; beyond that the oldest go and the status text counts them.
class MqttSession {
public:
    static constexpr std::int64_t kConnectTimeoutMs = 10000; // name resolution and TCP together
    static constexpr std::int64_t kConnAckTimeoutMs = 10000; // a broker that accepts TCP and never answers
    static constexpr std::int64_t kPacketTimeoutMs = 10000;  // a packet begun must be complete by then
    static constexpr std::int64_t kCloseTimeoutMs = 1500;    // a clean close gives up after this
    static constexpr std::int64_t kMinBackoffMs = 1000;
    static constexpr std::int64_t kMaxBackoffMs = 60000;
    static constexpr std::int64_t kStateIntervalMs = 1000;
    static constexpr std::int64_t kIdleTickMs = 60000; // when nothing is due sooner
    static constexpr std::size_t kMaxInFlight = 8;
    static constexpr std::size_t kMaxQueuedRecords = 10080; // a week of one-minute records

    // Switched on (settings.enabled is taken as given): the first connection is opened at once.
    MqttPlan start(const MqttSettings& settings, const ClockReading& clock);
    // New settings while running: a connection closes cleanly and the next one uses them; waiting records stay.
    // Settings that switch it off end it as stop(SwitchOff).
    MqttPlan reconfigure(const MqttSettings& settings, const ClockReading& clock);
    MqttPlan tcpConnected(const ClockReading& clock);
    // The connection could not be opened, was closed by the other end or failed; `tls` says why an encrypted one
    // failed.
    MqttPlan connectionEnded(const ClockReading& clock, TlsFailure tls = TlsFailure::None);
    MqttPlan received(std::string_view bytes, const ClockReading& clock);
    MqttPlan tick(const ClockReading& clock);
    // Every reading update of the window.
    MqttPlan updateState(const MqttState& state, const ClockReading& clock);
    MqttPlan updateAlarm(const MqttAlarm& alarm, const ClockReading& clock);
    // A clean close that gives up after kCloseTimeoutMs: on switch-off the empty retained discovery message (when
    // discovery is on), then "offline", then DISCONNECT; on program close "offline" and DISCONNECT.
    MqttPlan stop(MqttStop how, const ClockReading& clock);

    // UTF-8, for the end of the status line: each piece ends with a blank; empty while all is well, and while the
    // first connection after start() is being tried, so that a start that connects says nothing.
    const std::string& statusText() const { return status_; }
    bool connected() const { return phase_ == Phase::Connected; }
    std::size_t queuedRecords() const { return records_.size(); }

private:
    enum class Phase { Off, Waiting, Connecting, AwaitingConnAck, Connected, Closing };
    enum class Problem { None, NoConnection, LoginRefused, Refused, Tls };
    enum class Kind { Availability, Subscription, Discovery, Alarm, State, Record, Leaving };
    struct InFlight {
        std::uint16_t packetId = 0;
        Kind kind = Kind::Record;
        std::uint64_t record = 0; // Record: its sequence number
        std::int64_t sentMs = 0;
    };
    struct Record {
        std::uint64_t sequence = 0;
        std::string payload;
        bool sent = false; // on this connection, waiting for its PUBACK
    };

    void begin();
    MqttPlan finish(const ClockReading& clock);
    void open(const ClockReading& clock);
    void dropConnection();
    void fail(Problem problem, const ClockReading& clock, int returnCode = 0);
    void broken(const ClockReading& clock);
    void write(const std::string& bytes, const ClockReading& clock);
    void publish(const std::string& topic, const std::string& payload, bool retain, Kind kind,
                 const ClockReading& clock, std::uint64_t record = 0);
    void connAck(const MqttIncoming& packet, const ClockReading& clock);
    void handle(const MqttIncoming& packet, const ClockReading& clock);
    void publishDue(const ClockReading& clock);
    void leave(MqttStop how, const MqttSettings& settings, const ClockReading& clock);
    void closed(const ClockReading& clock);
    void takeRecord(const ClockReading& clock);
    void watchTimeouts(const ClockReading& clock);
    std::uint16_t nextPacketId();
    std::string composeStatus() const;

    MqttSettings settings_;
    Phase phase_ = Phase::Off;
    MqttPlan plan_;
    std::string status_;
    Problem problem_ = Problem::None;
    int refusedCode_ = 0;
    TlsFailure tlsFailure_ = TlsFailure::None;
    std::int64_t backoffMs_ = kMinBackoffMs;
    std::int64_t deadlineMs_ = 0; // Waiting: the next attempt; Connecting, AwaitingConnAck, Closing: give up
    // Closing: what follows the close; the clean close itself waits for the CONNACK when none came yet.
    bool reopenAfterClose_ = false;
    bool leaveSent_ = false;
    MqttStop leaveHow_ = MqttStop::ProgramClose;

    MqttDecoder decoder_;
    std::optional<std::int64_t> packetStartMs_; // when the unfinished incoming packet began
    std::int64_t lastSentMs_ = 0;
    std::optional<std::int64_t> pingSentMs_;
    std::vector<InFlight> inFlight_;
    std::uint16_t lastPacketId_ = 0;

    std::optional<MqttState> state_;
    bool statePending_ = false;
    std::optional<std::int64_t> lastStateMs_;
    MqttAlarm alarm_;
    bool alarmPending_ = false;
    bool discoveryPending_ = false;

    TickSchedule schedule_;
    std::deque<Record> records_;
    std::uint64_t nextRecord_ = 0;
    std::uint64_t dropped_ = 0;
};

// "MQTT: brak połączenia z brokerem HOST:PORT. " and the other pieces of the status line, each ending with a
// blank; an address with colons is bracketed ("[::1]:1883").
std::string mqttNoConnectionText(const std::string& host, int port);
std::string mqttLoginRefusedText(const std::string& host, int port);
std::string mqttRefusedText(const std::string& host, int port, int returnCode);
std::string mqttDroppedRecordsText(std::uint64_t count);
std::string mqttTlsFailedText(const std::string& host, int port, TlsFailure failure);
