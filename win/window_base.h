#pragma once

#include <windows.h>

#include <string>

// Base of every dialog: a static dialog procedure that stores `this` at WM_INITDIALOG, checks it for null on every
// message (some arrive before WM_INITDIALOG) and clears it at WM_NCDESTROY, so no virtual call reaches a
// half-destroyed object.
class CDialogBase {
public:
    explicit CDialogBase(int templateId) : templateId_(templateId) {}
    virtual ~CDialogBase() = default;
    CDialogBase(const CDialogBase&) = delete;
    CDialogBase& operator=(const CDialogBase&) = delete;

    // Runs the dialog modally; returns the EndDialog result, or -1 when it could not be created.
    INT_PTR runModal(HWND owner);
    HWND hwnd() const { return hwnd_; }
    HWND item(int id) const { return GetDlgItem(hwnd_, id); }

protected:
    // Return TRUE when the message was handled (and set DWLP_MSGRESULT where the message needs a value).
    virtual INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    void endDialog(INT_PTR result) { EndDialog(hwnd_, result); }

private:
    static INT_PTR CALLBACK dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    int templateId_;
    HWND hwnd_ = nullptr;
};

// The text of a window or control of this process; empty for none.
std::wstring windowText(HWND window);

// Base of a control window that subclasses an existing child (a static of a dialog template): messages go to
// handleMessage first, which calls defaultProc for everything it does not swallow.
class CSubclassedControl {
public:
    CSubclassedControl() = default;
    virtual ~CSubclassedControl();
    CSubclassedControl(const CSubclassedControl&) = delete;
    CSubclassedControl& operator=(const CSubclassedControl&) = delete;

    bool attach(HWND control);
    void detach();
    HWND hwnd() const { return hwnd_; }

protected:
    virtual LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    LRESULT defaultProc(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK subclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR refData);
    HWND hwnd_ = nullptr;
};
