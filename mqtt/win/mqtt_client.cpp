#include "mqtt/win/mqtt_client.h"

#include "net/win/tls_channel.h"
#include "net/win/unique_socket.h"
#include "net/win/winsock.h"
#include "win/clock.h"
#include "win/text.h"

#include <algorithm>
#include <climits>
#include <mutex>
#include <optional>
#include <utility>

namespace {

// The longest the worker sleeps when the session wants nothing sooner; the session's own idle tick is shorter.
constexpr std::int64_t kMaxWaitMs = 60000;
// A wait that failed (it cannot with valid handles) is not retried in a tight loop.
constexpr DWORD kFailedWaitPauseMs = 100;
// The session's window of unacknowledged messages keeps what waits to be written to a few kilobytes; a peer that
// stops reading while it floods this client with messages to acknowledge would make it grow, so beyond this the
// connection counts as failed.
constexpr std::size_t kMaxUnsentBytes = 256 * 1024;
constexpr std::size_t kReceiveChunk = 4096;
// What one wake reads at most before the inbox and the ticks get their turn.
constexpr std::size_t kMaxReceivePerWake = 64 * 1024;
MqttClock clockNow() {
    return {monotonicMs(), {utcMs(), utcOffsetMinutes()}};
}

struct AddressListDeleter {
    void operator()(ADDRINFOW* list) const { winsock()->freeAddrInfo(list); }
};
using AddressList = std::unique_ptr<ADDRINFOW, AddressListDeleter>;

} // namespace

// What the window and the worker share. The inbox holds the newest of each kind only, so it stays small however
// fast the window writes and however long the worker is busy.
struct CMqttClient::Shared {
    std::mutex mutex;
    KernelHandle wakeEvent; // auto-reset: the inbox has something
    HWND owner = nullptr;   // null once the window stopped listening
    std::optional<MqttSettings> settings;
    std::optional<MqttState> state;
    std::optional<MqttAlarm> alarm;
    std::optional<MqttStop> stop;
    std::string status;
    bool statusPosted = false; // a WM_MQTT_STATUS waits for the window to read the text
    // The worker waits for the next state: a new one wakes it. Otherwise it comes for the newest itself, once the
    // session may publish again (a state goes out at most once a second), so that the readings of every line do
    // not wake a thread, each a round trip through the system, for states that would wait anyway.
    bool stateWanted = true;
};

// The worker thread's side: carries out the session's plans on one socket.
class CMqttClient::Worker {
public:
    explicit Worker(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}
    void run();

private:
    void takeInbox();
    void carryOut(const MqttPlan& plan);
    void apply(const MqttPlan& plan);
    void report();
    void open(const MqttPlan& plan);
    bool connectNext();
    void connected();
    void takeStep(const CTlsChannel::Step& step);
    void onNetworkEvents();
    void receive(unsigned connection);
    void flush();
    void lose(TlsFailure failure = TlsFailure::None);
    void closeSocket();
    void publishStatus();

    std::shared_ptr<Shared> shared_;
    MqttSession session_;
    const Winsock* ws_ = winsock(); // null: no sockets on this computer
    bool winsock_ = false;
    bool started_ = false;
    bool finished_ = false;
    std::int64_t nextTickMs_ = 0;
    KernelHandle networkEvent_; // manual-reset; WSAEnumNetworkEvents resets it
    UniqueSocket socket_;
    unsigned connection_ = 0; // counts the sockets, so that a step never acts on a successor of its own socket
    bool connecting_ = false;
    AddressList addresses_;
    const ADDRINFOW* nextAddress_ = nullptr;
    std::string host_; // the name the broker's certificate must carry
    bool tlsWanted_ = false;
    std::unique_ptr<CTlsChannel> tls_; // while an encrypted connection is up or being made
    bool tlsOpened_ = false;           // its handshake is done
    std::string unsent_;
    bool closeAfterSending_ = false;
    // What the connection did while a plan was being carried out, told to the session once the plan is done.
    bool reportConnected_ = false;
    bool reportEnded_ = false;
    TlsFailure endedBy_ = TlsFailure::None;
    std::int64_t stateTakenMs_ = 0; // monotonic; when the last state left the inbox
};

CMqttClient::~CMqttClient() {
    stop(MqttStop::ProgramClose);
}

