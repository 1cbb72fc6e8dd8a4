// hx350-dde resources: what a running DDE server process holds, for telling a leak from a steady state.

#include "dde/dde_items.h"
#include "tools/win/hx350_dde/options.h"
#include "tools/win/hx350_dde/output.h"
#include "win/text.h"
#include "win/unique_handle.h"

#include <tlhelp32.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

DWORD findProcess(const std::string& name) {
    // A snapshot that could not be taken is INVALID_HANDLE_VALUE, as a file that could not be opened.
    const UniqueHandle<invalidHandleValue> snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return 0;
    DWORD id = 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    const std::wstring wanted = widen(name);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more && id == 0;
         more = Process32NextW(snapshot.get(), &entry))
        if (_wcsicmp(entry.szExeFile, wanted.c_str()) == 0)
            id = entry.th32ProcessID;
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

} // namespace

// Kernel handles, windows (DDEML makes a few per instance), GDI and USER objects where the system counts them, and
// the reference count of each DDE name in the global atom table (0 when no program holds the name any more).
int runResources(const Options& options) {
    const DWORD processId = findProcess(options.process);
    if (processId == 0) {
        writeErr("hx350-dde: no process " + options.process + "\n");
        return ExitNotFound;
    }
    writeOut("pid=" + std::to_string(processId) + "\n");
    if (const KernelHandle process{OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId)}) {
        DWORD handles = 0;
        if (GetProcessHandleCount(process.get(), &handles))
            writeOut("handles=" + std::to_string(handles) + "\n");
        writeOut("gdi_objects=" + std::to_string(GetGuiResources(process.get(), GR_GDIOBJECTS)) + "\n");
        writeOut("user_objects=" + std::to_string(GetGuiResources(process.get(), GR_USEROBJECTS)) + "\n");
    }
    WindowCount count;
    count.process = processId;
    EnumWindows(countTopLevel, reinterpret_cast<LPARAM>(&count));
    writeOut("windows=" + std::to_string(count.windows) + "\n");
    std::vector<std::string> names = {options.service};
    if (options.hasSerial)
        for (int topic = 0; topic < kDdeTopicCount; ++topic)
            names.push_back(ddeTopicName(topic, options.serial));
    for (const char* item : kDdeItemNames)
        names.push_back(item);
    for (const std::string& name : names)
        writeOut("atom " + name + "=" + std::to_string(atomReferences(name)) + "\n");
    printGlobalAtoms(options.service);
    return ExitOk;
}
