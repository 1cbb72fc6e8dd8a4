#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

// The socket functions the network workers use, from ws2_32 loaded when a network feature first starts: a station
// that never connects anywhere never carries the library. Null when the library or one of its functions is missing.
struct Winsock {
    decltype(&::WSAStartup) startup;
    decltype(&::WSACleanup) cleanup;
    decltype(&::WSAGetLastError) lastError;
    decltype(&::WSAEventSelect) eventSelect;
    decltype(&::WSAEnumNetworkEvents) enumNetworkEvents;
    decltype(&::GetAddrInfoW) getAddrInfo;
    decltype(&::FreeAddrInfoW) freeAddrInfo;
    decltype(&::InetPtonW) inetPton;
    decltype(&::InetNtopW) inetNtop;
    decltype(&::getsockname) getSockName;
    decltype(&::socket) socket;
    decltype(&::connect) connect;
    decltype(&::send) send;
    decltype(&::recv) recv;
    decltype(&::shutdown) shutdown;
    decltype(&::closesocket) closeSocket;
};

const Winsock* winsock();
