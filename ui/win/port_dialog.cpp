#include "ui/win/port_dialog.h"

#include "res/resource.h"
#include "serial/port_list.h"
#include "serial/win/port_enumeration.h"
#include "ui/win/wait_window.h"
#include "win/text.h"

#include <string>

namespace {

// Runs on the wait window's worker thread. The dialog reads its entries only after the wait window's modal run
// has returned, which is after this thread has ended, so the list needs no lock. "Anuluj" in the wait box ends a
// slow enumeration early; the dialog then offers the ports found until then.
void enumeratePorts(CWaitWindow& window) {
    auto* dialog = static_cast<CPortDialog*>(window.owner());
    PortListResult ports = listPorts([&window] { return window.stopRequested(); });
    for (const std::string& entry : portEntriesFromListText(ports.ok ? ports.list.text : std::string()))
        dialog->addEntry(entry);
    PostMessageW(window.hwnd(), WM_CLOSE, 0, 0);
}

} // namespace

CPortDialog::CPortDialog() : CDialogBase(IDD_PORTS) {}

void CPortDialog::addEntry(const std::string& entry) {
    portEntries_.push_back(entry);
}

INT_PTR CPortDialog::handleMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        initialise();
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            acceptChoice();
            return TRUE;
        case IDCANCEL:
            endDialog(IDCANCEL);
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}

void CPortDialog::initialise() {
    // The list is made anew every time the dialog opens, behind the wait box. The box belongs to this dialog,
    // although it is not on screen yet: owned by the main window, the box would enable the main window again
    // when it closes, while this dialog is still modal to it.
    portEntries_.clear();
    CWaitWindow wait;
    wait.setOwner(this);
    wait.setJob(enumeratePorts);
    wait.runModal(hwnd());

    SetDlgItemTextW(hwnd(), IDC_PORT_INFO, widen(currentPortInfoText(port_)).c_str());
    HWND list = item(IDC_PORT_LIST);
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    for (const std::string& entry : portEntries_)
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ansiToWide(entry).c_str()));
    int selected = port_ != 0 ? findEntryForPort(portEntries_, port_) : -1;
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

void CPortDialog::acceptChoice() {
    int chosen = portNumberFromEntry(wideToAnsi(windowText(item(IDC_PORT_LIST))));
    if (chosen <= 0) {
        MessageBoxW(hwnd(), L"Nie wybrano żadnego portu.", ownerCaption().c_str(), MB_OK);
        return;
    }
    port_ = chosen;
    endDialog(IDOK);
}

bool runPortDialog(HWND owner, int& port) {
    CPortDialog dialog;
    dialog.setCurrentPort(port);
    if (dialog.runModal(owner) != IDOK)
        return false;
    port = dialog.port();
    return true;
}
