#include "serial/win/port_enumeration.h"

#include <windows.h>

#include <setupapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

namespace {

// SetupAPI is taken from the system at run time, so the program also starts where the library is missing.
using ClassGuidsFromNameFn = BOOL(WINAPI*)(PCSTR, LPGUID, DWORD, PDWORD);
using GetClassDevsFn = HDEVINFO(WINAPI*)(const GUID*, PCSTR, HWND, DWORD);
using EnumDeviceInfoFn = BOOL(WINAPI*)(HDEVINFO, DWORD, PSP_DEVINFO_DATA);
using OpenDevRegKeyFn = HKEY(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA, DWORD, DWORD, DWORD, REGSAM);
using GetDeviceRegistryPropertyFn = BOOL(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA, DWORD, PDWORD, PBYTE, DWORD, PDWORD);
using DestroyDeviceInfoListFn = BOOL(WINAPI*)(HDEVINFO);

template <typename Function> bool resolve(HMODULE library, const char* name, Function& function) {
    // Through the generic function pointer type, which converts to any other without a cast warning.
    function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
    return function != nullptr;
}

class Library {
public:
    explicit Library(const char* name) : module_(LoadLibraryA(name)) {}
    ~Library() {
        if (module_)
            FreeLibrary(module_);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    HMODULE get() const { return module_; }

private:
    HMODULE module_;
};

// Registry texts are not guaranteed to carry their terminating zero: a buffer one byte larger than the 256 the
// value may fill always has room for one, and the text ends at the first zero within what was returned.
constexpr DWORD kValueBufferSize = 256;
std::string_view terminatedText(char (&buffer)[kValueBufferSize + 1], DWORD returnedSize) {
    DWORD size = std::min(returnedSize, kValueBufferSize);
    buffer[size] = '\0';
    return std::string_view(buffer, std::strlen(buffer));
}

// GetDefaultCommConfigA answers for any name that is a serial port. The buffer holds at least a whole COMMCONFIG
// and grows once when a provider asks for room for its own data, so the call can never write past it.
bool answersAsSerialPort(const char* name) {
    DWORD size = sizeof(COMMCONFIG);
    for (int attempt = 0; attempt < 2; ++attempt) {
        // Memory from new is aligned for COMMCONFIG.
        std::vector<unsigned char> buffer(std::max<DWORD>(size, sizeof(COMMCONFIG)));
        auto* config = reinterpret_cast<COMMCONFIG*>(buffer.data());
        config->dwSize = sizeof(COMMCONFIG);
        DWORD given = static_cast<DWORD>(buffer.size());
        if (GetDefaultCommConfigA(name, config, &given))
            return true;
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || given <= buffer.size())
            return false;
        size = given;
    }
    return false;
}

} // namespace

bool findPortsBySetupApi(PortTable& table, int count, const StopRequested& stopRequested) {
    count = std::clamp(count, 0, static_cast<int>(table.size()));
    // Unloaded on every path out of this function.
    Library setupApi("setupapi.dll");
    if (!setupApi.get())
        return false;
    ClassGuidsFromNameFn classGuidsFromName = nullptr;
    GetClassDevsFn getClassDevs = nullptr;
    EnumDeviceInfoFn enumDeviceInfo = nullptr;
    OpenDevRegKeyFn openDevRegKey = nullptr;
    GetDeviceRegistryPropertyFn getDeviceRegistryProperty = nullptr;
    DestroyDeviceInfoListFn destroyDeviceInfoList = nullptr;
    if (!resolve(setupApi.get(), "SetupDiClassGuidsFromNameA", classGuidsFromName) ||
        !resolve(setupApi.get(), "SetupDiGetClassDevsA", getClassDevs) ||
        !resolve(setupApi.get(), "SetupDiEnumDeviceInfo", enumDeviceInfo) ||
        !resolve(setupApi.get(), "SetupDiOpenDevRegKey", openDevRegKey) ||
        !resolve(setupApi.get(), "SetupDiGetDeviceRegistryPropertyA", getDeviceRegistryProperty) ||
        !resolve(setupApi.get(), "SetupDiDestroyDeviceInfoList", destroyDeviceInfoList))
        return false;

    DWORD guidCount = 0;
    classGuidsFromName("Ports", nullptr, 0, &guidCount);
    if (guidCount == 0)
        return false;
    HDEVINFO devices = INVALID_HANDLE_VALUE;
    {
        std::vector<GUID> guids(guidCount);
        if (!classGuidsFromName("Ports", guids.data(), guidCount, &guidCount))
            return false;
        devices = getClassDevs(&guids[0], nullptr, nullptr, DIGCF_PRESENT);
    }
    if (devices == INVALID_HANDLE_VALUE)
        return false;

    // A stop between devices still counts as a usable SetupAPI: the probe that follows must not start on all 256
    // names when the user has asked to stop.
    for (DWORD index = 0; !(stopRequested && stopRequested()); ++index) {
        SP_DEVINFO_DATA device{};
        // The structure's own size: 28 bytes in a 32-bit program, 32 in a 64-bit one.
        device.cbSize = sizeof device;
        if (!enumDeviceInfo(devices, index, &device))
            break;
        HKEY key = openDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
        if (key == nullptr || key == INVALID_HANDLE_VALUE)
            continue;
        char name[kValueBufferSize + 1] = {};
        DWORD type = 0;
        DWORD size = kValueBufferSize;
        int port = 0;
        if (RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size) == ERROR_SUCCESS)
            port = portNumberFromPortName(terminatedText(name, size), type == REG_SZ, count);
        RegCloseKey(key);
        if (port <= 0)
            continue;

        std::optional<std::string>& slot = table[static_cast<size_t>(port - 1)];
        if (!slot)
            slot.emplace();
        char description[kValueBufferSize + 1] = {};
        DWORD descriptionSize = 0;
        if (getDeviceRegistryProperty(devices, &device, SPDRP_DEVICEDESC, nullptr, reinterpret_cast<BYTE*>(description),
                                      kValueBufferSize, &descriptionSize)) {
            std::string_view text = terminatedText(description, descriptionSize);
            if (!text.empty()) {
                try {
                    *slot = std::string(text);
                } catch (const std::bad_alloc&) {
                    slot->clear(); // found, without a description
                }
            }
        }
    }
    destroyDeviceInfoList(devices);
    return true;
}

void probePorts(PortTable& table, int count, bool probeAll, const StopRequested& stopRequested) {
    auto answers = [](int port) {
        char name[20];
        std::snprintf(name, sizeof name, "COM%u", static_cast<unsigned>(port));
        return answersAsSerialPort(name);
    };
    probePortSlots(table, count, probeAll, answers, stopRequested);
}

PortListResult listPorts(const StopRequested& stopRequested) {
    PortListResult result;
    try {
        PortTable table;
        bool setupApiUsable = findPortsBySetupApi(table, static_cast<int>(table.size()), stopRequested);
        probePorts(table, static_cast<int>(table.size()), !setupApiUsable, stopRequested);
        result.list = buildPortListText(table);
        result.ok = true;
    } catch (const std::bad_alloc&) {
        result = PortListResult{};
    }
    return result;
}
