// The application: loads the settings into the main window, runs it, releases the serial port and writes the
// settings back.

#include "app/win/main_window.h"
#include "app/settings_keys.h"
#include "base/settings_store.h"
#include "win/text.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <exception>
#include <iterator>
#include <string>

namespace {

constexpr std::size_t kMaxFaceNameBytes = LF_FACESIZE - 1; // 31 and the terminating zero

std::wstring currentDirectory() {
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    if (size == 0)
        return {};
    std::wstring directory(size, L'\0');
    const DWORD length = GetCurrentDirectoryW(size, directory.data());
    directory.resize(length < size ? length : 0);
    return directory;
}

// Only height, face name, italic flag and weight are stored; the rest of the description stays the display's
// own (Central European character set).
void applyDisplaySettings(CValueDisplay& display, const DisplaySettings& settings) {
    display.setColours(settings.backgroundColour, settings.textColour);
    LOGFONTW font = display.logFont();
    font.lfHeight = settings.fontHeight;
    font.lfItalic = settings.fontItalic;
    font.lfWeight = settings.fontWeight;
    const std::wstring face = ansiToWide(settings.fontName);
    std::fill(std::begin(font.lfFaceName), std::end(font.lfFaceName), L'\0');
    face.copy(font.lfFaceName, std::min<std::size_t>(face.size(), LF_FACESIZE - 1));
    display.storeLogFont(font);
}

DisplaySettings gatherDisplaySettings(const CValueDisplay& display) {
    DisplaySettings settings;
    settings.backgroundColour = display.backgroundColour();
    settings.textColour = display.textColour();
    const LOGFONTW& font = display.logFont();
    settings.fontHeight = font.lfHeight;
    settings.fontName = wideToAnsi(font.lfFaceName);
    if (settings.fontName.size() > kMaxFaceNameBytes)
        settings.fontName.resize(kMaxFaceNameBytes);
    settings.fontItalic = font.lfItalic;
    settings.fontWeight = font.lfWeight;
    return settings;
}

void applySettings(CMainWindow& window, const AppSettings& settings) {
    applyDisplaySettings(window.temperatureDisplay(), settings.temperature);
    applyDisplaySettings(window.humidityDisplay(), settings.humidity);
    MainWindowSettings& own = window.settings();
    own.configuredPort = settings.portNumber;
    own.windowRect =
        RECT{settings.windowRect.left, settings.windowRect.top, settings.windowRect.right, settings.windowRect.bottom};
    own.topmost = settings.topmost != 0;
    own.showInfoAtStart = settings.showInfoAtStart != 0;
    own.recording = settings.recording;
    own.alarm = settings.alarm;
}

// A flag keeps the number the file held while its meaning is the same (a file may say 4 for "on"), so a file whose
// flags nobody changed is written back as it was.
int storedFlag(int stored, bool flag) {
    return (stored != 0) == flag ? stored : (flag ? 1 : 0);
}

AppSettings gatherSettings(CMainWindow& window, const AppSettings& loaded) {
    AppSettings settings;
    settings.temperature = gatherDisplaySettings(window.temperatureDisplay());
    settings.humidity = gatherDisplaySettings(window.humidityDisplay());
    const MainWindowSettings& own = window.settings();
    settings.portNumber = own.configuredPort;
    settings.windowRect.left = own.windowRect.left;
    settings.windowRect.top = own.windowRect.top;
    settings.windowRect.right = own.windowRect.right;
    settings.windowRect.bottom = own.windowRect.bottom;
    settings.topmost = storedFlag(loaded.topmost, own.topmost);
    settings.showInfoAtStart = storedFlag(loaded.showInfoAtStart, own.showInfoAtStart);
    settings.recording = own.recording;
    settings.alarm = own.alarm;
    return settings;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES | ICC_DATE_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);

    // An unreadable file is never reported: the window then runs on its own initial values and nothing is saved.
    CSettingsStore store(4);
    AppSettings settings;
    if (store.openInProgramDirectory(kSettingsFileName, narrow(modulePath()), narrow(currentDirectory()), true, true,
                                     true, false)) {
        try {
            loadSettings(store, settings);
        } catch (const std::exception&) {
            // Out of memory while reading: run with what was read so far.
        }
    }

    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    {
        CMainWindow window;
        applySettings(window, settings);
        // At logoff or shutdown the process may be ended as soon as the window has answered.
        window.setSessionEndHandler([&] {
            try {
                saveSettings(store, gatherSettings(window, settings), screenWidth, screenHeight);
                store.save(false);
            } catch (const std::exception&) {
                // Out of memory: nothing more can be done before the session ends.
            }
        });
        window.runModal(nullptr);
        // The worker thread must be gone before anything is written.
        window.destroySerialPort();
        settings = gatherSettings(window, settings);
    }

    try {
        saveSettings(store, settings, screenWidth, screenHeight);
    } catch (const std::exception&) {
        // Out of memory while writing: the store still saves what was set when it closes.
    }
    return 0;
}
