// hx350-dde: a DDE client for checking, from a command line, what the HX350 program publishes.
//
//   hx350-dde list [TOPIC] [--serial N]
//   hx350-dde request TOPIC ITEM [--format N] [--serial N] [--timeout S]
//   hx350-dde advise TOPIC ITEM [--count N] [--timeout S] [--serial N] [--format N] [--qpc]
//   hx350-dde resources [--process NAME] [--serial N]
//
// Common options: --hex prints the exact bytes received (terminating NUL included), --ansi talks DDE through the
// ANSI functions with Windows-1250 names instead of the Unicode ones, --service NAME asks another service.
// Names on the command line and everything printed are UTF-8.

#include "base/cp1250.h"
#include "dde/dde_items.h"
#include "win/text.h"

#include <windows.h>

#include <dde.h>
#include <ddeml.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

namespace {

enum ExitCode : int {
    ExitOk = 0,
    ExitUsage = 1,
    ExitNoConversation = 2,
    ExitTransactionFailed = 3,
    ExitTimedOut = 4,
    ExitServiceGone = 5,
    ExitNotFound = 6,
};

// Wine's DDEML loses step when transactions follow each other without a turn of the message loop in between.
constexpr DWORD kSettleMs = 30;

struct Options {
    std::string command;
    std::vector<std::string> positional;
    std::string service = "HX350";
    std::string process = "HX350.exe";
    UINT format = CF_TEXT;
    long serial = 0;
    bool hasSerial = false;
    long count = 0;
    long everyMs = 0; // load: pause between request rounds
    double timeoutSeconds = -1;
    bool hex = false;
    bool ansi = false;
    bool qpc = false;  // advise: stamps in QueryPerformanceCounter nanoseconds
    bool warm = false; // advise: a warm link, notifications without data
};

void writeOut(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void writeErr(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
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

// Runs the message loop for a while: DDEML delivers replies and advise data as window messages.
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

std::string timeStamp() {
    SYSTEMTIME time;
    GetLocalTime(&time);
    char buffer[32];
    std::snprintf(buffer, sizeof(buffer), "%02u:%02u:%02u.%03u", time.wHour, time.wMinute, time.wSecond,
                  time.wMilliseconds);
    return buffer;
}

// Under Wine the performance counter is the host's CLOCK_MONOTONIC_RAW, so these stamps compare with those of a
// Linux process (the simulator's) without conversion. Split so that the product cannot overflow.
std::string counterStamp() {
    LARGE_INTEGER counter{}, frequency{};
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    const long long ticks = counter.QuadPart, perSecond = frequency.QuadPart;
    const long long ns = ticks / perSecond * 1000000000LL + ticks % perSecond * 1000000000LL / perSecond;
    return std::to_string(ns);
}

// What a client shows of an item: the text up to its terminating NUL, or every byte in hex.
std::string describeData(const std::string& bytes, bool hex) {
    if (hex) {
        std::string text;
        char buffer[4];
        for (unsigned char byte : bytes) {
            std::snprintf(buffer, sizeof(buffer), "%02X", byte);
            if (!text.empty())
                text += ' ';
            text += buffer;
        }
        return text;
    }
    const size_t end = bytes.find('\0');
    return cp1250ToUtf8(bytes.substr(0, end));
}

std::string dataBytes(HDDEDATA data) {
    const DWORD size = DdeGetData(data, nullptr, 0, 0);
    std::string bytes(size, '\0');
    if (size > 0)
        DdeGetData(data, reinterpret_cast<LPBYTE>(bytes.data()), size, 0);
    return bytes;
}

// One DDEML client instance, Unicode or ANSI, and the string handles it made.
class DdeClient {
public:
    using Callback = HDDEDATA (*)(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA);

    ~DdeClient() {
        if (instance_ == 0)
            return;
        for (HSZ handle : handles_)
            DdeFreeStringHandle(instance_, handle);
        DdeUninitialize(instance_);
    }

    bool initialise(bool ansi) {
        ansi_ = ansi;
        const DWORD flags = APPCMD_CLIENTONLY | CBF_SKIP_REGISTRATIONS;
        const UINT result =
            ansi ? DdeInitializeA(&instance_, callback, flags, 0) : DdeInitializeW(&instance_, callback, flags, 0);
        if (result != DMLERR_NO_ERROR) {
            writeErr("hx350-dde: DDE initialisation failed: " + ddeErrorName(result) + "\n");
            instance_ = 0;
            return false;
        }
        return true;
    }

    // A name as a Unicode client types it, or as an ANSI client on a Central European system holds it.
    HSZ name(const std::string& utf8) {
        HSZ handle = nullptr;
        if (ansi_)
            handle = DdeCreateStringHandleA(instance_, utf8ToCp1250(utf8).c_str(), CP_WINANSI);
        else
            handle = DdeCreateStringHandleW(instance_, widen(utf8).c_str(), CP_WINUNICODE);
        if (handle != nullptr)
            handles_.push_back(handle);
        return handle;
    }

    std::string text(HSZ handle) const {
        wchar_t buffer[256] = {};
        DdeQueryStringW(instance_, handle, buffer, 256, CP_WINUNICODE);
        return narrow(buffer);
    }

    DWORD instance() const { return instance_; }
    UINT lastError() const { return DdeGetLastError(instance_); }
    static void setHandler(Callback handler) { handler_ = handler; }

private:
    static HDDEDATA CALLBACK callback(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2, HDDEDATA data,
                                      ULONG_PTR, ULONG_PTR) {
        return handler_ != nullptr ? handler_(type, format, conversation, hsz1, hsz2, data) : nullptr;
    }

    static inline Callback handler_ = nullptr;
    DWORD instance_ = 0;
    bool ansi_ = false;
    std::vector<HSZ> handles_;
};

std::string fullTopic(const Options& options, const std::string& topic) {
    return options.hasSerial ? topic + "#" + std::to_string(options.serial) : topic;
}

HCONV connect(DdeClient& client, const Options& options, const std::string& topic) {
    HSZ service = client.name(options.service);
    HSZ topicHandle = client.name(topic);
    if (service == nullptr || topicHandle == nullptr) {
        writeErr("hx350-dde: cannot make the DDE names: " + ddeErrorName(client.lastError()) + "\n");
        return nullptr;
    }
    HCONV conversation = DdeConnect(client.instance(), service, topicHandle, nullptr);
    if (conversation == nullptr)
        writeErr("hx350-dde: no conversation with " + options.service + "|" + topic + ": " +
                 ddeErrorName(client.lastError()) + "\n");
    return conversation;
}

DWORD transactionTimeout(const Options& options) {
    return options.timeoutSeconds > 0 ? static_cast<DWORD>(options.timeoutSeconds * 1000) : 5000;
}

int runRequest(const Options& options) {
    if (options.positional.size() != 2) {
        writeErr("hx350-dde: request needs TOPIC and ITEM\n");
        return ExitUsage;
    }
    DdeClient client;
    if (!client.initialise(options.ansi))
        return ExitNoConversation;
    const std::string topic = fullTopic(options, options.positional[0]);
    const std::string& itemName = options.positional[1];
    HCONV conversation = connect(client, options, topic);
    if (conversation == nullptr)
        return ExitNoConversation;
    pumpMessages(kSettleMs);

    HSZ item = client.name(itemName);
    DWORD result = 0;
    HDDEDATA data = DdeClientTransaction(nullptr, 0, conversation, item, options.format, XTYP_REQUEST,
                                         transactionTimeout(options), &result);
    int exitCode = ExitOk;
    if (data == nullptr) {
        writeErr("hx350-dde: request for " + itemName + " in format " + std::to_string(options.format) + " on " +
                 options.service + "|" + topic + " failed: " + ddeErrorName(client.lastError()) + "\n");
        exitCode = ExitTransactionFailed;
    } else {
        writeOut(describeData(dataBytes(data), options.hex) + "\n");
        DdeFreeDataHandle(data);
    }
    pumpMessages(kSettleMs);
    DdeDisconnect(conversation);
    return exitCode;
}

// State of an advise loop, reached from the DDEML callback.
struct AdviseLoop {
    const Options* options = nullptr;
    DdeClient* client = nullptr;
    HSZ service = nullptr;
    long updates = 0;
    bool serviceGone = false;
    bool quiet = false; // counts only (load)
};
AdviseLoop g_advise;

HDDEDATA adviseCallback(UINT type, UINT, HCONV, HSZ hsz1, HSZ, HDDEDATA data) {
    switch (type) {
    case XTYP_ADVDATA:
        // Every update is printed as it comes, repeats too: some DDEML implementations send one twice.
        if (data != nullptr || g_advise.options->warm) {
            if (!g_advise.quiet) {
                // Stamped before anything else is done with the update.
                const std::string stamp = g_advise.options->qpc ? counterStamp() : timeStamp();
                writeOut(stamp + " " +
                         (data != nullptr ? describeData(dataBytes(data), g_advise.options->hex) : "(no data)") + "\n");
            }
            ++g_advise.updates;
        }
        return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(DDE_FACK));
    case XTYP_DISCONNECT:
        g_advise.serviceGone = true;
        return nullptr;
    case XTYP_UNREGISTER:
        // A server that goes away unregisters its name; Wine never sends the client XTYP_DISCONNECT.
        if (DdeCmpStringHandles(hsz1, g_advise.service) == 0)
            g_advise.serviceGone = true;
        return nullptr;
    default:
        return nullptr;
    }
}

int runAdvise(const Options& options) {
    if (options.positional.size() != 2) {
        writeErr("hx350-dde: advise needs TOPIC and ITEM\n");
        return ExitUsage;
    }
    DdeClient client;
    g_advise.options = &options;
    g_advise.client = &client;
    DdeClient::setHandler(adviseCallback);
    if (!client.initialise(options.ansi))
        return ExitNoConversation;
    g_advise.service = client.name(options.service);
    const std::string topic = fullTopic(options, options.positional[0]);
    const std::string& itemName = options.positional[1];
    HCONV conversation = connect(client, options, topic);
    if (conversation == nullptr)
        return ExitNoConversation;
    pumpMessages(kSettleMs);

    HSZ item = client.name(itemName);
    DWORD result = 0;
    const UINT linkType = options.warm ? XTYP_ADVSTART | XTYPF_NODATA : XTYP_ADVSTART;
    if (DdeClientTransaction(nullptr, 0, conversation, item, options.format, linkType, 5000, &result) == nullptr) {
        writeErr("hx350-dde: advise on " + itemName + " of " + options.service + "|" + topic +
                 " refused: " + ddeErrorName(client.lastError()) + "\n");
        DdeDisconnect(conversation);
        return ExitTransactionFailed;
    }
    writeErr("hx350-dde: advising " + options.service + "|" + topic + "!" + itemName + "\n");
    // The server's end of the conversation is a window that lives as long as the conversation: when it is gone,
    // so is the service, whether or not a notification reached us.
    CONVINFO info{};
    info.cb = sizeof(info);
    const HWND server = DdeQueryConvInfo(conversation, QID_SYNC, &info) != 0 ? info.hwndPartner : nullptr;

    const bool bounded = options.timeoutSeconds > 0;
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(bounded ? options.timeoutSeconds * 1000 : 0);
    while (!g_advise.serviceGone && (options.count <= 0 || g_advise.updates < options.count) &&
           (!bounded || GetTickCount64() < deadline)) {
        pumpMessages(kSettleMs);
        if (server != nullptr && !IsWindow(server))
            g_advise.serviceGone = true;
    }

    if (g_advise.serviceGone) {
        writeErr("hx350-dde: " + options.service + " went away after " + std::to_string(g_advise.updates) +
                 " update(s)\n");
        return ExitServiceGone;
    }
    DdeClientTransaction(nullptr, 0, conversation, item, options.format, XTYP_ADVSTOP, 5000, &result);
    pumpMessages(kSettleMs);
    DdeDisconnect(conversation);
    if (options.count > 0 && g_advise.updates < options.count) {
        writeErr("hx350-dde: timed out with " + std::to_string(g_advise.updates) + " of " +
                 std::to_string(options.count) + " update(s)\n");
        return ExitTimedOut;
    }
    return ExitOk;
}

// A busy client for load tests: advise links on both topics and requests of every item in a loop, with its
// counts printed once a second ("updates=U requests=R failures=F last_error=NAME"), until the timeout or until it is
// killed. The requests go on conversations of their own, in a DDE instance of their own (one instance holds one
// conversation per topic): Wine's DDEML ends a synchronous request at the first DDE message its conversation
// receives, so an advise update arriving meanwhile would end it with DMLERR_NOTPROCESSED (or a handle that is none)
// and leave the real answer to arrive unasked.
int runLoad(const Options& options) {
    if (!options.positional.empty() || !options.hasSerial) {
        writeErr("hx350-dde: load needs --serial N and no TOPIC\n");
        return ExitUsage;
    }
    DdeClient client;
    DdeClient requester;
    g_advise.options = &options;
    g_advise.client = &client;
    g_advise.quiet = true;
    DdeClient::setHandler(adviseCallback);
    if (!client.initialise(options.ansi) || !requester.initialise(options.ansi))
        return ExitNoConversation;
    g_advise.service = client.name(options.service);
    HCONV advised[2] = {};
    HCONV conversations[2] = {};
    HSZ items[3] = {};
    for (int item = 0; item < 3; ++item)
        items[item] = requester.name(kDdeItemNames[item]);
    const HSZ advisedItem = client.name(kDdeItemNames[0]);
    DWORD result = 0;
    for (int topic = 0; topic < 2; ++topic) {
        const std::string name = fullTopic(options, kDdeTopicNames[topic]);
        advised[topic] = connect(client, options, name);
        conversations[topic] = advised[topic] != nullptr ? connect(requester, options, name) : nullptr;
        if (conversations[topic] == nullptr)
            return ExitNoConversation;
        pumpMessages(kSettleMs);
        if (DdeClientTransaction(nullptr, 0, advised[topic], advisedItem, CF_TEXT, XTYP_ADVSTART, 5000, &result) ==
            nullptr)
            return ExitTransactionFailed;
    }
    long requests = 0;
    long failures = 0;
    std::string lastError = "none";
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(options.timeoutSeconds * 1000);
    ULONGLONG nextReport = GetTickCount64() + 1000;
    while (!g_advise.serviceGone && (options.timeoutSeconds <= 0 || GetTickCount64() < deadline)) {
        for (int topic = 0; topic < 2; ++topic) {
            for (HSZ item : items) {
                HDDEDATA data =
                    DdeClientTransaction(nullptr, 0, conversations[topic], item, CF_TEXT, XTYP_REQUEST, 5000, &result);
                ++requests;
                if (data == nullptr) {
                    ++failures;
                    lastError = ddeErrorName(requester.lastError());
                } else {
                    DdeFreeDataHandle(data);
                }
                // Back-to-back requests without pumping get out of step under Wine.
                pumpMessages(kSettleMs);
            }
        }
        if (options.everyMs > 0)
            pumpMessages(static_cast<DWORD>(options.everyMs));
        if (GetTickCount64() >= nextReport) {
            nextReport += 1000;
            writeOut("updates=" + std::to_string(g_advise.updates) + " requests=" + std::to_string(requests) +
                     " failures=" + std::to_string(failures) + " last_error=" + lastError + "\n");
        }
    }
    if (g_advise.serviceGone)
        return ExitServiceGone;
    for (int topic = 0; topic < 2; ++topic) {
        DdeDisconnect(conversations[topic]);
        DdeDisconnect(advised[topic]);
    }
    return ExitOk;
}

// The raw DDE wildcard initiate that DdeConnectList makes on Windows: every server that answers acknowledges
// once per service and topic it offers, and each of those conversations is then terminated again.
class WildcardScan {
public:
    std::vector<std::pair<std::string, std::string>> run(const Options& options, const std::string& topic) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = windowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"HX350DdeListClient";
        RegisterClassW(&windowClass);
        window_ = CreateWindowW(L"HX350DdeListClient", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                windowClass.hInstance, nullptr);
        if (window_ == nullptr)
            return {};
        current_ = this;
        ATOM service = addAtom(options, options.service);
        ATOM topicAtom = topic.empty() ? 0 : addAtom(options, topic);
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(HWND_BROADCAST, WM_DDE_INITIATE, reinterpret_cast<WPARAM>(window_),
                            MAKELPARAM(service, topicAtom), SMTO_ABORTIFHUNG, 3000, &ignored);
        if (service != 0)
            GlobalDeleteAtom(service);
        if (topicAtom != 0)
            GlobalDeleteAtom(topicAtom);

        for (HWND server : servers_)
            PostMessageW(server, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window_), 0);
        const ULONGLONG deadline = GetTickCount64() + 2000;
        while (terminated_ < servers_.size() && GetTickCount64() < deadline)
            pumpMessages(kSettleMs);
        DestroyWindow(window_);
        current_ = nullptr;
        return found_;
    }

private:
    static ATOM addAtom(const Options& options, const std::string& utf8) {
        return options.ansi ? GlobalAddAtomA(utf8ToCp1250(utf8).c_str()) : GlobalAddAtomW(widen(utf8).c_str());
    }

