#include "mail/win/mail_sender.h"

#include "net/win/net_connection.h"
#include "win/clock.h"
#include "win/text.h"
#include "win/worker_thread.h"

#include <mutex>

namespace {

// This computer's DNS name for EHLO; the session falls back to the connection's address when it is none.
std::string dnsComputerName() {
    wchar_t name[256] = {};
    DWORD size = 256;
    return GetComputerNameExW(ComputerNameDnsFullyQualified, name, &size) ? narrow(std::wstring(name, size))
                                                                          : std::string();
}

} // namespace

struct CMailSender::Shared {
    std::mutex mutex;
    KernelHandle stopEvent; // manual-reset: cancel() asks the worker to end
    HWND owner = nullptr;   // null once nobody listens
    // Set before the thread starts and read by it only.
    MailSettings settings;
    MailDelivery delivery;
    SmtpTimeouts timeouts;
    // The worker's result, under the mutex.
    bool done = false;
    SmtpOutcome outcome;
};

// The worker thread's side: one session's plans carried out on one connection.
class CMailSender::Worker {
public:
    explicit Worker(std::shared_ptr<Shared> shared)
        : shared_(std::move(shared)),
          session_(shared_->settings, shared_->delivery.message, dnsComputerName(), shared_->timeouts) {}
    void run();

private:
    void carryOut(const SmtpPlan& plan);
    void apply(const SmtpPlan& plan);
    void report();
    void deliver(const CNetConnection::Happened& happened);

    std::shared_ptr<Shared> shared_;
    SmtpSession session_;
    CNetConnection connection_;
    std::int64_t nextTickMs_ = 0;
    std::optional<SmtpOutcome> outcome_;
    bool finished_ = false;
};

CMailSender::~CMailSender() {
    cancel();
}

bool CMailSender::send(HWND owner, const MailSettings& settings, const MailDelivery& delivery,
                       const SmtpTimeouts& timeouts) {
    if (shared_)
        return false;
    auto shared = std::make_shared<Shared>();
    shared->stopEvent.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!shared->stopEvent)
        return false;
    shared->owner = owner;
    shared->settings = settings;
    shared->delivery = delivery;
    shared->timeouts = timeouts;
    thread_.reset(startWorkerThread<Worker>(shared));
    if (!thread_)
        return false;
    shared_ = std::move(shared);
    return true;
}

std::optional<std::pair<std::uint64_t, SmtpOutcome>> CMailSender::takeOutcome() {
    if (!shared_)
        return std::nullopt;
    std::pair<std::uint64_t, SmtpOutcome> result;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        if (!shared_->done)
            return std::nullopt;
        result = {shared_->delivery.id, std::move(shared_->outcome)};
    }
    // The worker posted its last message: it only returns now.
    WaitForSingleObject(thread_.get(), kStopWaitMs);
    thread_.reset();
    shared_.reset();
    return result;
}

void CMailSender::cancel() {
    if (!shared_)
        return;
    SetEvent(shared_->stopEvent.get());
    WaitForSingleObject(thread_.get(), kStopWaitMs);
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->owner = nullptr;
    }
    thread_.reset();
    shared_.reset();
}

SmtpOutcome CMailSender::failedToStart(const MailDelivery& delivery) {
    SmtpOutcome outcome;
    outcome.retry = {delivery.message.recipients, "brak zasobów systemu do wysłania wiadomości"};
    return outcome;
}

void CMailSender::Worker::run() {
    carryOut(session_.start(monotonicMs()));
    while (!finished_) {
        if (connection_.wait(shared_->stopEvent.get(), nextTickMs_) == WAIT_OBJECT_0)
            return; // cancelled: nobody waits for the outcome
        connection_.onEvents();
        report();
        if (!finished_ && monotonicMs() >= nextTickMs_)
            carryOut(session_.tick(monotonicMs()));
    }
    connection_.close();
    HWND owner = nullptr;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->done = true;
        // Every session ends with one outcome; a worker without one still answers, so nothing waits forever.
        shared_->outcome = outcome_ ? *outcome_ : failedToStart(shared_->delivery);
        owner = shared_->owner;
    }
    if (owner)
        PostMessageW(owner, WM_MAIL_SENT, 0, 0);
}

// What the connection does while a plan is carried out goes back to the session only after the plan, so plans
// never nest.
void CMailSender::Worker::carryOut(const SmtpPlan& plan) {
    apply(plan);
    report();
}

void CMailSender::Worker::report() {
    for (CNetConnection::Happened happened = connection_.take(); !happened.empty(); happened = connection_.take())
        deliver(happened);
}

void CMailSender::Worker::apply(const SmtpPlan& plan) {
    nextTickMs_ = plan.nextTickMs;
    if (plan.close)
        connection_.close();
    connection_.send(plan.send);
    if (plan.startTls)
        connection_.startTls();
    if (plan.open)
        connection_.open(plan.host, plan.port);
    if (plan.outcome)
        outcome_ = plan.outcome;
    if (plan.finished)
        finished_ = true;
}

// What follows a change of connection number belongs to a connection the session has since closed, or that the
// next take() ends.
void CMailSender::Worker::deliver(const CNetConnection::Happened& happened) {
    const unsigned number = connection_.number();
    const auto same = [&] { return connection_.number() == number; };
    if (happened.connected)
        apply(session_.tcpConnected(monotonicMs(), connection_.localAddress()));
    if (same() && happened.tlsOpened)
        apply(session_.tlsEstablished(monotonicMs()));
    if (same() && !happened.received.empty())
        apply(session_.received(happened.received, monotonicMs()));
    if (same() && happened.ended) {
        if (happened.tls != TlsFailure::None)
            apply(session_.tlsFailed(tlsFailureText(happened.tls), monotonicMs()));
        apply(session_.connectionEnded(monotonicMs()));
    }
}
