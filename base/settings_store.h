#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// How a settings file is used: only read (a missing file is not created, nothing is ever written), or kept (a
// missing file is created, and the file is written back at close when a value changed).
enum class SettingsFileUse { Read, Keep };

// An in-memory sectioned settings file ("[SECTION]" headers, KEY=value lines) with typed look-ups that ignore the
// letter case of names, change tracking and write-back at close only when some value really changed. Text is bytes
// in the system's ANSI code page and is never transcoded; paths are UTF-8.
class CSettingsStore {
public:
    CSettingsStore();
    virtual ~CSettingsStore();
    CSettingsStore(const CSettingsStore&) = delete;
    CSettingsStore& operator=(const CSettingsStore&) = delete;

    bool open(const std::string& path, SettingsFileUse use);
    // `programPath` is the program's own path (the first command-line argument); `currentDirectory` is used when
    // it holds no backslash.
    bool openInProgramDirectory(const std::string& fileName, const std::string& programPath,
                                const std::string& currentDirectory, SettingsFileUse use);

    std::string getString(const std::string& section, const std::string& key, const std::string& defaultValue) const;
    std::int32_t getInt(const std::string& section, const std::string& key, std::int32_t defaultValue) const;
    bool contains(const std::string& section, const std::string& key) const;
    void setString(const std::string& section, const std::string& key, const std::string& value);
    void setInt(const std::string& section, const std::string& key, std::int32_t value);

    // Writes the file when modified; true when it was written.
    bool save();
    void clear();

    bool isOpen() const { return !filePath_.empty(); }
    bool modified() const { return modified_ != 0; }
    const std::string& filePath() const { return filePath_; }

private:
    struct Entry {
        std::string key;
        std::string value;
    };
    using Section = std::vector<Entry>; // keys and values side by side, so they always have the same length

    void resetTables();
    std::size_t addSection();
    std::size_t lastSection() const { return sections_.size() - 1; }
    void readContent(const std::string& content, bool complete);
    void readLine(const std::string& line, std::string& currentName);
    static bool namesEqual(const std::string& a, const std::string& b);
    int findSection(const std::string& name) const;
    int findKey(int section, const std::string& key) const;
    std::string writtenForm() const;
    bool replaceFile(const std::string& content) const;

    std::vector<Section> sections_;         // never empty: index 0 is the leading section
    std::vector<std::string> sectionNames_; // may be shorter than sections_: unnamed sections are never written
    bool saveOnClose_ = false;
    std::string filePath_;
    int modified_ = 0;
    bool readOnly_ = false; // opened for reading only: never written back
};

// The directory part of the program-directory rule: everything before the last backslash of `programPath`,
// else `currentDirectory`; joined to `fileName` with one backslash.
std::string programDirectoryFilePath(const std::string& fileName, const std::string& programPath,
                                     const std::string& currentDirectory);

// The decimal rule of the numeric look-ups: leading white space, optional sign, digits up to the first other
// byte, 32-bit wrap-around, no digits -> 0.
std::int32_t settingsToInt(const std::string& text);

// The file that a save writes before it replaces `filePath` with it: beside the settings file, so that the
// replacement is one rename within a folder.
std::string settingsReplacementPath(const std::string& filePath);
