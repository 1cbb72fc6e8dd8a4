#include "base/settings_store.h"
#include "tests/core/settings_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using settings_test::copyFixture;
using settings_test::readBytes;
using settings_test::TempDir;
using settings_test::writeBytes;

std::vector<std::string> folderNames(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Root writes into read-only files and folders, so those checks run in a child under the "nobody" account when
// the tests run as root. `check` returns its verdict; it must not use test assertions.
bool runUnprivileged(const std::function<bool()>& check) {
    if (::geteuid() != 0)
        return check();
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child)
        return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A copy of `fixture` opened in a fresh folder; the store goes first, then the folder.
struct Opened {
    TempDir dir;
    std::string path;
    CSettingsStore store;
    explicit Opened(const char* fixture, SettingsFileUse use = SettingsFileUse::Read)
        : path(copyFixture(dir, fixture)) {
        EXPECT_TRUE(store.open(path, use)) << fixture;
    }
};

} // namespace

TEST(SettingsToInt, FollowsTheDecimalRule) {
    const std::pair<std::string, std::int32_t> cases[] = {
        {"", 0},
        {"12", 12},
        {"007", 7},
        {"  -7", -7},
        {"\t\v\f\r\n+5x", 5},
        {"12abc", 12},
        {"1 2", 1},
        {"abc", 0},
        {"-", 0},
        {"- 7", 0},
        {"+-3", 0},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"2147483648", INT32_MIN},   // wraps, no overflow check
        {"4294967295", -1},          // all bits set: a colour entry reads it as 4294967295
        {"4294967296", 0},           // 2^32 wraps to nothing
        {"99999999999", 1215752191}, // 99999999999 mod 2^32
        {"-4294967295", 1},          // the negation wraps too
        {"\xa0"
         "5",
         0}, // a no-break space (0xA0 in Windows-1250) is not white space
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(settingsToInt(text), expected) << '"' << text << '"';
}

TEST(ProgramDirectoryFilePath, TakesEverythingBeforeTheLastBackslash) {
    // The program's path and what the settings file's path becomes when the current folder is D:\\work.
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\Program Files\\HX350\\HX350.exe", "C:\\Program Files\\HX350\\hx350cfg.ini"},
        {"C:\\a\\b\\c.exe", "C:\\a\\b\\hx350cfg.ini"},
        {"HX350.exe", "D:\\work\\hx350cfg.ini"},
        {"C:/tools/HX350.exe", "D:\\work\\hx350cfg.ini"}, // only a backslash separates
        {"\\HX350.exe", "\\hx350cfg.ini"},
        {"", "D:\\work\\hx350cfg.ini"},
        {"C:\\dir.v2\\", "C:\\dir.v2\\hx350cfg.ini"},
    };
    for (const auto& [programPath, expected] : cases)
        EXPECT_EQ(programDirectoryFilePath("hx350cfg.ini", programPath, "D:\\work"), expected) << programPath;
}

// The worked example: a comment, a header with no entries, a commented value.
TEST(SettingsStoreWorkedExample, LooksUpSetsAndSavesTheSevenLineFile) {
    TempDir dir;
    const std::string path = copyFixture(dir, "worked_example.ini");
    {
        CSettingsStore store;
        ASSERT_TRUE(store.open(path, SettingsFileUse::Keep));
        EXPECT_EQ(store.getInt("GENERAL", "PORT_NR", 0), 2);
        EXPECT_EQ(store.getString("LOG", "FILE_INTERVAL", ""), "60 ");
        EXPECT_EQ(store.getInt("LOG", "FILE_INTERVAL", 1), 60);
        EXPECT_EQ(store.getInt("GENERAL", "TOPMOST", 0), 0);
        EXPECT_EQ(store.getString("OLD", "", "default"), "default"); // a header without entries is never found
        EXPECT_EQ(store.getString("", ";note", "default"), "");

        store.setInt("LOG", "FILE_INTERVAL", 60);
        EXPECT_TRUE(store.modified()); // "60 ; s" and "60" differ
        store.setInt("GENERAL", "TOPMOST", 1);
    }
    EXPECT_EQ(readBytes(path), ";note=\r\n"
                               "[GENERAL]\r\n"
                               "PORT_NR=2\r\n"
                               "\r\n"
                               "TOPMOST=1\r\n"
                               "[LOG]\r\n"
                               "FILE_INTERVAL=60\r\n");
}

