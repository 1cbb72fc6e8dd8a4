// Arbitrary bytes from a server through the SMTP reply reader, in chunks the first byte chooses, and through a
// session that takes them as the server's side of a whole dialogue. Invariants besides memory safety: the chunks
// never change what is read, the reader never holds more than its bounds, every reply it accepts has a valid code
// and bounded lines, the server's words for the status line stay short printable UTF-8, and the session decides
// every recipient exactly once, whatever the server says.

#include "mail/smtp_reply.h"
#include "mail/smtp_session.h"
#include "mqtt/mqtt_packet.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

// A broken invariant is a finding: libFuzzer keeps the input that caused it.
#define require(condition) ((condition) ? (void)0 : (std::fprintf(stderr, "broken: %s\n", #condition), std::abort()))

constexpr std::size_t kMaxHeld = SmtpReplyReader::kMaxLines * SmtpReplyReader::kMaxLineLength;

bool same(const std::vector<SmtpReply>& a, const std::vector<SmtpReply>& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].code != b[i].code || a[i].lines != b[i].lines)
            return false;
    }
    return true;
}

void checkReply(const SmtpReply& reply) {
    require(reply.code >= 200 && reply.code <= 599);
    require(!reply.lines.empty() && reply.lines.size() <= SmtpReplyReader::kMaxLines);
    for (const std::string& line : reply.lines) {
        require(line.size() < SmtpReplyReader::kMaxLineLength);
        require(line.find('\r') == std::string::npos && line.find('\n') == std::string::npos);
    }
    const std::string words = smtpReplyText(reply);
    require(words.size() <= SmtpSession::kMaxReasonLength);
    require(isMqttUtf8(words));
    require(std::none_of(words.begin(), words.end(), [](char c) { return c >= 0 && c < 0x20; }));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::size_t chunk = data[0] % 16 + 1;
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);

    SmtpReplyReader whole;
    std::vector<SmtpReply> all;
    const bool intact = whole.feed(input, all);
    require(whole.held() <= kMaxHeld);

    SmtpReplyReader pieces;
    std::vector<SmtpReply> chunked;
    bool chunksIntact = true;
    for (std::size_t at = 0; at < input.size() && chunksIntact; at += chunk) {
        chunksIntact = pieces.feed(input.substr(at, chunk), chunked);
        require(pieces.held() <= kMaxHeld);
    }
    require(chunksIntact == intact && pieces.error() == whole.error());
    require(same(all, chunked));
    for (const SmtpReply& reply : all)
        checkReply(reply);

    // The same bytes as the server's side of a dialogue, with STARTTLS and a login when it offers them.
    MailSettings settings;
    settings.server = "smtp.firma.pl";
    settings.security = data[0] & 0x80 ? MailSecurity::StartTls : MailSecurity::None;
    settings.user = settings.security == MailSecurity::None ? "" : "alarm";
    const std::vector<std::string> recipients = {"a@firma.pl", "b@firma.pl", "c@firma.pl"};
    SmtpSession session(settings, {"hx350@firma.pl", recipients, "Subject: x\r\n\r\n.\r\n"}, "pc01");
    std::int64_t now = 0;
    int outcomes = 0;
    bool finished = false;
    std::vector<std::string> decided;
    const auto take = [&](const SmtpPlan& plan) {
        require(!finished);
        require(plan.send.size() <= 4096);
        require(plan.nextTickMs >= now);
        finished = plan.finished;
        if (!plan.outcome)
            return;
        ++outcomes;
        decided = plan.outcome->delivered;
        decided.insert(decided.end(), plan.outcome->retry.recipients.begin(), plan.outcome->retry.recipients.end());
        for (const SmtpFailure& failure : plan.outcome->givenUp)
            decided.insert(decided.end(), failure.recipients.begin(), failure.recipients.end());
    };
    take(session.start(now));
    take(session.tcpConnected(++now, "192.0.2.7"));
    for (std::size_t at = 0; at < input.size() && !finished; at += chunk) {
        const SmtpPlan plan = session.received(input.substr(at, chunk), ++now);
        take(plan);
        if (plan.startTls && !finished)
            take(session.tlsEstablished(++now));
    }
    // However the bytes end, the deadlines end the session.
    for (int i = 0; i < 3 && !finished; ++i) {
        now += 3600000;
        take(session.tick(now));
    }
    require(finished && outcomes == 1);
    std::sort(decided.begin(), decided.end());
    require(decided == recipients);
    return 0;
}
