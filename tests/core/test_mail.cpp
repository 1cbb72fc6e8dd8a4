#include "mail/mail_settings.h"
#include "mail/smtp_reply.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

// "250-a|250 b|" as the bytes a server sends: each '|' a CR LF.
std::string lines(std::string text) {
    std::string out;
    for (const char c : text)
        out += c == '|' ? std::string("\r\n") : std::string(1, c);
    return out;
}

// ---- Settings

TEST(MailSettings, FileTextsReadBackAndReadLeniently) {
    for (const MailSecurity security : {MailSecurity::StartTls, MailSecurity::Tls, MailSecurity::None})
        EXPECT_EQ(parseMailSecurity(mailSecurityText(security)), security);
    EXPECT_EQ(parseMailSecurity(" starttls "), MailSecurity::StartTls);
    EXPECT_EQ(parseMailSecurity("SSL"), std::nullopt);

    const struct {
        const char* text;
        std::optional<int> minutes;
        const char* written;
    } rows[] = {
        {"07:30", 450, "07:30"},     {"7:05", 425, "07:05"},     {" 23:59 ", 1439, "23:59"},
        {"00:00", 0, "00:00"},       {"", std::nullopt, ""},     {"24:00", std::nullopt, ""},
        {"12:60", std::nullopt, ""}, {"12:5", std::nullopt, ""}, {"123:00", std::nullopt, ""},
        {"-1:00", std::nullopt, ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(parseDailyAt(row.text), row.minutes) << row.text;
        EXPECT_EQ(dailyAtText(row.minutes), row.written) << row.text;
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

TEST(MailSettings, WhatTheDialogRefuses) {
    MailSettings good;
    good.enabled = true;
    good.server = "smtp.firma.pl";
    good.user = "alarm";
    good.from = "alarm@firma.pl";
    good.to = "a@firma.pl";
    EXPECT_EQ(mailSettingsProblem(good), "");
    const auto problem = [&](auto change) {
        MailSettings s = good;
        change(s);
        return mailSettingsProblem(s);
    };
    EXPECT_EQ(problem([](MailSettings& s) { s.server = " "; }), "Podaj nazwę lub adres serwera poczty.");
    EXPECT_EQ(problem([](MailSettings& s) { s.security = MailSecurity::None; }),
              "Logowanie bez szyfrowania jest wyłączone: wybierz STARTTLS lub TLS albo usuń nazwę użytkownika.");
    EXPECT_EQ(problem([](MailSettings& s) { s.to = "a@firma.pl, b@"; }), "Adres odbiorcy jest nieprawidłowy: b@.");
    EXPECT_EQ(problem([](MailSettings& s) { s.to = " , "; }), "Podaj co najmniej jeden adres odbiorcy.");
    EXPECT_EQ(problem([](MailSettings& s) {
                  s.enabled = false;
                  s.server.clear();
              }),
              "");
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
    std::string out;
    for (const SmtpReply& reply : replies) {
        out += (out.empty() ? "" : " / ") + std::to_string(reply.code);
        for (const std::string& line : reply.lines)
            out += "[" + line + "]";
    }
    return out;
}

// Whatever the chunks: every split of the bytes reads the same.
TEST(SmtpReply, ReadsRepliesInAnyChunks) {
    const struct {
        std::string bytes;
        const char* expected;
    } rows[] = {
        {lines("220 smtp.firma.pl ESMTP|"), "220[smtp.firma.pl ESMTP]"},
        {lines("250-smtp.firma.pl|250-SIZE 1000|250 STARTTLS|"), "250[smtp.firma.pl][SIZE 1000][STARTTLS]"},
        {lines("250|354 |"), "250[] / 354[]"}, // a code alone, and with an empty text
        {"221 bye\n", "221[bye]"},             // a bare LF
        {lines("550-a|550-|550 b|"), "550[a][][b]"},
    };
    for (const auto& row : rows) {
        for (std::size_t split = 0; split <= row.bytes.size(); ++split) {
            SmtpReplyReader reader;
            std::vector<SmtpReply> replies;
            ASSERT_TRUE(reader.feed(std::string_view(row.bytes).substr(0, split), replies));
            ASSERT_TRUE(reader.feed(std::string_view(row.bytes).substr(split), replies));
            EXPECT_EQ(describe(replies), row.expected) << "split at " << split;
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
    const struct {
        std::string bytes;
        SmtpReplyError error;
    } rows[] = {
        {lines("25|"), SmtpReplyError::BadCode},          {lines("199 x|"), SmtpReplyError::BadCode},
        {lines("600 x|"), SmtpReplyError::BadCode},       {lines("2a0 x|"), SmtpReplyError::BadCode},
        {lines("250x|"), SmtpReplyError::BadSeparator},   {lines("250-a|251 b|"), SmtpReplyError::CodeChanged},
        {"250 a\rb\r\n", SmtpReplyError::CarriageReturn}, {"250 " + longest + "x\r\n", SmtpReplyError::LineTooLong},
        {manyLines, SmtpReplyError::TooManyLines},
    };
    for (const auto& row : rows) {
        SmtpReplyReader reader;
        std::vector<SmtpReply> replies;
        EXPECT_FALSE(reader.feed(lines("220 ok|") + row.bytes, replies)) << row.bytes.substr(0, 20);
        EXPECT_EQ(reader.error(), row.error) << row.bytes.substr(0, 20);
        EXPECT_EQ(replies.size(), 1u);
        EXPECT_FALSE(reader.feed(lines("250 ok|"), replies)); // until reset
        reader.reset();
        EXPECT_TRUE(reader.feed(lines("250 ok|"), replies));
    }
    SmtpReplyReader reader;
    std::vector<SmtpReply> replies;
    EXPECT_TRUE(reader.feed("250 " + longest + "\r\n", replies)); // the longest line just fits
}

TEST(SmtpReply, AMegabyteLineWithoutEndIsRefusedWithinTheBound) {
    SmtpReplyReader reader;
    std::vector<SmtpReply> replies;
    const std::string chunk(4096, 'x');
    bool intact = reader.feed("250 ", replies);
    for (int i = 0; i < 256 && intact; ++i) {
        intact = reader.feed(chunk, replies);
        EXPECT_LE(reader.held(), SmtpReplyReader::kMaxLineLength);
    }
    EXPECT_FALSE(intact);
    EXPECT_EQ(reader.error(), SmtpReplyError::LineTooLong);
}

} // namespace
