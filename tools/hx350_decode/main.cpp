// hx350-decode: what is my instrument sending? Feeds raw bytes from a file, a serial device or standard input
// through the program's own line assembly and decoder, and prints one JSON object per finished line. With --hxg it
// reads a binary recording file instead and prints one JSON object per record.

#include "protocol/line_assembly.h"
#include "recording/hxg_reader.h"
#include "serial/receive_batch.h"
#include "tools/hx350_decode/record_json.h"
#include "tools/instrument_line.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

const char kUsage[] = "usage: hx350-decode [FILE | DEVICE | -]\n"
                      "       hx350-decode --hxg FILE\n"
                      "\n"
                      "Reads the raw bytes an HX-350 instrument sends from FILE, from a serial DEVICE (configured\n"
                      "raw, 300 baud, 7 data bits, no parity, 1 stop bit) or from standard input (no argument or -),\n"
                      "and prints one JSON object per line that ends in a carriage return: the line's length, the\n"
                      "decoder's result, whether the line counts as a good reading, and the whole reading record\n"
                      "after it. Reads until end of input, or until Ctrl-C on a device.\n"
                      "\n"
                      "With --hxg, reads FILE (- for standard input) as a binary recording file and prints one JSON\n"
                      "object per complete record: its offset and length, whether it is valid, and for a valid one\n"
                      "its time and its temperature and humidity with their serial numbers (null when the record\n"
                      "has none). Damaged records are listed and skipped; a summary goes to standard error.\n"
                      "\n"
                      "  -h, --help   show this text\n";

volatile std::sig_atomic_t stopRequested = 0;

void onStopSignal(int) {
    stopRequested = 1;
}

// Without SA_RESTART a blocked read on a quiet serial line returns at Ctrl-C, so the device's settings can be
// restored and the tool ends normally.
void installStopHandlers() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// Sets the instrument's line format. Pseudo-terminals refuse 7 data bits on some systems; they do not frame
// characters anyway, so the tool reads them with 8 and says so.
bool configureSerial(int fd, const char* path, termios& saved) {
    if (tcgetattr(fd, &saved) != 0) {
        std::fprintf(stderr, "hx350-decode: cannot read the settings of %s: %s\n", path, std::strerror(errno));
        return false;
    }
    termios settings = instrumentLineSettings(saved);
    if (tcsetattr(fd, TCSANOW, &settings) == 0)
        return true;
    const int sevenBitError = errno;
    settings.c_cflag = (settings.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | CS8;
    if (tcsetattr(fd, TCSANOW, &settings) == 0) {
        std::fprintf(stderr, "hx350-decode: %s does not accept 7 data bits (%s); reading it with 8\n", path,
                     std::strerror(sevenBitError));
        return true;
    }
    std::fprintf(stderr, "hx350-decode: cannot configure %s: %s\n", path, std::strerror(errno));
    return false;
}

struct Input {
    int fd = -1;
    bool isTerminal = false;
    bool restoreSettings = false;
    termios saved{};
};

// Character devices are opened without waiting for a carrier and without becoming the controlling terminal;
// everything else is opened plainly so that a FIFO still waits for its writer.
bool openInput(const char* path, Input& input) {
    struct stat info;
    if (stat(path, &info) != 0) {
        std::fprintf(stderr, "hx350-decode: cannot open %s: %s\n", path, std::strerror(errno));
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        std::fprintf(stderr, "hx350-decode: cannot open %s: %s\n", path, std::strerror(EISDIR));
        return false;
    }
    const bool device = S_ISCHR(info.st_mode);
    const int fd = open(path, device ? O_RDONLY | O_NOCTTY | O_NONBLOCK : O_RDONLY);
    if (fd < 0) {
        std::fprintf(stderr, "hx350-decode: cannot open %s: %s\n", path, std::strerror(errno));
        return false;
    }
    input.fd = fd;
    if (device && isatty(fd)) {
        input.isTerminal = true;
        if (!configureSerial(fd, path, input.saved)) {
            close(fd);
            input.fd = -1;
            return false;
        }
        input.restoreSettings = true;
    }
    if (device) {
        const int flags = fcntl(fd, F_GETFL);
        if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
            std::fprintf(stderr, "hx350-decode: cannot set up %s: %s\n", path, std::strerror(errno));
            if (input.restoreSettings)
                tcsetattr(fd, TCSANOW, &input.saved);
            close(fd);
            input.fd = -1;
            return false;
        }
    }
    return true;
}

