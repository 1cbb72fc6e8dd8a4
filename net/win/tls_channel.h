#pragma once

#include "net/tls_failure.h"

#include <memory>
#include <string>
#include <string_view>

// The client side of a TLS connection through the system's SChannel: bytes from the socket in, application bytes
// out, and the reverse. It owns no socket, no thread and no clock, so a non-blocking socket loop (CNetConnection)
// drives it, and a plain-text dialogue can upgrade to it halfway (STARTTLS). One thread uses a channel.
//
// Driving it:
//  - start(host) after the TCP connection is up (or after the server's go-ahead to STARTTLS), then hand every
//    received byte to received() and put every step's `send` on the socket, in order, until a step says `opened`;
//  - then send() turns application bytes into records, and received() returns the server's application bytes;
//  - a step with `peerClosed` means the server's close_notify: nothing more comes, and the caller closes; close()
//    gives our close_notify to send before the socket's own end (shutdown(SD_SEND));
//  - when the socket ends (recv returns 0 or fails), transportEnded() says whether that was clean;
//  - a step with an error ends the channel: its `send` may still hold an alert, and the caller then closes.
//
// Deadlines are the caller's: the channel never waits, so the loop puts one on every step it waits for (the
// handshake from start() to `opened`, each reply, the close until the server's end), drops the channel and closes
// the socket when one passes. The server's certificate is checked in the call that finishes the handshake, against
// the Windows certificate store and the host name, always; that check may let the system fetch a certificate a
// server left out (an intermediate, or a root Windows updates on demand), each fetch bounded by
// kUrlRetrievalTimeoutMs, so that one call can take that long.
//
// A plain-text dialogue that upgrades must refuse any plain byte that came after the server's go-ahead: those bytes
// were sent before the encryption and may have been injected by whoever sits between.
//
// Every buffer is bounded: the channel holds at most one incomplete record (kTlsMaxRecordBytes) beyond what a call
// hands in, and at most kMaxHandshakeBytes during the handshake; anything larger fails the channel.
class CTlsChannel {
public:
    static constexpr unsigned long kUrlRetrievalTimeoutMs = 5000;
    static constexpr std::size_t kMaxHandshakeBytes = 128 * 1024;

    enum class State { Idle, Handshaking, Open, Closed, Failed };

    // What one call produced.
    struct Step {
        std::string send;        // bytes for the socket, before anything a later step returns
        std::string received;    // the server's application bytes, in order
        bool opened = false;     // the handshake finished and the certificate passed in this call
        bool peerClosed = false; // the server's close_notify arrived in this call
        TlsError error;          // the channel failed in this call
    };

    CTlsChannel();
    ~CTlsChannel();
    CTlsChannel(const CTlsChannel&) = delete;
    CTlsChannel& operator=(const CTlsChannel&) = delete;

    // Begins the handshake for `host` (UTF-8): a name is sent as the server name (SNI) and must be one the
    // certificate names; an IPv4 or IPv6 literal is not sent and must be one of the certificate's IP addresses.
    // Only in State::Idle.
    Step start(std::string_view host);
    // Bytes the socket received, in order and in any pieces.
    Step received(std::string_view bytes);
    // Application bytes, as records of at most the size the connection allows. Only in State::Open; otherwise it
    // returns an empty step and the caller has lost nothing it did not know of (state() says why).
    Step send(std::string_view application);
    // Our close_notify (also in answer to the server's), empty where the system's provider cannot make one. The
    // channel is closed after it; bytes received later are dropped.
    Step close();
    // The socket reached its end: clean after the server's close_notify (or our close), ConnectionLost otherwise.
    Step transportEnded();

    State state() const;
    // "TLS 1.2" and the like once open; empty before.
    std::string protocol() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
