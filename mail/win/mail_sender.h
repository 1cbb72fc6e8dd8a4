#pragma once

#include "mail/mail_schedule.h"
#include "mail/mail_settings.h"
#include "mail/smtp_session.h"
#include "win/unique_handle.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

// Posted to the owner window when a delivery has ended, with wParam and lParam 0; the owner then takes the outcome
// with CMailSender::takeOutcome(). From the WM_APP range, after the MQTT status.
inline constexpr UINT WM_MAIL_SENT = WM_APP + 2;

// Delivers one message at a time on a worker thread of its own, which owns the connection and an SmtpSession: the
// name resolution, the TLS handshake and every wait happen there, each bounded by the session's timeouts. The
// thread lives as long as the delivery, so a station whose notifications are quiet carries no thread at all.
class CMailSender {
public:
    // A worker inside name resolution or a certificate check, which nothing can interrupt, is left to end on its
    // own after this.
    static constexpr DWORD kStopWaitMs = 2000;

    CMailSender() = default;
    ~CMailSender(); // cancel()
    CMailSender(const CMailSender&) = delete;
    CMailSender& operator=(const CMailSender&) = delete;

    // Begins the delivery; false while another is under way or when no thread could be started (the caller then
    // has its outcome at once from failedToStart()).
    bool send(HWND owner, const MailSettings& settings, const MailDelivery& delivery,
              const SmtpTimeouts& timeouts = {});
    bool busy() const { return static_cast<bool>(shared_); }
    // After WM_MAIL_SENT: the delivery's id and outcome; none while it is under way or after cancel().
    std::optional<std::pair<std::uint64_t, SmtpOutcome>> takeOutcome();
    // Ends a delivery under way without an outcome: the connection is dropped and the thread joined.
    void cancel();

    // The outcome of a delivery that could not begin, for the same path as any other.
    static SmtpOutcome failedToStart(const MailDelivery& delivery);

private:
    struct Shared;
    class Worker;

    std::shared_ptr<Shared> shared_;
    KernelHandle thread_;
};
