#include "tools/win/hx350_dde/dde_client.h"

#include "base/cp1250.h"
#include "tools/win/hx350_dde/output.h"
#include "win/text.h"

#include <dde.h>

#include <cstdio>
#include <map>

void pumpMessages(DWORD milliseconds) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
    }
}

std::string ddeErrorName(UINT error) {
    static const std::map<UINT, const char*> names = {
        {DMLERR_NO_ERROR, "DMLERR_NO_ERROR"},
        {DMLERR_ADVACKTIMEOUT, "DMLERR_ADVACKTIMEOUT"},
        {DMLERR_BUSY, "DMLERR_BUSY"},
        {DMLERR_DATAACKTIMEOUT, "DMLERR_DATAACKTIMEOUT"},
        {DMLERR_DLL_NOT_INITIALIZED, "DMLERR_DLL_NOT_INITIALIZED"},
        {DMLERR_DLL_USAGE, "DMLERR_DLL_USAGE"},
        {DMLERR_EXECACKTIMEOUT, "DMLERR_EXECACKTIMEOUT"},
        {DMLERR_INVALIDPARAMETER, "DMLERR_INVALIDPARAMETER"},
        {DMLERR_LOW_MEMORY, "DMLERR_LOW_MEMORY"},
        {DMLERR_MEMORY_ERROR, "DMLERR_MEMORY_ERROR"},
        {DMLERR_NOTPROCESSED, "DMLERR_NOTPROCESSED"},
        {DMLERR_NO_CONV_ESTABLISHED, "DMLERR_NO_CONV_ESTABLISHED"},
        {DMLERR_POKEACKTIMEOUT, "DMLERR_POKEACKTIMEOUT"},
        {DMLERR_POSTMSG_FAILED, "DMLERR_POSTMSG_FAILED"},
        {DMLERR_REENTRANCY, "DMLERR_REENTRANCY"},
        {DMLERR_SERVER_DIED, "DMLERR_SERVER_DIED"},
        {DMLERR_SYS_ERROR, "DMLERR_SYS_ERROR"},
        {DMLERR_UNADVACKTIMEOUT, "DMLERR_UNADVACKTIMEOUT"},
        {DMLERR_UNFOUND_QUEUE_ID, "DMLERR_UNFOUND_QUEUE_ID"},
    };
    const auto found = names.find(error);
    if (found != names.end())
        return found->second;
    char buffer[32];
    std::snprintf(buffer, sizeof(buffer), "DDE error 0x%04X", error);
    return buffer;
}

std::string dataBytes(HDDEDATA data) {
    const DWORD size = DdeGetData(data, nullptr, 0, 0);
    std::string bytes(size, '\0');
    if (size > 0)
        DdeGetData(data, reinterpret_cast<LPBYTE>(bytes.data()), size, 0);
    return bytes;
}