    static std::string atomText(ATOM atom) {
        wchar_t buffer[256] = {};
        GlobalGetAtomNameW(atom, buffer, 256);
        return narrow(buffer);
    }

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        WildcardScan* scan = current_;
        if (scan != nullptr && message == WM_DDE_ACK) {
            // The answer to an initiate is sent, not posted, so its parameter is not packed; the atoms are ours
            // to delete.
            const ATOM service = LOWORD(lParam);
            const ATOM topic = HIWORD(lParam);
            scan->found_.emplace_back(atomText(service), atomText(topic));
            scan->servers_.push_back(reinterpret_cast<HWND>(wParam));
            GlobalDeleteAtom(service);
            GlobalDeleteAtom(topic);
            return 0;
        }
        if (scan != nullptr && message == WM_DDE_TERMINATE) {
            ++scan->terminated_;
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    static inline WildcardScan* current_ = nullptr;
    HWND window_ = nullptr;
    std::vector<std::pair<std::string, std::string>> found_;
    std::vector<HWND> servers_;
    size_t terminated_ = 0;
};

int runList(const Options& options) {
    if (options.positional.size() > 1) {
        writeErr("hx350-dde: list takes at most one TOPIC\n");
        return ExitUsage;
    }
    const std::string topic = options.positional.empty() ? "" : fullTopic(options, options.positional[0]);
    DdeClient client;
    if (!client.initialise(options.ansi))
        return ExitNoConversation;
    HSZ service = client.name(options.service);
    HSZ topicHandle = topic.empty() ? nullptr : client.name(topic);

    std::vector<std::pair<std::string, std::string>> found;
    if (HCONVLIST list = DdeConnectList(client.instance(), service, topicHandle, nullptr, nullptr)) {
        for (HCONV conversation = DdeQueryNextServer(list, nullptr); conversation != nullptr;
             conversation = DdeQueryNextServer(list, conversation)) {
            CONVINFO info{};
            info.cb = sizeof(info);
            if (DdeQueryConvInfo(conversation, QID_SYNC, &info) != 0)
                found.emplace_back(client.text(info.hszSvcPartner), client.text(info.hszTopic));
        }
        DdeDisconnectList(list);
    }
    if (found.empty()) {
        writeErr("hx350-dde: DdeConnectList found nothing (Wine only stubs it); asking every DDE server with a "
                 "wildcard initiate\n");
        found = WildcardScan().run(options, topic);
    }
    if (found.empty() && options.hasSerial) {
        writeErr("hx350-dde: no answer to the wildcard initiate; trying the known topics for serial number " +
                 std::to_string(options.serial) + "\n");
        for (const char* known : kDdeTopicNames) {
            const std::string name = known + std::string("#") + std::to_string(options.serial);
            if (!topic.empty() && topic != name)
                continue;
            HCONV conversation = DdeConnect(client.instance(), service, client.name(name), nullptr);
            if (conversation != nullptr) {
                found.emplace_back(options.service, name);
                pumpMessages(kSettleMs);
                DdeDisconnect(conversation);
            }
        }
    }
    if (found.empty()) {
        writeErr("hx350-dde: no DDE service " + options.service + " answered\n");
        return ExitNotFound;
    }
    for (const auto& [serviceName, topicName] : found)
        writeOut(serviceName + "|" + topicName + "\n");
    return ExitOk;
}

// What a DDE server process holds, for telling a leak from a steady state: kernel handles, windows (DDEML makes
// a few per instance), GDI and USER objects where the system counts them, and the reference count of each DDE
// name in the global atom table (0 when no program holds the name any more).
DWORD findProcess(const std::string& name) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    DWORD id = 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    const std::wstring wanted = widen(name);
    for (BOOL more = Process32FirstW(snapshot, &entry); more && id == 0; more = Process32NextW(snapshot, &entry))
        if (_wcsicmp(entry.szExeFile, wanted.c_str()) == 0)
            id = entry.th32ProcessID;
    CloseHandle(snapshot);
    return id;
}