void CMqttClient::start(HWND owner, const MqttSettings& settings) {
    if (shared_) {
        if (!settings.enabled) {
            stop(MqttStop::SwitchOff);
            return;
        }
        {
            std::lock_guard<std::mutex> lock(shared_->mutex);
            shared_->owner = owner;
            shared_->settings = settings;
        }
        wake();
        return;
    }
    if (!settings.enabled)
        return;
    auto shared = std::make_shared<Shared>();
    shared->wakeEvent.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!shared->wakeEvent)
        return;
    shared->owner = owner;
    shared->settings = settings;
    // The worker owns a reference of its own: one left behind by stop() keeps what it uses.
    auto handed = std::make_unique<std::shared_ptr<Shared>>(shared);
    thread_.reset(CreateThread(nullptr, 0, workerMain, handed.get(), 0, nullptr));
    if (!thread_)
        return;
    handed.release();
    shared_ = std::move(shared);
}

void CMqttClient::updateState(const CurrentReading& reading, bool linkUp) {
    if (!shared_)
        return;
    bool wanted = false;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->state = MqttState{reading, linkUp, {utcMs(), utcOffsetMinutes()}};
        wanted = std::exchange(shared_->stateWanted, false);
    }
    if (wanted)
        wake();
}

void CMqttClient::updateAlarm(const MqttAlarm& alarm) {
    if (!shared_)
        return;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->alarm = alarm;
    }
    wake();
}

// The session gives up its clean close after MqttSession::kCloseTimeoutMs, well within the wait here. Only name
// resolution and a certificate check cannot be interrupted: a worker inside one is left to end on its own once it
// returns, posting nothing.
void CMqttClient::stop(MqttStop how) {
    if (!shared_)
        return;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->stop = how;
    }
    wake();
    WaitForSingleObject(thread_.get(), kStopWaitMs);
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->owner = nullptr;
    }
    thread_.reset();
    shared_.reset();
}

std::string CMqttClient::statusText() const {
    if (!shared_)
        return {};
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->statusPosted = false;
    return shared_->status;
}

void CMqttClient::wake() {
    SetEvent(shared_->wakeEvent.get());
}

DWORD WINAPI CMqttClient::workerMain(void* parameter) {
    std::unique_ptr<std::shared_ptr<Shared>> handed(static_cast<std::shared_ptr<Shared>*>(parameter));
    Worker worker(std::move(*handed));
    handed.reset();
    worker.run();
    return 0;
}

void CMqttClient::Worker::run() {
    WSADATA data;
    winsock_ = ws_ != nullptr && ws_->startup(MAKEWORD(2, 2), &data) == 0;
    networkEvent_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    while (!finished_) {
        takeInbox();
        if (finished_)
            break;
        if (clockNow().monotonicMs >= nextTickMs_)
            carryOut(session_.tick(clockNow()));
        if (finished_)
            break;
        const HANDLE handles[2] = {shared_->wakeEvent.get(), networkEvent_.get()};
        const DWORD count = socket_ && networkEvent_ ? 2 : 1;
        std::int64_t wakeMs = nextTickMs_;
        {
            std::lock_guard<std::mutex> lock(shared_->mutex);
            if (!shared_->stateWanted)
                wakeMs = std::min(wakeMs, stateTakenMs_ + MqttSession::kStateIntervalMs);
        }
        const std::int64_t waitMs = std::clamp<std::int64_t>(wakeMs - clockNow().monotonicMs, 0, kMaxWaitMs);
        if (WaitForMultipleObjects(count, handles, FALSE, static_cast<DWORD>(waitMs)) == WAIT_FAILED)
            Sleep(kFailedWaitPauseMs);
        // Looked at after every wake, so that a busy inbox never starves the socket.
        if (socket_ && WaitForSingleObject(networkEvent_.get(), 0) == WAIT_OBJECT_0)
            onNetworkEvents();
    }
    closeSocket();
    addresses_.reset();
    if (winsock_)
        ws_->cleanup();
}

