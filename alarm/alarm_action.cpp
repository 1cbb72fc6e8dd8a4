#include "alarm/alarm_action.h"

#include <cstring>

namespace {

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

bool isDriveLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Characters that no Windows file name holds; a colon is allowed only after the drive letter.
bool hasForbiddenCharacter(const std::string& path, std::size_t from) {
    for (std::size_t i = from; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (c < 0x20 || std::strchr("\"<>|*?:", c) != nullptr)
            return true;
    }
    return false;
}

// The length of the path element that starts at `i`.
std::size_t elementLength(const std::string& path, std::size_t i) {
    std::size_t end = i;
    while (end < path.size() && !isSeparator(path[end]))
        ++end;
    return end - i;
}

} // namespace

bool isFullProgramPath(const std::string& path) {
    if (path.empty() || isSeparator(path.back()))
        return false;
    if (path.size() >= 3 && isDriveLetter(path[0]) && path[1] == ':' && isSeparator(path[2]))
        return !hasForbiddenCharacter(path, 2);
    if (path.size() < 2 || !isSeparator(path[0]) || !isSeparator(path[1]) || hasForbiddenCharacter(path, 0))
        return false;
    // \\server\share\program: a server that is not "." (the device namespace), a share, and a name below it.
    const std::size_t server = elementLength(path, 2);
    if (server == 0 || path.compare(2, server, ".") == 0)
        return false;
    const std::size_t share = 2 + server + 1;
    return share < path.size() && elementLength(path, share) != 0 && share + elementLength(path, share) < path.size();
}

// Backslashes are literal except in a run that ends at a quotation mark, where each pair gives one backslash and
// an odd one escapes the mark; so a run before an inner mark is doubled and one more is added, and a run before
// the closing mark is doubled.
std::string quoteArgument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos)
        return argument;
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    quoted += '"';
    return quoted;
}

std::string commandLine(const std::string& programPath, const std::vector<std::string>& arguments) {
    std::string line = "\"" + programPath + "\"";
    for (const std::string& argument : arguments)
        line += " " + quoteArgument(argument);
    return line;
}
