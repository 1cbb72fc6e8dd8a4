#include "ui/win/help_window.h"

#include "res/resource.h"
#include "ui/help_sections.h"
#include "win/text.h"

#include <commdlg.h>
#include <richedit.h>

namespace {

// Where the heading of a section starts: a match of its title that is a line of its own. The title may also
// stand in the text (in quotation marks), which is not the heading.
LONG headingPosition(HWND document, const std::wstring& title) {
    FINDTEXTEXW find{};
    find.chrg = {0, -1};
    find.lpstrText = title.c_str();
    for (;;) {
        const LRESULT found =
            SendMessageW(document, EM_FINDTEXTEXW, FR_DOWN | FR_MATCHCASE, reinterpret_cast<LPARAM>(&find));
        if (found < 0)
            return -1;
        const auto line = SendMessageW(document, EM_EXLINEFROMCHAR, 0, found);
        const auto lineStart = SendMessageW(document, EM_LINEINDEX, line, 0);
        const auto lineLength = SendMessageW(document, EM_LINELENGTH, found, 0);
        if (lineStart == found && lineLength == static_cast<LRESULT>(title.size()))
            return static_cast<LONG>(found);
        find.chrg.cpMin = static_cast<LONG>(found) + 1;
    }
}

} // namespace

CHelpWindow::CHelpWindow() : CDialogBase(IDD_HELP) {}

CHelpWindow::~CHelpWindow() {
    close();
}

void CHelpWindow::show(HWND owner) {
    if (!hwnd() && (!CRichText::loadLibrary() || !createModeless(owner)))
        return;
    showSection(helpSectionFor(kMainWindowHelpContext));
    ShowWindow(hwnd(), IsIconic(hwnd()) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(hwnd());
}

void CHelpWindow::close() {
    if (hwnd())
        DestroyWindow(hwnd());
}

void CHelpWindow::showSection(std::size_t index) {
    const HWND document = document_.hwnd();
    const std::vector<HelpSection>& sections = helpSections();
    if (!document || index >= sections.size())
        return;
    SendMessageW(item(IDC_HELP_SECTIONS), LB_SETCURSEL, index, 0);
    const LONG position = headingPosition(document, widen(sections[index].title));
    if (position < 0)
        return;
    CHARRANGE caret{position, position};
    SendMessageW(document, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&caret));
    // The heading goes to the top of the view (as far as the document's end allows).
    const auto first = SendMessageW(document, EM_GETFIRSTVISIBLELINE, 0, 0);
    const auto line = SendMessageW(document, EM_EXLINEFROMCHAR, 0, position);
    SendMessageW(document, EM_LINESCROLL, 0, line - first);
}

INT_PTR CHelpWindow::handleMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: {
        document_.attachDocument(item(IDC_HELP_DOCUMENT), IDR_HELP_DOCUMENT, false);
        const HWND list = item(IDC_HELP_SECTIONS);
        for (const HelpSection& section : helpSections())
            SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(section.title).c_str()));
        SetFocus(list);
        return FALSE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
            close();
            return TRUE;
        case IDC_HELP_SECTIONS:
            if (HIWORD(wParam) == LBN_SELCHANGE) {
                const auto selected = SendMessageW(item(IDC_HELP_SECTIONS), LB_GETCURSEL, 0, 0);
                if (selected >= 0)
                    showSection(static_cast<std::size_t>(selected));
            }
            return TRUE;
        default:
            return FALSE;
        }
    case WM_HELP:
        return TRUE; // F1 inside the help window: it is open already
    default:
        return FALSE;
    }
}
