#include "base/cp1250.h"
#include "base/base64.h"
#include "mail/mail_fields.h"
#include "mail/mail_message.h"
#include "mail/mail_schedule.h"
#include "mail/mail_settings.h"
#include "mail/smtp_reply.h"
#include "mail/smtp_session.h"

#include "settings_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

// "250-a|250 b|" as the bytes a server sends: each '|' a CR LF.
std::string lines(std::string text) {
    std::string out;
    for (const char c : text)
        out += c == '|' ? std::string("\r\n") : std::string(1, c);
    return out;
}

std::string join(const std::vector<std::string>& words, const std::string& separator) {
    std::string out;
    for (std::size_t i = 0; i < words.size(); ++i)
        out += (i ? separator : "") + words[i];
    return out;
}

MailSettings smtpSettings(MailSecurity security = MailSecurity::None, const std::string& user = "", int port = 587) {
    MailSettings s;
    s.enabled = true;
    s.server = "smtp.firma.pl";
    s.port = port;
    s.security = security;
    s.user = user;
    s.password = "tajne";
    return s;
}

// ---- Settings

TEST(MailSettings, FileTextsReadBackAndReadLeniently) {
    for (const MailSecurity security : {MailSecurity::StartTls, MailSecurity::Tls, MailSecurity::None})
        EXPECT_EQ(parseMailSecurity(mailSecurityText(security)), security);
    EXPECT_EQ(parseMailSecurity(" starttls "), MailSecurity::StartTls);
    EXPECT_EQ(parseMailSecurity("SSL"), std::nullopt);

    const std::tuple<const char*, std::optional<int>, const char*> rows[] = {
        {"07:30", 450, "07:30"},     {"7:05", 425, "07:05"},     {" 23:59 ", 1439, "23:59"},
        {"00:00", 0, "00:00"},       {"", std::nullopt, ""},     {"24:00", std::nullopt, ""},
        {"12:60", std::nullopt, ""}, {"12:5", std::nullopt, ""}, {"123:00", std::nullopt, ""},
        {"-1:00", std::nullopt, ""},
    };
    for (const auto& [text, minutes, written] : rows) {
        EXPECT_EQ(parseDailyAt(text), minutes) << text;
        EXPECT_EQ(dailyAtText(minutes), written) << text;
    }
}

TEST(MailSettings, AddressesThatThePracticalCheckTakes) {
    for (const char* good : {"jan.kowalski@firma.pl", "a+alarm@x.com.pl", "dyzurny@serwer", "o'neil@a-b.pl"})
        EXPECT_TRUE(isValidMailAddress(good)) << good;
    for (const char* bad : {"", "jan", "@firma.pl", "jan@", "jan..k@firma.pl", ".jan@firma.pl", "jan@firma..pl",
                            "jan@-firma.pl", "jan@firma.pl.", "jan kowalski@firma.pl", "\"jan\"@firma.pl",
                            "jan@[192.0.2.1]", "łukasz@firma.pl", "jan@firma_pl", "<jan@firma.pl>"})
        EXPECT_FALSE(isValidMailAddress(bad)) << bad;
    EXPECT_FALSE(isValidMailAddress(std::string(65, 'a') + "@firma.pl"));

    const MailRecipients recipients = parseMailRecipients(" a@firma.pl,b@firma.pl , ,a@firma.pl, zły adres,");
    EXPECT_EQ(recipients.addresses, (std::vector<std::string>{"a@firma.pl", "b@firma.pl"}));
    EXPECT_EQ(recipients.invalid, (std::vector<std::string>{"zły adres"}));
}

TEST(MailSettings, WhatTheDialogKeepsOrRefuses) {
    using F = MailField;
    MailSettings good = smtpSettings(MailSecurity::StartTls, "alarm");
    good.from = "alarm@firma.pl";
    good.to = "a@firma.pl";
    // A field as typed: what the settings then hold, and the start of the refusal.
    const std::tuple<MailField, std::string, const char*, std::string> fields[] = {
        {F::Server, " smtp.firma.pl ", "smtp.firma.pl", ""},
        {F::Port, "0", "587", "Port serwera"},
        {F::ReminderMinutes, "1441", "0", "Przypomnienie"},
        {F::DailyAt, "7:05", "07:05", ""},
        {F::DailyAt, " ", "", ""},
        {F::DailyAt, "7.05", "", "Godzinę"},
        {F::Password, "ж", "", "Pole zawiera"},
    };
    for (const auto& [field, typed, kept, refusal] : fields) {
        MailSettings settings;
        const std::string said = takeMailField(settings, field, typed);
        EXPECT_EQ(mailFieldText(settings, field), kept) << typed;
        EXPECT_EQ(said.substr(0, refusal.size()), refusal) << typed;
        EXPECT_EQ(said.empty(), refusal.empty()) << typed;
    }
    // The settings together: the sentence and the field it points at.
    const std::tuple<std::function<void(MailSettings&)>, std::string, MailField> together[] = {
        {[](MailSettings&) {}, "", F::To},
        {[](MailSettings& s) { s.server.clear(); }, "Podaj nazwę lub adres serwera poczty.", F::Server},
        {[](MailSettings& s) { s.security = MailSecurity::None; },
         "Logowanie bez szyfrowania jest wyłączone: wybierz STARTTLS lub TLS albo usuń nazwę użytkownika.", F::User},
        {[](MailSettings& s) { s.from = "alarm"; }, "Adres nadawcy jest nieprawidłowy.", F::From},
        {[](MailSettings& s) { s.to = "a@firma.pl, b@"; }, "Adres odbiorcy jest nieprawidłowy: b@.", F::To},
        {[](MailSettings& s) { s.to = " , "; }, "Podaj co najmniej jeden adres odbiorcy.", F::To},
    };
    for (const auto& [change, refusal, at] : together) {
        MailSettings settings = good;
        change(settings);
        MailField field = F::Port;
        EXPECT_EQ(checkMailSettings(settings, field), refusal);
        EXPECT_EQ(field, at) << refusal;
    }
    // The security switched: the standard port follows, a port of the user's own stays.
    EXPECT_EQ(portAfterSecuritySwitch("587", MailSecurity::StartTls, MailSecurity::Tls), "465");
    EXPECT_EQ(portAfterSecuritySwitch("465", MailSecurity::Tls, MailSecurity::None), "25");
    EXPECT_EQ(portAfterSecuritySwitch("2525", MailSecurity::StartTls, MailSecurity::Tls), "2525");
}

