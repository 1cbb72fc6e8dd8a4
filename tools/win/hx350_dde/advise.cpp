// hx350-dde advise TOPIC ITEM: holds an advise loop and prints every update with its time.

#include "tools/win/hx350_dde/dde_client.h"
#include "tools/win/hx350_dde/options.h"
#include "tools/win/hx350_dde/output.h"

#include <cstdio>

namespace {

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

} // namespace

int runAdvise(const Options& options) {
    if (options.positional.size() != 2) {
        writeErr("hx350-dde: advise needs TOPIC and ITEM\n");
        return ExitUsage;
    }
    long updates = 0;
    CDdeClient client;
    client.onAdvise([&options, &updates](HDDEDATA data) {
        // Every update is printed as it comes, repeats too: some DDEML implementations send one twice.
        if (data == nullptr && !options.warm)
            return;
        // Stamped before anything else is done with the update.
        const std::string stamp = options.qpc ? counterStamp() : timeStamp();
        writeOut(stamp + " " + (data != nullptr ? describeData(dataBytes(data), options.hex) : "(no data)") + "\n");
        ++updates;
    });
    if (!client.initialise(options.ansi))
        return ExitNoConversation;
    const DdeName service = client.name(options.service);
    client.watchService(service.get());
    const std::string topic = fullTopic(options, options.positional[0]);
    const std::string& itemName = options.positional[1];
    DdeConversation conversation = client.connect(options.service, topic);
    if (!conversation)
        return ExitNoConversation;
    pumpMessages(kSettleMs);

    const DdeName item = client.name(itemName);
    if (!conversation.startAdvise(item.get(), options.format, options.warm)) {
        writeErr("hx350-dde: advise on " + itemName + " of " + options.service + "|" + topic +
                 " refused: " + ddeErrorName(client.lastError()) + "\n");
        conversation.disconnect();
        return ExitTransactionFailed;
    }
    writeErr("hx350-dde: advising " + options.service + "|" + topic + "!" + itemName + "\n");
    // The server's end of the conversation is a window that lives as long as the conversation: when it is gone,
    // so is the service, whether or not a notification reached us.
    const HWND server = conversation.partner();

    const bool bounded = options.timeoutSeconds > 0;
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(bounded ? options.timeoutSeconds * 1000 : 0);
    bool serviceGone = client.serviceGone();
    while (!serviceGone && (options.count <= 0 || updates < options.count) &&
           (!bounded || GetTickCount64() < deadline)) {
        pumpMessages(kSettleMs);
        serviceGone = client.serviceGone() || (server != nullptr && !IsWindow(server));
    }

    if (serviceGone) {
        writeErr("hx350-dde: " + options.service + " went away after " + std::to_string(updates) + " update(s)\n");
        return ExitServiceGone;
    }
    conversation.stopAdvise(item.get(), options.format);
    pumpMessages(kSettleMs);
    conversation.disconnect();
    if (options.count > 0 && updates < options.count) {
        writeErr("hx350-dde: timed out with " + std::to_string(updates) + " of " + std::to_string(options.count) +
                 " update(s)\n");
        return ExitTimedOut;
    }
    return ExitOk;
}
