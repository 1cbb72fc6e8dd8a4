#include "recording/win/recording_host.h"

#include "base/cp1250.h"
#include "recording/win/recording_dialog.h"
#include "res/resource.h"
#include "win/text.h"
#include "win/unique_handle.h"

namespace {

constexpr const wchar_t* kCaption = L"HX350";

class CRecordingFile : public RecordingFile {
public:
    explicit CRecordingFile(FileHandle handle) : handle_(std::move(handle)) {}

    bool size(std::uint64_t& size) override {
        LARGE_INTEGER value{};
        if (!GetFileSizeEx(handle_.get(), &value))
            return false;
        size = static_cast<std::uint64_t>(value.QuadPart);
        return true;
    }

    bool readAt(std::uint64_t offset, char* buffer, std::size_t length) override {
        if (!seek(offset))
            return false;
        while (length > 0) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(length, 1u << 30));
            DWORD read = 0;
            if (!ReadFile(handle_.get(), buffer, chunk, &read, nullptr) || read == 0)
                return false;
            buffer += read;
            length -= read;
        }
        return true;
    }

    bool truncate(std::uint64_t size) override { return seek(size) && SetEndOfFile(handle_.get()); }

    // One WriteFile per record, so a record is never split between two writes, and flushed before the tick
    // ends.
    WriteResult writeAt(std::uint64_t offset, const std::string& bytes) override {
        if (!seek(offset))
            return WriteResult::Failed;
        DWORD written = 0;
        if (!WriteFile(handle_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written != bytes.size())
            return WriteResult::Failed;
        return FlushFileBuffers(handle_.get()) ? WriteResult::Done : WriteResult::FlushFailed;
    }

private:
    bool seek(std::uint64_t offset) {
        LARGE_INTEGER position{};
        position.QuadPart = static_cast<LONGLONG>(offset);
        return SetFilePointerEx(handle_.get(), position, nullptr, FILE_BEGIN) != 0;
    }

    FileHandle handle_;
};

} // namespace

CRecordingHost::CRecordingHost(std::function<HWND()> owner, const CurrentReading& reading,
                               std::function<void()> statusChanged)
    : owner_(std::move(owner)), reading_(reading), statusChanged_(std::move(statusChanged)) {}

std::unique_ptr<RecordingFile> openRecordingFile(const std::wstring& path, bool& existed) {
    existed = false;
    if (path.empty())
        return nullptr;
    FileHandle handle(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!handle)
        return nullptr;
    existed = GetLastError() == ERROR_ALREADY_EXISTS;
    return std::make_unique<CRecordingFile>(std::move(handle));
}

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
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const std::uint64_t ticks = (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
    return static_cast<std::int64_t>(ticks / 10000); // 100 ns units since 1601
}

LocalTime CRecordingHost::localTime() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}
