#include "mqtt/win/mqtt_client.h"

#include "net/win/net_connection.h"
#include "win/clock.h"
#include "win/worker_thread.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <utility>

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

// The worker thread's side: carries out the session's plans on one connection.
class CMqttClient::Worker {
public:
    explicit Worker(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}
    void run();

private:
    void takeInbox();
    void carryOut(const MqttPlan& plan);
    void apply(const MqttPlan& plan);
    void report();
    void deliver(const CNetConnection::Happened& happened);
    void publishStatus();

    std::shared_ptr<Shared> shared_;
    MqttSession session_;
    CNetConnection connection_;
    bool tls_ = false; // the session's connection is to be encrypted
    bool started_ = false;
    bool finished_ = false;
    std::int64_t nextTickMs_ = 0;
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
    stateFilter_ = {}; // a new worker starts without a state
    auto shared = std::make_shared<Shared>();
    shared->wakeEvent.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!shared->wakeEvent)
        return;
    shared->owner = owner;
    shared->settings = settings;
    thread_.reset(startWorkerThread<Worker>(shared));
    if (!thread_)
        return;
    shared_ = std::move(shared);
}

void CMqttClient::updateState(const CurrentReading& reading, bool linkUp) {
    if (!shared_)
        return;
    const MqttState state{reading, linkUp, wallNow()};
    if (!stateFilter_.pass(state, monotonicMs()))
        return;
    bool wanted = false;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->state = state;
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

void CMqttClient::Worker::run() {
    while (!finished_) {
        takeInbox();
        if (finished_)
            break;
        if (monotonicMs() >= nextTickMs_)
            carryOut(session_.tick(clockNow()));
        if (finished_)
            break;
        std::int64_t wakeMs = nextTickMs_;
        {
            std::lock_guard<std::mutex> lock(shared_->mutex);
            if (!shared_->stateWanted)
                wakeMs = std::min(wakeMs, stateTakenMs_ + MqttSession::kStateIntervalMs);
        }
        connection_.wait(shared_->wakeEvent.get(), wakeMs);
        // Looked at after every wake, so that a busy inbox never starves the socket.
        connection_.onEvents();
        report();
    }
    connection_.close();
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
        const std::int64_t now = monotonicMs();
        if (now >= stateTakenMs_ + MqttSession::kStateIntervalMs) {
            if (shared_->state) {
                state = std::exchange(shared_->state, std::nullopt);
                stateTakenMs_ = now;
            } else {
                shared_->stateWanted = true;
            }
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
    for (CNetConnection::Happened happened = connection_.take(); !happened.empty(); happened = connection_.take())
        deliver(happened);
}

void CMqttClient::Worker::apply(const MqttPlan& plan) {
    nextTickMs_ = plan.nextTickMs;
    if (plan.statusChanged)
        publishStatus();
    if (plan.close == MqttPlan::Close::Now)
        connection_.close();
    connection_.send(plan.send);
    if (plan.close == MqttPlan::Close::AfterSending)
        connection_.closeAfterSending();
    if (plan.finished)
        finished_ = true;
    if (plan.open) {
        tls_ = plan.tls;
        connection_.open(plan.host, plan.port);
    }
}

// The session hears of an encrypted connection once the broker's certificate passed; what follows a change of
// connection number belongs to a connection the session has since closed or that the next take() ends.
void CMqttClient::Worker::deliver(const CNetConnection::Happened& happened) {
    const unsigned number = connection_.number();
    const auto same = [&] { return connection_.number() == number; };
    if (happened.connected && tls_)
        connection_.startTls();
    else if (happened.connected)
        apply(session_.tcpConnected(clockNow()));
    if (same() && happened.tlsOpened)
        apply(session_.tcpConnected(clockNow()));
    if (same() && !happened.received.empty())
        apply(session_.received(happened.received, clockNow()));
    if (same() && happened.ended)
        apply(session_.connectionEnded(clockNow(), happened.tls));
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
