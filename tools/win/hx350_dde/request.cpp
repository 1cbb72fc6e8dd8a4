// hx350-dde request TOPIC ITEM: the item's data, once.

#include "tools/win/hx350_dde/dde_client.h"
#include "tools/win/hx350_dde/options.h"
#include "tools/win/hx350_dde/output.h"

namespace {

DWORD transactionTimeout(const Options& options) {
    return options.timeoutSeconds > 0 ? static_cast<DWORD>(options.timeoutSeconds * 1000) : 5000;
}

} // namespace

int runRequest(const Options& options) {
    if (options.positional.size() != 2) {
        writeErr("hx350-dde: request needs TOPIC and ITEM\n");
        return ExitUsage;
    }
    CDdeClient client;
    if (!client.initialise(options.ansi))
        return ExitNoConversation;
    const std::string topic = fullTopic(options, options.positional[0]);
    const std::string& itemName = options.positional[1];
    DdeConversation conversation = client.connect(options.service, topic);
    if (!conversation)
        return ExitNoConversation;
    pumpMessages(kSettleMs);

    const DdeName item = client.name(itemName);
    const std::optional<std::string> data =
        conversation.request(item.get(), options.format, transactionTimeout(options));
    int exitCode = ExitOk;
    if (!data) {
        writeErr("hx350-dde: request for " + itemName + " in format " + std::to_string(options.format) + " on " +
                 options.service + "|" + topic + " failed: " + ddeErrorName(client.lastError()) + "\n");
        exitCode = ExitTransactionFailed;
    } else {
        writeOut(describeData(*data, options.hex) + "\n");
    }
    pumpMessages(kSettleMs);
    conversation.disconnect();
    return exitCode;
}