struct WindowCount {
    DWORD process = 0;
    long windows = 0;
};

BOOL CALLBACK countChild(HWND, LPARAM parameter) {
    ++reinterpret_cast<WindowCount*>(parameter)->windows;
    return TRUE;
}

BOOL CALLBACK countTopLevel(HWND window, LPARAM parameter) {
    auto* count = reinterpret_cast<WindowCount*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == count->process) {
        ++count->windows;
        EnumChildWindows(window, countChild, parameter);
    }
    return TRUE;
}

long atomReferences(const std::string& name) {
    const ATOM atom = GlobalFindAtomW(widen(name).c_str());
    if (atom == 0)
        return 0;
    struct BasicInformation {
        USHORT references;
        USHORT pinned;
        USHORT nameLength;
        WCHAR name[256];
    } information{};
    using QueryAtom = LONG(WINAPI*)(ATOM, int, void*, ULONG, ULONG*);
    auto query = reinterpret_cast<QueryAtom>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationAtom")));
    ULONG length = 0;
    if (query == nullptr || query(atom, 0, &information, sizeof(information), &length) < 0)
        return 1;
    return information.references;
}

// Every string atom of the global table: their number, and those that carry the service's name (DDEML adds an
// instance-specific "NAME(0x…)" for each registration).
void printGlobalAtoms(const std::string& service) {
    long total = 0;
    const std::wstring prefix = widen(service);
    for (unsigned atom = 0xC000; atom <= 0xFFFF; ++atom) {
        wchar_t name[256] = {};
        if (GlobalGetAtomNameW(static_cast<ATOM>(atom), name, 256) == 0)
            continue;
        ++total;
        const std::wstring text = name;
        if (text.size() > prefix.size() && _wcsnicmp(text.c_str(), prefix.c_str(), prefix.size()) == 0)
            writeOut("atom " + narrow(text) + "=" + std::to_string(atomReferences(narrow(text))) + "\n");
    }
    writeOut("global_atoms=" + std::to_string(total) + "\n");
}

