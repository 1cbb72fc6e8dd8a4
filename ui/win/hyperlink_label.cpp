#include "ui/win/hyperlink_label.h"

#include "ui/hyperlink_text.h"
#include "win/system_dialogs.h"
#include "win/text.h"

#include <commctrl.h>

#include <vector>

namespace {

constexpr UINT_PTR kToolId = 1;

// The default value of a key under HKEY_CLASSES_ROOT; empty when there is none.
std::wstring classesDefaultValue(const std::wstring& subkey) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, subkey.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return {};
    std::vector<wchar_t> value(1024, L'\0');
    DWORD size = static_cast<DWORD>((value.size() - 1) * sizeof(wchar_t));
    DWORD type = 0;
    const LSTATUS status = RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    return value.data();
}

// What WinExec would return: above 31 on success, else the error (2 for a missing program).
INT_PTR runCommand(const std::wstring& command, int showCommand) {
    std::wstring line = command;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showCommand);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        const DWORD error = GetLastError();
        return error <= 32 ? static_cast<INT_PTR>(error) : 0;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 33;
}

} // namespace

CHyperlinkLabel::CHyperlinkLabel() : hoverColour_(GetSysColor(COLOR_HIGHLIGHT)) {}

CHyperlinkLabel::~CHyperlinkLabel() {
    if (toolTip_)
        DestroyWindow(toolTip_);
    if (linkCursor_)
        DestroyCursor(linkCursor_);
}

