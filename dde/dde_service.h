#pragma once

#include <windows.h>

#include <ddeml.h>

class CValueDisplay;

// The DDE server "HX350": topics "Temperatura#<serial>" and "Wilgotność#<serial>", items "Wynik", "Pomiar" and
// "Status", CF_TEXT, request and advise. Reads the values from the two displays when a client asks.
class CDdeService {
public:
    CDdeService();
    ~CDdeService();
    CDdeService(const CDdeService&) = delete;
    CDdeService& operator=(const CDdeService&) = delete;

    void setDisplays(const CValueDisplay* temperature, const CValueDisplay* humidity);
    // Non-zero on success (also for the serial number 2147483647, which starts nothing).
    int start(long serialNumber);
    int stop();
    void postAdvise();
    bool running() const;

private:
    // ... implementation-defined members
};
