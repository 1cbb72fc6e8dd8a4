// Arbitrary bytes as hx350cfg.ini: open, read the 29 settings, change one, save, and open the saved file again.
// What was read must read back the same, and a save touches nothing in the folder but its file (its temporary
// file must be gone afterwards).

#include "app/settings_keys.h"
#include "base/settings_store.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A broken invariant is a finding: libFuzzer keeps the input that caused it.
#define require(condition) ((condition) ? (void)0 : (std::fprintf(stderr, "broken: %s\n", #condition), std::abort()))

std::vector<std::string> values(const CSettingsStore& store) {
    std::vector<std::string> out;
    for (const SettingEntry<AppSettings>& entry : settingsTable())
        out.push_back(store.getString(entry.section, entry.key, "\x01missing"));
    return out;
}

// One scratch folder per process, removed when the run ends.
struct ScratchFolder {
    fs::path path = fs::temp_directory_path() / ("hx350-fuzz-settings-" + std::to_string(getpid()));
    ScratchFolder() { fs::create_directories(path); }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

const fs::path& folder() {
    static const ScratchFolder scratch;
    return scratch.path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path file = folder() / "hx350cfg.ini";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    std::vector<std::string> read;
    {
        CSettingsStore store;
        require(store.open(file.string(), SettingsFileUse::Keep));
        AppSettings settings;
        loadSettings(store, settings);
        settings.portNumber = 1 + settings.portNumber % 200;
        saveSettings(store, settings, 1280, 800);
        read = values(store);
        store.save();
    }
    std::size_t entries = 0;
    for (const auto& e : fs::directory_iterator(folder())) {
        require(e.path().filename() == "hx350cfg.ini");
        ++entries;
    }
    require(entries == 1);
    CSettingsStore again;
    require(again.open(file.string(), SettingsFileUse::Read));
    const std::vector<std::string> back = values(again);
    for (std::size_t i = 0; i < back.size(); ++i) {
        if (back[i] != read[i])
            std::fprintf(stderr, "%s: read \"%s\", read back \"%s\"\n", settingsTable()[i].key, read[i].c_str(),
                         back[i].c_str());
    }
    require(back == read);
    return 0;
}