void CMqttClient::Worker::takeInbox() {
    std::optional<MqttSettings> settings;
    std::optional<MqttState> state;
    std::optional<MqttAlarm> alarm;
    std::optional<MqttStop> stop;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        settings = std::exchange(shared_->settings, std::nullopt);
        // A state waits in the inbox, the newest replacing it, until the session may publish one again.
        const std::int64_t now = clockNow().monotonicMs;
        if (shared_->state && now >= stateTakenMs_ + MqttSession::kStateIntervalMs) {
            state = std::exchange(shared_->state, std::nullopt);
            stateTakenMs_ = now;
        } else if (!shared_->state && now >= stateTakenMs_ + MqttSession::kStateIntervalMs) {
            shared_->stateWanted = true;
        }
        alarm = std::exchange(shared_->alarm, std::nullopt);
        stop = std::exchange(shared_->stop, std::nullopt);
    }
    if (settings) {
        carryOut(started_ ? session_.reconfigure(*settings, clockNow()) : session_.start(*settings, clockNow()));
        started_ = true;
    }
    if (alarm)
        carryOut(session_.updateAlarm(*alarm, clockNow()));
    if (state)
        carryOut(session_.updateState(*state, clockNow()));
    if (stop)
        carryOut(session_.stop(*stop, clockNow()));
}

// What the connection does while a plan is carried out (an open that fails at once, a close once everything is
// written) goes back to the session only after the plan, so plans never nest.
void CMqttClient::Worker::carryOut(const MqttPlan& plan) {
    apply(plan);
    report();
}

void CMqttClient::Worker::report() {
    while (reportConnected_ || reportEnded_) {
        if (std::exchange(reportEnded_, false))
            apply(session_.connectionEnded(clockNow(), std::exchange(endedBy_, TlsFailure::None)));
        else if (std::exchange(reportConnected_, false))
            connected();
    }
}

void CMqttClient::Worker::apply(const MqttPlan& plan) {
    nextTickMs_ = plan.nextTickMs;
    if (plan.statusChanged)
        publishStatus();
    if (plan.close == MqttPlan::Close::Now)
        closeSocket();
    if (socket_)
        unsent_ += tls_ ? tls_->send(plan.send).send : plan.send;
    if (plan.close == MqttPlan::Close::AfterSending) {
        if (socket_ && tls_ && tls_->state() == CTlsChannel::State::Open)
            unsent_ += tls_->close().send;
        if (socket_)
            closeAfterSending_ = true;
        else
            reportEnded_ = true;
    }
    if (plan.finished)
        finished_ = true;
    if (plan.open)
        open(plan);
    if (socket_ && !connecting_)
        flush();
}

// Name resolution blocks this thread, never the window's; the session's connect timeout runs from here.
void CMqttClient::Worker::open(const MqttPlan& plan) {
    closeSocket();
    addresses_.reset();
    nextAddress_ = nullptr;
    host_ = plan.host;
    tlsWanted_ = plan.tls;
    ADDRINFOW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    ADDRINFOW* list = nullptr;
    // An empty name would resolve to this computer's own addresses.
    if (!winsock_ || !networkEvent_ || host_.empty() ||
        ws_->getAddrInfo(widen(host_).c_str(), std::to_wstring(plan.port).c_str(), &hints, &list) != 0) {
        reportEnded_ = true;
        return;
    }
    addresses_.reset(list);
    nextAddress_ = list;
    if (!connectNext())
        reportEnded_ = true;
}

// The name's addresses in the resolver's order: one that refuses hands over to the next.
bool CMqttClient::Worker::connectNext() {
    while (nextAddress_) {
        const ADDRINFOW* address = nextAddress_;
        nextAddress_ = address->ai_next;
        UniqueSocket candidate(ws_->socket(address->ai_family, address->ai_socktype, address->ai_protocol));
        // WSAEventSelect makes the socket non-blocking; its events set networkEvent_.
        if (!candidate ||
            ws_->eventSelect(candidate.get(), networkEvent_.get(), FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE) != 0)
            continue;
        const int result = ws_->connect(candidate.get(), address->ai_addr, static_cast<int>(address->ai_addrlen));
        if (result != 0 && ws_->lastError() != WSAEWOULDBLOCK)
            continue;
        socket_ = std::move(candidate);
        ++connection_;
        connecting_ = result != 0;
        reportConnected_ = result == 0;
        return true;
    }
    return false;
}

void CMqttClient::Worker::onNetworkEvents() {
    const unsigned connection = connection_;
    WSANETWORKEVENTS events{};
    if (ws_->enumNetworkEvents(socket_.get(), networkEvent_.get(), &events) != 0) {
        lose();
        report();
        return;
    }
    const long what = events.lNetworkEvents;
    if ((what & FD_CONNECT) && connecting_) {
        if (events.iErrorCode[FD_CONNECT_BIT] == 0) {
            connecting_ = false;
            connected();
        } else {
            closeSocket();
            if (!connectNext())
                reportEnded_ = true;
            report();
            return;
        }
    }
    const auto current = [&] { return socket_ && !connecting_ && connection_ == connection; };
    // What came before the other end closed is read first: it may be the CONNACK that refused the login.
    if (current() && (what & (FD_READ | FD_CLOSE)))
        receive(connection);
    if (current() && (what & FD_WRITE))
        flush();
    if (current() && (what & FD_CLOSE))
        lose();
    report();
}

