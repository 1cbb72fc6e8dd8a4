#include "ui/win/info_window.h"

#include "res/resource.h"
#include "ui/win/about_dialog.h"

CSoftwareInfoWindow::CSoftwareInfoWindow() : CDialogBase(IDD_SOFTWARE_INFO) {}

bool CSoftwareInfoWindow::show(HWND owner) {
    return CRichText::loadLibrary() && runModal(owner) != -1;
}

INT_PTR CSoftwareInfoWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR result = FALSE;
    if (link_.handleParentMessage(hwnd(), message, wParam, lParam, result))
        return result;
    switch (message) {
    case WM_INITDIALOG:
        document_.attachDocument(item(IDC_INFO_DOCUMENT), IDR_INFO_DOCUMENT, true);
        link_.attachTo(item(IDC_INFO_LINK));
        link_.setUrl(kSoftwareInfoPage);
        // The close button, not the document, has the focus: Enter closes the window.
        SetFocus(item(IDOK));
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
            endDialog(LOWORD(wParam));
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}