TEST(MailSettings, BoundsWhatAFileMayHold) {
    MailSettings settings;
    settings.port = 0;
    settings.reminderMinutes = -3;
    settings.dailyAtMinutes = 1440;
    settings.server = " smtp.firma.pl\t";
    settings.password = std::string(kMaxMailCredentialLength - 1, 'x') + "ł";
    boundMailSettings(settings);
    EXPECT_EQ(settings.port, 587);
    EXPECT_EQ(settings.reminderMinutes, 0);
    EXPECT_EQ(settings.dailyAtMinutes, std::nullopt);
    EXPECT_EQ(settings.server, "smtp.firma.pl");
    EXPECT_EQ(settings.password, std::string(kMaxMailCredentialLength - 1, 'x')); // never half a character
}

// ---- The reply reader

std::string describe(const std::vector<SmtpReply>& replies) {
    std::vector<std::string> words;
    for (const SmtpReply& reply : replies)
        words.push_back(std::to_string(reply.code) + (reply.lines.empty() ? "" : "[" + join(reply.lines, "][") + "]"));
    return join(words, " / ");
}

// Whatever the chunks: every split of the bytes reads the same.
TEST(SmtpReply, ReadsRepliesInAnyChunks) {
    const std::pair<std::string, const char*> rows[] = {
        {lines("220 smtp.firma.pl ESMTP|"), "220[smtp.firma.pl ESMTP]"},
        {lines("250-smtp.firma.pl|250-SIZE 1000|250 STARTTLS|"), "250[smtp.firma.pl][SIZE 1000][STARTTLS]"},
        {lines("250|354 |"), "250[] / 354[]"}, // a code alone, and with an empty text
        {"221 bye\n", "221[bye]"},             // a bare LF
        {lines("550-a|550-|550 b|"), "550[a][][b]"},
    };
    for (const auto& [bytes, expected] : rows) {
        for (std::size_t split = 0; split <= bytes.size(); ++split) {
            SmtpReplyReader reader;
            std::vector<SmtpReply> replies;
            ASSERT_TRUE(reader.feed(std::string_view(bytes).substr(0, split), replies));
            ASSERT_TRUE(reader.feed(std::string_view(bytes).substr(split), replies));
            EXPECT_EQ(describe(replies), expected) << "split at " << split;
            EXPECT_FALSE(reader.midReply());
            EXPECT_EQ(reader.held(), 0u);
        }
    }
}

TEST(SmtpReply, RefusesWhatIsNoReply) {
    const std::string longest(SmtpReplyReader::kMaxLineLength - 6, 'x'); // "250 " + text + CR LF
    std::string manyLines;
    for (std::size_t i = 0; i < SmtpReplyReader::kMaxLines; ++i)
        manyLines += "250-x\r\n";
    manyLines += "250 x\r\n";
    const std::pair<std::string, SmtpReplyError> rows[] = {
        {lines("25|"), SmtpReplyError::BadCode},          {lines("199 x|"), SmtpReplyError::BadCode},
        {lines("600 x|"), SmtpReplyError::BadCode},       {lines("2a0 x|"), SmtpReplyError::BadCode},
        {lines("250x|"), SmtpReplyError::BadSeparator},   {lines("250-a|251 b|"), SmtpReplyError::CodeChanged},
        {"250 a\rb\r\n", SmtpReplyError::CarriageReturn}, {"250 " + longest + "x\r\n", SmtpReplyError::LineTooLong},
        {manyLines, SmtpReplyError::TooManyLines},
    };
    for (const auto& [bytes, error] : rows) {
        SmtpReplyReader reader;
        std::vector<SmtpReply> replies;
        EXPECT_FALSE(reader.feed(lines("220 ok|") + bytes, replies)) << bytes.substr(0, 20);
        EXPECT_EQ(reader.error(), error) << bytes.substr(0, 20);
        EXPECT_EQ(replies.size(), 1u);
        EXPECT_FALSE(reader.feed(lines("250 ok|"), replies)); // until reset
        reader.reset();
        EXPECT_TRUE(reader.feed(lines("250 ok|"), replies));
    }
    SmtpReplyReader reader;
    std::vector<SmtpReply> replies;
    EXPECT_TRUE(reader.feed("250 " + longest + "\r\n", replies)); // the longest line just fits
    // A megabyte line without end is refused within the bound.
    bool intact = reader.feed("250 ", replies);
    for (int i = 0; i < 256 && intact; ++i) {
        intact = reader.feed(std::string(4096, 'x'), replies);
        EXPECT_LE(reader.held(), SmtpReplyReader::kMaxLineLength);
    }
    EXPECT_FALSE(intact);
    EXPECT_EQ(reader.error(), SmtpReplyError::LineTooLong);
}

// ---- The session as event tables

enum Event { Start, Connected, Tls, TlsFail, Recv, Ended, Tick };

struct Row {
    std::int64_t ms;
    Event event;
    std::string arg; // Recv: the server's lines ('|' for CR LF); TlsFail: the TLS layer's words
    std::string expected;
};

// "open smtp.firma.pl:587", the commands sent (the message as "<message>"), "tls", the outcome, then "finished" or
// the next tick ("@300100").
std::string describe(const SmtpPlan& plan) {
    std::vector<std::string> words;
    if (plan.close)
        words.push_back("close!");
    const std::string& sent = plan.send;
    if (!sent.empty())
        words.push_back(sent.size() > 5 && sent.compare(sent.size() - 5, 5, "\r\n.\r\n") == 0
                            ? "<message>"
                            : sent.substr(0, sent.size() - 2));
    if (plan.startTls)
        words.push_back("tls");
    if (plan.open)
        words.push_back("open " + plan.host + ":" + std::to_string(plan.port));
    if (const auto& o = plan.outcome) {
        std::vector<std::string> parts;
        if (!o->delivered.empty())
            parts.push_back("sent " + join(o->delivered, " "));
        for (const SmtpFailure& f : o->givenUp)
            parts.push_back("gave up " + join(f.recipients, " ") + ": " + f.reason);
        if (!o->retry.recipients.empty())
            parts.push_back("retry " + join(o->retry.recipients, " ") + ": " + o->retry.reason);
        words.push_back("=> " + (parts.empty() ? "nothing" : join(parts, "; ")));
    }
    words.push_back(plan.finished ? "finished" : "@" + std::to_string(plan.nextTickMs));
    return join(words, " ; ");
}