TEST(SettingsStoreOpening, CreateIfMissingCreatesAnEmptyFileAndTruncatesNone) {
    for (const char* fixture : {"", "worked_example.ini"}) {
        TempDir dir;
        const std::string path = *fixture ? copyFixture(dir, fixture) : dir.file("new.ini");
        const std::string before = readBytes(path);
        {
            CSettingsStore store;
            ASSERT_TRUE(store.open(path, SettingsFileUse::Keep)) << fixture;
            EXPECT_EQ(store.getInt("GENERAL", "PORT_NR", 5), *fixture ? 2 : 5) << fixture;
        }
        EXPECT_TRUE(fs::is_regular_file(path)) << fixture;
        EXPECT_EQ(readBytes(path), before) << fixture;
    }
}

// A store that could not open keeps working on memory and never writes; a read-only file (locked down by an
// administrator) is read, and left as it is.
TEST(SettingsStoreOpening, PathsThatCannotBeWrittenAreNeverWritten) {
    const struct {
        const char* name;
        const char* file;
        SettingsFileUse use;
        std::function<void(const TempDir&)> prepare;
        bool opens = false;
    } cases[] = {
        {"missing, only to be read", "hx350cfg.ini", SettingsFileUse::Read, [](const TempDir&) {}},
        {"in a missing folder", "no-such-folder/hx350cfg.ini", SettingsFileUse::Keep, [](const TempDir&) {}},
        {"a folder", "hx350cfg.ini", SettingsFileUse::Keep,
         [](const TempDir& dir) { fs::create_directory(dir.file("hx350cfg.ini")); }},
        {"unreadable", "hx350cfg.ini", SettingsFileUse::Keep,
         [](const TempDir& dir) {
             writeBytes(dir.file("hx350cfg.ini"), "[GENERAL]\r\nPORT_NR=2\r\n");
             fs::permissions(dir.file("hx350cfg.ini"), fs::perms::none);
         }},
        {"read-only", "hx350cfg.ini", SettingsFileUse::Keep,
         [](const TempDir& dir) {
             writeBytes(dir.file("hx350cfg.ini"), "[GENERAL]\r\nPORT_NR=2\r\n");
             fs::permissions(dir.file("hx350cfg.ini"), fs::perms::owner_read);
         },
         true},
    };
    for (const auto& c : cases) {
        TempDir dir;
        fs::permissions(dir.path(), fs::perms::all);
        EXPECT_TRUE(runUnprivileged([&] {
            c.prepare(dir);
            const std::vector<std::string> before = folderNames(dir);
            const std::string bytes = c.opens ? readBytes(dir.file(c.file)) : "";
            CSettingsStore store;
            if (store.open(dir.file(c.file), c.use) != c.opens || store.isOpen() != c.opens ||
                store.getInt("GENERAL", "PORT_NR", 7) != (c.opens ? 2 : 7))
                return false;
            store.setInt("GENERAL", "PORT_NR", 3);
            return store.getInt("GENERAL", "PORT_NR", 0) == 3 && !store.save() && folderNames(dir) == before &&
                   (!c.opens || readBytes(dir.file(c.file)) == bytes);
        })) << c.name;
    }
}