bool CHyperlinkLabel::attachTo(HWND control) {
    if (!attach(control))
        return false;
    SetWindowLongPtrW(control, GWL_STYLE, GetWindowLongPtrW(control, GWL_STYLE) | SS_NOTIFY);
    const std::wstring text = windowText(control);
    if (url_.empty())
        url_ = text;
    if (text.empty())
        SetWindowTextW(control, url_.c_str());

    LOGFONTW font{};
    const auto current = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    if (current && GetObjectW(current, sizeof font, &font)) {
        font.lfUnderline = static_cast<BYTE>(underline_);
        linkFont_.reset(CreateFontIndirectW(&font));
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(linkFont_.get()), TRUE);
    }
    positionWindow();

    // The system's hand, copied so that it is ours to destroy like any loaded cursor.
    if (!linkCursor_)
        if (const HCURSOR hand = LoadCursorW(nullptr, IDC_HAND))
            linkCursor_ = CopyCursor(hand);

    toolTip_ =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, GetParent(control), nullptr, nullptr, nullptr);
    if (toolTip_) {
        TOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.hwnd = control;
        tool.uId = kToolId;
        tool.lpszText = url_.data();
        GetClientRect(control, &tool.rect);
        SendMessageW(toolTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    return true;
}

void CHyperlinkLabel::setUrl(const std::wstring& url) {
    url_ = url;
    if (!hwnd())
        return;
    positionWindow();
    updateToolText();
}

void CHyperlinkLabel::updateToolText() {
    if (!toolTip_)
        return;
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = hwnd();
    tool.uId = kToolId;
    tool.lpszText = url_.data();
    SendMessageW(toolTip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void CHyperlinkLabel::setVisited(int visited) {
    visited_ = visited;
    refresh();
}

void CHyperlinkLabel::onClicked(HWND owner) {
    const INT_PTR result = openUrl(url_, SW_SHOW);
    if (result > 32) {
        setVisited(1);
        return;
    }
    visited_ = 0;
    MessageBeep(MB_ICONEXCLAMATION);
    const std::wstring text = widen(openErrorText(static_cast<int>(result)));
    MessageBoxW(owner, text.c_str(), L"HX350", MB_OK | MB_ICONEXCLAMATION);
}

bool CHyperlinkLabel::handleParentMessage(HWND owner, UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
    if (!hwnd())
        return false;
    if (message == WM_CTLCOLORSTATIC && reinterpret_cast<HWND>(lParam) == hwnd()) {
        result = reinterpret_cast<INT_PTR>(onCtlColor(reinterpret_cast<HDC>(wParam)));
        return true;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == GetDlgCtrlID(hwnd())) {
        if (HIWORD(wParam) == STN_CLICKED)
            onClicked(owner);
        result = TRUE;
        return true;
    }
    return false;
}

HBRUSH CHyperlinkLabel::onCtlColor(HDC dc) const {
    SetTextColor(dc, overControl_ == 1 ? hoverColour_ : (visited_ != 0 ? visitedColour_ : linkColour_));
    SetBkMode(dc, TRANSPARENT);
    return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
}

// The shell first; where it knows no handler, the command registered for .htm pages with the URL in place of its
// placeholder. A failing fallback reports the shell's own error, which says more.
INT_PTR CHyperlinkLabel::openUrl(const std::wstring& url, int showCommand) {
    const INT_PTR result = systemShellOpen(url.c_str(), showCommand);
    if (result > 32)
        return result;
    const std::wstring pageClass = classesDefaultValue(L".htm");
    if (pageClass.empty())
        return result;
    const std::wstring registered = classesDefaultValue(pageClass + L"\\shell\\open\\command");
    if (registered.empty())
        return result;
    return runCommand(widen(fallbackOpenCommand(narrow(registered), narrow(url))), showCommand);
}

// The text is drawn transparently: the dialog's background under it is painted again first, or the old colour
// would show at the letters' edges.
void CHyperlinkLabel::refresh() {
    if (!hwnd())
        return;
    const HWND parent = GetParent(hwnd());
    RECT rect;
    GetWindowRect(hwnd(), &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    RedrawWindow(parent, &rect, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void CHyperlinkLabel::positionWindow() {
    if (!hwnd() || adjustToFit_ != 1)
        return;
    const HWND parent = GetParent(hwnd());
    RECT rect;
    GetWindowRect(hwnd(), &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);

    const std::wstring text = windowText(hwnd());
    SIZE extent{};
    const HDC dc = GetDC(hwnd());
    {
        SelectGuard font(dc, linkFont_.get());
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    }
    ReleaseDC(hwnd(), dc);

    const LONG_PTR style = GetWindowLongPtrW(hwnd(), GWL_STYLE);
    if (style & SS_CENTERIMAGE) {
        const LONG shrink = ((rect.bottom - rect.top) - extent.cy) / 2;
        rect.top += shrink;
        rect.bottom -= shrink;
    } else {
        rect.bottom = rect.top + extent.cy;
    }
    const LONG alignment = static_cast<LONG>(style & SS_TYPEMASK);
    if (alignment == SS_CENTER) {
        const LONG shrink = ((rect.right - rect.left) - extent.cx) / 2;
        rect.left += shrink;
        rect.right -= shrink;
    } else if (alignment == SS_RIGHT) {
        rect.left = rect.right - extent.cx;
    } else {
        rect.right = rect.left + extent.cx;
    }
    SetWindowPos(hwnd(), nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    if (toolTip_) {
        TOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.hwnd = hwnd();
        tool.uId = kToolId;
        GetClientRect(hwnd(), &tool.rect);
        SendMessageW(toolTip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void CHyperlinkLabel::relayToToolTip(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!toolTip_)
        return;
    MSG msg{hwnd(), message, wParam, lParam, static_cast<DWORD>(GetMessageTime()), {}};
    const DWORD position = GetMessagePos();
    msg.pt = {static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    SendMessageW(toolTip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
}

// The mouse is captured while it is over the link, so that the moment it leaves is seen and the colour goes back.
LRESULT CHyperlinkLabel::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST)
        relayToToolTip(message, wParam, lParam);
    switch (message) {
    case WM_MOUSEMOVE: {
        const LRESULT result = defaultProc(message, wParam, lParam);
        RECT client;
        GetClientRect(hwnd(), &client);
        const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        if (overControl_ == 1) {
            if (!PtInRect(&client, point)) {
                overControl_ = 0;
                ReleaseCapture();
                refresh();
            }
        } else {
            overControl_ = 1;
            refresh();
            SetCapture(hwnd());
        }
        return result;
    }
    case WM_CAPTURECHANGED:
        // A click or a message box took the capture: the mouse may be anywhere now.
        if (overControl_ == 1 && reinterpret_cast<HWND>(lParam) != hwnd()) {
            overControl_ = 0;
            refresh();
        }
        return defaultProc(message, wParam, lParam);
    case WM_SETCURSOR:
        if (linkCursor_) {
            SetCursor(linkCursor_);
            return TRUE;
        }
        return defaultProc(message, wParam, lParam);
    default:
        return defaultProc(message, wParam, lParam);
    }
}
