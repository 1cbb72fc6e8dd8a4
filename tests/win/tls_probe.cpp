// tls-probe: drives a CTlsChannel from one non-blocking socket as the program's network workers do, with a deadline
// on every step, against a test server; prints what happened.
//
//   tls-probe HOST PORT [--starttls] [--deadline MS]
//
// Connects; with --starttls first reads the server's plain line, sends "STARTTLS" and reads the go-ahead line (a
// byte after it is refused); handshakes; reads the server's greeting line; sends a line of kLineBytes digits and
// reads its echo; waits for the server's close; sends its own close and waits for the end of the stream. One line per
// step, the last "outcome WORD [CODE]". Exit code: 0 all went well, 10 + the TlsFailure's number, 30 a step's deadline
// passed, 31 no connection, 32 the server broke the dialogue, 2 usage.

#include "net/win/tls_channel.h"
#include "net/win/unique_socket.h"
#include "win/text.h"
#include "win/unique_handle.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace {

constexpr int kUsage = 2;
constexpr int kFailureBase = 10;
constexpr int kTimeout = 30;
constexpr int kNoConnection = 31;
constexpr int kDialogue = 32;
// As the network workers' connection reads: records larger than this arrive in pieces.
constexpr int kReceiveChunk = 4096;
// More than two records' worth each way.
constexpr std::size_t kLineBytes = 40000;

void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

struct AddressListDeleter {
    void operator()(ADDRINFOW* list) const { FreeAddrInfoW(list); }
};

// One non-blocking socket whose network events set one event; every wait ends at a deadline.
class Link {
public:
    enum class Wait { Bytes, End, Deadline };

    bool connect(const std::wstring& host, const std::wstring& port, ULONGLONG deadline);
    void write(const std::string& bytes) {
        unsent_ += bytes;
        flush();
    }
    void shutdownSend() {
        shutdownPending_ = true;
        flush();
    }
    // One received piece of at most kReceiveChunk bytes, the end of the stream, or the deadline.
    Wait wait(ULONGLONG deadline, std::string& bytes);

private:
    bool waitEvents(ULONGLONG deadline, WSANETWORKEVENTS& events);
    void flush();

    UniqueSocket socket_;
    KernelHandle event_{WSACreateEvent()};
    std::string unsent_;
    bool readable_ = false; // FD_READ or FD_CLOSE came and recv has not yet said WSAEWOULDBLOCK
    bool ended_ = false;
    bool shutdownPending_ = false;
};

bool Link::waitEvents(ULONGLONG deadline, WSANETWORKEVENTS& events) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline)
        return false;
    if (WaitForSingleObject(event_.get(), static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 0x7FFFFFFF))) !=
        WAIT_OBJECT_0)
        return false;
    events = {};
    return WSAEnumNetworkEvents(socket_.get(), event_.get(), &events) == 0;
}

bool Link::connect(const std::wstring& host, const std::wstring& port, ULONGLONG deadline) {
    ADDRINFOW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    ADDRINFOW* found = nullptr;
    if (!event_ || GetAddrInfoW(host.c_str(), port.c_str(), &hints, &found) != 0)
        return false;
    const std::unique_ptr<ADDRINFOW, AddressListDeleter> list(found);
    for (const ADDRINFOW* address = found; address; address = address->ai_next) {
        UniqueSocket candidate(socket(address->ai_family, address->ai_socktype, address->ai_protocol));
        if (!candidate ||
            WSAEventSelect(candidate.get(), event_.get(), FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE) != 0)
            continue;
        socket_ = std::move(candidate);
        if (::connect(socket_.get(), address->ai_addr, static_cast<int>(address->ai_addrlen)) == 0)
            return true;
        const bool pending = WSAGetLastError() == WSAEWOULDBLOCK;
        WSANETWORKEVENTS events{};
        while (pending && waitEvents(deadline, events))
            if (events.lNetworkEvents & FD_CONNECT) {
                if (events.iErrorCode[FD_CONNECT_BIT] != 0)
                    break;
                // The server may speak first: its bytes can be told in the same call as the connection.
                readable_ = (events.lNetworkEvents & (FD_READ | FD_CLOSE)) != 0;
                return true;
            }
        socket_.reset(); // refused or out of time: the next address
    }
    return false;
}

Link::Wait Link::wait(ULONGLONG deadline, std::string& bytes) {
    for (;;) {
        if (ended_)
            return Wait::End;
        if (readable_) {
            char buffer[kReceiveChunk];
            const int received = recv(socket_.get(), buffer, sizeof buffer, 0);
            if (received > 0) {
                bytes.assign(buffer, static_cast<std::size_t>(received));
                return Wait::Bytes;
            }
            if (received == 0 || WSAGetLastError() != WSAEWOULDBLOCK) {
                ended_ = true;
                return Wait::End;
            }
            readable_ = false;
        }
        WSANETWORKEVENTS events{};
        if (!waitEvents(deadline, events)) {
            if (GetTickCount64() >= deadline)
                return Wait::Deadline;
            ended_ = true; // the socket itself failed
            return Wait::End;
        }
        if (events.lNetworkEvents & FD_WRITE)
            flush();
        if (events.lNetworkEvents & (FD_READ | FD_CLOSE))
            readable_ = true;
    }
}