TEST(SettingsStoreOpening, SecondOpenSavesTheFirstFile) {
    Opened o("worked_example.ini");
    o.store.setInt("GENERAL", "PORT_NR", 9);
    ASSERT_TRUE(o.store.open(copyFixture(o.dir, "entries.ini"), SettingsFileUse::Read));
    EXPECT_EQ(o.store.getInt("GENERAL", "PORT_NR", -1), -1); // the first file's content is gone
    EXPECT_FALSE(o.store.modified());
    EXPECT_NE(readBytes(o.path).find("PORT_NR=9\r\n"), std::string::npos);
    EXPECT_EQ(folderNames(o.dir), (std::vector<std::string>{"entries.ini", "worked_example.ini"}));
}

TEST(SettingsStoreChanges, OnlyRealChangesMarkTheStoreModified) {
    const std::tuple<const char*, const char*, const char*, std::string, bool> cases[] = {
        {"same value", "E", "BARE", "5", false},
        {"value in other case", "E", "TWO", "X;Y;Z", false},
        {"key and section in other case", "e", "bare", "5", false},
        {"different value", "E", "BARE", "6", true},
        {"whole commented value", "E", "COMMENTED", "60 ; seconds", false},
        {"bare part of commented value", "E", "COMMENTED", "60 ", true},
        {"Polish letters in other case", "E", "POLISH", "\xa5\xc6\xca", true}, // no folding beyond A-Z
        {"new key", "E", "NEW", "", true},
        {"new section", "NEW", "BARE", "5", true},
    };
    for (const auto& [name, section, key, value, modified] : cases) {
        Opened o("entries.ini");
        const std::string before = readBytes(o.path);
        o.store.setString(section, key, value);
        EXPECT_EQ(o.store.modified(), modified) << name;
        // Memory takes the new text even when the change does not count, as for a change of letter case only.
        EXPECT_EQ(o.store.getString(section, key, "<none>"), value.substr(0, value.rfind(';'))) << name;
        o.store.save();
        EXPECT_EQ(readBytes(o.path) != before, modified) << name;
    }
}

TEST(SettingsStoreSaving, WritesTheWrittenFormGolden) {
    const std::tuple<const char*, const char*, const char*, const char*, const char*> cases[] = {
        {"line_ends.ini", "B", "LF", "5",
         "[A]\r\nLF=1\r\nCRLF=2\r\nLONE=a\rb\r\nDOUBLE=3\r\r\n[B]\r\nHEADERCR=x\r\n[C]\r=\r\nLAST=4\r\r\nLF=5\r\n"},
        // The empty and the trailing header vanish, "[]" keeps its header line, the second KEY changes.
        {"headers.ini", "GENERAL", "KEY", "changed",
         "[GENERAL] =\r\n [GENERAL]=\r\n[GENERAL]\r\nPORT_NR=1\r\nKEY=first\r\nKEY=changed\r\n"
         "[GENERAL]\r\nPORT_NR=2\r\n[]\r\nUNDER_EMPTY=5\r\n[ Spaced Name ]\r\nVALUE=6\r\n"},
        // The comment gains "=", the blank line stays, "=orphan value" keeps its "=", semicolons stay.
        {"entries.ini", "E", "NEW", "1",
         "; comment line=\r\n\r\n[E]\r\nKEY = 5\r\nBARE=5\r\n=orphan value\r\nNOEQUALS=\r\nA=b=c\r\nTWO=x;y;z\r\n"
         "COMMENTED=60 ; seconds\r\nlower_case=7\r\nNUMBER=4294967295\r\nDIGITS=12abc\r\nLETTERS=abc\r\n"
         "SIGNED=  -7\r\nEMPTY=\r\nPOLISH=\xb9\xe6\xea\r\nNEW=1\r\n"},
        // A new section lands after all old ones.
        {"worked_example.ini", "NEW", "K", "v",
         ";note=\r\n[GENERAL]\r\nPORT_NR=2\r\n\r\n[LOG]\r\nFILE_INTERVAL=60 ; s\r\n[NEW]\r\nK=v\r\n"},
        // Found by fuzzing: at a save "[]" lost its header line and a line without a key lost its "=", so entries
        // came back as another section's values, as settings or as headers.
        {"shapes.ini", "GENERAL", "PORT_NR", "2",
         "[GENERAL]\r\n=TOPMOST=1\r\n=[LOG]\r\nPORT_NR=2\r\n[]\r\nTOPMOST=1\r\n"},
        // The key keeps the letter case of the file.
        {"entries.ini", "e", "LOWER_CASE", "8",
         "; comment line=\r\n\r\n[E]\r\nKEY = 5\r\nBARE=5\r\n=orphan value\r\nNOEQUALS=\r\nA=b=c\r\nTWO=x;y;z\r\n"
         "COMMENTED=60 ; seconds\r\nlower_case=8\r\nNUMBER=4294967295\r\nDIGITS=12abc\r\nLETTERS=abc\r\n"
         "SIGNED=  -7\r\nEMPTY=\r\nPOLISH=\xb9\xe6\xea\r\n"},
    };
    // The replacement also keeps the file's access rights.
    const fs::perms rights = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    for (const auto& [fixture, section, key, value, expected] : cases) {
        Opened o(fixture);
        fs::permissions(o.path, rights);
        o.store.setString(section, key, value);
        EXPECT_TRUE(o.store.save());
        EXPECT_EQ(readBytes(o.path), expected) << fixture;
        EXPECT_EQ(fs::status(o.path).permissions() & fs::perms::mask, rights);
        EXPECT_TRUE(o.store.modified()); // a save does not reset it
        EXPECT_EQ(folderNames(o.dir), std::vector<std::string>{fixture}) << "no temporary file left behind";
    }
}

