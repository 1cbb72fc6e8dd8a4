#include "mail/smtp_session.h"

#include "base/ascii_text.h"
#include "base/base64.h"
#include "base/cp1250.h"

#include <algorithm>
#include <utility>

namespace {

constexpr const char* kCrLf = "\r\n";

enum ReplyClass { Positive = 2, Intermediate = 3, Transient = 4, Permanent = 5 };

int replyClass(const SmtpReply& reply) {
    return reply.code / 100;
}

// RFC 5321 4.5.3.1.10: a server that has too many recipients says 552 to RCPT, which the client is to take as a
// temporary refusal and try the rest later.
constexpr int kTooManyRecipients = 552;

std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t start = text.find_first_not_of(" \t", i);
        if (start == std::string_view::npos)
            break;
        const std::size_t end = std::min(text.find_first_of(" \t", start), text.size());
        out.emplace_back(text.substr(start, end - start));
        i = end;
    }
    return out;
}

bool isDnsName(const std::string& name) {
    return !name.empty() && name.size() <= kMaxMailServerLength && isValidMailAddress("x@" + name);
}

} // namespace

std::string smtpClientName(const std::string& computerName, const std::string& localAddress) {
    if (isDnsName(computerName)) {
        std::string name = computerName;
        std::transform(name.begin(), name.end(), name.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
        return name;
    }
    if (!localAddress.empty())
        return localAddress.find(':') != std::string::npos ? "[IPv6:" + localAddress + "]" : "[" + localAddress + "]";
    return "localhost";
}

std::string smtpDataBytes(std::string_view message) {
    std::string out;
    out.reserve(message.size() + message.size() / 64 + 8);
    bool lineStart = true;
    for (std::size_t i = 0; i < message.size(); ++i) {
        const char c = message[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < message.size() && message[i + 1] == '\n')
                ++i;
            out += kCrLf;
            lineStart = true;
            continue;
        }
        if (lineStart && c == '.')
            out.push_back('.');
        out.push_back(c);
        lineStart = false;
    }
    if (!lineStart)
        out += kCrLf;
    return out + "." + kCrLf;
}

std::string smtpReplyText(const SmtpReply& reply) {
    const std::string text = reply.text();
    std::string out;
    for (std::size_t i = 0; i < text.size() && out.size() < SmtpSession::kMaxReasonLength;) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x80) {
            // A whole character is kept; a server may answer in UTF-8 (RFC 6531).
            const std::size_t length = utf8CharacterLength(text, i);
            if (length > 0 && out.size() + length > SmtpSession::kMaxReasonLength)
                break; // a whole character that no longer fits
            if (length > 0) {
                out.append(text, i, length);
                i += length;
                continue;
            }
        }
        out.push_back(byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '?');
        ++i;
    }
    return out;
}

SmtpSession::SmtpSession(const MailSettings& settings, SmtpMessage message, std::string computerName,
                         const SmtpTimeouts& timeouts)
    : settings_(settings), message_(std::move(message)), dataBytes_(smtpDataBytes(message_.data)),
      computerName_(std::move(computerName)), timeouts_(timeouts) {
    boundMailSettings(settings_);
}

SmtpPlan SmtpSession::start(std::int64_t nowMs) {
    begin();
    if (step_ != Step::Idle)
        return finish(nowMs);
    // Checked before any byte goes out: a user name and password would travel in the clear.
    if (settings_.security == MailSecurity::None && !settings_.user.empty()) {
        fail(true, "logowanie bez szyfrowania jest wyłączone", false, nowMs);
        return finish(nowMs);
    }
    if (message_.recipients.empty()) {
        conclude(false, nowMs);
        return finish(nowMs);
    }
    step_ = Step::Connecting;
    deadlineMs_ = nowMs + timeouts_.connectMs;
    plan_.open = true;
    plan_.host = settings_.server;
    plan_.port = settings_.port;
    return finish(nowMs);
}

SmtpPlan SmtpSession::tcpConnected(std::int64_t nowMs, const std::string& localAddress) {
    begin();
    if (step_ != Step::Connecting)
        return finish(nowMs);
    localAddress_ = localAddress;
    if (settings_.security == MailSecurity::Tls) {
        step_ = Step::Handshake;
        deadlineMs_ = nowMs + timeouts_.tlsMs;
        plan_.startTls = true;
    } else {
        step_ = Step::Greeting;
        deadlineMs_ = nowMs + timeouts_.greetingMs;
    }
    return finish(nowMs);
}

