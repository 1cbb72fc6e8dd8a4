// hx350-dde: a DDE client for checking, from a command line, what the HX350 program publishes.
//
//   hx350-dde list [TOPIC] [--serial N]
//   hx350-dde request TOPIC ITEM [--format N] [--serial N] [--timeout S]
//   hx350-dde advise TOPIC ITEM [--count N] [--timeout S] [--serial N] [--format N] [--qpc] [--warm]
//   hx350-dde load --serial N [--timeout S] [--every MS]
//   hx350-dde resources [--process NAME] [--serial N]
//
// Common options: --hex prints the exact bytes received (terminating NUL included), --ansi talks DDE through the
// ANSI functions with Windows-1250 names instead of the Unicode ones, --service NAME asks another service.
// Names on the command line and everything printed are UTF-8. Each command lives in a file of its own.

#include "dde/dde_items.h"
#include "tools/win/hx350_dde/options.h"
#include "tools/win/hx350_dde/output.h"
#include "win/text.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The service's name and the example's topic and item come from the names the program publishes; the example's
// serial number is the simulator's.
void printUsage() {
    std::string usage =
        "usage:\n"
        "  hx350-dde list [TOPIC] [--serial N]\n"
        "      the service's topics: DdeConnectList, else a wildcard initiate, else (with --serial) each\n"
        "      known topic for that serial number\n"
        "  hx350-dde request TOPIC ITEM [--format N] [--serial N] [--timeout S]\n"
        "      prints the item's text once (format 1 = CF_TEXT by default)\n"
        "  hx350-dde advise TOPIC ITEM [--count N] [--timeout S] [--serial N] [--format N] [--qpc] [--warm]\n"
        "      holds an advise loop and prints every update with its time (--qpc: QueryPerformanceCounter in\n"
        "      nanoseconds, which under Wine is the host's CLOCK_MONOTONIC_RAW; --warm: a warm link, whose\n"
        "      updates carry no data)\n"
        "  hx350-dde load --serial N [--timeout S] [--every MS]\n"
        "      advise links on both topics and requests of every item in a loop, on conversations of their\n"
        "      own (a pause of MS between rounds); counts once a second\n"
        "  hx350-dde resources [--process NAME] [--serial N]\n"
        "      handles, windows and DDE name atoms that a running program holds\n"
        "options: --hex (print the bytes received, NUL included), --ansi (ANSI DDE with Windows-1250 names),\n"
        "         --service NAME (default ";
    usage += kDdeServiceName;
    usage += "); --serial N appends #N to TOPIC\n"
             "TOPIC and ITEM are UTF-8, for example \"";
    usage += ddeTopicName(HumidityTopic, 4660) + "\" " + kDdeItemNames[MeasurementItem] + "\n";
    usage += "exit codes: 0 ok, 1 usage, 2 no conversation, 3 request or advise refused, 4 timed out,\n"
             "            5 service went away, 6 nothing found\n";
    writeErr(usage);
}

bool parseNumber(const std::string& text, long& value) {
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && end != nullptr && *end == '\0';
}

bool parseOptions(const std::vector<std::string>& args, Options& options) {
    if (args.empty())
        return false;
    options.command = args[0];
    for (size_t index = 1; index < args.size(); ++index) {
        const std::string& arg = args[index];
        const bool hasValue = index + 1 < args.size();
        long number = 0;
        if (arg == "--hex") {
            options.hex = true;
        } else if (arg == "--ansi") {
            options.ansi = true;
        } else if (arg == "--qpc") {
            options.qpc = true;
        } else if (arg == "--warm") {
            options.warm = true;
        } else if (arg == "--service" && hasValue) {
            options.service = args[++index];
        } else if (arg == "--process" && hasValue) {
            options.process = args[++index];
        } else if (arg == "--format" && hasValue && parseNumber(args[index + 1], number) && number > 0 &&
                   number <= 0xFFFF) {
            options.format = static_cast<UINT>(number);
            ++index;
        } else if (arg == "--serial" && hasValue && parseNumber(args[index + 1], number)) {
            options.serial = number;
            options.hasSerial = true;
            ++index;
        } else if (arg == "--every" && hasValue && parseNumber(args[index + 1], number) && number >= 0) {
            options.everyMs = number;
            ++index;
        } else if (arg == "--count" && hasValue && parseNumber(args[index + 1], number) && number > 0) {
            options.count = number;
            ++index;
        } else if (arg == "--timeout" && hasValue) {
            char* end = nullptr;
            options.timeoutSeconds = std::strtod(args[index + 1].c_str(), &end);
            if (end == nullptr || *end != '\0' || !(options.timeoutSeconds > 0))
                return false;
            ++index;
        } else if (arg.rfind("--", 0) == 0) {
            writeErr("hx350-dde: unknown or incomplete option " + arg + "\n");
            return false;
        } else {
            options.positional.push_back(arg);
        }
    }
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    DWORD mode = 0;
    if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode))
        SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> args;
    for (int index = 1; index < argc; ++index)
        args.push_back(narrow(argv[index]));
    Options options;
    if (!parseOptions(args, options)) {
        printUsage();
        return ExitUsage;
    }
    if (options.command == "list")
        return runList(options);
    if (options.command == "request")
        return runRequest(options);
    if (options.command == "advise")
        return runAdvise(options);
    if (options.command == "resources")
        return runResources(options);
    if (options.command == "load")
        return runLoad(options);
    printUsage();
    return ExitUsage;
}