// The first steps of most dialogues on port 587; the last only without STARTTLS and login.
const Row kOpening[] = {
    {0, Start, "", "open smtp.firma.pl:587 ; @30000"},
    {100, Connected, "", "@300100"},
    {200, Recv, "220 smtp|", "EHLO pc01.firma.pl ; @300200"},
    {300, Recv, "250 smtp|", "MAIL FROM:<hx350@firma.pl> ; @300300"},
};

// The first `steps` of kOpening, then the rows.
void run(const MailSettings& settings, std::size_t steps, std::vector<Row> rows,
         std::vector<std::string> recipients = {"a@firma.pl", "b@firma.pl"}) {
    rows.insert(rows.begin(), kOpening, kOpening + steps);
    SmtpSession session(settings, {"hx350@firma.pl", std::move(recipients), "Subject: x\r\n\r\n.\r\n"},
                        "PC01.firma.pl");
    const auto apply = [&](const Row& row) {
        switch (row.event) {
        case Start:
            return session.start(row.ms);
        case Connected:
            return session.tcpConnected(row.ms, "192.0.2.7");
        case Tls:
            return session.tlsEstablished(row.ms);
        case TlsFail:
            return session.tlsFailed(row.arg, row.ms);
        case Recv:
            return session.received(lines(row.arg), row.ms);
        case Ended:
            return session.connectionEnded(row.ms);
        default:
            return session.tick(row.ms);
        }
    };
    for (const Row& row : rows)
        EXPECT_EQ(describe(apply(row)), row.expected) << "at " << row.ms << " ms: " << row.arg;
}

// base64("\0alarm\0tajne"), base64("alarm"), base64("tajne"), as RFC 4648 gives them.
constexpr const char* kPlainResponse = "AGFsYXJtAHRham5l";

TEST(SmtpSession, StartTlsThenEhloAgainThenAuthPlain) {
    run(smtpSettings(MailSecurity::StartTls, "alarm"), 2,
        {{200, Recv, "220 smtp.firma.pl ESMTP|", "EHLO pc01.firma.pl ; @300200"},
         // Before TLS the server offers no login; what it offered then counts for nothing after.
         {300, Recv, "250-smtp.firma.pl|250-PIPELINING|250-SIZE 10240000|250 STARTTLS|", "STARTTLS ; @300300"},
         {400, Recv, "220 2.0.0 Ready to start TLS|", "tls ; @60400"},
         {500, Tls, "", "EHLO pc01.firma.pl ; @300500"},
         {600, Recv, "250-smtp.firma.pl|250-SIZE 10240000|250-AUTH LOGIN PLAIN|250 SMTPUTF8|",
          std::string("AUTH PLAIN ") + kPlainResponse + " ; @300600"},
         {700, Recv, "235 2.7.0 Authentication successful|", "MAIL FROM:<hx350@firma.pl> SIZE=21 ; @300700"},
         {800, Recv, "250 2.1.0 Ok|", "RCPT TO:<a@firma.pl> ; @300800"},
         {900, Recv, "250 2.1.5 Ok|", "RCPT TO:<b@firma.pl> ; @300900"},
         {1000, Recv, "250 2.1.5 Ok|", "DATA ; @121000"},
         {1100, Recv, "354 End data with <CR><LF>.<CR><LF>|", "<message> ; @601100"},
         {1200, Recv, "250 2.0.0 Ok: queued as 4F2A|", "QUIT ; => sent a@firma.pl b@firma.pl ; @11200"},
         {1300, Recv, "221 2.0.0 Bye|", "close! ; finished"}});
}

TEST(SmtpSession, TlsFromTheFirstByteThenAuthLogin) {
    run(smtpSettings(MailSecurity::Tls, "alarm", 465), 0,
        {{0, Start, "", "open smtp.firma.pl:465 ; @30000"},
         {100, Connected, "", "tls ; @60100"},
         {200, Tls, "", "@300200"},
         {300, Recv, "220-smtp.firma.pl ESMTP|220 no UCE|", "EHLO pc01.firma.pl ; @300300"},
         {400, Recv, "250-smtp.firma.pl|250 AUTH=LOGIN|", "AUTH LOGIN ; @300400"}, // the early servers' form
         {500, Recv, "334 VXNlcm5hbWU6|", "YWxhcm0= ; @300500"},
         {600, Recv, "334 UGFzc3dvcmQ6|", "dGFqbmU= ; @300600"},
         {700, Recv, "535 5.7.8 Authentication credentials invalid|",
          "QUIT ; => gave up a@firma.pl b@firma.pl: 535 5.7.8 Authentication credentials invalid ; @10700"},
         {800, Ended, "", "close! ; finished"}});
}

// A refused recipient among several does not stop the others.
TEST(SmtpSession, EachRecipientAsTheServerAnswersIt) {
    run(smtpSettings(), 2,
        {{200, Recv, "220 old.firma.pl|", "EHLO pc01.firma.pl ; @300200"},
         {300, Recv, "502 5.5.2 Command not implemented|", "HELO pc01.firma.pl ; @300300"},
         {400, Recv, "250 old.firma.pl|", "MAIL FROM:<hx350@firma.pl> ; @300400"},
         {500, Recv, "250 Ok|", "RCPT TO:<a@firma.pl> ; @300500"},
         {550, Recv, "250 Ok|", "RCPT TO:<b@firma.pl> ; @300550"},
         {600, Recv, "550 5.1.1 User unknown|", "RCPT TO:<c@firma.pl> ; @300600"},
         {700, Recv, "451 4.7.1 Try again later|", "DATA ; @120700"},
         {900, Recv, "354 Go ahead|", "<message> ; @600900"},
         {1000, Recv, "250 Ok|",
          "QUIT ; => sent a@firma.pl; gave up b@firma.pl: b@firma.pl: 550 5.1.1 User unknown; retry c@firma.pl: "
          "c@firma.pl: 451 4.7.1 Try again later ; @11000"},
         {11000, Tick, "", "close! ; finished"}},
        {"a@firma.pl", "b@firma.pl", "c@firma.pl"});
    run(smtpSettings(), 4,
        {{400, Recv, "250 Ok|", "RCPT TO:<a@firma.pl> ; @300400"},
         {500, Recv, "550 5.1.1 No|", "RCPT TO:<b@firma.pl> ; @300500"},
         // 552 to RCPT is a temporary refusal (RFC 5321 4.5.3.1.10); nobody left for DATA.
         {600, Recv, "552 5.5.3 Too many recipients|",
          "QUIT ; => gave up a@firma.pl: a@firma.pl: 550 5.1.1 No; retry b@firma.pl: b@firma.pl: 552 5.5.3 Too "
          "many recipients ; @10600"}});
}

