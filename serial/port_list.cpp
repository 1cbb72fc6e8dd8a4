#include "serial/port_list.h"

#include <algorithm>
#include <climits>

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::size_t digitRun(std::string_view text) {
    std::size_t n = 0;
    while (n < text.size() && isDigit(text[n]))
        ++n;
    return n;
}

// The number written by the digits at the start of `text`; nullopt when there are none or it overflows an int.
std::optional<int> leadingNumber(std::string_view text) {
    const std::size_t digits = digitRun(text);
    if (digits == 0)
        return std::nullopt;
    long long n = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        n = n * 10 + (text[i] - '0');
        if (n > INT_MAX)
            return std::nullopt;
    }
    return static_cast<int>(n);
}

// Device manager descriptions usually end in " (COMn)", which the list entry already says; that ending is cut.
// Only the first " (COM" counts, and only when nothing follows its closing parenthesis.
std::string withoutPortSuffix(const std::string& description) {
    const std::size_t at = description.find(" (COM");
    if (at == std::string::npos)
        return description;
    const std::string_view rest = std::string_view(description).substr(at + 5);
    const std::size_t digits = digitRun(rest);
    if (digits == 0 || rest.size() != digits + 1 || rest.back() != ')')
        return description;
    return description.substr(0, at);
}

} // namespace

// A line break inside a description would split its line into two list entries, so it is shown as a blank.
// A description that is nothing but the " (COMn)" ending leaves the port without one rather than with "()".
PortListText buildPortListText(const PortTable& table) {
    PortListText result;
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (!table[i])
            continue;
        ++result.count;
        std::string description = withoutPortSuffix(*table[i]);
        for (char& c : description) {
            if (c == '\n' || c == '\r')
                c = ' ';
        }
        result.text += "COM" + std::to_string(i + 1);
        if (!description.empty())
            result.text += ":" + description;
        result.text += "\n";
    }
    return result;
}

void probePortSlots(PortTable& table, int count, bool probeAll, const std::function<bool(int port)>& answers,
                    const std::function<bool()>& stopRequested) {
    count = std::clamp(count, 0, static_cast<int>(table.size()));
    for (int i = 0; i < count; ++i) {
        if (stopRequested && stopRequested())
            return;
        std::optional<std::string>& slot = table[static_cast<std::size_t>(i)];
        if (slot && !probeAll)
            continue;
        if (answers(i + 1) && !slot)
            slot.emplace();
    }
}

int portNumberFromPortName(std::string_view value, bool isRegSz, int count) {
    if (!isRegSz || value.size() < 4 || value.substr(0, 3) != "COM")
        return 0;
    const std::string_view number = value.substr(3);
    const std::optional<int> n = leadingNumber(number);
    if (!n || digitRun(number) != number.size() || *n <= 0 || *n >= count)
        return 0;
    return *n;
}

// Like the enumeration worker, a last line without its line feed is not taken.
std::vector<std::string> portEntriesFromListText(std::string_view text) {
    std::vector<std::string> entries;
    for (;;) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos)
            break;
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        if (line.empty())
            continue;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            entries.emplace_back(line);
        else
            entries.push_back(std::string(line.substr(0, colon)) + " (" + std::string(line.substr(colon + 1)) + ")");
    }
    return entries;
}

int portNumberFromEntry(std::string_view entry) {
    std::size_t start = 0;
    while (start < entry.size() && (entry[start] == ' ' || (entry[start] >= '\t' && entry[start] <= '\r')))
        ++start;
    entry.remove_prefix(start);
    if (entry.size() < 4)
        return 0;
    const std::optional<int> n = leadingNumber(entry.substr(3));
    return n && *n > 0 ? *n : 0;
}

int findEntryForPort(const std::vector<std::string>& entries, int port) {
    if (port <= 0)
        return -1;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string_view entry = entries[i];
        if (entry.substr(0, 3) == "COM" && portNumberFromEntry(entry) == port)
            return static_cast<int>(i);
    }
    return -1;
}

std::string currentPortInfoText(int port) {
    if (port != 0)
        return "Aktualnie używany port: COM" + std::to_string(port);
    return "Aktualnie żaden port nie jest używany";
}
