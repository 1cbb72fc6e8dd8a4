#include "net/win/net_connection.h"

#include "win/clock.h"
#include "win/text.h"

#include <algorithm>
#include <climits>
#include <utility>

namespace {

constexpr std::size_t kReceiveChunk = 4096;
// A wait that failed (it cannot with valid handles) is not retried in a tight loop.
constexpr DWORD kFailedWaitPauseMs = 100;

} // namespace

void CNetConnection::AddressListDeleter::operator()(ADDRINFOW* list) const {
    winsock()->freeAddrInfo(list);
}

CNetConnection::CNetConnection() : ws_(winsock()) {
    WSADATA data;
    started_ = ws_ != nullptr && ws_->startup(MAKEWORD(2, 2), &data) == 0;
    event_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

CNetConnection::~CNetConnection() {
    close();
    addresses_.reset();
    if (started_)
        ws_->cleanup();
}

// Name resolution blocks this thread, never the window's; the caller's connect timeout runs from before it.
void CNetConnection::open(const std::string& host, int port) {
    close();
    host_ = host;
    ADDRINFOW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    ADDRINFOW* list = nullptr;
    // An empty name would resolve to this computer's own addresses.
    if (!started_ || !event_ || host.empty() ||
        ws_->getAddrInfo(widen(host).c_str(), std::to_wstring(port).c_str(), &hints, &list) != 0) {
        lose();
        return;
    }
    addresses_.reset(list);
    nextAddress_ = list;
    if (!connectNext())
        lose();
}

// The name's addresses in the resolver's order: one that refuses hands over to the next.
bool CNetConnection::connectNext() {
    while (nextAddress_) {
        const ADDRINFOW* address = nextAddress_;
        nextAddress_ = address->ai_next;
        UniqueSocket candidate(ws_->socket(address->ai_family, address->ai_socktype, address->ai_protocol));
        // WSAEventSelect makes the socket non-blocking; its events set event_.
        if (!candidate ||
            ws_->eventSelect(candidate.get(), event_.get(), FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE) != 0)
            continue;
        const int result = ws_->connect(candidate.get(), address->ai_addr, static_cast<int>(address->ai_addrlen));
        if (result != 0 && ws_->lastError() != WSAEWOULDBLOCK)
            continue;
        socket_ = std::move(candidate);
        connecting_ = result != 0;
        happened_.connected = result == 0;
        return true;
    }
    return false;
}

void CNetConnection::startTls() {
    if (!socket_ || connecting_ || tls_)
        return;
    tls_ = std::make_unique<CTlsChannel>();
    takeStep(tls_->start(host_));
}

void CNetConnection::send(std::string_view bytes) {
    if (!socket_ || bytes.empty())
        return;
    if (tls_)
        unsent_ += tls_->send(bytes).send;
    else
        unsent_ += bytes;
    flush();
}

void CNetConnection::closeAfterSending() {
    if (!socket_) {
        happened_.ended = true;
        return;
    }
    if (tls_ && tls_->state() == CTlsChannel::State::Open)
        unsent_ += tls_->close().send;
    closeAfterSending_ = true;
    flush();
}

void CNetConnection::close() {
    drop();
    happened_ = Happened{};
}

DWORD CNetConnection::wait(HANDLE wake, std::int64_t untilMs) const {
    const HANDLE handles[2] = {wake, event_.get()};
    const std::int64_t waitMs = std::clamp<std::int64_t>(untilMs - monotonicMs(), 0, kMaxWaitMs);
    const DWORD woken = WaitForMultipleObjects(active() ? 2 : 1, handles, FALSE, static_cast<DWORD>(waitMs));
    if (woken == WAIT_FAILED)
        Sleep(kFailedWaitPauseMs);
    return woken;
}

void CNetConnection::onEvents() {
    if (!socket_ || WaitForSingleObject(event_.get(), 0) != WAIT_OBJECT_0)
        return;
    WSANETWORKEVENTS events{};
    if (ws_->enumNetworkEvents(socket_.get(), event_.get(), &events) != 0)
        return lose();
    const long what = events.lNetworkEvents;
    if ((what & FD_CONNECT) && connecting_) {
        if (events.iErrorCode[FD_CONNECT_BIT] != 0) {
            socket_.reset();
            connecting_ = false;
            if (!connectNext())
                lose();
            return;
        }
        connecting_ = false;
        happened_.connected = true;
    }
    const unsigned connection = number_;
    const auto current = [&] { return socket_ && !connecting_ && number_ == connection; };
    // What came before the other end closed is read first: it may be the reply that says why.
    if (current() && (what & (FD_READ | FD_CLOSE)))
        receive();
    if (current() && (what & FD_WRITE))
        flush();
    if (current() && (what & FD_CLOSE))
        lose();
}

CNetConnection::Happened CNetConnection::take() {
    return std::exchange(happened_, Happened{});
}

std::string CNetConnection::localAddress() const {
    if (!socket_)
        return {};
    sockaddr_storage address{};
    int length = sizeof address;
    if (ws_->getSockName(socket_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return {};
    wchar_t text[INET6_ADDRSTRLEN] = {};
    const void* bytes = address.ss_family == AF_INET6
                            ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in6*>(&address)->sin6_addr)
                            : static_cast<const void*>(&reinterpret_cast<const sockaddr_in*>(&address)->sin_addr);
    if (ws_->inetNtop(address.ss_family, bytes, text, INET6_ADDRSTRLEN) == nullptr)
        return {};
    return narrow(text);
}

void CNetConnection::receive() {
    const unsigned connection = number_;
    char buffer[kReceiveChunk];
    for (std::size_t total = 0; socket_ && number_ == connection && total < kMaxReceivePerWake;) {
        const int received = ws_->recv(socket_.get(), buffer, sizeof buffer, 0);
        if (received > 0) {
            total += static_cast<std::size_t>(received);
            const std::string_view bytes(buffer, static_cast<std::size_t>(received));
            if (tls_)
                takeStep(tls_->received(bytes));
            else
                happened_.received += bytes;
            continue;
        }
        const bool wouldBlock = received < 0 && ws_->lastError() == WSAEWOULDBLOCK;
        if (received == 0 && tls_)
            takeStep(tls_->transportEnded());
        if (!wouldBlock && socket_ && number_ == connection)
            lose();
        return;
    }
}

void CNetConnection::flush() {
    if (!socket_ || connecting_)
        return;
    while (!unsent_.empty()) {
        const int length = static_cast<int>(std::min<std::size_t>(unsent_.size(), INT_MAX));
        const int sent = ws_->send(socket_.get(), unsent_.data(), length, 0);
        if (sent == SOCKET_ERROR) {
            if (ws_->lastError() != WSAEWOULDBLOCK || unsent_.size() > kMaxUnsentBytes)
                lose();
            return;
        }
        unsent_.erase(0, static_cast<std::size_t>(sent));
    }
    if (std::exchange(closeAfterSending_, false))
        ws_->shutdown(socket_.get(), SD_SEND);
}

void CNetConnection::takeStep(const CTlsChannel::Step& step) {
    unsent_ += step.send;
    if (step.error) {
        flush(); // the alert that tells the server why, if the system made one
        const bool lost = tlsOpened_ && step.error.failure == TlsFailure::ConnectionLost;
        return lose(lost ? TlsFailure::None : step.error.failure);
    }
    if (step.opened) {
        tlsOpened_ = true;
        happened_.tlsOpened = true;
    }
    happened_.received += step.received;
    if (step.peerClosed)
        return lose();
    flush();
}

// The connection failed or the other end closed it: the worker hears of it with the next take().
void CNetConnection::lose(TlsFailure failure) {
    drop();
    happened_.ended = true;
    if (happened_.tls == TlsFailure::None)
        happened_.tls = failure;
}

void CNetConnection::drop() {
    ++number_;
    tls_.reset();
    tlsOpened_ = false;
    socket_.reset();
    connecting_ = false;
    closeAfterSending_ = false;
    unsent_.clear();
    if (event_)
        ResetEvent(event_.get());
}