// The TCP connection is up: the session hears of it now, or once the TLS handshake is done and the broker's
// certificate passed.
void CMqttClient::Worker::connected() {
    if (!tlsWanted_) {
        carryOut(session_.tcpConnected(clockNow()));
        return;
    }
    tls_ = std::make_unique<CTlsChannel>();
    takeStep(tls_->start(host_));
}

// One step of the TLS channel on the current connection; what the session does with its bytes may end it.
void CMqttClient::Worker::takeStep(const CTlsChannel::Step& step) {
    const unsigned connection = connection_;
    const auto current = [&] { return socket_ && connection_ == connection; };
    unsent_ += step.send;
    if (step.error) {
        flush(); // the alert that tells the broker why, if the system made one
        // A connection that was up and simply ended is no fault of the encryption: brokers seldom say goodbye.
        const bool lost = tlsOpened_ && step.error.failure == TlsFailure::ConnectionLost;
        lose(lost ? TlsFailure::None : step.error.failure);
        return;
    }
    if (step.opened) {
        tlsOpened_ = true;
        carryOut(session_.tcpConnected(clockNow()));
    }
    if (!step.received.empty() && current())
        carryOut(session_.received(step.received, clockNow()));
    if (current() && step.peerClosed)
        lose();
    else if (current())
        flush();
}

void CMqttClient::Worker::receive(unsigned connection) {
    char buffer[kReceiveChunk];
    for (std::size_t total = 0; socket_ && connection_ == connection && total < kMaxReceivePerWake;) {
        const int received = ws_->recv(socket_.get(), buffer, sizeof buffer, 0);
        if (received > 0) {
            total += static_cast<std::size_t>(received);
            const std::string_view bytes(buffer, static_cast<std::size_t>(received));
            if (tls_)
                takeStep(tls_->received(bytes));
            else
                carryOut(session_.received(bytes, clockNow()));
            continue;
        }
        if (received == 0 && tls_)
            takeStep(tls_->transportEnded());
        if (received == 0 || ws_->lastError() != WSAEWOULDBLOCK) {
            if (socket_ && connection_ == connection)
                lose();
        }
        return;
    }
}

void CMqttClient::Worker::flush() {
    while (!unsent_.empty()) {
        const int length = static_cast<int>(std::min<std::size_t>(unsent_.size(), INT_MAX));
        const int sent = ws_->send(socket_.get(), unsent_.data(), length, 0);
        if (sent == SOCKET_ERROR) {
            if (ws_->lastError() != WSAEWOULDBLOCK)
                lose();
            else if (unsent_.size() > kMaxUnsentBytes)
                lose();
            return;
        }
        unsent_.erase(0, static_cast<std::size_t>(sent));
    }
    if (closeAfterSending_) {
        // Everything is with the system: the end of the stream follows it, and the socket is read until the broker
        // closes its side (or the session's close timeout). Closed at once, a socket that still holds the broker's
        // unread acknowledgements is reset, and the broker may drop the DISCONNECT and publish the will after all.
        closeAfterSending_ = false;
        ws_->shutdown(socket_.get(), SD_SEND);
    }
}

// The connection failed or the other end closed it: the session hears of it after the current plan.
void CMqttClient::Worker::lose(TlsFailure failure) {
    closeSocket();
    reportEnded_ = true;
    if (failure != TlsFailure::None)
        endedBy_ = failure;
}

void CMqttClient::Worker::closeSocket() {
    tls_.reset();
    tlsOpened_ = false;
    socket_.reset();
    connecting_ = false;
    closeAfterSending_ = false;
    unsent_.clear();
    if (networkEvent_)
        ResetEvent(networkEvent_.get());
}

void CMqttClient::Worker::publishStatus() {
    HWND owner = nullptr;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->status = session_.statusText();
        if (shared_->statusPosted || !shared_->owner)
            return;
        shared_->statusPosted = true;
        owner = shared_->owner;
    }
    if (!PostMessageW(owner, WM_MQTT_STATUS, 0, 0)) {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->statusPosted = false;
    }
}