void Link::flush() {
    while (!unsent_.empty()) {
        const int sent =
            send(socket_.get(), unsent_.data(), static_cast<int>(std::min<std::size_t>(unsent_.size(), 65536)), 0);
        if (sent == SOCKET_ERROR)
            return; // WSAEWOULDBLOCK: FD_WRITE comes back; anything else ends the stream, which recv then says
        unsent_.erase(0, static_cast<std::size_t>(sent));
    }
    if (shutdownPending_) {
        shutdownPending_ = false;
        shutdown(socket_.get(), SD_SEND);
    }
}

// How the dialogue ended early, thrown from where it was seen.
struct Outcome {
    int exitCode;
    std::string words;
};

class Probe {
public:
    Probe(std::string host, ULONGLONG stepMs) : host_(std::move(host)), stepMs_(stepMs) {}
    void run(const std::wstring& port, bool starttls);

private:
    void until(const std::function<bool()>& done, const char* what);
    void apply(CTlsChannel::Step step);
    std::string readLine(const char* what);

    std::string host_;
    ULONGLONG stepMs_;
    Link link_;
    CTlsChannel tls_;
    bool tlsOn_ = false;
    std::string plain_; // application bytes not yet read as lines (plain text before STARTTLS)
    bool opened_ = false;
    bool serverClosed_ = false;
    bool ended_ = false;
};

// Waits for `done`, feeding every received piece through the channel once TLS is on.
void Probe::until(const std::function<bool()>& done, const char* what) {
    const ULONGLONG deadline = GetTickCount64() + stepMs_;
    while (!done()) {
        if (ended_)
            throw Outcome{kDialogue, std::string("ended-before ") + what};
        std::string bytes;
        switch (link_.wait(deadline, bytes)) {
        case Link::Wait::Deadline:
            throw Outcome{kTimeout, std::string("timeout ") + what};
        case Link::Wait::End:
            ended_ = true;
            if (tlsOn_)
                apply(tls_.transportEnded());
            break;
        case Link::Wait::Bytes:
            if (tlsOn_)
                apply(tls_.received(bytes));
            else
                plain_ += bytes;
            break;
        }
    }
}

void Probe::apply(CTlsChannel::Step step) {
    link_.write(step.send); // also after a failure: it may be an alert for the server
    plain_ += step.received;
    opened_ = opened_ || step.opened;
    if (step.peerClosed) {
        serverClosed_ = true;
        say("server-close close_notify");
    }
    if (!step.error)
        return;
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(step.error.code));
    throw Outcome{kFailureBase + static_cast<int>(step.error.failure),
                  std::string("tls ") + tlsFailureToken(step.error.failure) + " " + code};
}

std::string Probe::readLine(const char* what) {
    std::size_t end = 0;
    until([&] { return (end = plain_.find('\n')) != std::string::npos; }, what);
    std::string line = plain_.substr(0, end);
    plain_.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

void Probe::run(const std::wstring& port, bool starttls) {
    if (!link_.connect(widen(host_), port, GetTickCount64() + stepMs_))
        throw Outcome{kNoConnection, "no-connection"};
    say("connected");
    if (starttls) {
        say("plain " + readLine("plain-greeting"));
        link_.write("STARTTLS\r\n");
        say("go-ahead " + readLine("go-ahead"));
        // Whatever came after the go-ahead was sent before the encryption: anyone on the way may have put it there.
        if (!plain_.empty())
            throw Outcome{kDialogue, "plain-bytes-after-go-ahead"};
    }
    tlsOn_ = true;
    apply(tls_.start(host_));
    until([&] { return opened_; }, "handshake");
    say("handshake " + tls_.protocol());
    say("greeting " + readLine("greeting"));

    std::string sent(kLineBytes, '0');
    for (std::size_t i = 0; i < kLineBytes; ++i)
        sent[i] = static_cast<char>('0' + i % 10);
    apply(tls_.send(sent + "\n"));
    const std::string echo = readLine("echo");
    if (echo != sent)
        throw Outcome{kDialogue, "echo-differs " + std::to_string(echo.size())};
    say("echo " + std::to_string(echo.size()));

    until([&] { return serverClosed_; }, "server-close");
    CTlsChannel::Step close = tls_.close();
    say(close.send.empty() ? "close-notify none" : "close-notify sent");
    apply(std::move(close));
    link_.shutdownSend();
    until([&] { return ended_; }, "end");
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: tls-probe HOST PORT [--starttls] [--deadline MS]\n");
        return kUsage;
    }
    bool starttls = false;
    ULONGLONG stepMs = 5000;
    for (int i = 3; i < argc; ++i) {
        const std::wstring option = argv[i];
        if (option == L"--starttls")
            starttls = true;
        else if (option == L"--deadline" && i + 1 < argc)
            stepMs = std::wcstoul(argv[++i], nullptr, 10);
        else {
            std::fprintf(stderr, "tls-probe: unknown option\n");
            return kUsage;
        }
    }
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return kNoConnection;
    Outcome outcome{0, "ok"};
    try {
        Probe(narrow(argv[1]), stepMs).run(argv[2], starttls);
    } catch (const Outcome& early) {
        outcome = early;
    }
    say("outcome " + outcome.words);
    WSACleanup();
    return outcome.exitCode;
}