TEST(SmtpSession, RefusalsOfTheServerEndTheMessageOrWaitForLater) {
    run(smtpSettings(MailSecurity::StartTls), 3,
        {{300, Recv, "250-smtp|250 8BITMIME|",
          "QUIT ; => gave up a@firma.pl b@firma.pl: serwer smtp.firma.pl:587 nie oferuje szyfrowania STARTTLS ; "
          "@10300"}});
    run(smtpSettings(MailSecurity::StartTls), 2,
        {{200, Recv, "421 4.3.2 Service shutting down|",
          "QUIT ; => retry a@firma.pl b@firma.pl: 421 4.3.2 Service shutting down ; @10200"},
         {300, Recv, "221 Bye|", "close! ; finished"}});
    // A login never goes out in the clear: nothing is even connected.
    run(smtpSettings(MailSecurity::None, "alarm"), 0,
        {{0, Start, "", "=> gave up a@firma.pl b@firma.pl: logowanie bez szyfrowania jest wyłączone ; finished"}});
    // The end of the data refused for good.
    run(smtpSettings(), 4,
        {{400, Recv, "250 Ok|", "RCPT TO:<a@firma.pl> ; @300400"},
         {500, Recv, "250 Ok|", "DATA ; @120500"},
         {600, Recv, "354 Go|", "<message> ; @600600"},
         {700, Recv, "554 5.7.1 Message rejected as spam|",
          "QUIT ; => gave up a@firma.pl: 554 5.7.1 Message rejected as spam ; @10700"}},
        {"a@firma.pl"});
}

// Every step has its deadline, however slowly the server trickles its bytes.
TEST(SmtpSession, AServerThatNeverAnswersCostsATimeout) {
    run(smtpSettings(MailSecurity::StartTls), 2,
        {{100000, Recv, "2", "@300100"},
         {200000, Recv, "20 sm", "@300100"},
         {300100, Tick, "",
          "close! ; => retry a@firma.pl b@firma.pl: serwer smtp.firma.pl:587 nie odpowiada ; finished"}});
    run(smtpSettings(MailSecurity::StartTls), 1,
        {{30000, Tick, "",
          "close! ; => retry a@firma.pl b@firma.pl: brak połączenia z serwerem smtp.firma.pl:587 ; finished"}});
    run(smtpSettings(MailSecurity::Tls, "", 465), 0,
        {{0, Start, "", "open smtp.firma.pl:465 ; @30000"},
         {100, Connected, "", "tls ; @60100"},
         {60100, Tick, "",
          "close! ; => retry a@firma.pl b@firma.pl: nie można nawiązać połączenia szyfrowanego z serwerem "
          "smtp.firma.pl:465: brak odpowiedzi ; finished"}});
    // The QUIT after the outcome waits only briefly.
    run(smtpSettings(), 2,
        {{200, Recv, "554 No SMTP service here|",
          "QUIT ; => gave up a@firma.pl b@firma.pl: 554 No SMTP service here ; @10200"},
         {10200, Tick, "", "close! ; finished"}});
}

TEST(SmtpSession, BrokenConnectionsAndBadRepliesWaitForLater) {
    const char* broken = "close! ; => retry a@firma.pl b@firma.pl: serwer smtp.firma.pl:587 odpowiada niezgodnie z "
                         "protokołem SMTP ; finished";
    run(smtpSettings(MailSecurity::StartTls), 2, {{200, Recv, "SSH-2.0-OpenSSH_9.2|", broken}});
    // Bytes after STARTTLS's 220 would pass for the encrypted server's (RFC 3207 6): the session stops there.
    run(smtpSettings(MailSecurity::StartTls), 3,
        {{300, Recv, "250-smtp|250 STARTTLS|", "STARTTLS ; @300300"},
         {400, Recv, "220 Go ahead|250-AUTH PLAIN|", broken}});
    run(smtpSettings(MailSecurity::StartTls), 3,
        {{300, Recv, "250-smtp|250 STARTTLS|", "STARTTLS ; @300300"},
         {400, Recv, "220 Go ahead|", "tls ; @60400"},
         {500, TlsFail, "certyfikat serwera nie jest zaufany",
          "close! ; => retry a@firma.pl b@firma.pl: nie można nawiązać połączenia szyfrowanego z serwerem "
          "smtp.firma.pl:587: certyfikat serwera nie jest zaufany ; finished"}});
    run(smtpSettings(), 4, {{400, Recv, "250 Ok|250 Ok|", broken}}); // an answer before its question
    run(smtpSettings(), 1,
        {{10, Ended, "",
          "close! ; => retry a@firma.pl b@firma.pl: brak połączenia z serwerem smtp.firma.pl:587 ; finished"}});
}

// RFC 4954 4: an AUTH line too long with its initial response goes without it, and the response follows the
// server's empty challenge.
TEST(SmtpSession, LongCredentialsGoAfterTheChallenge) {
    MailSettings settings = smtpSettings(MailSecurity::Tls, std::string(200, 'u'), 465);
    settings.password = std::string(200, 'p');
    SmtpSession session(settings, {"hx350@firma.pl", {"a@firma.pl"}, "x\r\n"}, "pc01");
    session.start(0);
    session.tcpConnected(1);
    session.tlsEstablished(2);
    session.received(lines("220 smtp|"), 3);
    EXPECT_EQ(session.received(lines("250-smtp|250 AUTH PLAIN|"), 4).send, "AUTH PLAIN\r\n");
    EXPECT_EQ(session.received(lines("334 |"), 5).send,
              base64(std::string(1, '\0') + settings.user + '\0' + settings.password) + "\r\n");
    EXPECT_EQ(session.received(lines("235 Ok|"), 6).send, "MAIL FROM:<hx350@firma.pl>\r\n");
}