// A save that fails must keep the old file (the old truncate-then-write save destroyed it) and stay modified, so
// that a later save may still succeed.

TEST(SettingsStoreSaveFailure, FailedSaveKeepsTheOldFileIntact) {
    const struct {
        const char* name;
        std::function<void(const std::string& path)> breakSave; // after the file was opened
        std::function<bool(CSettingsStore& store, const std::string& path)> afterwards;
    } cases[] = {
        {"write fails as on a full disk",
         [](const std::string& path) { fs::create_symlink("/dev/full", settingsReplacementPath(path)); },
         // the failed write is removed, and then the next save succeeds
         [](CSettingsStore& store, const std::string& path) {
             return !fs::exists(fs::symlink_status(settingsReplacementPath(path))) && store.save() &&
                    readBytes(path).find("PORT_NR=3\r\n") != std::string::npos;
         }},
        {"replacement cannot be created",
         [](const std::string& path) { fs::create_directory(settingsReplacementPath(path)); },
         // what was there is not ours to remove
         [](CSettingsStore&, const std::string& path) { return fs::is_directory(settingsReplacementPath(path)); }},
        {"read-only folder",
         [](const std::string& path) {
             fs::permissions(fs::path(path).parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
         },
         [](CSettingsStore&, const std::string& path) {
             const fs::path folder = fs::path(path).parent_path();
             fs::permissions(folder, fs::perms::owner_all);
             return std::distance(fs::directory_iterator(folder), fs::directory_iterator()) == 1;
         }},
        {"file made read-only", [](const std::string& path) { fs::permissions(path, fs::perms::owner_read); },
         [](CSettingsStore&, const std::string&) { return true; }},
    };
    const std::string content = "; mine\r\n[GENERAL]\r\nPORT_NR=2\r\n";
    for (const auto& c : cases) {
        TempDir dir;
        fs::permissions(dir.path(), fs::perms::all);
        const std::string folder = dir.file("settings");
        const std::string path = folder + "/hx350cfg.ini";
        EXPECT_TRUE(runUnprivileged([&] {
            fs::create_directory(folder);
            writeBytes(path, content);
            CSettingsStore store;
            if (!store.open(path, SettingsFileUse::Read))
                return false;
            store.setInt("GENERAL", "PORT_NR", 3);
            c.breakSave(path);
            const bool failed = !store.save() && store.modified() && readBytes(path) == content;
            return failed && c.afterwards(store, path);
        })) << c.name;
    }
}
