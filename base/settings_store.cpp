#include "base/settings_store.h"

#include "base/ascii_text.h"
#include "base/file_commit.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

// The settings file holds single-byte Windows-1250 text. Every separator search below ("[", "]", "=", ";", LF,
// CR) and the case folding look at single bytes; that is exact because Windows-1250 has no lead or trail bytes.
// A double-byte ANSI code page would need lead-byte-aware scanning at exactly those places.

namespace fs = std::filesystem;

namespace {

constexpr char kLineEnd[] = "\r\n";

// Paths arrive as UTF-8; u8path is what makes that true on Windows too. It can throw on bytes that are not
// UTF-8, which for a settings file simply means the file cannot be used.
bool toPath(const std::string& utf8, fs::path& path) {
    try {
        path = fs::u8path(utf8);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool isDecimalSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

std::int32_t settingsToInt(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && isDecimalSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulated unsigned so that the 32-bit wrap-around of an over-long number is defined behaviour; the
    // stored 4294967295 must come out as all bits set, which the colours' entries rely on.
    std::uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
    if (negative)
        value = 0u - value;
    return static_cast<std::int32_t>(value);
}

std::string programDirectoryFilePath(const std::string& fileName, const std::string& programPath,
                                     const std::string& currentDirectory) {
    const std::size_t slash = programPath.rfind('\\');
    const std::string directory = slash == std::string::npos ? currentDirectory : programPath.substr(0, slash);
    return directory + "\\" + fileName;
}

std::string settingsReplacementPath(const std::string& filePath) {
    return filePath + ".tmp";
}

CSettingsStore::CSettingsStore() {
    resetTables();
}

// The members free the content themselves, so nothing after the save can fail.
CSettingsStore::~CSettingsStore() {
    // A destructor must not throw; a save that runs out of memory leaves the old file in place, which is what a
    // failed save does anyway.
    try {
        if (saveOnClose_)
            save();
    } catch (...) {
    }
}

// Index 0, the leading section, always exists, also on a closed store, so that set operations before any open
// (or after a failed one) work on memory as they do on an open store.
void CSettingsStore::resetTables() {
    sections_.clear();
    sections_.shrink_to_fit();
    addSection();
}

std::size_t CSettingsStore::addSection() {
    sections_.emplace_back();
    return lastSection();
}

void CSettingsStore::clear() {
    resetTables();
    sectionNames_.clear();
    filePath_.clear();
    modified_ = 0;
    readOnly_ = false;
}

bool CSettingsStore::open(const std::string& path, SettingsFileUse use) {
    if (!filePath_.empty()) {
        save();
        clear();
    }
    const bool keep = use == SettingsFileUse::Keep;
    saveOnClose_ = keep;

    fs::path filePath;
    if (!toPath(path, filePath))
        return false;
    std::error_code error;
    const fs::file_status status = fs::status(filePath, error);
    if (status.type() == fs::file_type::not_found) {
        if (!keep)
            return false;
        // Append mode creates a missing file and, should one appear meanwhile, never truncates it.
        std::ofstream create(filePath, std::ios::app | std::ios::binary);
        if (!create)
            return false;
    }
    // in|out never truncates and fails on a read-only file or a folder, which is the test for a file that the
    // save at exit will be able to replace. A read-only file (locked down by an administrator, on a read-only
    // share) is still read, and then left as it is.
    std::fstream file(filePath, std::ios::in | std::ios::out | std::ios::binary);
    // An administrator (or root under Wine) may be allowed to write a file marked read-only; it stays as marked.
    bool readOnly = (fs::status(filePath, error).permissions() & fs::perms::owner_write) == fs::perms::none;
    if (!file) {
        if (!fs::is_regular_file(filePath, error))
            return false;
        file.open(filePath, std::ios::in | std::ios::binary);
        if (!file)
            return false;
        readOnly = true;
    }

    // The file's content starts from nothing: values set on the closed store before must not mix with it.
    clear();
    filePath_ = path;
    readOnly_ = readOnly;
    std::string content;
    bool complete = true;
    char buffer[65536];
    for (;;) {
        file.read(buffer, sizeof buffer);
        content.append(buffer, static_cast<std::size_t>(file.gcount()));
        if (file.bad()) {
            complete = false;
            break;
        }
        if (!file)
            break; // end of file
    }
    file.close();
    readContent(content, complete);
    return true;
}

// Splits at LF; a CR directly in front of the LF belongs to the line end, any other CR to the text. After a read
// error only whole lines count: the unterminated tail may be cut anywhere.
void CSettingsStore::readContent(const std::string& content, bool complete) {
    std::string currentName;
    std::size_t start = 0;
    while (start < content.size()) {
        const std::size_t lineFeed = content.find('\n', start);
        if (lineFeed == std::string::npos && !complete)
            break;
        std::size_t end = lineFeed == std::string::npos ? content.size() : lineFeed;
        if (lineFeed != std::string::npos && end > start && content[end - 1] == '\r')
            --end;
        readLine(content.substr(start, end - start), currentName);
        start = lineFeed == std::string::npos ? content.size() : lineFeed + 1;
    }
}

void CSettingsStore::readLine(const std::string& line, std::string& currentName) {
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
        // The name is recorded only with the section's first entry: a header with nothing under it leaves a
        // section that no look-up finds and no save writes.
        addSection();
        currentName = line.substr(1, line.size() - 2);
        return;
    }
    const std::size_t equals = line.find('=');
    Entry entry;
    if (equals == std::string::npos) {
        entry.key = line;
    } else {
        entry.key = line.substr(0, equals);
        entry.value = line.substr(equals + 1);
    }
    const std::size_t last = lastSection();
    sections_[last].push_back(std::move(entry));
    if (sectionNames_.size() <= last)
        sectionNames_.resize(last + 1);
    sectionNames_[last] = currentName;
}

// Only A-Z and a-z fold; letters of the upper half of Windows-1250 (Polish ones included) compare exactly.
bool CSettingsStore::namesEqual(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && asciiUpper(a[i]) != asciiUpper(b[i]))
            return false;
    }
    return true;
}