TEST(SmtpSession, DataLinesClientNameAndServerWords) {
    const std::pair<std::string, std::string> rows[] = {
        {"a\r\n.b\r\n..\r\n", "a\r\n..b\r\n...\r\n.\r\n"},
        {".", "..\r\n.\r\n"},
        {"a\nb\r.\r\n", "a\r\nb\r\n..\r\n.\r\n"}, // no line end the server could read otherwise
        {"", ".\r\n"},
    };
    for (const auto& [message, data] : rows)
        EXPECT_EQ(smtpDataBytes(message), data);

    EXPECT_EQ(smtpClientName("PC01.Firma.PL", "192.0.2.7"), "pc01.firma.pl");
    EXPECT_EQ(smtpClientName("STACJA_1", "192.0.2.7"), "[192.0.2.7]");
    EXPECT_EQ(smtpClientName("", "2001:db8::7"), "[IPv6:2001:db8::7]");
    EXPECT_EQ(smtpClientName("", ""), "localhost");

    SmtpReply reply{550, {"5.1.1 U\x01ser \xC5\x82\xFF", "", std::string(300, 'x')}};
    const std::string text = smtpReplyText(reply);
    EXPECT_EQ(text.substr(0, 20), "550 5.1.1 U?ser \xC5\x82? ");
    EXPECT_EQ(text.size(), SmtpSession::kMaxReasonLength);
}

// ---- Messages

constexpr std::int64_t kEpochMs = 1772715600000; // 2026-03-05 13:00:00 UTC, 14:00:00 at +01:00
constexpr int kOffsetMinutes = 60;

QuantityReading value(double v) {
    return {v, false};
}

AlarmSettings alarmSettings() {
    AlarmSettings a;
    a.enabled = true;
    a.limits[AlarmTemperature] = {150, 250};
    a.limits[AlarmHumidity].highTenths = 600;
    a.linkMinutes = 10;
    return a;
}

// The worked example every golden file starts from: station pc01-com3 at 14:04:00 on 2026-03-05, 25.3 °C and
// 45.0 %, the temperature above its upper limit of 25.0 °C since 14:03.
MailContent content(MailKind kind) {
    MailContent c;
    c.kind = kind;
    c.station = "pc01-com3";
    c.reading.temperature = value(253 * 0.1);
    c.reading.humidity = value(450 * 0.1);
    c.alarms = alarmSettings();
    c.alarm = {AlarmKind::TemperatureAbove, 250, kind == MailKind::Acknowledged, {2026, 3, 5, 14, 3, 0}};
    c.event = {AlarmEventType::Start, AlarmKind::TemperatureAbove, 250, 0, 0, {2026, 3, 5, 14, 4, 0}};
    c.active = {c.alarm};
    switch (kind) {
    case MailKind::AlarmEnd:
        c.event = {AlarmEventType::End, AlarmKind::TemperatureAbove, 250, 261 * 0.1, 1633000, c.event.time};
        c.reading.temperature = value(244 * 0.1);
        c.active.clear();
        break;
    case MailKind::Reminder:
        c.active.push_back({AlarmKind::HumidityAbove, 600, true, {2026, 3, 5, 13, 40, 0}});
        c.active.push_back({AlarmKind::Link, 10, false, {2026, 3, 4, 23, 58, 0}});
        c.reading.temperature.noData = true;
        c.reading.humidity.flagged = true;
        break;
    case MailKind::Daily:
        c.active.clear();
        c.day.from = {2026, 3, 4, 14, 4, 0};
        c.day.to = {2026, 3, 5, 14, 4, 0};
        c.day.readings = 86213;
        c.day.quantity[AlarmTemperature] = {
            true, value(182 * 0.1), value(249 * 0.1), {2026, 3, 5, 3, 12, 5}, {2026, 3, 4, 15, 40, 0}};
        c.day.quantity[AlarmTemperature].low.twoDecimalPlaces = true;
        break;
    case MailKind::Test:
        c.active.clear();
        c.alarms = AlarmSettings{};
        break;
    default:
        break;
    }
    return c;
}

// The golden files were checked by a parser that knows nothing of this code (the subject and body decoded back to
// the text below). HX350_UPDATE_GOLDEN=1 rewrites them for a change that is meant.
TEST(MailMessage, EachKindAsTheGoldenFileHasIt) {
    const std::pair<MailKind, std::string> rows[] = {
        {MailKind::AlarmStart, "alarm_start.eml"},
        {MailKind::AlarmEnd, "alarm_end.eml"},
        {MailKind::Acknowledged, "acknowledged.eml"},
        {MailKind::Reminder, "reminder.eml"},
        {MailKind::Daily, "daily.eml"},
        {MailKind::Test, "test.eml"},
    };
    MailHeader header;
    header.from = "alarm@firma.pl";
    header.to = {"jan.kowalski@firma.pl", "dyzurny.zmiana.nocna@firma.pl", "kierownik.dzialu.jakosci@firma.pl"};
    header.time = {kEpochMs + 240000, kOffsetMinutes};
    for (const auto& [kind, file] : rows) {
        header.messageId = mailMessageId("pc01-com3", header.from, header.time.utcMs, 7, 0x2a);
        const std::string message = composeMailMessage(header, content(kind));
        const std::string path = HX350_TEST_DATA_DIR "/mail/" + file;
        if (std::getenv("HX350_UPDATE_GOLDEN"))
            settings_test::writeBytes(path, message);
        EXPECT_EQ(message, settings_test::readBytes(path)) << file;
        // Every line within RFC 5322's 78 characters, 7-bit, and a CR before every LF.
        std::istringstream in(message);
        for (std::string line; std::getline(in, line);) {
            EXPECT_TRUE(!line.empty() && line.back() == '\r') << file << ": " << line;
            EXPECT_LE(line.size(), 79u) << file << ": " << line;
            for (const char c : line)
                EXPECT_LT(static_cast<unsigned char>(c), 0x80u) << file << ": " << line;
        }
    }
}

// The decoding of RFC 2047 Q words and RFC 2045 quoted-printable, as a reader does it.
std::string unquote(std::string_view text, bool underscoreIsBlank) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '=') {
            out.push_back(underscoreIsBlank && text[i] == '_' ? ' ' : text[i]);
            continue;
        }
        if (text.compare(i + 1, 2, "\r\n") != 0) // not a soft line break
            out.push_back(static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16)));
        i += 2;
    }
    return out;
}

