#include "mail/mail_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

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

} // namespace
