#pragma once

#include "dde/dde_items.h"

#include <windows.h>

#include <string>
#include <vector>

// What hx350-dde tells its caller; the usage text lists the same numbers.
enum ExitCode : int {
    ExitOk = 0,
    ExitUsage = 1,
    ExitNoConversation = 2,
    ExitTransactionFailed = 3,
    ExitTimedOut = 4,
    ExitServiceGone = 5,
    ExitNotFound = 6,
};

static_assert(kDdeTextFormat == CF_TEXT, "the service's items are CF_TEXT, the default of --format");

// The command line: the command, its TOPIC and ITEM, and every option with its default.
struct Options {
    std::string command;
    std::vector<std::string> positional;
    std::string service = kDdeServiceName;
    std::string process = "HX350.exe";
    UINT format = kDdeTextFormat;
    long serial = 0;
    bool hasSerial = false;
    long count = 0;
    long everyMs = 0; // load: pause between request rounds
    double timeoutSeconds = -1;
    bool hex = false;
    bool ansi = false;
    bool qpc = false;  // advise: stamps in QueryPerformanceCounter nanoseconds
    bool warm = false; // advise: a warm link, notifications without data
};

// TOPIC as the service names it: with --serial N, "TOPIC#N".
inline std::string fullTopic(const Options& options, const std::string& topic) {
    return options.hasSerial ? ddeTopicWithSerial(topic, options.serial) : topic;
}

// The commands, one file each; every one returns the process's exit code.
int runList(const Options& options);
int runRequest(const Options& options);
int runAdvise(const Options& options);
int runLoad(const Options& options);
int runResources(const Options& options);
