#pragma once

#include "win/window_base.h"

#include <string>
#include <vector>

// "Porty": lets the user choose the instrument's COM port from the ports found on the computer. The list is
// filled behind the wait window when the dialog is created.
class CPortDialog : public CDialogBase {
public:
    CPortDialog();
    void setCurrentPort(int port) { port_ = port; }
    // After OK: the chosen port number (> 0).
    int port() const { return port_; }
    // Used by the enumeration worker while the wait window is shown.
    void addEntry(const std::string& entry);

protected:
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void initialise();
    void acceptChoice();

    int port_ = 0;
    std::vector<std::string> portEntries_;
};

// The dialog over `owner`, naming `port` as the current one (0: none); true on OK, with the chosen port in `port`.
bool runPortDialog(HWND owner, int& port);