// RFC 3207 4.2: after the handshake the client knows nothing of the server and asks again; with TLS from the
// first byte the server greets first.
SmtpPlan SmtpSession::tlsEstablished(std::int64_t nowMs) {
    begin();
    if (step_ != Step::Handshake)
        return finish(nowMs);
    encrypted_ = true;
    reader_.reset();
    capabilities_ = SmtpCapabilities{};
    if (settings_.security == MailSecurity::Tls) {
        step_ = Step::Greeting;
        deadlineMs_ = nowMs + timeouts_.greetingMs;
    } else {
        command("EHLO " + smtpClientName(computerName_, localAddress_), Step::Ehlo, timeouts_.commandMs, nowMs);
    }
    return finish(nowMs);
}

SmtpPlan SmtpSession::tlsFailed(const std::string& reason, std::int64_t nowMs) {
    begin();
    if (step_ == Step::Handshake) {
        std::string text = "nie można nawiązać połączenia szyfrowanego z serwerem " + endpoint();
        if (!reason.empty())
            text += ": " + reason;
        fail(false, text, false, nowMs);
    }
    return finish(nowMs);
}

// One reply answers one command, so a reply that arrives with the one that made the session send its next command
// (or start TLS) cannot be an answer to that command: such a server is not followed further. After STARTTLS's 220
// this is what keeps bytes sent in the clear from passing for the encrypted server's (RFC 3207 6).
SmtpPlan SmtpSession::received(std::string_view bytes, std::int64_t nowMs) {
    begin();
    const auto awaiting = [this] { return step_ >= Step::Greeting && step_ <= Step::Quit; };
    if (!awaiting())
        return finish(nowMs);
    std::vector<SmtpReply> replies;
    const bool intact = reader_.feed(bytes, replies);
    for (std::size_t i = 0; i < replies.size() && awaiting(); ++i) {
        const std::size_t sent = plan_.send.size();
        handle(replies[i], nowMs);
        const bool moved = plan_.send.size() != sent || plan_.startTls;
        if (moved && step_ != Step::Quit && (i + 1 < replies.size() || reader_.midReply() || !intact)) {
            broken(nowMs);
            return finish(nowMs);
        }
    }
    if (!intact && awaiting())
        broken(nowMs);
    return finish(nowMs);
}

SmtpPlan SmtpSession::connectionEnded(std::int64_t nowMs) {
    begin();
    if (step_ == Step::Quit) {
        end();
    } else if (step_ != Step::Idle && step_ != Step::Done) {
        // After the final "." too: the server may have taken the message, but a copy twice is better than none.
        fail(false, "brak połączenia z serwerem " + endpoint(), false, nowMs);
    }
    return finish(nowMs);
}

SmtpPlan SmtpSession::tick(std::int64_t nowMs) {
    begin();
    if (step_ == Step::Idle || step_ == Step::Done || nowMs < deadlineMs_)
        return finish(nowMs);
    switch (step_) {
    case Step::Quit:
        end();
        break;
    case Step::Connecting:
        fail(false, "brak połączenia z serwerem " + endpoint(), false, nowMs);
        break;
    case Step::Handshake:
        fail(false, "nie można nawiązać połączenia szyfrowanego z serwerem " + endpoint() + ": brak odpowiedzi", false,
             nowMs);
        break;
    default:
        fail(false, "serwer " + endpoint() + " nie odpowiada", false, nowMs);
        break;
    }
    return finish(nowMs);
}

void SmtpSession::begin() {
    plan_ = SmtpPlan{};
}

SmtpPlan SmtpSession::finish(std::int64_t nowMs) {
    plan_.nextTickMs = step_ == Step::Idle || step_ == Step::Done ? nowMs : std::max(deadlineMs_, nowMs);
    return plan_;
}

void SmtpSession::command(const std::string& text, Step step, std::int64_t timeoutMs, std::int64_t nowMs) {
    plan_.send += text + kCrLf;
    step_ = step;
    deadlineMs_ = nowMs + timeoutMs;
}