int runResources(const Options& options) {
    const DWORD processId = findProcess(options.process);
    if (processId == 0) {
        writeErr("hx350-dde: no process " + options.process + "\n");
        return ExitNotFound;
    }
    writeOut("pid=" + std::to_string(processId) + "\n");
    if (HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId)) {
        DWORD handles = 0;
        if (GetProcessHandleCount(process, &handles))
            writeOut("handles=" + std::to_string(handles) + "\n");
        writeOut("gdi_objects=" + std::to_string(GetGuiResources(process, GR_GDIOBJECTS)) + "\n");
        writeOut("user_objects=" + std::to_string(GetGuiResources(process, GR_USEROBJECTS)) + "\n");
        CloseHandle(process);
    }
    WindowCount count;
    count.process = processId;
    EnumWindows(countTopLevel, reinterpret_cast<LPARAM>(&count));
    writeOut("windows=" + std::to_string(count.windows) + "\n");
    std::vector<std::string> names = {options.service};
    if (options.hasSerial)
        for (const char* known : kDdeTopicNames)
            names.push_back(known + std::string("#") + std::to_string(options.serial));
    for (const char* item : kDdeItemNames)
        names.push_back(item);
    for (const std::string& name : names)
        writeOut("atom " + name + "=" + std::to_string(atomReferences(name)) + "\n");
    printGlobalAtoms(options.service);
    return ExitOk;
}

