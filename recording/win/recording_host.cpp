#include "recording/win/recording_host.h"

#include "base/cp1250.h"
#include "recording/win/recording_dialog.h"
#include "recording/win/recording_file.h"
#include "res/resource.h"
#include "win/clock.h"
#include "win/text.h"

namespace {

constexpr const wchar_t* kCaption = L"HX350";

} // namespace

CRecordingHost::CRecordingHost(std::function<HWND()> owner, const CurrentReading& reading,
                               std::function<void()> statusChanged)
    : owner_(std::move(owner)), reading_(reading), statusChanged_(std::move(statusChanged)) {}

// The settings keep file names as Windows-1250 bytes whatever the system's code page, so the name is widened
// from that code page, never from the ANSI one.
std::unique_ptr<RecordingFile> CRecordingHost::openFile(const std::string& name, bool& existed) {
    return openRecordingFile(widen(cp1250ToUtf8(name)), existed);
}

bool CRecordingHost::askContinue(RecordingKind kind) {
    const wchar_t* text = kind == RecordingKind::Text
                              ? L"Plik rejestracji pomiarów już istnieje.\r\nWybierz Tak aby dopisywać wyniki do "
                                L"poprzednich,\r\nwybierz Nie aby skasować poprzednią zawartość pliku."
                              : L"Plik binarny już istnieje.\r\nWybierz Tak aby dopisywać wyniki do poprzednich,\r\n"
                                L"wybierz Nie aby skasować poprzednią zawartość pliku.";
    // Only "Nie" empties the file: a question ended unanswered, as the program's close ends it, keeps the records.
    return MessageBoxW(owner_(), text, kCaption, MB_YESNO | MB_ICONQUESTION) != IDNO;
}

void CRecordingHost::showUnavailable(RecordingKind kind) {
    const wchar_t* text = kind == RecordingKind::Text ? L"Wybrany plik rejestracji wyników pomiaru jest niedostępny."
                                                      : L"Wybrany plik binarny jest niedostępny.";
    MessageBoxW(owner_(), text, kCaption, MB_OK | MB_ICONEXCLAMATION);
}

bool CRecordingHost::runDialog(RecordingSettings& settings) {
    return runRecordingDialog(owner_(), settings);
}

void CRecordingHost::armTimer(unsigned delayMs) {
    SetTimer(owner_(), IDT_RECORD, delayMs, nullptr);
}

void CRecordingHost::stopTimer() {
    KillTimer(owner_(), IDT_RECORD);
}

void CRecordingHost::enableSettingsCommand() {
    EnableMenuItem(GetMenu(owner_()), ID_SETTINGS_RECORDING, MF_BYCOMMAND | MF_ENABLED);
    DrawMenuBar(owner_());
}

std::int64_t CRecordingHost::nowMs() {
    return utcMs();
}

LocalTime CRecordingHost::localTime() {
    return localNow();
}