void SmtpSession::handle(const SmtpReply& reply, std::int64_t nowMs) {
    if (step_ == Step::Quit)
        return end();
    if (step_ == Step::RcptTo)
        return recipientAnswered(reply, nowMs);
    const int kind = replyClass(reply);
    if (kind == Transient || kind == Permanent) {
        // A server that does not know EHLO (RFC 5321 3.2) still serves HELO, which is all a plain session needs.
        if (step_ == Step::Ehlo && kind == Permanent && settings_.security == MailSecurity::None)
            return command("HELO " + smtpClientName(computerName_, localAddress_), Step::Helo, timeouts_.commandMs,
                           nowMs);
        // The server is there and polite: the session says goodbye.
        outcome_.reply = smtpReplyText(reply);
        return fail(kind == Permanent, outcome_.reply, true, nowMs);
    }
    const bool challenge =
        step_ == Step::AuthPlainChallenge || step_ == Step::AuthLoginUser || step_ == Step::AuthLoginPassword;
    if (kind != (challenge || step_ == Step::Data ? Intermediate : Positive))
        return broken(nowMs);
    switch (step_) {
    case Step::Greeting:
        command("EHLO " + smtpClientName(computerName_, localAddress_), Step::Ehlo, timeouts_.commandMs, nowMs);
        break;
    case Step::Ehlo:
        takeCapabilities(reply);
        proceed(nowMs);
        break;
    case Step::Helo:
        proceed(nowMs);
        break;
    case Step::StartTls:
        step_ = Step::Handshake;
        deadlineMs_ = nowMs + timeouts_.tlsMs;
        plan_.startTls = true;
        break;
    case Step::AuthPlainChallenge:
        command(plainResponse(), Step::Auth, timeouts_.commandMs, nowMs);
        break;
    case Step::AuthLoginUser:
        command(base64(settings_.user), Step::AuthLoginPassword, timeouts_.commandMs, nowMs);
        break;
    case Step::AuthLoginPassword:
        command(base64(settings_.password), Step::Auth, timeouts_.commandMs, nowMs);
        break;
    case Step::Auth:
        mailFrom(nowMs);
        break;
    case Step::MailFrom:
        nextRecipient_ = 0;
        askRecipient(nowMs);
        break;
    case Step::Data:
        plan_.send += dataBytes_;
        step_ = Step::EndOfData;
        deadlineMs_ = nowMs + timeouts_.endOfDataMs;
        break;
    case Step::EndOfData:
        outcome_.delivered = std::exchange(accepted_, {});
        outcome_.reply = smtpReplyText(reply);
        conclude(true, nowMs);
        break;
    default:
        break;
    }
}

// The first line names the server; each further line is a keyword and its parameters (RFC 5321 4.1.1.1). Early
// servers wrote "AUTH=LOGIN PLAIN", which is read as AUTH too.
void SmtpSession::takeCapabilities(const SmtpReply& reply) {
    capabilities_ = SmtpCapabilities{};
    for (std::size_t i = 1; i < reply.lines.size(); ++i) {
        std::vector<std::string> parameters = words(asciiUpper(reply.lines[i]));
        if (parameters.empty())
            continue;
        std::string keyword = parameters.front();
        if (keyword.compare(0, 5, "AUTH=") == 0) {
            parameters.front() = keyword.substr(5);
            keyword = "AUTH";
        } else {
            parameters.erase(parameters.begin());
        }
        if (keyword == "STARTTLS") {
            capabilities_.startTls = true;
        } else if (keyword == "AUTH") {
            for (const std::string& mechanism : parameters) {
                capabilities_.authPlain = capabilities_.authPlain || mechanism == "PLAIN";
                capabilities_.authLogin = capabilities_.authLogin || mechanism == "LOGIN";
            }
        } else if (keyword == "SIZE") {
            std::uint64_t size = 0;
            const std::string digits = parameters.empty() ? "0" : parameters.front();
            bool number = !digits.empty() && digits.size() <= 18;
            for (const char c : digits) {
                number = number && c >= '0' && c <= '9';
                size = size * 10 + static_cast<std::uint64_t>(c - '0');
            }
            if (number)
                capabilities_.maxSize = size;
        }
    }
}

// After EHLO or HELO: encryption first when it is asked for, then the login, then the message.
void SmtpSession::proceed(std::int64_t nowMs) {
    if (settings_.security == MailSecurity::StartTls && !encrypted_) {
        if (!capabilities_.startTls)
            return fail(true, "serwer " + endpoint() + " nie oferuje szyfrowania STARTTLS", true, nowMs);
        return command("STARTTLS", Step::StartTls, timeouts_.commandMs, nowMs);
    }
    if (!settings_.user.empty())
        return authenticate(nowMs);
    mailFrom(nowMs);
}

// PLAIN is one step where LOGIN takes three, so it goes first when both are offered. Its response goes with the
// command unless that would make the line too long for the server to take (RFC 4954 4).
void SmtpSession::authenticate(std::int64_t nowMs) {
    if (!encrypted_) // cannot happen: the security settings ask for encryption before this
        return fail(true, "logowanie bez szyfrowania jest wyłączone", true, nowMs);
    if (capabilities_.authPlain) {
        const std::string withResponse = "AUTH PLAIN " + plainResponse();
        if (withResponse.size() + 2 <= kMaxCommandLength)
            return command(withResponse, Step::Auth, timeouts_.commandMs, nowMs);
        return command("AUTH PLAIN", Step::AuthPlainChallenge, timeouts_.commandMs, nowMs);
    }
    if (capabilities_.authLogin)
        return command("AUTH LOGIN", Step::AuthLoginUser, timeouts_.commandMs, nowMs);
    fail(true, "serwer " + endpoint() + " nie oferuje logowania PLAIN ani LOGIN", true, nowMs);
}

