#include "win/window_base.h"

#include <iterator>

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// The dialogs of this program that exist (all on the user-interface thread), and which of them are modeless.
struct OwnDialog {
    HWND hwnd;
    bool modeless;
};
std::vector<OwnDialog> g_ownDialogs;
HHOOK g_modelessKeyboard = nullptr;

bool isModeless(HWND hwnd) {
    return std::any_of(g_ownDialogs.begin(), g_ownDialogs.end(),
                       [hwnd](const OwnDialog& own) { return own.hwnd == hwnd && own.modeless; });
}

// A modal loop calls IsDialogMessage for its own dialog only, so the keyboard messages of a modeless dialog are
// handed to it here, as they are taken from the queue.
LRESULT CALLBACK modelessKeyboard(int code, WPARAM wParam, LPARAM lParam) {
    auto* msg = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST) {
        // A copy: the message may close the dialog, which takes it off the list.
        const std::vector<OwnDialog> dialogs = g_ownDialogs;
        for (const OwnDialog& own : dialogs)
            if (own.modeless && (msg->hwnd == own.hwnd || IsChild(own.hwnd, msg->hwnd)) &&
                IsDialogMessageW(own.hwnd, msg)) {
                msg->message = WM_NULL;
                break;
            }
    }
    return CallNextHookEx(g_modelessKeyboard, code, wParam, lParam);
}

void forget(HWND hwnd) {
    g_ownDialogs.erase(std::remove_if(g_ownDialogs.begin(), g_ownDialogs.end(),
                                      [hwnd](const OwnDialog& own) { return own.hwnd == hwnd; }),
                       g_ownDialogs.end());
    const bool anyModeless =
        std::any_of(g_ownDialogs.begin(), g_ownDialogs.end(), [](const OwnDialog& own) { return own.modeless; });
    if (!anyModeless && g_modelessKeyboard) {
        UnhookWindowsHookEx(g_modelessKeyboard);
        g_modelessKeyboard = nullptr;
    }
}

BOOL CALLBACK collectWindow(HWND hwnd, LPARAM windows) {
    reinterpret_cast<std::vector<HWND>*>(windows)->push_back(hwnd);
    return TRUE;
}

bool isDialogWindow(HWND hwnd) {
    wchar_t name[16] = {};
    return GetClassNameW(hwnd, name, 16) > 0 && std::wstring(name) == L"#32770";
}

} // namespace

INT_PTR CDialogBase::runModal(HWND owner) {
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), owner, dialogProc,
                           reinterpret_cast<LPARAM>(this));
}

HWND CDialogBase::createModeless(HWND owner) {
    const HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), owner, dialogProc,
                                           reinterpret_cast<LPARAM>(this));
    if (!dialog)
        return nullptr;
    for (OwnDialog& own : g_ownDialogs)
        if (own.hwnd == dialog)
            own.modeless = true;
    if (!g_modelessKeyboard)
        g_modelessKeyboard = SetWindowsHookExW(WH_GETMESSAGE, modelessKeyboard, nullptr, GetCurrentThreadId());
    return dialog;
}

INT_PTR CALLBACK CDialogBase::dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CDialogBase*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        if (self)
            self->hwnd_ = hwnd;
        g_ownDialogs.push_back({hwnd, false});
    }
    auto* self = reinterpret_cast<CDialogBase*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!self)
        return FALSE;
    INT_PTR result = self->handleMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->hwnd_ = nullptr;
        forget(hwnd);
    }
    return result;
}

void cancelThreadDialogs(HWND keep) {
    std::vector<HWND> windows;
    EnumThreadWindows(GetCurrentThreadId(), collectWindow, reinterpret_cast<LPARAM>(&windows));
    for (HWND window : windows) {
        if (window == keep || !IsWindow(window) || !isDialogWindow(window))
            continue;
        const bool own = std::any_of(g_ownDialogs.begin(), g_ownDialogs.end(),
                                     [window](const OwnDialog& dialog) { return dialog.hwnd == window; });
        if (own && isModeless(window))
            DestroyWindow(window);
        else if (own)
            SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        else
            EndDialog(window, IDCANCEL);
    }
}

CWindowBase::~CWindowBase() {
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

bool CWindowBase::registerClass(WNDCLASSEXW windowClass) {
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProc;
    WNDCLASSEXW existing{};
    return GetClassInfoExW(windowClass.hInstance, windowClass.lpszClassName, &existing) ||
           RegisterClassExW(&windowClass) != 0;
}

bool CWindowBase::createWindow(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, SIZE size,
                               HWND owner) {
    return CreateWindowExW(exStyle, className, title, style, CW_USEDEFAULT, CW_USEDEFAULT, size.cx, size.cy, owner,
                           nullptr, GetModuleHandleW(nullptr), this) != nullptr;
}

LRESULT CALLBACK CWindowBase::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<CWindowBase*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        if (self)
            self->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<CWindowBase*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    const LRESULT result = self->handleMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
    }
    return result;
}

std::wstring windowText(HWND window) {
    if (!window)
        return {};
    int length = GetWindowTextLengthW(window);
    if (length <= 0)
        return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return text;
}

namespace {
constexpr UINT_PTR kSubclassId = 0x4858;
}

CSubclassedControl::~CSubclassedControl() {
    detach();
}

bool CSubclassedControl::attach(HWND control) {
    detach();
    if (!control || !SetWindowSubclass(control, subclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this)))
        return false;
    hwnd_ = control;
    return true;
}

void CSubclassedControl::detach() {
    if (hwnd_) {
        RemoveWindowSubclass(hwnd_, subclassProc, kSubclassId);
        hwnd_ = nullptr;
    }
}

LRESULT CSubclassedControl::defaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefSubclassProc(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK CSubclassedControl::subclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                                  DWORD_PTR refData) {
    auto* self = reinterpret_cast<CSubclassedControl*>(refData);
    if (!self || self->hwnd_ != hwnd)
        return DefSubclassProc(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // The window goes away: unhook first so that nothing reaches the object afterwards.
        LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
        self->detach();
        return result;
    }
    return self->handleMessage(message, wParam, lParam);
}

void appendSystemMenuItem(HWND window, UINT command, UINT text) {
    const HMENU systemMenu = GetSystemMenu(window, FALSE);
    wchar_t words[128] = {};
    if (!systemMenu || LoadStringW(GetModuleHandleW(nullptr), text, words, static_cast<int>(std::size(words))) <= 0)
        return;
    AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(systemMenu, MF_STRING, command, words);
}

std::wstring CDialogBase::ownerCaption() const {
    const std::wstring caption = windowText(GetWindow(hwnd_, GW_OWNER));
    return caption.empty() ? L"HX350" : caption;
}

void CDialogBase::refuse(const std::wstring& message, int id) {
    MessageBoxW(hwnd_, message.c_str(), ownerCaption().c_str(), MB_OK | MB_ICONEXCLAMATION);
    SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item(id)), TRUE);
}
