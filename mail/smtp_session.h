#pragma once

#include "mail/mail_settings.h"
#include "mail/smtp_reply.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One message as the session delivers it: the envelope and the bytes.
struct SmtpMessage {
    std::string from;                    // MAIL FROM
    std::vector<std::string> recipients; // RCPT TO, each once
    std::string data;                    // the RFC 5322 message, CR LF lines; the session dot-stuffs it
};

// The longest each step may take before the session gives up on the server. The defaults are RFC 5321's minimums
// (4.5.3.2) where it names one; the dialog's test message may pass shorter ones, since a person waits for it.
struct SmtpTimeouts {
    std::int64_t connectMs = 30000;    // name resolution and TCP together
    std::int64_t tlsMs = 60000;        // the TLS handshake
    std::int64_t greetingMs = 300000;  // the 220 greeting
    std::int64_t commandMs = 300000;   // EHLO, STARTTLS, AUTH, MAIL, RCPT
    std::int64_t dataMs = 120000;      // DATA's 354
    std::int64_t endOfDataMs = 600000; // the reply to the final "."
    std::int64_t quitMs = 10000;       // QUIT's reply, once the outcome is known
};

// What the server's EHLO reply offers.
struct SmtpCapabilities {
    bool startTls = false;
    bool authPlain = false;
    bool authLogin = false;
    std::optional<std::uint64_t> maxSize; // SIZE; 0 means no fixed limit
};

// Recipients the message did not reach, and why (UTF-8, for the status line and the event file).
struct SmtpFailure {
    std::vector<std::string> recipients;
    std::string reason;
};

// How the delivery ended, for each recipient: the message went to `delivered`; `retry` should be tried again later
// (a network failure, a timeout, a 4xx reply); `givenUp` never will be (a 5xx reply, or settings that cannot work).
struct SmtpOutcome {
    std::vector<std::string> delivered;
    SmtpFailure retry;
    std::vector<SmtpFailure> givenUp;
    std::string reply; // the server's last reply, for the dialog's test message; empty when there was none

    bool complete() const { return retry.recipients.empty() && givenUp.empty(); }
};

// What the worker does after an input, in this order: close the connection at once (`close`, unsent bytes
// dropped); write `send` (through TLS once it is established); begin the TLS handshake (`startTls`), which ends in
// tlsEstablished() or tlsFailed(); open a connection to host:port, which ends in tcpConnected() or
// connectionEnded(). It takes `outcome` when there is one (once per session), calls tick() at `nextTickMs` at the
// latest, and after `finished` drops the session.
struct SmtpPlan {
    bool close = false;
    std::string send;
    bool startTls = false;
    bool open = false;
    std::string host;
    int port = 0;
    std::int64_t nextTickMs = 0; // monotonic
    std::optional<SmtpOutcome> outcome;
    bool finished = false;
};

// The dialogue of sending one message (RFC 5321, STARTTLS as RFC 3207, AUTH PLAIN and LOGIN as RFC 4954), which
// owns no socket: events in, with the monotonic time; what to do with the connection out. Every step has a
// deadline, so a server that accepts TCP and never answers, or answers byte by byte, costs a timeout. A login is
// never sent without encryption: security NONE with a user set ends at once without connecting.
class SmtpSession {
public:
    // Longer commands must not carry AUTH's initial response (RFC 4954 4, RFC 5321 4.5.3.1.4).
    static constexpr std::size_t kMaxCommandLength = 512; // with its CR LF
    // The server's words are cut to this for the status line.
    static constexpr std::size_t kMaxReasonLength = 200;

    // `computerName`: this computer's DNS name, for EHLO (see smtpClientName).
    SmtpSession(const MailSettings& settings, SmtpMessage message, std::string computerName,
                const SmtpTimeouts& timeouts = {});

    SmtpPlan start(std::int64_t nowMs);
    // `localAddress`: the connection's own address as text, for EHLO when the computer's name is no DNS name.
    SmtpPlan tcpConnected(std::int64_t nowMs, const std::string& localAddress = "");
    SmtpPlan tlsEstablished(std::int64_t nowMs);
    // `reason`: the TLS layer's words (UTF-8), said after the session's own.
    SmtpPlan tlsFailed(const std::string& reason, std::int64_t nowMs);
    // Bytes from the server, decrypted once TLS is established.
    SmtpPlan received(std::string_view bytes, std::int64_t nowMs);
    // The connection could not be opened, was closed by the server or failed.
    SmtpPlan connectionEnded(std::int64_t nowMs);
    SmtpPlan tick(std::int64_t nowMs);

private:
    enum class Step {
        Idle,
        Connecting,
        Handshake,
        Greeting,
        Ehlo,
        Helo,
        StartTls,
        AuthPlainChallenge, // AUTH PLAIN without its response: waiting for the empty challenge
        AuthLoginUser,
        AuthLoginPassword,
        Auth,
        MailFrom,
        RcptTo,
        Data,
        EndOfData,
        Quit,
        Done,
    };

    void begin();
    SmtpPlan finish(std::int64_t nowMs);
    void command(const std::string& text, Step step, std::int64_t timeoutMs, std::int64_t nowMs);
    void handle(const SmtpReply& reply, std::int64_t nowMs);
    void takeCapabilities(const SmtpReply& reply);
    void proceed(std::int64_t nowMs);
    void authenticate(std::int64_t nowMs);
    void mailFrom(std::int64_t nowMs);
    void askRecipient(std::int64_t nowMs);
    void recipientAnswered(const SmtpReply& reply, std::int64_t nowMs);
    void broken(std::int64_t nowMs);
    void fail(bool permanent, const std::string& reason, bool quit, std::int64_t nowMs);
    void conclude(bool quit, std::int64_t nowMs);
    void end();
    std::string plainResponse() const;
    std::vector<std::string> undecided() const;
    std::string endpoint() const;

    MailSettings settings_;
    SmtpMessage message_;
    std::string dataBytes_; // the message as DATA sends it, which SIZE announces
    std::string computerName_;
    SmtpTimeouts timeouts_;
    SmtpPlan plan_;
    Step step_ = Step::Idle;
    std::int64_t deadlineMs_ = 0;
    SmtpReplyReader reader_;
    SmtpCapabilities capabilities_;
    bool encrypted_ = false;
    std::string localAddress_;
    std::size_t nextRecipient_ = 0; // the recipient RCPT asks for now, or will ask for next
    std::vector<std::string> accepted_;
    SmtpOutcome outcome_;
    bool concluded_ = false; // the outcome went out
};

// The EHLO argument (RFC 5321 4.1.4): the computer's DNS name when it is one, in lower case; otherwise the
// connection's local address as an address literal ("[192.0.2.1]", "[IPv6:2001:db8::1]"); "localhost" when neither.
std::string smtpClientName(const std::string& computerName, const std::string& localAddress);

// The DATA bytes of a message: every line ended by CR LF (a lone CR or LF too, so no line end the server reads
// differently can slip through), a line that starts with "." given another (RFC 5321 4.5.2), then ".\r\n".
std::string smtpDataBytes(std::string_view message);

// A server's reply as the status line and the event file say it: "550 5.1.1 User unknown"; characters that are
// not printable (controls, bytes that are not UTF-8) made '?', cut to SmtpSession::kMaxReasonLength bytes.
std::string smtpReplyText(const SmtpReply& reply);
