#pragma once

#include "net/tls_failure.h"
#include "net/win/tls_channel.h"
#include "net/win/unique_socket.h"
#include "net/win/winsock.h"
#include "win/unique_handle.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// One TCP connection of a network worker, plain or encrypted: the name resolved, its addresses tried in turn with a
// non-blocking connect, a bounded send buffer, and the TLS channel between the socket and the worker once
// startTls() was called. It owns no thread and no deadline: the worker waits with wait() until its session's next
// tick, calls onEvents() after every wait, and after every call takes what happened, in order, with take().
//
// Each open() or close(), and each failure, begins a new connection number (number()): a worker that sees the number
// change while it hands one take() to its session stops there, since the rest is of a connection it has since
// closed or replaced (or of one whose failure the next take() says), so a session never hears of a predecessor.
class CNetConnection {
public:
    // What the connection did since the last take(), in the order it happened.
    struct Happened {
        bool connected = false; // the TCP connection is up
        bool tlsOpened = false; // the handshake is done and the server's certificate passed
        std::string received;   // the server's bytes, decrypted once TLS is on
        bool ended = false;     // closed by the server, failed, or could not be made; nothing more comes
        // Why the encryption ended it. A connection that was encrypted and simply went away is no fault of the
        // encryption (servers seldom say goodbye), so its end carries none.
        TlsFailure tls = TlsFailure::None;

        bool empty() const { return !connected && !tlsOpened && received.empty() && !ended; }
    };

    // A peer that stops reading while this side has much to say makes the buffer grow; beyond this the connection
    // counts as failed.
    static constexpr std::size_t kMaxUnsentBytes = 256 * 1024;
    // What one onEvents() reads at most, so that the worker's inbox and ticks get their turn.
    static constexpr std::size_t kMaxReceivePerWake = 64 * 1024;
    // The longest wait(): a worker whose session wants nothing sooner still comes round once a minute.
    static constexpr std::int64_t kMaxWaitMs = 60000;

    CNetConnection(); // loads and starts the socket library; without it every open() ends at once
    ~CNetConnection();
    CNetConnection(const CNetConnection&) = delete;
    CNetConnection& operator=(const CNetConnection&) = delete;

    bool active() const { return static_cast<bool>(socket_); }
    unsigned number() const { return number_; }

    // Closes any connection, resolves `host` (UTF-8; this blocks the calling thread) and begins connecting to it.
    void open(const std::string& host, int port);
    // Once connected: the handshake with the host given to open(), its certificate checked against the Windows
    // store and that name, always.
    void startTls();
    // Encrypted once TLS is open; written as far as the socket takes it now, the rest when it can.
    void send(std::string_view bytes);
    // Once everything is written: TLS's close_notify, then the end of the stream; the server's bytes are still read
    // until it closes its side, so acknowledgements it sent are not thrown back at it as a reset. Without a
    // connection it has ended at once.
    void closeAfterSending();
    // At once; unsent bytes and what happened are dropped.
    void close();
    // Waits until `wake` is signalled, the connection has something for onEvents() or the monotonic clock reaches
    // `untilMs`, at most kMaxWaitMs; WAIT_OBJECT_0 when `wake` was signalled.
    DWORD wait(HANDLE wake, std::int64_t untilMs) const;
    // Carries out what event() signals, if anything.
    void onEvents();
    Happened take();

    // The connection's own address as text ("192.0.2.1", "2001:db8::1"); empty when there is none.
    std::string localAddress() const;

private:
    bool connectNext();
    void receive();
    void flush();
    void takeStep(const CTlsChannel::Step& step);
    void lose(TlsFailure failure = TlsFailure::None);
    void drop();

    const Winsock* ws_;
    bool started_ = false;
    // Manual-reset, signalled while onEvents() has something to do; null when events cannot be had.
    KernelHandle event_;
    UniqueSocket socket_;
    unsigned number_ = 0;
    bool connecting_ = false;
    struct AddressListDeleter {
        void operator()(ADDRINFOW* list) const;
    };
    std::unique_ptr<ADDRINFOW, AddressListDeleter> addresses_;
    const ADDRINFOW* nextAddress_ = nullptr;
    std::string host_;
    std::unique_ptr<CTlsChannel> tls_;
    bool tlsOpened_ = false;
    std::string unsent_;
    bool closeAfterSending_ = false;
    Happened happened_;
};