int CSettingsStore::findSection(const std::string& name) const {
    for (std::size_t i = 0; i < sectionNames_.size(); ++i) {
        if (namesEqual(sectionNames_[i], name))
            return static_cast<int>(i);
    }
    return -1;
}

// From the last entry backwards, so that of two equal keys the later one answers and is changed.
int CSettingsStore::findKey(int section, const std::string& key) const {
    const Section& entries = sections_[static_cast<std::size_t>(section)];
    for (std::size_t j = entries.size(); j-- > 0;) {
        if (namesEqual(entries[j].key, key))
            return static_cast<int>(j);
    }
    return -1;
}

std::string CSettingsStore::getString(const std::string& section, const std::string& key,
                                      const std::string& defaultValue) const {
    const int i = findSection(section);
    if (i < 0)
        return defaultValue;
    const int j = findKey(i, key);
    if (j < 0)
        return defaultValue;
    // Everything from the last semicolon is a comment; the stored text keeps it.
    const std::string& value = sections_[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)].value;
    return value.substr(0, value.rfind(';'));
}

bool CSettingsStore::contains(const std::string& section, const std::string& key) const {
    const int i = findSection(section);
    return i >= 0 && findKey(i, key) >= 0;
}

std::int32_t CSettingsStore::getInt(const std::string& section, const std::string& key,
                                    std::int32_t defaultValue) const {
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(defaultValue));
    return settingsToInt(getString(section, key, text));
}

void CSettingsStore::setString(const std::string& section, const std::string& key, const std::string& value) {
    int i = findSection(section);
    if (i < 0) {
        modified_ = 1;
        const std::size_t added = addSection();
        sectionNames_.resize(added + 1);
        sectionNames_[added] = section;
        i = static_cast<int>(added);
    }
    Section& entries = sections_[static_cast<std::size_t>(i)];
    const int j = findKey(i, key);
    if (j < 0) {
        modified_ = 1;
        entries.push_back(Entry{key, value});
        return;
    }
    // A value that differs only in letter case counts as unchanged, yet memory takes the new text: the file is
    // then not rewritten for it.
    std::string& stored = entries[static_cast<std::size_t>(j)].value;
    if (!namesEqual(stored, value))
        modified_ = 1;
    stored = value;
}

void CSettingsStore::setInt(const std::string& section, const std::string& key, std::int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    setString(section, key, text);
}

// Sections in index order up to the last recorded name, entries in file order; the leading section and any
// section named "" go without a header. Lines end in CR LF whatever the platform.
std::string CSettingsStore::writtenForm() const {
    std::string out;
    for (std::size_t i = 0; i < sectionNames_.size() && i < sections_.size(); ++i) {
        // Only the leading section goes without a header. A later one named by "[]" keeps its header: without
        // it, its entries would be read back as the section above's and could override that section's values.
        if (!sectionNames_[i].empty() || (i > 0 && !sections_[i].empty())) {
            out += '[';
            out += sectionNames_[i];
            out += ']';
            out += kLineEnd;
        }
        for (const Entry& entry : sections_[i]) {
            out += entry.key;
            // A line without a key keeps its "=": without it, "=PORT_NR=5" would come back as a setting and
            // "=[LOG]" as a header.
            if (!entry.key.empty() || !entry.value.empty())
                out += '=';
            out += entry.value;
            out += kLineEnd;
        }
    }
    return out;
}

// The new content goes to a file beside the old one and replaces it in one step only once it is complete and
// on disk: a failed or interrupted save leaves the old settings as they were instead of a truncated file.
bool CSettingsStore::replaceFile(const std::string& content) const {
    fs::path target;
    fs::path temporary;
    const std::string temporaryPath = settingsReplacementPath(filePath_);
    if (!toPath(filePath_, target) || !toPath(temporaryPath, temporary))
        return false;

    // A file that became read-only or locked since it was opened is not to be replaced, as if it could not be
    // opened for writing; one that vanished is simply written again.
    std::error_code error;
    const fs::file_status status = fs::status(target, error);
    if (status.type() != fs::file_type::not_found) {
        std::fstream probe(target, std::ios::in | std::ios::out | std::ios::binary);
        if (!probe)
            return false;
    }

    {
        std::ofstream out(temporary, std::ios::out | std::ios::binary | std::ios::trunc);
        if (!out)
            return false; // nothing was created (or what is there is not ours to remove)
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.flush();
        out.close();
        if (out.fail()) {
            fs::remove(temporary, error);
            return false;
        }
    }
    // The replacement takes the old file's place, so it takes its access rights too.
    if (status.type() == fs::file_type::regular)
        fs::permissions(temporary, status.permissions(), fs::perm_options::replace, error);
    if (!commitReplacement(temporaryPath, filePath_)) {
        fs::remove(temporary, error);
        return false;
    }
    return true;
}

bool CSettingsStore::save() {
    if (!modified_ || filePath_.empty() || readOnly_)
        return false;
    // modified stays set when the file could not be replaced: a later save may still succeed.
    return replaceFile(writtenForm());
}

bool CSettingsStore::openInProgramDirectory(const std::string& fileName, const std::string& programPath,
                                            const std::string& currentDirectory, SettingsFileUse use) {
    return open(programDirectoryFilePath(fileName, programPath, currentDirectory), use);
}