void closeInput(Input& input, bool ownsFd) {
    if (input.restoreSettings)
        tcsetattr(input.fd, TCSANOW, &input.saved);
    if (ownsFd)
        close(input.fd);
}

// Decodes until end of input (or Ctrl-C); returns the exit code.
int run(Input& input, const char* name) {
    // The tool has no window: the watchdog never fires and nothing is shown, only the decoded lines are printed. The
    // bytes go through the batch as the program's serial worker hands them over.
    CLineAssembly assembly;
    CReceiveBatch batch;
    std::uint8_t chunk[4096];
    for (;;) {
        if (stopRequested)
            return kExitOk;
        const ssize_t got = read(input.fd, chunk, sizeof chunk);
        if (got == 0)
            return kExitOk;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            // A pseudo-terminal reports its other side's hang-up as EIO: that is the end of that input.
            if (errno == EIO && input.isTerminal)
                return kExitOk;
            std::fprintf(stderr, "hx350-decode: cannot read %s: %s\n", name, std::strerror(errno));
            return kExitFailure;
        }
        bool writeFailed = false;
        batch.take(chunk, static_cast<std::size_t>(got), [&](const std::uint8_t* piece, std::size_t count) {
            const LineOutcome outcome = assembly.onReceived(piece, count);
            if (!outcome.finished || writeFailed)
                return;
            // Flushed per line so that a live device's lines appear as they arrive.
            std::string line = recordJson(outcome, assembly.record());
            line += '\n';
            writeFailed = std::fwrite(line.data(), 1, line.size(), stdout) != line.size() || std::fflush(stdout) != 0;
        });
        if (writeFailed) {
            std::fprintf(stderr, "hx350-decode: cannot write the output: %s\n", std::strerror(errno));
            return kExitFailure;
        }
    }
}

// Streams a binary recording file through the scanner; returns the exit code. The output is not flushed per
// record: a recording of a year holds millions of them.
int runHxg(Input& input, const char* name) {
    bool writeFailed = false;
    CHxgScanner scanner([&writeFailed](const HxgEntry& entry) {
        std::string line = hxgEntryJson(entry);
        line += '\n';
        if (!writeFailed && std::fwrite(line.data(), 1, line.size(), stdout) != line.size())
            writeFailed = true;
    });
    static char chunk[1 << 16];
    while (!stopRequested) {
        const ssize_t got = read(input.fd, chunk, sizeof chunk);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "hx350-decode: cannot read %s: %s\n", name, std::strerror(errno));
            return kExitFailure;
        }
        scanner.feed(std::string_view(chunk, static_cast<std::size_t>(got)));
        if (writeFailed)
            break;
    }
    if (writeFailed || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "hx350-decode: cannot write the output: %s\n", std::strerror(errno));
        return kExitFailure;
    }
    std::fprintf(stderr,
                 "hx350-decode: %s: %llu valid records, %llu damaged, %llu bytes of an unfinished record at the end\n",
                 name, static_cast<unsigned long long>(scanner.validCount()),
                 static_cast<unsigned long long>(scanner.damagedCount()),
                 static_cast<unsigned long long>(scanner.pendingBytes()));
    return kExitOk;
}

} // namespace

int main(int argc, char** argv) {
    const char* path = nullptr;
    bool hxg = false;
    if (argc == 3 && std::string(argv[1]) == "--hxg" && argv[2][0] != '\0') {
        hxg = true;
        if (std::string(argv[2]) != "-")
            path = argv[2];
    } else if (argc == 2) {
        const std::string arg = argv[1];
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return kExitOk;
        }
        if (arg != "-") {
            if (arg.empty() || arg[0] == '-') {
                std::fputs(kUsage, stderr);
                return kExitUsage;
            }
            path = argv[1];
        }
    } else if (argc == 3 && std::string(argv[1]) == "--" && argv[2][0] != '\0') {
        path = argv[2];
    } else if (argc != 1) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }

    Input input;
    const char* name = path != nullptr ? path : "standard input";
    if (path != nullptr) {
        if (!openInput(path, input))
            return kExitFailure;
    } else {
        input.fd = STDIN_FILENO;
    }
    installStopHandlers();
    const int exitCode = hxg ? runHxg(input, name) : run(input, name);
    closeInput(input, path != nullptr);
    return exitCode;
}