void printUsage() {
    writeErr("usage:\n"
             "  hx350-dde list [TOPIC] [--serial N]\n"
             "      the service's topics: DdeConnectList, else a wildcard initiate, else (with --serial) each\n"
             "      known topic for that serial number\n"
             "  hx350-dde request TOPIC ITEM [--format N] [--serial N] [--timeout S]\n"
             "      prints the item's text once (format 1 = CF_TEXT by default)\n"
             "  hx350-dde advise TOPIC ITEM [--count N] [--timeout S] [--serial N] [--format N] [--qpc] [--warm]\n"
             "      holds an advise loop and prints every update with its time (--qpc: QueryPerformanceCounter in\n"
             "      nanoseconds, which under Wine is the host's CLOCK_MONOTONIC_RAW; --warm: a warm link, whose\n"
             "      updates carry no data)\n"
             "  hx350-dde load --serial N [--timeout S] [--every MS]\n"
             "      advise links on both topics and requests of every item in a loop, on conversations of their\n"
             "      own (a pause of MS between rounds); counts once a second\n"
             "  hx350-dde resources [--process NAME] [--serial N]\n"
             "      handles, windows and DDE name atoms that a running program holds\n"
             "options: --hex (print the bytes received, NUL included), --ansi (ANSI DDE with Windows-1250 names),\n"
             "         --service NAME (default HX350); --serial N appends #N to TOPIC\n"
             "TOPIC and ITEM are UTF-8, for example \"Wilgotność#4660\" Pomiar\n"
             "exit codes: 0 ok, 1 usage, 2 no conversation, 3 request or advise refused, 4 timed out,\n"
             "            5 service went away, 6 nothing found\n");
}