TEST(MailMessage, EncodedWordsAndQuotedPrintableDecodeBack) {
    const std::string subject = "HX350 pc01-com3: przypomnienie: ALARM temperatura powyżej 25.0 °C od 14:03, "
                                "ALARM wilgotność powyżej 60.0 % od 2026.03.04 23:58 _=?ąęśćżźńół";
    const std::string header = encodedHeader("Subject", subject);
    std::string decoded;
    std::istringstream in(header);
    for (std::string line; std::getline(in, line);) {
        EXPECT_LE(line.size(), 77u) << line; // 76 and the CR
        const std::size_t start = line.find("=?UTF-8?Q?");
        const std::size_t end = line.find("?=", start + 10);
        ASSERT_NE(start, std::string::npos);
        EXPECT_LE(end + 2 - start, 75u);
        decoded += unquote(line.substr(start + 10, end - start - 10), true);
    }
    EXPECT_EQ(decoded, subject);

    std::string body;
    for (int length = 60; length < 90; ++length)
        body += std::string(length % 7, ' ') + std::string(length - length % 7 - 1, 'x') + "ł=\t \r\n";
    const std::string encoded = quotedPrintable(body);
    std::istringstream encodedLines(encoded);
    for (std::string line; std::getline(encodedLines, line);) {
        EXPECT_LE(line.size(), 77u) << line;
        EXPECT_TRUE(line.size() < 2 || (line[line.size() - 2] != ' ' && line[line.size() - 2] != '\t')) << line;
    }
    EXPECT_EQ(unquote(encoded, false), body);
}

TEST(MailMessage, DateWithItsOffsetAndIds) {
    EXPECT_EQ(mailDateText({kEpochMs, kOffsetMinutes}), "Thu, 05 Mar 2026 14:00:00 +0100");
    EXPECT_EQ(mailDateText({1792891800999, 60}), "Sun, 25 Oct 2026 02:30:00 +0100"); // the repeated hour
    EXPECT_EQ(mailDateText({1709251199000, -150}), "Thu, 29 Feb 2024 21:29:59 -0230");
    EXPECT_EQ(mailDateText({-1000, 0}), "Wed, 31 Dec 1969 23:59:59 +0000");
    EXPECT_EQ(mailMessageId("st1", "alarm@firma.pl", kEpochMs, 3, 0xbeef), "<hx350.st1.1772715600000.3.beef@firma.pl>");
}

// ---- The schedule as event tables

enum ScheduleEvent {
    Settings, // arg: "" or "reminder N" or "daily HH:MM" or "off"
    Alarm,    // arg: "start", "ack", "end": the temperature above 25.0 °C
    Reading,  // arg: the temperature
    STick,
    Outcome, // arg: "ok", "retry", "550" (given up), "partial" (the first recipient took it, the second refused)
    Clock,   // arg: seconds the wall clock is set forward (or back)
};

struct ScheduleRow {
    std::int64_t ms;
    ScheduleEvent event;
    std::string arg;
    std::string expected;
};

// The subject of a delivery's message, decoded, without "HX350 st1: ".
std::string subjectOf(const std::string& data) {
    const std::size_t at = data.find("Subject: ");
    std::string subject;
    for (std::size_t start = data.find("=?UTF-8?Q?", at); start < data.find("\r\n\r\n");
         start = data.find("=?UTF-8?Q?", start + 1))
        subject += unquote(data.substr(start + 10, data.find("?=", start + 10) - start - 10), true);
    return subject.substr(subject.find(": ") + 2);
}

class ScheduleRunner {
public:
    ScheduleRunner() {
        settings.from = "hx350@firma.pl";
        settings.to = "a@firma.pl, b@firma.pl";
    }

    void run(const std::vector<ScheduleRow>& rows) {
        for (const ScheduleRow& row : rows)
            EXPECT_EQ(describe(apply(row)), row.expected) << "at " << row.ms << " ms: " << row.arg;
    }

    MailSchedule schedule{0x2a};
    MailSettings settings = smtpSettings();

private:
    MailPlan apply(const ScheduleRow& row) {
        ClockReading clock{row.ms, {kEpochMs + row.ms + wallShiftMs_, kOffsetMinutes}};
        const LocalTime local = civilTime(civilSeconds({2026, 3, 5, 14, 0, 0}) + (row.ms + wallShiftMs_) / 1000);
        const AlarmEventType type = row.arg == "start" ? AlarmEventType::Start
                                    : row.arg == "ack" ? AlarmEventType::Acknowledged
                                                       : AlarmEventType::End;
        AlarmPlan plan;
        CurrentReading reading;
        SmtpOutcome outcome;
        switch (row.event) {
        case Settings:
            if (row.arg.rfind("reminder ", 0) == 0)
                settings.reminderMinutes = std::stoi(row.arg.substr(9));
            if (row.arg.rfind("daily ", 0) == 0)
                settings.dailyAtMinutes = parseDailyAt(row.arg.substr(6));
            settings.enabled = row.arg != "off";
            return schedule.applySettings(settings, "st1", clock);
        case Alarm:
            since_ = type == AlarmEventType::Start ? local : since_;
            plan.events = {AlarmEvent{type, AlarmKind::TemperatureAbove, 250, 0, 0, local}};
            if (type != AlarmEventType::End)
                plan.active = {{AlarmKind::TemperatureAbove, 250, type != AlarmEventType::Start, since_}};
            return schedule.onAlarmPlan(plan, alarmSettings(), clock);
        case Reading:
            reading.temperature = value(std::stod(row.arg));
            return schedule.onReading(reading, true, clock);
        case Outcome:
            if (row.arg == "ok")
                outcome.delivered = recipients_;
            else if (row.arg == "retry")
                outcome.retry = {recipients_, "brak połączenia z serwerem smtp.firma.pl:587"};
            else if (row.arg == "550")
                outcome.givenUp = {{recipients_, "550 5.7.1 Relaying denied"}};
            else { // partial
                outcome.delivered = {recipients_.front()};
                outcome.givenUp = {{{recipients_.back()}, "b@firma.pl: 550 5.1.1 <b@firma.pl>; unknown"}};
            }
            return schedule.delivered(lastId_, outcome, clock);
        case Clock:
            wallShiftMs_ += std::stoll(row.arg) * 1000;
            clock.wall.utcMs += std::stoll(row.arg) * 1000;
            [[fallthrough]];
        case STick:
            return schedule.tick(clock);
        }
        return {};
    }

