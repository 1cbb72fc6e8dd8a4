// hx350-sim: sends what an HX-350 thermo-hygrometer sends, on a new pty (for the program under Wine) or on a
// serial device, paced like the real 300-baud line. A control channel lets a test change the instrument while the
// receiver keeps its port open.

#include "tools/hx350_sim/instrument.h"
#include "tools/instrument_line.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <random>
#include <pty.h>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <type_traits>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::milliseconds;

volatile std::sig_atomic_t gStop = 0;

void onSignal(int) {
    gStop = 1;
}

const char kUsage[] =
    "usage: hx350-sim [options]\n"
    "Output (default: a new pty whose slave path is printed on stdout):\n"
    "  --link PATH            also make PATH a symlink to the pty slave\n"
    "  --device PATH          write to a serial device instead (raw, 300 baud 7N1); '-' writes to stdout\n"
    "Instrument:\n"
    "  --serial N             serial number, 0..65535 (default 4660)\n"
    "  --temp T --rh H        temperature in degrees Celsius and relative humidity in percent (23.4, 45.6)\n"
    "  --drift                let both values drift slowly around T and H\n"
    "  --error-bits B         status error bits 0..7 (1 humidity, 2 temperature, 4 calibration)\n"
    "  --kind1                send 16-character temperature-only lines\n"
    "  --two-decimals         kind 1: ask for two decimals\n"
    "Timing and faults:\n"
    "  --interval-ms MS       one line every MS milliseconds (default 1000)\n"
    "  --char-ms MS           time per character (default 30: 9 bit times at 300 baud; 0 = no pacing)\n"
    "  --silence-after N --silence-ms M   after every N lines stay silent for M ms\n"
    "  --damaged-every N      every Nth line has one bit flipped\n"
    "  --chaos                of every four lines, about one is good; the others are a good line with one bit\n"
    "                         flipped, a good line cut short, or random bytes with carriage returns among them\n"
    "  --seed N               seed of the random choices of --chaos (default 1)\n"
    "  --replay FILE          send the raw bytes of FILE, one CR-terminated line per interval, then stop\n"
    "  --count N              stop after N lines\n"
    "  --ramp                 the temperature rises by 0.1 per line from --temp and wraps after 1000 lines, so\n"
    "                         that a received value names its line\n"
    "  --stamps FILE          for every carriage return written, one line \"NS TENTHS BEFORE\": CLOCK_MONOTONIC_RAW\n"
    "                         in nanoseconds right after the write returned, the line's temperature in tenths\n"
    "                         (- for lines that carry none: raw, damaged, chaos), and the clock just before the\n"
    "                         write (a reader woken by the write may run first, and the stamp after it is late)\n"
    "  --control PATH         read commands line by line from PATH (a FIFO, created if missing; '-' = stdin):\n"
    "                         serial N | temp T | rh H | errors B | kind 0|1 | two-decimals 0|1 | drift 0|1 |\n"
    "                         interval MS | char-ms MS | silence | resume | line (one line now) |\n"
    "                         bad (one damaged line now) | raw HEX... | chaos 0|1 | block 0|1 |\n"
    "                         quit (after what is queued)\n"
    "  --block                wait while the receiver's buffer is full instead of dropping the byte\n"
    "                         (control: block 0|1)\n"
    "  --verbose              log on stderr every line as written: its kind and the bytes the receiver\n"
    "                         accepted; a line that lost bytes to a full buffer is logged as KIND-short\n";

struct Options {
    std::string link;
    std::string device;
    std::string replay;
    std::string control;
    std::string stamps;
    InstrumentState instrument;
    bool drift = false;
    int intervalMs = 1000;
    int charMs = 30;
    int silenceAfter = 0;
    int silenceMs = 0;
    int damagedEvery = 0;
    bool chaos = false;
    bool ramp = false;
    long long seed = 1;
    long long count = -1;
    bool block = false;
    bool verbose = false;
};

bool parseInt(const char* text, long long min, long long max, long long& out) {
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < min || value > max)
        return false;
    out = value;
    return true;
}

bool parseDouble(const char* text, double& out) {
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !std::isfinite(value))
        return false;
    out = value;
    return true;
}

