#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// An in-memory sectioned settings file ("[SECTION]" headers, KEY=value lines) with typed look-ups, change
// tracking and write-back at close only when some value really changed. Text is bytes in the system's ANSI
// code page and is never transcoded; paths are UTF-8.
class CSettingsStore {
public:
    explicit CSettingsStore(int growStep);
    virtual ~CSettingsStore();
    CSettingsStore(const CSettingsStore&) = delete;
    CSettingsStore& operator=(const CSettingsStore&) = delete;

    bool open(const std::string& path, bool saveOnClose, bool createIfMissing, bool ignoreCase, bool backupOnClose);
    // `programPath` is the program's own path (the first command-line argument); `currentDirectory` is used when
    // it holds no backslash.
    bool openInProgramDirectory(const std::string& fileName, const std::string& programPath,
                                const std::string& currentDirectory, bool saveOnClose, bool createIfMissing,
                                bool ignoreCase, bool backupOnClose);

    std::string getString(const std::string& section, const std::string& key, const std::string& defaultValue) const;
    std::int32_t getInt(const std::string& section, const std::string& key, std::int32_t defaultValue) const;
    std::uint32_t getUInt(const std::string& section, const std::string& key, std::uint32_t defaultValue) const;
    bool contains(const std::string& section, const std::string& key) const;
    void setString(const std::string& section, const std::string& key, const std::string& value);
    void setInt(const std::string& section, const std::string& key, std::int32_t value);
    void setUInt(const std::string& section, const std::string& key, std::uint32_t value);

    // Writes the file when modified; returns the backup path when the file was written, "" otherwise.
    std::string save(bool makeBackup);
    void clear();

    bool isOpen() const { return !filePath_.empty(); }
    bool modified() const { return modified_ != 0; }
    const std::string& filePath() const { return filePath_; }
    const std::string& backupPath() const { return backupPath_; }

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
    bool namesEqual(const std::string& a, const std::string& b) const;
    int findSection(const std::string& name) const;
    int findKey(int section, const std::string& key) const;
    std::string writtenForm() const;
    void chooseBackupPath();
    bool replaceFile(const std::string& content) const;

    std::vector<Section> sections_;         // never empty: index 0 is the leading section
    std::vector<std::string> sectionNames_; // may be shorter than sections_: unnamed sections are never written
    int growStep_;
    int ignoreCase_ = 1;
    int saveOnClose_ = 0;
    std::string backupPath_;
    std::string filePath_;
    int backupOnClose_ = 0;
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
