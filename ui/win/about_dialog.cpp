#include "ui/win/about_dialog.h"

#include "res/resource.h"

CAboutDialog::CAboutDialog() : CDialogBase(IDD_ABOUT) {}

INT_PTR CAboutDialog::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR result = FALSE;
    if (email_.handleParentMessage(hwnd(), message, wParam, lParam, result))
        return result;
    switch (message) {
    case WM_INITDIALOG:
        email_.attachTo(item(IDC_ABOUT_EMAIL));
        email_.setUrl(kMakerEmail);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
            endDialog(LOWORD(wParam));
            return TRUE;
        case IDC_ABOUT_LOGO:
            if (HIWORD(wParam) == STN_CLICKED) {
                CHyperlinkLabel page;
                page.setUrl(kMakerWebPage);
                page.onClicked(hwnd());
            }
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}