// Returns false on a usage error (after printing it).
bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "hx350-sim: %s needs a value\n", arg.c_str());
                return nullptr;
            }
            return argv[++i];
        };
        auto intValue = [&](long long min, long long max, auto& target) {
            const char* text = value();
            long long parsed = 0;
            if (!text || !parseInt(text, min, max, parsed)) {
                std::fprintf(stderr, "hx350-sim: bad value for %s\n", arg.c_str());
                return false;
            }
            target = static_cast<std::remove_reference_t<decltype(target)>>(parsed);
            return true;
        };
        auto doubleValue = [&](double& target) {
            const char* text = value();
            if (!text || !parseDouble(text, target)) {
                std::fprintf(stderr, "hx350-sim: bad value for %s\n", arg.c_str());
                return false;
            }
            return true;
        };
        auto stringValue = [&](std::string& target) {
            const char* text = value();
            if (!text)
                return false;
            target = text;
            return true;
        };
        bool ok = true;
        if (arg == "--link")
            ok = stringValue(options.link);
        else if (arg == "--device")
            ok = stringValue(options.device);
        else if (arg == "--replay")
            ok = stringValue(options.replay);
        else if (arg == "--control")
            ok = stringValue(options.control);
        else if (arg == "--stamps")
            ok = stringValue(options.stamps);
        else if (arg == "--ramp")
            options.ramp = true;
        else if (arg == "--serial")
            ok = intValue(0, 65535, options.instrument.serialNumber);
        else if (arg == "--temp")
            ok = doubleValue(options.instrument.temperature);
        else if (arg == "--rh")
            ok = doubleValue(options.instrument.humidity);
        else if (arg == "--drift")
            options.drift = true;
        else if (arg == "--error-bits")
            ok = intValue(0, 7, options.instrument.errorBits);
        else if (arg == "--kind1")
            options.instrument.kind = 1;
        else if (arg == "--two-decimals")
            options.instrument.twoDecimals = true;
        else if (arg == "--interval-ms")
            ok = intValue(1, 3600000, options.intervalMs);
        else if (arg == "--char-ms")
            ok = intValue(0, 10000, options.charMs);
        else if (arg == "--silence-after")
            ok = intValue(0, 1000000000, options.silenceAfter);
        else if (arg == "--silence-ms")
            ok = intValue(0, 3600000, options.silenceMs);
        else if (arg == "--damaged-every")
            ok = intValue(0, 1000000000, options.damagedEvery);
        else if (arg == "--chaos")
            options.chaos = true;
        else if (arg == "--seed")
            ok = intValue(0, 4294967295LL, options.seed);
        else if (arg == "--count")
            ok = intValue(0, 1000000000000LL, options.count);
        else if (arg == "--block")
            options.block = true;
        else if (arg == "--verbose")
            options.verbose = true;
        else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else {
            std::fprintf(stderr, "hx350-sim: unknown option %s\n", arg.c_str());
            ok = false;
        }
        if (!ok) {
            std::fputs(kUsage, stderr);
            return false;
        }
    }
    if (!options.device.empty() && !options.link.empty()) {
        std::fprintf(stderr, "hx350-sim: --link applies to the pty only, not to --device\n");
        return false;
    }
    return true;
}

