#include "ui/win/additional_settings_dialog.h"

#include "res/resource.h"

CAdditionalSettingsDialog::CAdditionalSettingsDialog() : CDialogBase(IDD_ADDITIONAL_SETTINGS) {}

INT_PTR CAdditionalSettingsDialog::handleMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        CheckDlgButton(hwnd(), IDC_DONT_SHOW_INFO, dontShowAtStart ? BST_CHECKED : BST_UNCHECKED);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            dontShowAtStart = IsDlgButtonChecked(hwnd(), IDC_DONT_SHOW_INFO) == BST_CHECKED;
            endDialog(IDOK);
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

bool runAdditionalSettingsDialog(HWND owner, bool& showInfoAtStart) {
    CAdditionalSettingsDialog dialog;
    dialog.dontShowAtStart = !showInfoAtStart;
    if (dialog.runModal(owner) != IDOK)
        return false;
    showInfoAtStart = !dialog.dontShowAtStart;
    return true;
}