    // "line: <event file line>", "deliver #N <subject>", "status: <text>", then the next tick ("@61000").
    std::string describe(const MailPlan& plan) {
        std::vector<std::string> words;
        for (const MailRecord& record : plan.records) {
            std::string line = cp1250ToUtf8(mailEventLine(record, ';'));
            words.push_back("line: " + line.substr(0, line.size() - 2));
        }
        if (plan.deliver) {
            lastId_ = plan.deliver->id;
            recipients_ = plan.deliver->message.recipients;
            words.push_back("deliver #" + std::to_string(lastId_) + " " + subjectOf(plan.deliver->message.data));
        }
        if (plan.statusChanged) {
            const std::string& status = schedule.statusText();
            words.push_back("status: " + (status.empty() ? std::string("-") : status.substr(0, status.size() - 1)));
        }
        words.push_back("@" + std::to_string(plan.nextTickMs));
        return join(words, " ; ");
    }

    std::int64_t wallShiftMs_ = 0;
    LocalTime since_;
    std::uint64_t lastId_ = 0;
    std::vector<std::string> recipients_;
};

const std::string kNoConnection = "status: E-mail: nie można wysłać powiadomienia (brak połączenia z serwerem "
                                  "smtp.firma.pl:587).";

TEST(MailSchedule, RetriesBackOffFromAMinuteToFifteenInOrder) {
    ScheduleRunner().run(
        {{0, Settings, "", "@60000"},
         {1000, Alarm, "start", "deliver #1 ALARM temperatura powyżej 25.0 °C od 14:00 ; @61000"},
         {2000, Outcome, "retry", kNoConnection + " ; @62000"},
         {62000, STick, "", "deliver #1 ALARM temperatura powyżej 25.0 °C od 14:00 ; @122000"},
         {63000, Outcome, "retry", "@123000"}, // 2 minutes
         {183000, STick, "", "deliver #1 ALARM temperatura powyżej 25.0 °C od 14:00 ; @243000"},
         {184000, Outcome, "retry", "@244000"}, // 4
         {424000, STick, "", "deliver #1 ALARM temperatura powyżej 25.0 °C od 14:00 ; @484000"},
         {425000, Outcome, "retry", "@485000"}, // 8
         {905000, STick, "", "deliver #1 ALARM temperatura powyżej 25.0 °C od 14:00 ; @965000"},
         {906000, Outcome, "retry", "@966000"}, // 15
         {1000000, Alarm, "ack", "@1060000"},   // waits behind the first
         {1806000, STick, "", "deliver #1 ALARM temperatura powyżej 25.0 °C od 14:00 ; @1866000"},
         {1807000, Outcome, "retry", "@1867000"}, // 15 again
         {2707000, STick, "", "deliver #1 ALARM temperatura powyżej 25.0 °C od 14:00 ; @2767000"},
         {2708000, Outcome, "ok",
          "line: 2026.03.05 14:45:08;e-mail (początek) wysłany do a@firma.pl b@firma.pl;temperatura powyżej;25.0;;"
          "00:45:07 ; deliver #2 ALARM (potwierdzony) temperatura powyżej 25.0 °C od 14:00 ; status: - ; @2768000"},
         {2709000, Outcome, "ok",
          "line: 2026.03.05 14:45:09;e-mail (potwierdzenie) wysłany do a@firma.pl b@firma.pl;temperatura powyżej;25.0;;"
          "00:45:08 ; @2769000"},
         // After a success the back-off starts again from a minute.
         {2710000, Alarm, "end", "deliver #3 koniec alarmu temperatura powyżej 25.0 °C od 14:00 ; @2770000"},
         {2711000, Outcome, "retry", kNoConnection + " ; @2771000"}});
}

TEST(MailSchedule, RefusedMessagesAndRecipientsAreGivenUpAndSaid) {
    ScheduleRunner().run(
        {{0, Settings, "", "@60000"},
         {1000, Alarm, "start", "deliver #1 ALARM temperatura powyżej 25.0 °C od 14:00 ; @61000"},
         {1500, Alarm, "end", "@61500"},
         {2000, Outcome, "partial",
          "line: 2026.03.05 14:00:02;e-mail (początek) wysłany do a@firma.pl;temperatura powyżej;25.0;;00:00:01 ; "
          "line: 2026.03.05 14:00:02;e-mail (początek) niewysłany do b@firma.pl: b@firma.pl: 550 5.1.1 <b@firma.pl>  "
          "unknown;temperatura powyżej;25.0;;00:00:01 ; deliver #2 koniec alarmu temperatura powyżej 25.0 °C od 14:00 "
          "; "
          "status: E-mail: nie można wysłać powiadomienia (b@firma.pl: 550 5.1.1 <b@firma.pl>; unknown). ; @62000"},
         {3000, Outcome, "550",
          "line: 2026.03.05 14:00:03;e-mail (koniec) niewysłany do a@firma.pl b@firma.pl: 550 5.7.1 Relaying denied;"
          "temperatura powyżej;25.0;;00:00:02 ; status: E-mail: nie można wysłać powiadomienia (550 5.7.1 Relaying "
          "denied). ; @63000"},
         // Switched off: what waits is given up.
         {4000, Alarm, "start", "deliver #3 ALARM temperatura powyżej 25.0 °C od 14:00 ; @64000"},
         {5000, Alarm, "end", "@65000"},
         {6000, Settings, "off",
          "line: 2026.03.05 14:00:06;e-mail (początek) niewysłany do a@firma.pl b@firma.pl: powiadomienia e-mail "
          "wyłączone;temperatura powyżej;25.0;;00:00:02 ; line: 2026.03.05 14:00:06;e-mail (koniec) niewysłany do "
          "a@firma.pl b@firma.pl: powiadomienia e-mail wyłączone;temperatura powyżej;25.0;;00:00:02 ; status: - ; "
          "@66000"},
         // The worker's late answer changes nothing.
         {7000, Outcome, "ok", "@67000"}});
}

