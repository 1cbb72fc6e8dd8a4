// The application: loads the settings into the main window, runs it, releases the serial port and writes the
// settings back.

#include "app/win/main_window.h"
#include "app/settings_keys.h"
#include "base/settings_store.h"
#include "win/text.h"
#include "win/user_secret.h"

#include <windows.h>

#include <commctrl.h>

#include <exception>
#include <string>

namespace {

std::wstring currentDirectory() {
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    if (size == 0)
        return {};
    std::wstring directory(size, L'\0');
    const DWORD length = GetCurrentDirectoryW(size, directory.data());
    directory.resize(length < size ? length : 0);
    return directory;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES | ICC_DATE_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);

    // An unreadable file is never reported: the window then runs on its own initial values and nothing is saved.
    CSettingsStore store;
    AppSettings settings;
    if (store.openInProgramDirectory(kSettingsFileName, narrow(modulePath()), narrow(currentDirectory()),
                                     SettingsFileUse::Keep)) {
        try {
            loadSettings(store, settings);
        } catch (const std::exception&) {
            // Out of memory while reading: run with what was read so far.
        }
        // A password of another user or computer reads as none: the broker then refuses the login, which the
        // status line says, until the password is entered again here.
        unprotectForUser(settings.mqtt.protectedPassword, settings.mqtt.password);
        unprotectForUser(settings.mail.protectedPassword, settings.mail.password);
    } else {
        settings.recording.intervalSeconds = kIntervalWithoutSettingsFile;
    }

    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    {
        CMainWindow window(settings);
        // At logoff or shutdown the process may be ended as soon as the window has answered.
        window.setSessionEndHandler([&] {
            try {
                saveSettings(store, settings, screenWidth, screenHeight);
                store.save();
            } catch (const std::exception&) {
                // Out of memory: nothing more can be done before the session ends.
            }
        });
        window.runModal(nullptr);
        // The window's end stops the serial worker first, so the thread is gone before anything is written.
    }

    try {
        saveSettings(store, settings, screenWidth, screenHeight);
    } catch (const std::exception&) {
        // Out of memory while writing: the store still saves what was set when it closes.
    }
    return 0;
}