bool setRaw300Baud7N1(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return false;
    tio = instrumentLineSettings(tio);
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

// Replaces `link` atomically so that a reader never finds it missing while it is repointed.
bool makeLink(const std::string& target, const std::string& link) {
    const std::string temporary = link + ".tmp" + std::to_string(getpid());
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0)
        return false;
    if (rename(temporary.c_str(), link.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

void removeLinkIfOurs(const std::string& link, const std::string& target) {
    char buffer[4096];
    const ssize_t n = readlink(link.c_str(), buffer, sizeof buffer - 1);
    if (n > 0 && std::string(buffer, static_cast<size_t>(n)) == target)
        unlink(link.c_str());
}

std::string hexText(const Line& bytes) {
    std::string text;
    char item[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(item, sizeof item, "%02X ", b);
        text += item;
    }
    if (!text.empty())
        text.pop_back();
    return text;
}

class Simulator {
public:
    Simulator(const Options& options, int out, std::FILE* stamps) : options_(options), out_(out), stamps_(stamps) {
        instrument_ = options.instrument;
        baseTemperature_ = instrument_.temperature;
        baseHumidity_ = instrument_.humidity;
        intervalMs_ = options.intervalMs;
        charMs_ = options.charMs;
        drift_ = options.drift;
        chaos_ = options.chaos;
        block_ = options.block;
        random_.seed(static_cast<std::uint32_t>(options.seed));
    }

    bool loadReplay(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return false;
        Line bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        Line current;
        for (std::uint8_t b : bytes) {
            current.push_back(b);
            if (b == 0x0D) {
                replayLines_.push_back(current);
                current.clear();
            }
        }
        if (!current.empty())
            replayLines_.push_back(current);
        replaying_ = true;
        return true;
    }

    // Runs until quit, a signal, --count lines or the end of a replay; returns the exit code.
    int run(int controlFd) {
        start_ = Clock::now();
        nextLineAt_ = start_;
        nextByteAt_ = start_;
        controlFd_ = controlFd;
        while (!gStop) {
            const auto now = Clock::now();
            if (!sendDueBytes(now))
                return 1;
            if (pending_.empty() && (finished() || quit_))
                break;
            scheduleLineIfDue(now);
            if (!pending_.empty() && charMs_ == 0 && !waitingToWrite_)
                continue;
            waitForEvent(Clock::now());
        }
        if (out_ >= 0 && isatty(out_))
            tcdrain(out_);
        return 0;
    }

private:
    bool finished() const {
        if (options_.count >= 0 && linesScheduled_ >= options_.count)
            return true;
        return replaying_ && replayIndex_ >= replayLines_.size();
    }

    bool sendDueBytes(Clock::time_point now) {
        waitingToWrite_ = false;
        while (!pending_.empty() && now >= nextByteAt_) {
            const std::uint8_t byte = pending_.front();
            timespec before{};
            clock_gettime(CLOCK_MONOTONIC_RAW, &before);
            const ssize_t n = write(out_, &byte, 1);
            if (n < 0 && errno == EINTR)
                continue;
            const bool full = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
            if (n < 0 && !full && errno != EIO) {
                std::fprintf(stderr, "hx350-sim: write failed: %s\n", std::strerror(errno));
                return false;
            }
            if (full && block_) {
                waitingToWrite_ = true; // the byte stays first in the queue until the receiver makes room
                return true;
            }
            pending_.pop_front();
            if (byte == 0x0D)
                stampCarriageReturn(n == 1, before);
            // Otherwise a full buffer (nobody reading the pty) drops the byte, as a real instrument talks to nobody.
            written(byte, n == 1);
            if (charMs_ == 0) {
                nextByteAt_ = now;
                continue;
            }
            // Absolute schedule so that pacing does not drift; after a stall, restart from now.
            nextByteAt_ += Millis(charMs_);
            if (nextByteAt_ < now)
                nextByteAt_ = now + Millis(charMs_);
            break;
        }
        return true;
    }

    // The log names what the receiver got, not what was meant: a test that decodes it sees exactly the bytes the
    // program could read, also when a full buffer dropped some.
    void written(std::uint8_t byte, bool accepted) {
        Sending& line = sending_.front();
        if (accepted)
            line.accepted.push_back(byte);
        else
            line.complete = false;
        if (--line.remaining > 0)
            return;
        if (options_.verbose)
            std::fprintf(stderr, "hx350-sim: %s%s %s\n", line.what, line.complete ? "" : "-short",
                         hexText(line.accepted).c_str());
        sending_.pop_front();
    }

    // The clock is read before anything else happens, so that the stamp is the moment the receiver could first
    // see the byte. CLOCK_MONOTONIC_RAW is the clock Wine's QueryPerformanceCounter reads, so a Windows client's
    // stamps compare with these directly.
    void stampCarriageReturn(bool written, const timespec& before) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC_RAW, &now);
        const int label = lineLabels_.empty() ? kNoLabel : lineLabels_.front();
        if (!lineLabels_.empty())
            lineLabels_.pop_front();
        if (!stamps_ || !written)
            return;
        const long long ns = static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
        const long long ahead = static_cast<long long>(before.tv_sec) * 1000000000LL + before.tv_nsec;
        if (label == kNoLabel)
            std::fprintf(stamps_, "%lld - %lld\n", ns, ahead);
        else
            std::fprintf(stamps_, "%lld %d %lld\n", ns, label, ahead);
        std::fflush(stamps_);
    }

    void queue(const Line& line, const char* what, int label = kNoLabel) {
        if (pending_.empty() && nextByteAt_ < Clock::now())
            nextByteAt_ = Clock::now();
        // One label per carriage return: only the last one of a good line carries the line's temperature.
        const long returns = std::count(line.begin(), line.end(), std::uint8_t{0x0D});
        for (long i = 0; i < returns; ++i)
            lineLabels_.push_back(i + 1 == returns ? label : kNoLabel);
        if (line.empty())
            return;
        pending_.insert(pending_.end(), line.begin(), line.end());
        sending_.push_back({what, line.size(), {}, true});
    }

    void scheduleLineIfDue(Clock::time_point now) {
        if (!pending_.empty() || silenced_ || quit_ || finished() || now < nextLineAt_)
            return;
        ++linesScheduled_;
        if (replaying_) {
            queue(replayLines_[replayIndex_++], "replay");
        } else {
            updateDrift(now);
            updateRamp();
            const bool damaged = options_.damagedEvery > 0 && linesScheduled_ % options_.damagedEvery == 0;
            if (chaos_)
                queueChaos();
            else
                queue(damaged ? damagedLine(instrument_) : instrumentLine(instrument_), damaged ? "damaged" : "line",
                      damaged ? kNoLabel : temperatureTenths());
        }
        nextLineAt_ += Millis(intervalMs_);
        if (nextLineAt_ < now)
            nextLineAt_ = now + Millis(intervalMs_);
        if (options_.silenceAfter > 0 && linesScheduled_ % options_.silenceAfter == 0)
            nextLineAt_ += Millis(options_.silenceMs);
    }

    // What a failing cable or a noisy line delivers: a good line now and then among damaged, torn and random
    // bytes. Every line a receiver may accept is logged as "line".
    void queueChaos() {
        const Line good = instrumentLine(instrument_);
        switch (random_() % 4) {
        case 0:
            queue(good, "line", temperatureTenths());
            break;
        case 1:
            queue(damagedLine(instrument_), "damaged");
            break;
        case 2: {
            Line cut(good.begin(), good.begin() + static_cast<long>(random_() % (good.size() - 1)));
            cut.push_back(0x0D);
            queue(cut, "cut");
            break;
        }
        default: {
            Line noise(1 + random_() % 300);
            for (auto& byte : noise)
                byte = random_() % 16 == 0 ? 0x0D : static_cast<std::uint8_t>(random_());
            queue(noise, "noise");
            break;
        }
        }
    }

    void updateDrift(Clock::time_point now) {
        if (!drift_)
            return;
        const double seconds = std::chrono::duration<double>(now - start_).count();
        const double twoPi = 6.283185307179586;
        instrument_.temperature = baseTemperature_ + 0.3 * std::sin(twoPi * seconds / 60.0);
        instrument_.humidity = baseHumidity_ + 1.5 * std::sin(twoPi * seconds / 90.0);
    }

    // Whole tenths, so that the value of line k is exact and never rounds onto its neighbour's.
    void updateRamp() {
        if (!options_.ramp)
            return;
        const long long baseTenths = std::llround(baseTemperature_ * 10.0);
        instrument_.temperature = static_cast<double>(baseTenths + (linesScheduled_ - 1) % 1000) / 10.0;
    }

    int temperatureTenths() const { return static_cast<int>(std::llround(instrument_.temperature * 10.0)); }

    void waitForEvent(Clock::time_point now) {
        Clock::time_point wake = now + Millis(1000);
        if (!pending_.empty())
            wake = std::min(wake, nextByteAt_);
        else if (!silenced_)
            wake = std::min(wake, nextLineAt_);
        long long timeout = std::chrono::duration_cast<Millis>(wake - now).count();
        if (timeout < 0)
            timeout = 0;
        // Round up so that a wake-up is never a few microseconds early, which would spin.
        if (wake > now + Millis(timeout))
            ++timeout;
        // A full buffer in blocking mode: try again soon (a pty master does not reliably report room with POLLOUT).
        if (waitingToWrite_)
            timeout = 2;
        pollfd fds[1] = {{controlFd_, POLLIN, 0}};
        const int ready = poll(fds, controlFd_ >= 0 ? 1 : 0, static_cast<int>(timeout));
        if (ready > 0)
            readControl();
    }

    void readControl() {
        char buffer[512];
        const ssize_t n = read(controlFd_, buffer, sizeof buffer);
        if (n == 0) {
            controlFd_ = -1; // stdin closed: keep sending with the last settings
            return;
        }
        if (n < 0)
            return;
        controlText_.append(buffer, static_cast<size_t>(n));
        size_t end;
        while ((end = controlText_.find('\n')) != std::string::npos) {
            std::string line = controlText_.substr(0, end);
            controlText_.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            command(line);
        }
        if (controlText_.size() > 4096)
            controlText_.clear();
    }

    void command(const std::string& line) {
        char name[32] = {};
        char argument[4096] = {};
        const int fields = std::sscanf(line.c_str(), " %31s %4095[^\n]", name, argument);
        if (fields <= 0)
            return;
        const std::string cmd = name;
        long long number = 0;
        double real = 0;
        bool ok = true;
        const bool hasArgument = fields == 2;
        if (cmd == "serial" && hasArgument && parseInt(argument, 0, 65535, number))
            instrument_.serialNumber = static_cast<int>(number);
        else if (cmd == "temp" && hasArgument && parseDouble(argument, real))
            instrument_.temperature = baseTemperature_ = real;
        else if (cmd == "rh" && hasArgument && parseDouble(argument, real))
            instrument_.humidity = baseHumidity_ = real;
        else if (cmd == "errors" && hasArgument && parseInt(argument, 0, 7, number))
            instrument_.errorBits = static_cast<int>(number);
        else if (cmd == "kind" && hasArgument && parseInt(argument, 0, 1, number))
            instrument_.kind = static_cast<int>(number);
        else if (cmd == "two-decimals" && hasArgument && parseInt(argument, 0, 1, number))
            instrument_.twoDecimals = number != 0;
        else if (cmd == "drift" && hasArgument && parseInt(argument, 0, 1, number))
            drift_ = number != 0;
        else if (cmd == "chaos" && hasArgument && parseInt(argument, 0, 1, number))
            chaos_ = number != 0;
        else if (cmd == "block" && hasArgument && parseInt(argument, 0, 1, number))
            block_ = number != 0;
        else if (cmd == "interval" && hasArgument && parseInt(argument, 1, 3600000, number))
            intervalMs_ = static_cast<int>(number);
        else if (cmd == "char-ms" && hasArgument && parseInt(argument, 0, 10000, number))
            charMs_ = static_cast<int>(number);
        else if (cmd == "silence" && !hasArgument)
            silenced_ = true;
        else if (cmd == "resume" && !hasArgument) {
            if (silenced_)
                nextLineAt_ = Clock::now();
            silenced_ = false;
        } else if (cmd == "line" && !hasArgument)
            queue(instrumentLine(instrument_), "line", temperatureTenths());
        else if (cmd == "bad" && !hasArgument)
            queue(damagedLine(instrument_), "damaged");
        else if (cmd == "raw" && hasArgument) {
            Line bytes;
            ok = parseHexBytes(argument, bytes);
            if (ok)
                queue(bytes, "raw");
        } else if (cmd == "quit")
            quit_ = true;
        else
            ok = false;
        if (!ok)
            std::fprintf(stderr, "hx350-sim: ignored command: %s\n", line.c_str());
        else if (options_.verbose)
            std::fprintf(stderr, "hx350-sim: command: %s\n", line.c_str());
    }

    static constexpr int kNoLabel = -1000000;

    // A queued line on its way out: what the log calls it, and what of it the receiver has accepted so far.
    struct Sending {
        const char* what;
        size_t remaining;
        Line accepted;
        bool complete;
    };

    const Options& options_;
    int out_;
    std::FILE* stamps_ = nullptr;
    std::deque<int> lineLabels_;
    int controlFd_ = -1;
    InstrumentState instrument_;
    double baseTemperature_ = 0;
    double baseHumidity_ = 0;
    int intervalMs_ = 1000;
    int charMs_ = 30;
    bool drift_ = false;
    bool chaos_ = false;
    bool block_ = false;
    bool waitingToWrite_ = false;
    std::deque<Sending> sending_;
    std::mt19937 random_;
    bool silenced_ = false;
    bool quit_ = false;
    bool replaying_ = false;
    std::vector<Line> replayLines_;
    size_t replayIndex_ = 0;
    long long linesScheduled_ = 0;
    std::deque<std::uint8_t> pending_;
    std::string controlText_;
    Clock::time_point start_;
    Clock::time_point nextLineAt_;
    Clock::time_point nextByteAt_;
};

int openControl(const std::string& path) {
    if (path.empty())
        return -1;
    if (path == "-")
        return STDIN_FILENO;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 && mkfifo(path.c_str(), 0600) != 0) {
        std::fprintf(stderr, "hx350-sim: cannot create %s: %s\n", path.c_str(), std::strerror(errno));
        return -2;
    }
    // Read-write, so that the FIFO never reports end of file between two writers.
    const int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        std::fprintf(stderr, "hx350-sim: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
    return fd < 0 ? -2 : fd;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options))
        return 2;

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    int out = -1;
    int slave = -1;
    std::string slavePath;
    if (options.device == "-") {
        out = STDOUT_FILENO;
    } else if (!options.device.empty()) {
        out = open(options.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (out < 0) {
            std::fprintf(stderr, "hx350-sim: cannot open %s: %s\n", options.device.c_str(), std::strerror(errno));
            return 1;
        }
        if (isatty(out) && !setRaw300Baud7N1(out)) {
            std::fprintf(stderr, "hx350-sim: cannot configure %s: %s\n", options.device.c_str(), std::strerror(errno));
            return 1;
        }
    } else {
        char name[256] = {};
        termios raw{};
        cfmakeraw(&raw);
        cfsetispeed(&raw, B300);
        cfsetospeed(&raw, B300);
        if (openpty(&out, &slave, name, &raw, nullptr) != 0) {
            std::fprintf(stderr, "hx350-sim: openpty failed: %s\n", std::strerror(errno));
            return 1;
        }
        // The slave stays open here too: its settings survive the receiver closing and reopening the port, and
        // writes never fail with EIO while nobody has it open.
        fcntl(out, F_SETFL, fcntl(out, F_GETFL) | O_NONBLOCK);
        fcntl(out, F_SETFD, FD_CLOEXEC);
        fcntl(slave, F_SETFD, FD_CLOEXEC);
        slavePath = name;
        if (!options.link.empty() && !makeLink(slavePath, options.link)) {
            std::fprintf(stderr, "hx350-sim: cannot link %s: %s\n", options.link.c_str(), std::strerror(errno));
            return 1;
        }
        std::printf("%s\n", slavePath.c_str());
        std::fflush(stdout);
    }

    const int control = openControl(options.control);
    if (control == -2)
        return 1;

    std::FILE* stamps = nullptr;
    if (!options.stamps.empty()) {
        stamps = std::fopen(options.stamps.c_str(), "w");
        if (!stamps) {
            std::fprintf(stderr, "hx350-sim: cannot write %s: %s\n", options.stamps.c_str(), std::strerror(errno));
            return 1;
        }
    }
    Simulator simulator(options, out, stamps);
    if (!options.replay.empty() && !simulator.loadReplay(options.replay)) {
        std::fprintf(stderr, "hx350-sim: cannot read %s\n", options.replay.c_str());
        return 1;
    }
    const int result = simulator.run(control);

    if (!options.link.empty())
        removeLinkIfOurs(options.link, slavePath);
    if (stamps)
        std::fclose(stamps);
    if (slave >= 0)
        close(slave);
    if (out != STDOUT_FILENO)
        close(out);
    return result;
}
