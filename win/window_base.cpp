#include "win/window_base.h"

#include <commctrl.h>

#include <string>

INT_PTR CDialogBase::runModal(HWND owner) {
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), owner, dialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CDialogBase::dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CDialogBase*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        if (self)
            self->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<CDialogBase*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!self)
        return FALSE;
    INT_PTR result = self->handleMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->hwnd_ = nullptr;
    }
    return result;
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
