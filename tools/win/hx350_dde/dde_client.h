#pragma once

#include <windows.h>

#include <ddeml.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>

// Wine's DDEML loses step when transactions follow each other without a turn of the message loop in between.
inline constexpr DWORD kSettleMs = 30;

// Runs the message loop for a while: DDEML delivers replies and advise data as window messages.
void pumpMessages(DWORD milliseconds);

// "DMLERR_NO_CONV_ESTABLISHED" and the like; "DDE error 0x…" for a number DDEML does not define.
std::string ddeErrorName(UINT error);

// Every byte of a data handle, terminating NUL included.
std::string dataBytes(HDDEDATA data);

// A string handle of one DDEML instance, freed when it ends; null when it could not be made.
class DdeName {
public:
    DdeName() = default;
    DdeName(DWORD instance, HSZ handle) : instance_(instance), handle_(handle) {}
    ~DdeName() { reset(); }
    DdeName(DdeName&& other) noexcept : instance_(other.instance_), handle_(std::exchange(other.handle_, nullptr)) {}
    DdeName& operator=(DdeName&& other) noexcept;
    DdeName(const DdeName&) = delete;
    DdeName& operator=(const DdeName&) = delete;

    HSZ get() const { return handle_; }

private:
    void reset();
    DWORD instance_ = 0;
    HSZ handle_ = nullptr;
};

// A client conversation and the names it was made with, which live as long as it; disconnected when it ends.
class DdeConversation {
public:
    DdeConversation() = default;
    DdeConversation(HCONV handle, DdeName service, DdeName topic)
        : handle_(handle), service_(std::move(service)), topic_(std::move(topic)) {}
    ~DdeConversation() { disconnect(); }
    DdeConversation(DdeConversation&& other) noexcept;
    DdeConversation& operator=(DdeConversation&& other) noexcept;
    DdeConversation(const DdeConversation&) = delete;
    DdeConversation& operator=(const DdeConversation&) = delete;

    explicit operator bool() const { return handle_ != nullptr; }
    void disconnect();
    // The item's data, or nothing when the transaction failed (the client's lastError says why).
    std::optional<std::string> request(HSZ item, UINT format, DWORD timeoutMs) const;
    // A hot link, or with `warm` one whose updates carry no data; false when the server refused it.
    bool startAdvise(HSZ item, UINT format, bool warm) const;
    void stopAdvise(HSZ item, UINT format) const;
    // The server's window for this conversation, null when DDEML does not say.
    HWND partner() const;

private:
    HCONV handle_ = nullptr;
    DdeName service_;
    DdeName topic_;
};

// One DDEML client instance, Unicode or ANSI, with the callback context of its own: advise updates go to the
// handler given to it, and it notes when the service it watches goes away.
class CDdeClient {
public:
    // Takes each advise update's data (null for a warm link's notification) while DDEML holds it.
    using AdviseHandler = std::function<void(HDDEDATA data)>;

    CDdeClient() = default;
    ~CDdeClient();
    CDdeClient(const CDdeClient&) = delete;
    CDdeClient& operator=(const CDdeClient&) = delete;

    // False, and the reason on standard error, when DDEML refused.
    bool initialise(bool ansi);
    // A name as a Unicode client types it, or as an ANSI client on a Central European system holds it.
    DdeName name(const std::string& utf8) const;
    std::string text(HSZ handle) const;
    DWORD instance() const { return instance_; }
    UINT lastError() const { return DdeGetLastError(instance_); }

    // A conversation with SERVICE|TOPIC, or none with the reason on standard error.
    DdeConversation connect(const std::string& service, const std::string& topic) const;
    // A conversation with `service` on `topic`, or none, silently.
    DdeConversation tryConnect(HSZ service, DdeName topic) const;

    void onAdvise(AdviseHandler handler) { adviseHandler_ = std::move(handler); }
    // serviceGone turns true when `service` (a name the caller keeps) unregisters, or when a conversation
    // of this client is ended by its server.
    void watchService(HSZ service) { watchedService_ = service; }
    bool serviceGone() const { return serviceGone_; }

private:
    static constexpr size_t kSlots = 4;
    template <size_t Slot>
    static HDDEDATA CALLBACK callback(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2, HDDEDATA data,
                                      ULONG_PTR, ULONG_PTR);
    HDDEDATA transaction(UINT type, HSZ hsz1, HDDEDATA data);

    static inline CDdeClient* clients_[kSlots] = {};
    size_t slot_ = kSlots;
    DWORD instance_ = 0;
    bool ansi_ = false;
    AdviseHandler adviseHandler_;
    HSZ watchedService_ = nullptr;
    bool serviceGone_ = false;
};