// The message is 7-bit (quoted-printable) with ASCII addresses, so neither BODY=8BITMIME nor SMTPUTF8 is ever
// needed; SIZE lets the server refuse it before the bytes go.
void SmtpSession::mailFrom(std::int64_t nowMs) {
    std::string text = "MAIL FROM:<" + message_.from + ">";
    if (capabilities_.maxSize) {
        const std::uint64_t size = dataBytes_.size();
        if (*capabilities_.maxSize > 0 && size > *capabilities_.maxSize)
            return fail(true, "wiadomość jest większa, niż serwer " + endpoint() + " przyjmuje", true, nowMs);
        text += " SIZE=" + std::to_string(size);
    }
    command(text, Step::MailFrom, timeouts_.commandMs, nowMs);
}

void SmtpSession::askRecipient(std::int64_t nowMs) {
    if (nextRecipient_ < message_.recipients.size())
        return command("RCPT TO:<" + message_.recipients[nextRecipient_] + ">", Step::RcptTo, timeouts_.commandMs,
                       nowMs);
    if (accepted_.empty())
        return conclude(true, nowMs);
    command("DATA", Step::Data, timeouts_.dataMs, nowMs);
}

// A recipient refused among several does not stop the others: the message goes to those the server takes, one
// refused for good is given up with the server's words, one refused for now is tried again later with the message.
void SmtpSession::recipientAnswered(const SmtpReply& reply, std::int64_t nowMs) {
    const std::string& recipient = message_.recipients[nextRecipient_];
    const int kind = replyClass(reply);
    if (kind == Positive) {
        accepted_.push_back(recipient);
    } else if (kind == Transient || reply.code == kTooManyRecipients) {
        outcome_.retry.recipients.push_back(recipient);
        outcome_.retry.reason = recipient + ": " + smtpReplyText(reply);
    } else if (kind == Permanent) {
        outcome_.givenUp.push_back({{recipient}, recipient + ": " + smtpReplyText(reply)});
    } else {
        return broken(nowMs);
    }
    ++nextRecipient_;
    askRecipient(nowMs);
}

// A server that breaks the protocol is not followed further: no QUIT, since its replies can no longer be matched
// to commands.
void SmtpSession::broken(std::int64_t nowMs) {
    if (concluded_)
        return end();
    fail(false, "serwer " + endpoint() + " odpowiada niezgodnie z protokołem SMTP", false, nowMs);
}

// Every recipient not yet decided shares the failure.
void SmtpSession::fail(bool permanent, const std::string& reason, bool quit, std::int64_t nowMs) {
    if (concluded_)
        return end();
    const std::vector<std::string> recipients = undecided();
    accepted_.clear();
    nextRecipient_ = message_.recipients.size();
    if (!recipients.empty()) {
        if (permanent) {
            outcome_.givenUp.push_back({recipients, reason});
        } else {
            outcome_.retry.recipients.insert(outcome_.retry.recipients.end(), recipients.begin(), recipients.end());
            outcome_.retry.reason = reason;
        }
    }
    conclude(quit, nowMs);
}

// The outcome is known: it goes out now, and the connection ends with QUIT (waiting briefly for its reply, RFC
// 5321 4.1.1.10) when the server is in a state to take it, or at once.
void SmtpSession::conclude(bool quit, std::int64_t nowMs) {
    concluded_ = true;
    plan_.outcome = outcome_;
    if (quit) {
        command("QUIT", Step::Quit, timeouts_.quitMs, nowMs);
        return;
    }
    end();
}

// Whatever the plan was about to write or begin goes with the connection.
void SmtpSession::end() {
    plan_.send.clear();
    plan_.startTls = false;
    plan_.close = step_ != Step::Idle;
    plan_.finished = true;
    step_ = Step::Done;
}

// RFC 4616: no authorisation identity, the user name, the password.
std::string SmtpSession::plainResponse() const {
    return base64(std::string(1, '\0') + settings_.user + '\0' + settings_.password);
}

std::vector<std::string> SmtpSession::undecided() const {
    std::vector<std::string> recipients = accepted_;
    for (std::size_t i = nextRecipient_; i < message_.recipients.size(); ++i)
        recipients.push_back(message_.recipients[i]);
    return recipients;
}

std::string SmtpSession::endpoint() const {
    const bool ipv6 = settings_.server.find(':') != std::string::npos;
    return (ipv6 ? "[" + settings_.server + "]" : settings_.server) + ":" + std::to_string(settings_.port);
}
