#include "tools/win/hx350_dde/output.h"

#include "dde/dde_items.h"

#include <cstdio>

void writeOut(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void writeErr(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

// In hex the terminating NUL shows too, so a caller can check the exact bytes the service sent.
std::string describeData(const std::string& bytes, bool hex) {
    if (!hex)
        return ddeItemText(bytes);
    std::string text;
    char buffer[4];
    for (unsigned char byte : bytes) {
        std::snprintf(buffer, sizeof(buffer), "%02X", byte);
        if (!text.empty())
            text += ' ';
        text += buffer;
    }
    return text;
}
