#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Slot i stands for COM(i+1): absent (nullopt), found without a description (empty) or with one.
// Descriptions are bytes in the system's ANSI code page.
using PortTable = std::array<std::optional<std::string>, 256>;

struct PortListText {
    std::string text; // "COM%u:%s\n" or "COM%u\n" per found port, ascending
    int count = 0;
};

PortListText buildPortListText(const PortTable& table);

// Asks `answers` about the port of each absent slot (of every slot when probeAll) from COM1 up and marks those that
// answer as found; a slot found already keeps its description. Probing a port can take long, so `stopRequested` is
// asked before each one: once it says so, the probe ends and what was found so far stays.
void probePortSlots(PortTable& table, int count, bool probeAll, const std::function<bool(int port)>& answers,
                    const std::function<bool()>& stopRequested);

// The port number n of a "PortName" registry value that is taken (REG_SZ, "COM" + decimal n, 0 < n < count),
// else 0. `value` is the text up to its terminating zero.
int portNumberFromPortName(std::string_view value, bool isRegSz, int count);

// Enumeration text -> drop-down list entries ("COM3 (USB Serial Port)", "COM1").
std::vector<std::string> portEntriesFromListText(std::string_view text);

// The port number that OK takes from an entry's text (leading white space removed, digits from the fourth
// character on); 0 when there is none.
int portNumberFromEntry(std::string_view entry);

// Index of the entry whose number after "COM" equals `port` (COM1 does not match COM10), or -1.
int findEntryForPort(const std::vector<std::string>& entries, int port);

// "Aktualnie używany port: COM%d" or "Aktualnie żaden port nie jest używany" (UTF-8).
std::string currentPortInfoText(int port);
