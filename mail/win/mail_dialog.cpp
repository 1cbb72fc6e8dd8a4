#include "mail/win/mail_dialog.h"

#include "mail/mail_fields.h"
#include "mail/mail_schedule.h"
#include "mail/win/mail_sender.h"
#include "res/resource.h"
#include "win/clock.h"
#include "win/text.h"
#include "win/user_secret.h"
#include "win/window_base.h"

#include <iterator>

namespace {

// The edit boxes and the fields they edit, in the order in which OK takes them.
constexpr struct {
    int id;
    MailField field;
} kFields[] = {
    {IDC_MAIL_SERVER, MailField::Server},
    {IDC_MAIL_PORT, MailField::Port},
    {IDC_MAIL_USER, MailField::User},
    {IDC_MAIL_PASSWORD, MailField::Password},
    {IDC_MAIL_FROM, MailField::From},
    {IDC_MAIL_TO, MailField::To},
    {IDC_MAIL_REMINDER, MailField::ReminderMinutes},
    {IDC_MAIL_DAILY, MailField::DailyAt},
};

constexpr struct {
    int id;
    bool MailSettings::*member;
} kSwitches[] = {
    {IDC_MAIL_ENABLED, &MailSettings::enabled},
    {IDC_MAIL_SEND_START, &MailSettings::sendStart},
    {IDC_MAIL_SEND_END, &MailSettings::sendEnd},
    {IDC_MAIL_SEND_ACK, &MailSettings::sendAck},
};

// In the order of MailSecurity.
const wchar_t* const kSecurityNames[] = {L"STARTTLS (zwykle port 587)", L"TLS od początku połączenia (port 465)",
                                         L"Bez szyfrowania (serwer w sieci firmy, port 25)"};

// Someone waits for the test message: a server that does not answer is given up sooner than a notification's.
constexpr SmtpTimeouts kTestTimeouts{15000, 15000, 15000, 15000, 30000, 60000, 5000};

class CMailDialog : public CDialogBase {
public:
    CMailDialog(const MailSettings& settings, const MailTestInputs& test)
        : CDialogBase(IDD_MAIL), settings_(settings), test_(test) {}
    const MailSettings& settings() const { return settings_; }

protected:
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void initialise();
    MailSecurity security() const;
    // The fields as typed; false after a refusal, which was said. They are checked together too while e-mail is on,
    // and for a test message (`checkTogether`).
    bool take(MailSettings& edited, bool checkTogether);
    void accept();
    void sendTest();
    void testSent();

    MailSettings settings_;
    const MailTestInputs& test_;
    MailSecurity shownSecurity_ = MailSecurity::StartTls;
    CMailSender sender_; // the test message's; a delivery under way is dropped with the dialog
};

INT_PTR CMailDialog::handleMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        initialise();
        return TRUE;
    case WM_MAIL_SENT:
        testSent();
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            accept();
            break;
        case IDCANCEL:
            endDialog(IDCANCEL);
            break;
        case IDC_MAIL_TEST:
            sendTest();
            break;
        case IDC_MAIL_SECURITY:
            if (HIWORD(wParam) == CBN_SELCHANGE) {
                const MailSecurity chosen = security();
                const std::string port = narrow(windowText(item(IDC_MAIL_PORT)));
                SetDlgItemTextW(hwnd(), IDC_MAIL_PORT,
                                widen(portAfterSecuritySwitch(port, shownSecurity_, chosen)).c_str());
                shownSecurity_ = chosen;
            }
            break;
        default:
            break;
        }
        return TRUE;
    default:
        return FALSE;
    }
}