bool parseNumber(const std::string& text, long& value) {
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && end != nullptr && *end == '\0';
}

bool parseOptions(const std::vector<std::string>& args, Options& options) {
    if (args.empty())
        return false;
    options.command = args[0];
    for (size_t index = 1; index < args.size(); ++index) {
        const std::string& arg = args[index];
        const bool hasValue = index + 1 < args.size();
        long number = 0;
        if (arg == "--hex") {
            options.hex = true;
        } else if (arg == "--ansi") {
            options.ansi = true;
        } else if (arg == "--qpc") {
            options.qpc = true;
        } else if (arg == "--warm") {
            options.warm = true;
        } else if (arg == "--service" && hasValue) {
            options.service = args[++index];
        } else if (arg == "--process" && hasValue) {
            options.process = args[++index];
        } else if (arg == "--format" && hasValue && parseNumber(args[index + 1], number) && number > 0 &&
                   number <= 0xFFFF) {
            options.format = static_cast<UINT>(number);
            ++index;
        } else if (arg == "--serial" && hasValue && parseNumber(args[index + 1], number)) {
            options.serial = number;
            options.hasSerial = true;
            ++index;
        } else if (arg == "--every" && hasValue && parseNumber(args[index + 1], number) && number >= 0) {
            options.everyMs = number;
            ++index;
        } else if (arg == "--count" && hasValue && parseNumber(args[index + 1], number) && number > 0) {
            options.count = number;
            ++index;
        } else if (arg == "--timeout" && hasValue) {
            char* end = nullptr;
            options.timeoutSeconds = std::strtod(args[index + 1].c_str(), &end);
            if (end == nullptr || *end != '\0' || !(options.timeoutSeconds > 0))
                return false;
            ++index;
        } else if (arg.rfind("--", 0) == 0) {
            writeErr("hx350-dde: unknown or incomplete option " + arg + "\n");
            return false;
        } else {
            options.positional.push_back(arg);
        }
    }
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    DWORD mode = 0;
    if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode))
        SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> args;
    for (int index = 1; index < argc; ++index)
        args.push_back(narrow(argv[index]));
    Options options;
    if (!parseOptions(args, options)) {
        printUsage();
        return ExitUsage;
    }
    if (options.command == "list")
        return runList(options);
    if (options.command == "request")
        return runRequest(options);
    if (options.command == "advise")
        return runAdvise(options);
    if (options.command == "resources")
        return runResources(options);
    if (options.command == "load")
        return runLoad(options);
    printUsage();
    return ExitUsage;
}
