#include "dde/win/dde_service.h"

#include "base/cp1250.h"
#include "dde/dde_items.h"
#include "win/text.h"

#include <string>

namespace {

// DDEML callbacks carry no user pointer, so the one service of the process is reached through this.
CDdeService* g_service = nullptr;

// The largest serial number is reserved: a start with it publishes nothing and still counts as a success.
constexpr long kNoSerialNumber = 2147483647;

// Executes and pokes are refused by DDEML itself; other servers' registrations are of no interest.
constexpr DWORD kInitFlags =
    APPCLASS_STANDARD | CBF_FAIL_EXECUTES | CBF_FAIL_POKES | CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS;

// CF_TEXT data of one item, terminating NUL included.
constexpr size_t kMaxItemBytes = 1024;

} // namespace

CDdeService::CDdeService() {
    g_service = this;
}

CDdeService::~CDdeService() {
    stop();
    if (g_service == this)
        g_service = nullptr;
}

void CDdeService::setReading(const CurrentReading* reading, const QuantityView& temperature,
                             const QuantityView& humidity) {
    reading_ = reading;
    views_[TemperatureTopic] = temperature;
    views_[HumidityTopic] = humidity;
}

bool CDdeService::running() const {
    return instanceId_ != 0;
}

// The instance is a Unicode one and every name is made from UTF-16, so the topic "Wilgotność#…" is the same
// atom whatever the system code page: a Unicode client finds it as typed, and an ANSI client on a Central
// European system, whose Windows-1250 bytes the atom table widens with that code page, finds it too.
bool CDdeService::start(long serialNumber) {
    if (serialNumber == kNoSerialNumber)
        return true;
    if (instanceId_ != 0)
        return false;

    DWORD instance = 0;
    if (DdeInitializeW(&instance, ddeCallback, kInitFlags, 0) != DMLERR_NO_ERROR)
        return false;
    instanceId_ = instance;

    serviceHandle_ = DdeCreateStringHandleW(instance, widen(kDdeServiceName).c_str(), CP_WINUNICODE);
    bool allNamed = serviceHandle_ != nullptr;
    for (int topic = 0; topic < kDdeTopicCount; ++topic) {
        topicHandles_[topic] =
            DdeCreateStringHandleW(instance, widen(ddeTopicName(topic, serialNumber)).c_str(), CP_WINUNICODE);
        allNamed = allNamed && topicHandles_[topic] != nullptr;
    }
    for (int item = 0; item < kDdeReadingItemCount; ++item) {
        itemHandles_[item] = DdeCreateStringHandleW(instance, widen(kDdeItemNames[item]).c_str(), CP_WINUNICODE);
        allNamed = allNamed && itemHandles_[item] != nullptr;
    }
    nameAlarmItem();
    // A missing handle would make a null name look like one of ours; like a failed registration, the instance
    // stays until stop releases it.
    if (!allNamed)
        return false;
    return DdeNameService(instance, serviceHandle_, nullptr, DNS_REGISTER) != nullptr;
}

bool CDdeService::stop() {
    if (instanceId_ == 0)
        return true;
    if (serviceHandle_ != nullptr)
        DdeNameService(instanceId_, serviceHandle_, nullptr, DNS_UNREGISTER);
    if (adviseTimer_ != 0) {
        KillTimer(nullptr, adviseTimer_);
        adviseTimer_ = 0;
    }
    for (auto& topic : adviseScheduled_)
        for (bool& scheduled : topic)
            scheduled = false;
    freeStringHandles();
    const BOOL uninitialised = DdeUninitialize(instanceId_);
    instanceId_ = 0;
    return uninitialised != FALSE;
}

void CDdeService::freeStringHandles() {
    for (HSZ& item : itemHandles_) {
        if (item != nullptr)
            DdeFreeStringHandle(instanceId_, item);
        item = nullptr;
    }
    for (HSZ& topic : topicHandles_) {
        if (topic != nullptr)
            DdeFreeStringHandle(instanceId_, topic);
        topic = nullptr;
    }
    if (serviceHandle_ != nullptr)
        DdeFreeStringHandle(instanceId_, serviceHandle_);
    serviceHandle_ = nullptr;
}

void CDdeService::postAdvise() {
    if (instanceId_ == 0)
        return;
    for (HSZ topic : topicHandles_)
        for (int item = 0; item < kDdeReadingItemCount; ++item)
            DdePostAdvise(instanceId_, topic, itemHandles_[item]);
}

// The name "Alarm" exists only while the item is served: with alarms off the service holds the names, and answers
// the items, it always did.
void CDdeService::nameAlarmItem() {
    HSZ& handle = itemHandles_[AlarmItem];
    const bool served = ddeItemServed(AlarmItem, alarmServed_);
    if (instanceId_ == 0 || served == (handle != nullptr))
        return;
    if (served) {
        handle = DdeCreateStringHandleW(instanceId_, widen(kDdeItemNames[AlarmItem]).c_str(), CP_WINUNICODE);
        return;
    }
    for (bool(&topic)[kDdeItemCount] : adviseScheduled_)
        topic[AlarmItem] = false;
    DdeFreeStringHandle(instanceId_, handle);
    handle = nullptr;
}

// The texts change between readings too (a tick starts the missing-reading alarm, an acknowledgement marks the
// alarm), so each topic's link is told when its own text changes, and only then.
void CDdeService::setAlarm(bool served, const std::string (&texts)[2]) {
    alarmServed_ = served;
    nameAlarmItem();
    for (int topic = 0; topic < kDdeTopicCount; ++topic) {
        if (texts[topic] == alarmTexts_[topic])
            continue;
        alarmTexts_[topic] = texts[topic];
        if (instanceId_ != 0 && itemHandles_[AlarmItem] != nullptr)
            DdePostAdvise(instanceId_, topicHandles_[topic], itemHandles_[AlarmItem]);
    }
}