DdeName& DdeName::operator=(DdeName&& other) noexcept {
    if (this != &other) {
        reset();
        instance_ = other.instance_;
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

void DdeName::reset() {
    if (handle_ != nullptr)
        DdeFreeStringHandle(instance_, std::exchange(handle_, nullptr));
}

DdeConversation::DdeConversation(DdeConversation&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), service_(std::move(other.service_)),
      topic_(std::move(other.topic_)) {}

DdeConversation& DdeConversation::operator=(DdeConversation&& other) noexcept {
    if (this != &other) {
        disconnect();
        handle_ = std::exchange(other.handle_, nullptr);
        service_ = std::move(other.service_);
        topic_ = std::move(other.topic_);
    }
    return *this;
}

void DdeConversation::disconnect() {
    if (handle_ != nullptr)
        DdeDisconnect(std::exchange(handle_, nullptr));
}

std::optional<std::string> DdeConversation::request(HSZ item, UINT format, DWORD timeoutMs) const {
    DWORD result = 0;
    HDDEDATA data = DdeClientTransaction(nullptr, 0, handle_, item, format, XTYP_REQUEST, timeoutMs, &result);
    if (data == nullptr)
        return std::nullopt;
    std::string bytes = dataBytes(data);
    DdeFreeDataHandle(data);
    return bytes;
}

bool DdeConversation::startAdvise(HSZ item, UINT format, bool warm) const {
    DWORD result = 0;
    const UINT linkType = warm ? XTYP_ADVSTART | XTYPF_NODATA : XTYP_ADVSTART;
    return DdeClientTransaction(nullptr, 0, handle_, item, format, linkType, 5000, &result) != nullptr;
}

void DdeConversation::stopAdvise(HSZ item, UINT format) const {
    DWORD result = 0;
    DdeClientTransaction(nullptr, 0, handle_, item, format, XTYP_ADVSTOP, 5000, &result);
}

HWND DdeConversation::partner() const {
    CONVINFO info{};
    info.cb = sizeof(info);
    return DdeQueryConvInfo(handle_, QID_SYNC, &info) != 0 ? info.hwndPartner : nullptr;
}

// The slot stays taken until DdeUninitialize has returned, since ending the conversations left may still call back.
CDdeClient::~CDdeClient() {
    if (instance_ != 0)
        DdeUninitialize(instance_);
    if (slot_ < kSlots)
        clients_[slot_] = nullptr;
}

// DDEML's callback carries no user pointer, nor even the instance it is called for; but every instance names a
// callback of its own. So each client takes one of a few callback functions, which differ only in the slot through
// which they reach their client, and holds it until its instance is gone. The tool never needs more than two at
// once (the load command's).
template <size_t Slot>
HDDEDATA CALLBACK CDdeClient::callback(UINT type, UINT, HCONV, HSZ hsz1, HSZ, HDDEDATA data, ULONG_PTR, ULONG_PTR) {
    CDdeClient* client = clients_[Slot];
    return client != nullptr ? client->transaction(type, hsz1, data) : nullptr;
}

bool CDdeClient::initialise(bool ansi) {
    static const PFNCALLBACK callbacks[kSlots] = {callback<0>, callback<1>, callback<2>, callback<3>};
    slot_ = 0;
    while (slot_ < kSlots && clients_[slot_] != nullptr)
        ++slot_;
    if (slot_ == kSlots) {
        writeErr("hx350-dde: DDE initialisation failed: more than " + std::to_string(kSlots) + " clients\n");
        return false;
    }
    clients_[slot_] = this;
    ansi_ = ansi;
    const DWORD flags = APPCMD_CLIENTONLY | CBF_SKIP_REGISTRATIONS;
    const UINT result = ansi ? DdeInitializeA(&instance_, callbacks[slot_], flags, 0)
                             : DdeInitializeW(&instance_, callbacks[slot_], flags, 0);
    if (result != DMLERR_NO_ERROR) {
        writeErr("hx350-dde: DDE initialisation failed: " + ddeErrorName(result) + "\n");
        instance_ = 0;
        return false;
    }
    return true;
}

HDDEDATA CDdeClient::transaction(UINT type, HSZ hsz1, HDDEDATA data) {
    switch (type) {
    case XTYP_ADVDATA:
        if (adviseHandler_)
            adviseHandler_(data);
        return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(DDE_FACK));
    case XTYP_DISCONNECT:
        serviceGone_ = true;
        return nullptr;
    case XTYP_UNREGISTER:
        // A server that goes away unregisters its name; Wine never sends the client XTYP_DISCONNECT.
        if (watchedService_ != nullptr && DdeCmpStringHandles(hsz1, watchedService_) == 0)
            serviceGone_ = true;
        return nullptr;
    default:
        return nullptr;
    }
}

DdeName CDdeClient::name(const std::string& utf8) const {
    HSZ handle = nullptr;
    if (ansi_)
        handle = DdeCreateStringHandleA(instance_, utf8ToCp1250(utf8).c_str(), CP_WINANSI);
    else
        handle = DdeCreateStringHandleW(instance_, widen(utf8).c_str(), CP_WINUNICODE);
    return DdeName(instance_, handle);
}

std::string CDdeClient::text(HSZ handle) const {
    wchar_t buffer[256] = {};
    DdeQueryStringW(instance_, handle, buffer, 256, CP_WINUNICODE);
    return narrow(buffer);
}

DdeConversation CDdeClient::connect(const std::string& service, const std::string& topic) const {
    DdeName serviceName = name(service);
    DdeName topicName = name(topic);
    if (serviceName.get() == nullptr || topicName.get() == nullptr) {
        writeErr("hx350-dde: cannot make the DDE names: " + ddeErrorName(lastError()) + "\n");
        return {};
    }
    HCONV conversation = DdeConnect(instance_, serviceName.get(), topicName.get(), nullptr);
    if (conversation == nullptr)
        writeErr("hx350-dde: no conversation with " + service + "|" + topic + ": " + ddeErrorName(lastError()) + "\n");
    return DdeConversation(conversation, std::move(serviceName), std::move(topicName));
}

DdeConversation CDdeClient::tryConnect(HSZ service, DdeName topic) const {
    HCONV conversation = DdeConnect(instance_, service, topic.get(), nullptr);
    return DdeConversation(conversation, DdeName(), std::move(topic));
}