TEST(MailSchedule, RemindersWhileAnAlarmWaitsTheNewestOnly) {
    ScheduleRunner runner;
    runner.settings.sendAck = false;
    runner.run(
        {{0, Settings, "reminder 1", "@60000"},
         {1000, Alarm, "start", "deliver #1 ALARM temperatura powyżej 25.0 °C od 14:00 ; @61000"},
         {2000, Outcome, "retry", kNoConnection + " ; @61000"},
         {61000, STick, "", "@62000"}, // the first reminder waits behind the start
         {62000, STick, "", "deliver #1 ALARM temperatura powyżej 25.0 °C od 14:00 ; @121000"},
         {63000, Outcome, "retry", "@121000"},
         {121000, STick, "", "@181000"}, // the second reminder replaces the first
         {181000, STick, "", "@183000"}, // and the third the second
         {183000, STick, "", "deliver #1 ALARM temperatura powyżej 25.0 °C od 14:00 ; @241000"},
         {184000, Outcome, "ok",
          "line: 2026.03.05 14:03:04;e-mail (początek) wysłany do a@firma.pl b@firma.pl;temperatura powyżej;25.0;;"
          "00:03:03 ; deliver #4 przypomnienie: ALARM temperatura powyżej 25.0 °C od 14:00 ; status: - ; @241000"},
         {185000, Outcome, "retry", kNoConnection + " ; @241000"},
         // Acknowledged: the reminder that waits would no longer be true, and none follows.
         {200000, Alarm, "ack", "@260000"},
         {245000, STick, "", "@305000"}});
}

TEST(MailSchedule, DailyMessageOnceADayWhateverTheClockDoes) {
    ScheduleRunner().run(
        {{0, Settings, "daily 14:02", "@60000"},
         {10000, Reading, "21.5", "@70000"},
         {20000, Reading, "23.45", "@80000"},
         {30000, Reading, "22", "@90000"},
         {90000, STick, "", "@120000"},
         {120000, STick, "", "deliver #1 raport dzienny 2026.03.05 ; @180000"},
         {121000, Outcome, "ok",
          "line: 2026.03.05 14:02:01;e-mail (raport dzienny) wysłany do a@firma.pl b@firma.pl;;;; ; @181000"},
         {130000, Clock, "-3600", "@190000"}, // 13:02:10 again: no second message today
         {3730000, STick, "", "@3790000"},    // 14:02:10
         {3740000, Clock, "172800", "deliver #2 raport dzienny 2026.03.07 ; @3800000"}, // two days on: one message
         {3741000, Outcome, "ok",
          "line: 2026.03.07 14:02:21;e-mail (raport dzienny) wysłany do a@firma.pl b@firma.pl;;;; ; @3801000"},
         {3800000, STick, "", "@3860000"}});
    // Started after the daily time: the first message comes the next day.
    ScheduleRunner().run({{0, Settings, "daily 13:59", "@60000"},
                          {86339000, STick, "", "@86340000"},
                          {86340000, STick, "", "deliver #1 raport dzienny 2026.03.06 ; @86400000"}});
}

TEST(MailSchedule, WhatTheDialogSaysOfTheTestMessage) {
    SmtpOutcome outcome;
    outcome.delivered = {"a@firma.pl", "b@firma.pl"};
    outcome.reply = "250 2.0.0 Ok: queued as 4F2A";
    EXPECT_EQ(mailTestResultText(outcome),
              "Wiadomość próbna została wysłana. Serwer odpowiedział: 250 2.0.0 Ok: queued as 4F2A.");
    outcome.delivered.pop_back();
    outcome.retry = {{"b@firma.pl"}, "b@firma.pl: 451 4.7.1 Later"};
    EXPECT_EQ(mailTestResultText(outcome), "Wiadomość próbna została wysłana do a@firma.pl. Serwer odpowiedział: 250 "
                                           "2.0.0 Ok: queued as 4F2A. Nie można wysłać wiadomości próbnej: b@firma.pl: "
                                           "451 4.7.1 Later.");
    EXPECT_EQ(mailStationName("Hala 2/A"), "Hala-2-A");
}

TEST(MailSchedule, AFullQueueLosesTheOldestReminderThenTheOldestOther) {
    ScheduleRunner runner;
    runner.run({{0, Settings, "reminder 1", "@60000"}});
    MailSchedule& schedule = runner.schedule;
    const auto at = [](std::int64_t ms) { return ClockReading{ms, {kEpochMs + ms, kOffsetMinutes}}; };
    // The humidity alarm waits all along; the first message stays with the worker, which never answers.
    const ActiveAlarm humidity{AlarmKind::HumidityAbove, 600, false, {2026, 3, 5, 14, 0, 0}};
    AlarmPlan plan;
    plan.active = {humidity};
    plan.events = {AlarmEvent{AlarmEventType::Start, AlarmKind::HumidityAbove, 600, 61.0, 0, {2026, 3, 5, 14, 0, 0}}};
    EXPECT_TRUE(schedule.onAlarmPlan(plan, alarmSettings(), at(0)).deliver);
    EXPECT_TRUE(schedule.tick(at(60000)).records.empty()); // a reminder joins the queue
    std::vector<std::string> dropped;
    for (std::int64_t i = 0; schedule.queued() < MailSchedule::kMaxQueued || dropped.size() < 2; ++i) {
        const AlarmEventType type = i % 2 == 0 ? AlarmEventType::Start : AlarmEventType::End;
        plan.events = {AlarmEvent{type, AlarmKind::TemperatureAbove, 250, 25.5, 0, {2026, 3, 5, 14, 1, 0}}};
        plan.active = {humidity};
        if (type == AlarmEventType::Start)
            plan.active.push_back({AlarmKind::TemperatureAbove, 250, false, {}});
        for (const MailRecord& record : schedule.onAlarmPlan(plan, alarmSettings(), at(61000 + i)).records)
            dropped.push_back(cp1250ToUtf8(mailEventLine(record, ';')));
        ASSERT_LE(schedule.queued(), MailSchedule::kMaxQueued);
    }
    ASSERT_EQ(dropped.size(), 2u);
    EXPECT_EQ(dropped[0], "2026.03.05 14:01:01;e-mail (przypomnienie) niewysłany do a@firma.pl b@firma.pl: kolejka "
                          "wiadomości pełna;wilgotność powyżej;60.0;;00:01:01\r\n");
    EXPECT_EQ(dropped[1], "2026.03.05 14:01:01;e-mail (początek) niewysłany do a@firma.pl b@firma.pl: kolejka "
                          "wiadomości pełna;temperatura powyżej;25.0;;00:00:00\r\n");
}

} // namespace