int CDdeService::topicIndex(HSZ topic) const {
    if (topic == nullptr)
        return -1;
    for (int index = 0; index < kDdeTopicCount; ++index)
        if (topicHandles_[index] != nullptr && DdeCmpStringHandles(topic, topicHandles_[index]) == 0)
            return index;
    return -1;
}

int CDdeService::itemIndex(HSZ item) const {
    if (item == nullptr)
        return -1;
    for (int index = 0; index < kDdeItemCount; ++index)
        if (itemHandles_[index] != nullptr && DdeCmpStringHandles(item, itemHandles_[index]) == 0)
            return index;
    return -1;
}

HDDEDATA CALLBACK CDdeService::ddeCallback(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2, HDDEDATA,
                                           ULONG_PTR, ULONG_PTR) {
    if (g_service == nullptr || g_service->instanceId_ == 0)
        return nullptr;
    return g_service->transaction(type, format, conversation, hsz1, hsz2);
}

HDDEDATA CDdeService::transaction(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2) {
    switch (type) {
    case XTYP_CONNECT: {
        const bool ours = DdeCmpStringHandles(hsz2, serviceHandle_) == 0 && topicIndex(hsz1) >= 0;
        return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(ours ? TRUE : FALSE));
    }
    case XTYP_WILDCONNECT:
        return wildConnect(hsz1, hsz2);
    case XTYP_REQUEST:
    case XTYP_ADVREQ: {
        const int topic = topicIndex(hsz1);
        const int item = itemIndex(hsz2);
        if (format != CF_TEXT || topic < 0 || item < 0)
            return nullptr;
        if (type == XTYP_ADVREQ && conversation != nullptr) {
            // Some DDEML implementations (Wine's) run every advise link of an item whatever topic was posted,
            // which would hand a temperature link the humidity value. A link only takes its own topic's data.
            CONVINFO info{};
            info.cb = sizeof(info);
            if (DdeQueryConvInfo(conversation, QID_SYNC, &info) != 0 && DdeCmpStringHandles(info.hszTopic, hsz1) != 0)
                return nullptr;
        }
        return itemData(topic, item);
    }
    case XTYP_ADVSTART: {
        const int topic = topicIndex(hsz1);
        const int item = itemIndex(hsz2);
        if (format != CF_TEXT || topic < 0 || item < 0)
            return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(FALSE));
        scheduleAdvise(topic, item);
        return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(TRUE));
    }
    case XTYP_ADVSTOP:
    default:
        return nullptr;
    }
}

// Answers a client that names no service or no topic (DdeConnectList): one pair per topic that matches, then the
// null pair. A client that named one topic gets only that one, so it never holds a conversation it did not ask
// for.
HDDEDATA CDdeService::wildConnect(HSZ topic, HSZ service) {
    if (service != nullptr && DdeCmpStringHandles(service, serviceHandle_) != 0)
        return nullptr;
    HSZPAIR pairs[kDdeTopicCount + 1] = {};
    int count = 0;
    if (topic == nullptr) {
        for (HSZ handle : topicHandles_)
            pairs[count++] = HSZPAIR{serviceHandle_, handle};
    } else {
        const int index = topicIndex(topic);
        if (index < 0)
            return nullptr;
        pairs[count++] = HSZPAIR{serviceHandle_, topicHandles_[index]};
    }
    pairs[count++] = HSZPAIR{nullptr, nullptr};
    return DdeCreateDataHandle(instanceId_, reinterpret_cast<LPBYTE>(pairs),
                               static_cast<DWORD>(count * sizeof(HSZPAIR)), 0, nullptr, 0, 0);
}

// The item text of the reading at this moment, in Windows-1250 with its terminating NUL.
HDDEDATA CDdeService::itemData(int topic, int item) {
    if (reading_ == nullptr)
        return nullptr;
    const QuantityReading& quantity = topic == TemperatureTopic ? reading_->temperature : reading_->humidity;
    std::string bytes =
        item == AlarmItem ? alarmTexts_[topic] : utf8ToCp1250(formatDdeItem(item, quantity, views_[topic]));
    if (bytes.size() > kMaxItemBytes - 1)
        bytes.resize(kMaxItemBytes - 1);
    return DdeCreateDataHandle(instanceId_, reinterpret_cast<LPBYTE>(bytes.data()),
                               static_cast<DWORD>(bytes.size() + 1), 0, itemHandles_[item], CF_TEXT, 0);
}

// DDEML records a new advise link only after XTYP_ADVSTART has returned, so an advise posted from inside the
// callback reaches every link but the new one. The first value therefore goes out on the next turn of the
// message loop, when the link exists.
void CDdeService::scheduleAdvise(int topic, int item) {
    adviseScheduled_[topic][item] = true;
    if (adviseTimer_ == 0)
        adviseTimer_ = SetTimer(nullptr, 0, USER_TIMER_MINIMUM, adviseTimerProc);
}

void CALLBACK CDdeService::adviseTimerProc(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    if (g_service != nullptr && g_service->adviseTimer_ == timer) {
        g_service->adviseTimer_ = 0;
        g_service->postScheduledAdvises();
    }
}

void CDdeService::postScheduledAdvises() {
    for (int topic = 0; topic < kDdeTopicCount; ++topic)
        for (int item = 0; item < kDdeItemCount; ++item)
            if (adviseScheduled_[topic][item]) {
                adviseScheduled_[topic][item] = false;
                if (instanceId_ != 0)
                    DdePostAdvise(instanceId_, topicHandles_[topic], itemHandles_[item]);
            }
}