void CMailDialog::initialise() {
    for (const auto& entry : kSwitches)
        CheckDlgButton(hwnd(), entry.id, settings_.*entry.member ? BST_CHECKED : BST_UNCHECKED);
    for (const auto& field : kFields)
        SetDlgItemTextW(hwnd(), field.id, widen(mailFieldText(settings_, field.field)).c_str());
    for (const wchar_t* name : kSecurityNames)
        SendDlgItemMessageW(hwnd(), IDC_MAIL_SECURITY, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    shownSecurity_ = settings_.security;
    SendDlgItemMessageW(hwnd(), IDC_MAIL_SECURITY, CB_SETCURSEL, static_cast<WPARAM>(settings_.security), 0);
}

MailSecurity CMailDialog::security() const {
    const LRESULT chosen = SendDlgItemMessageW(hwnd(), IDC_MAIL_SECURITY, CB_GETCURSEL, 0, 0);
    return chosen >= 0 && chosen < static_cast<LRESULT>(std::size(kSecurityNames)) ? static_cast<MailSecurity>(chosen)
                                                                                   : MailSecurity::StartTls;
}

bool CMailDialog::take(MailSettings& edited, bool checkTogether) {
    edited = settings_;
    for (const auto& entry : kSwitches)
        edited.*entry.member = IsDlgButtonChecked(hwnd(), entry.id) == BST_CHECKED;
    edited.security = security();
    const auto fieldId = [](MailField field) {
        for (const auto& entry : kFields)
            if (entry.field == field)
                return entry.id;
        return IDC_MAIL_SERVER;
    };
    for (const auto& entry : kFields) {
        if (const std::string refusal = takeMailField(edited, entry.field, narrow(windowText(item(entry.id))));
            !refusal.empty()) {
            refuse(widen(refusal), entry.id);
            return false;
        }
    }
    MailField field = MailField::Server;
    if (const std::string refusal = checkTogether || edited.enabled ? checkMailSettings(edited, field) : std::string();
        !refusal.empty()) {
        refuse(widen(refusal), fieldId(field));
        return false;
    }
    return true;
}

// Settings that are off may stay incomplete: a user who sets up e-mail later finds what was typed.
void CMailDialog::accept() {
    MailSettings edited;
    if (!take(edited, false))
        return;
    settings_ = edited;
    endDialog(IDOK);
}

void CMailDialog::sendTest() {
    MailSettings edited;
    if (sender_.busy() || !take(edited, true))
        return;
    const WallTime now = wallNow();
    const std::uint64_t seed = static_cast<std::uint64_t>(now.utcMs) ^ GetCurrentProcessId();
    const MailDelivery delivery{0, mailTestMessage(edited, test_.station, test_.reading, test_.alarms, now, seed)};
    if (!sender_.send(hwnd(), edited, delivery, kTestTimeouts)) {
        refuse(widen(mailTestResultText(CMailSender::failedToStart(delivery))), IDC_MAIL_TEST);
        return;
    }
    EnableWindow(item(IDC_MAIL_TEST), FALSE);
    SetDlgItemTextW(hwnd(), IDC_MAIL_TEST_STATE, L"Wysyłanie wiadomości próbnej…");
}

void CMailDialog::testSent() {
    const auto result = sender_.takeOutcome();
    if (!result)
        return;
    EnableWindow(item(IDC_MAIL_TEST), TRUE);
    SetDlgItemTextW(hwnd(), IDC_MAIL_TEST_STATE, L"");
    const bool sent = result->second.complete();
    MessageBoxW(hwnd(), widen(mailTestResultText(result->second)).c_str(), ownerCaption().c_str(),
                MB_OK | (sent ? MB_ICONINFORMATION : MB_ICONEXCLAMATION));
}

} // namespace

bool runMailDialog(HWND owner, MailSettings& settings, const MailTestInputs& test) {
    CMailDialog dialog(settings, test);
    if (dialog.runModal(owner) != IDOK)
        return false;
    MailSettings edited = dialog.settings();
    // Encrypted for the file only when it changed: each encryption gives other bytes, and a file whose settings
    // nobody changed stays as it was.
    if (edited.password != settings.password)
        edited.protectedPassword = protectForUser(edited.password);
    settings = edited;
    return true;
}
