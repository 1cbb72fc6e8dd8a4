// hx350-floor: the least a Win32 program can do to see an instrument's lines on a COM port, for measuring what the
// port path itself (the device, the system's serial driver) adds to a line's latency. It keeps one overlapped
// ReadFile pending, takes whatever else is queued when it completes, and prints "NS" for every carriage return,
// NS being QueryPerformanceCounter in nanoseconds (under Wine the host's CLOCK_MONOTONIC_RAW).
//
//   hx350-floor PORT [--count N] [--timeout S]

#include "bench/win/counter.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fputs("usage: hx350-floor PORT [--count N] [--timeout S]\n", stderr);
        return 2;
    }
    const int port = std::wcstol(argv[1], nullptr, 10);
    long count = 0;
    double timeout = 0;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::wstring(argv[i]) == L"--count")
            count = std::wcstol(argv[i + 1], nullptr, 10);
        else if (std::wstring(argv[i]) == L"--timeout")
            timeout = std::wcstod(argv[i + 1], nullptr);
    }
    const std::wstring device = L"\\\\.\\COM" + std::to_wstring(port);
    HANDLE handle = CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "hx350-floor: cannot open COM%d (%lu)\n", port, GetLastError());
        return 1;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(handle, &dcb);
    BuildCommDCBW(L"baud=300 parity=N data=7 stop=1", &dcb);
    SetCommState(handle, &dcb);
    // No timeouts: a read completes only when it has every byte asked for, so a one-byte read sleeps until one
    // arrives.
    COMMTIMEOUTS timeouts{};
    SetCommTimeouts(handle, &timeouts);
    PurgeComm(handle, PURGE_RXCLEAR | PURGE_RXABORT);
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout * 1000.0);
    long lines = 0;
    unsigned char buffer[512];
    while (count <= 0 || lines < count) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = event;
        ResetEvent(event);
        DWORD received = 0;
        if (!ReadFile(handle, buffer, 1, nullptr, &overlapped)) {
            if (GetLastError() != ERROR_IO_PENDING)
                break;
            const DWORD wait =
                timeout > 0 ? static_cast<DWORD>(deadline - std::min(deadline, GetTickCount64())) : INFINITE;
            if (WaitForSingleObject(event, wait) != WAIT_OBJECT_0) {
                CancelIo(handle);
                GetOverlappedResult(handle, &overlapped, &received, TRUE);
                break;
            }
        }
        if (!GetOverlappedResult(handle, &overlapped, &received, FALSE) || received != 1)
            break;
        const long long first = counterNanoseconds();
        DWORD errors = 0;
        COMSTAT status{};
        DWORD more = 0;
        const bool cleared = ClearCommError(handle, &errors, &status) != FALSE;
        // The queued rest had arrived by the time it was counted; a stamp before the count could precede it.
        const long long rest = counterNanoseconds();
        if (cleared && status.cbInQue > 0) {
            OVERLAPPED rest{};
            rest.hEvent = event;
            ResetEvent(event);
            const DWORD wanted = std::min<DWORD>(status.cbInQue, sizeof buffer - 1);
            if (ReadFile(handle, buffer + 1, wanted, nullptr, &rest) || GetLastError() == ERROR_IO_PENDING)
                GetOverlappedResult(handle, &rest, &more, TRUE);
        }
        for (DWORD i = 0; i < 1 + more; ++i) {
            if (buffer[i] != 0x0D)
                continue;
            std::printf("%lld\n", i == 0 ? first : rest);
            std::fflush(stdout);
            ++lines;
        }
        if (timeout > 0 && GetTickCount64() >= deadline)
            break;
    }
    CloseHandle(event);
    CloseHandle(handle);
    return 0;
}
