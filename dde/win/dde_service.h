#pragma once

#include "dde/dde_items.h"
#include "display/value_text.h"

#include <windows.h>

#include <ddeml.h>

#include <string>

// The DDE server "HX350": topics "Temperatura#<serial>" and "Wilgotność#<serial>", items "Wynik", "Pomiar" and
// "Status", CF_TEXT, request and advise, and "Alarm" while alarms are on. Reads the values from the current reading
// when a client asks, in the form the two displays show them.
class CDdeService {
public:
    CDdeService();
    ~CDdeService();
    CDdeService(const CDdeService&) = delete;
    CDdeService& operator=(const CDdeService&) = delete;

    // `reading` must outlive the service.
    void setReading(const CurrentReading* reading, const QuantityView& temperature, const QuantityView& humidity);
    // True on success (also for the serial number 2147483647, which starts nothing).
    bool start(long serialNumber);
    bool stop();
    // Advises the reading's items (not "Alarm", which setAlarm advises when its text changes).
    void postAdvise();
    bool running() const;
    // The item "Alarm": served while `served`, with each topic's text (Windows-1250); advised when a text changes.
    void setAlarm(bool served, const std::string (&texts)[kDdeTopicCount]);

private:
    static HDDEDATA CALLBACK ddeCallback(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2, HDDEDATA data,
                                         ULONG_PTR data1, ULONG_PTR data2);
    static void CALLBACK adviseTimerProc(HWND, UINT, UINT_PTR, DWORD);
    HDDEDATA transaction(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2);
    HDDEDATA wildConnect(HSZ topic, HSZ service);
    HDDEDATA itemData(int topic, int item);
    void scheduleAdvise(int topic, int item);
    void postScheduledAdvises();
    int topicIndex(HSZ topic) const;
    int itemIndex(HSZ item) const;
    void freeStringHandles();
    void nameAlarmItem();

    const CurrentReading* reading_ = nullptr;
    QuantityView views_[kDdeTopicCount];
    HSZ serviceHandle_ = nullptr;
    HSZ topicHandles_[kDdeTopicCount] = {};
    HSZ itemHandles_[kDdeItemCount] = {}; // "Alarm" only while it is served
    DWORD instanceId_ = 0;
    bool alarmServed_ = false;
    std::string alarmTexts_[kDdeTopicCount] = {"OK", "OK"};
    // Advise links that were just accepted and still wait for their first value.
    bool adviseScheduled_[kDdeTopicCount][kDdeItemCount] = {};
    UINT_PTR adviseTimer_ = 0;
};
