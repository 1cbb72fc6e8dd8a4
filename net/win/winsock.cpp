#include "net/win/winsock.h"

#include "win/system_library.h"

#include <type_traits>

const Winsock* winsock() {
    static const Winsock* const loaded = []() -> const Winsock* {
        static Winsock table{};
        const HMODULE module = systemLibrary(L"ws2_32.dll");
        if (module == nullptr)
            return nullptr;
        const auto take = [module](auto& function, const char* name) {
            function = systemFunction<std::remove_reference_t<decltype(function)>>(module, name);
            return function != nullptr;
        };
        const bool complete = take(table.startup, "WSAStartup") && take(table.cleanup, "WSACleanup") &&
                              take(table.lastError, "WSAGetLastError") && take(table.eventSelect, "WSAEventSelect") &&
                              take(table.enumNetworkEvents, "WSAEnumNetworkEvents") &&
                              take(table.getAddrInfo, "GetAddrInfoW") && take(table.freeAddrInfo, "FreeAddrInfoW") &&
                              take(table.inetPton, "InetPtonW") && take(table.inetNtop, "InetNtopW") &&
                              take(table.getSockName, "getsockname") && take(table.socket, "socket") &&
                              take(table.connect, "connect") && take(table.send, "send") && take(table.recv, "recv") &&
                              take(table.shutdown, "shutdown") && take(table.closeSocket, "closesocket");
        return complete ? &table : nullptr;
    }();
    return loaded;
}
