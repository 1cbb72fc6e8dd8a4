// hx350-dde load: a busy client for load tests.

#include "dde/dde_items.h"
#include "tools/win/hx350_dde/dde_client.h"
#include "tools/win/hx350_dde/options.h"
#include "tools/win/hx350_dde/output.h"

// Advise links on both topics and requests of every item in a loop, with its counts printed once a second
// ("updates=U requests=R failures=F last_error=NAME"), until the timeout or until it is killed. The requests go on
// conversations of their own, in a DDE instance of their own (one instance holds one conversation per topic): Wine's
// DDEML ends a synchronous request at the first DDE message its conversation receives, so an advise update arriving
// meanwhile would end it with DMLERR_NOTPROCESSED (or a handle that is none) and leave the real answer to arrive
// unasked.
int runLoad(const Options& options) {
    if (!options.positional.empty() || !options.hasSerial) {
        writeErr("hx350-dde: load needs --serial N and no TOPIC\n");
        return ExitUsage;
    }
    long updates = 0;
    CDdeClient client;
    CDdeClient requester;
    client.onAdvise([&options, &updates](HDDEDATA data) {
        if (data != nullptr || options.warm)
            ++updates;
    });
    if (!client.initialise(options.ansi) || !requester.initialise(options.ansi))
        return ExitNoConversation;
    // Both instances hear the service unregister; either one ends the loop.
    const DdeName service = client.name(options.service);
    client.watchService(service.get());
    requester.watchService(service.get());
    DdeName items[kDdeReadingItemCount];
    for (int item = 0; item < kDdeReadingItemCount; ++item)
        items[item] = requester.name(kDdeItemNames[item]);
    const DdeName advisedItem = client.name(kDdeItemNames[ResultItem]);
    DdeConversation advised[kDdeTopicCount];
    DdeConversation conversations[kDdeTopicCount];
    for (int topic = 0; topic < kDdeTopicCount; ++topic) {
        const std::string name = ddeTopicName(topic, options.serial);
        advised[topic] = client.connect(options.service, name);
        if (advised[topic])
            conversations[topic] = requester.connect(options.service, name);
        if (!conversations[topic])
            return ExitNoConversation;
        pumpMessages(kSettleMs);
        if (!advised[topic].startAdvise(advisedItem.get(), kDdeTextFormat, false))
            return ExitTransactionFailed;
    }
    long requests = 0;
    long failures = 0;
    std::string lastError = "none";
    const auto serviceGone = [&client, &requester] { return client.serviceGone() || requester.serviceGone(); };
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(options.timeoutSeconds * 1000);
    ULONGLONG nextReport = GetTickCount64() + 1000;
    while (!serviceGone() && (options.timeoutSeconds <= 0 || GetTickCount64() < deadline)) {
        for (const DdeConversation& conversation : conversations) {
            for (const DdeName& item : items) {
                const bool answered = conversation.request(item.get(), kDdeTextFormat, 5000).has_value();
                ++requests;
                if (!answered) {
                    ++failures;
                    lastError = ddeErrorName(requester.lastError());
                }
                // Back-to-back requests without pumping get out of step under Wine.
                pumpMessages(kSettleMs);
            }
        }
        if (options.everyMs > 0)
            pumpMessages(static_cast<DWORD>(options.everyMs));
        if (GetTickCount64() >= nextReport) {
            nextReport += 1000;
            writeOut("updates=" + std::to_string(updates) + " requests=" + std::to_string(requests) +
                     " failures=" + std::to_string(failures) + " last_error=" + lastError + "\n");
        }
    }
    if (serviceGone())
        return ExitServiceGone;
    for (int topic = 0; topic < kDdeTopicCount; ++topic) {
        conversations[topic].disconnect();
        advised[topic].disconnect();
    }
    return ExitOk;
}
