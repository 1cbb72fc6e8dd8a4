// hx350-dde list [TOPIC]: the service's topics.

#include "dde/dde_items.h"
#include "tools/win/hx350_dde/dde_client.h"
#include "tools/win/hx350_dde/options.h"
#include "tools/win/hx350_dde/output.h"
#include "tools/win/hx350_dde/wildcard_scan.h"

#include <utility>
#include <vector>

namespace {

using ServiceTopics = std::vector<std::pair<std::string, std::string>>;

ServiceTopics connectList(const CDdeClient& client, HSZ service, HSZ topic) {
    ServiceTopics found;
    if (HCONVLIST list = DdeConnectList(client.instance(), service, topic, nullptr, nullptr)) {
        for (HCONV conversation = DdeQueryNextServer(list, nullptr); conversation != nullptr;
             conversation = DdeQueryNextServer(list, conversation)) {
            CONVINFO info{};
            info.cb = sizeof(info);
            if (DdeQueryConvInfo(conversation, QID_SYNC, &info) != 0)
                found.emplace_back(client.text(info.hszSvcPartner), client.text(info.hszTopic));
        }
        DdeDisconnectList(list);
    }
    return found;
}

} // namespace

// DdeConnectList first, as on Windows; where it finds nothing (Wine only stubs it), a raw wildcard initiate; where
// no server answers that, with a serial number, a conversation with each topic the program offers.
int runList(const Options& options) {
    if (options.positional.size() > 1) {
        writeErr("hx350-dde: list takes at most one TOPIC\n");
        return ExitUsage;
    }
    const std::string topic = options.positional.empty() ? "" : fullTopic(options, options.positional[0]);
    CDdeClient client;
    if (!client.initialise(options.ansi))
        return ExitNoConversation;
    const DdeName service = client.name(options.service);
    const DdeName topicHandle = topic.empty() ? DdeName() : client.name(topic);

    ServiceTopics found = connectList(client, service.get(), topicHandle.get());
    if (found.empty()) {
        writeErr("hx350-dde: DdeConnectList found nothing (Wine only stubs it); asking every DDE server with a "
                 "wildcard initiate\n");
        found = CWildcardScan().run(options.service, topic, options.ansi);
    }
    if (found.empty() && options.hasSerial) {
        writeErr("hx350-dde: no answer to the wildcard initiate; trying the known topics for serial number " +
                 std::to_string(options.serial) + "\n");
        for (int known = 0; known < kDdeTopicCount; ++known) {
            const std::string name = ddeTopicName(known, options.serial);
            if (!topic.empty() && topic != name)
                continue;
            DdeConversation conversation = client.tryConnect(service.get(), client.name(name));
            if (conversation) {
                found.emplace_back(options.service, name);
                pumpMessages(kSettleMs);
                conversation.disconnect();
            }
        }
    }
    if (found.empty()) {
        writeErr("hx350-dde: no DDE service " + options.service + " answered\n");
        return ExitNotFound;
    }
    for (const auto& [serviceName, topicName] : found)
        writeOut(serviceName + "|" + topicName + "\n");
    return ExitOk;
}
