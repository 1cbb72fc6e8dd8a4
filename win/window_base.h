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
    // Creates the dialog modeless, owned by `owner`, and returns it (null when it could not be created); it ends
    // with DestroyWindow. Its keyboard (Tab, Enter, Escape) works under whatever message loop runs, such as the
    // main window's modal one, which knows nothing of it.
    HWND createModeless(HWND owner);
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

// Ends every dialog and message box of this thread but `keep` as cancelled: the program's own dialogs through
// their Cancel command (so each undoes what it applied), the others (message boxes, the common dialogs) with
// EndDialog; modeless dialogs are destroyed. The modal loops return once the code that runs them gets control
// back.
void cancelThreadDialogs(HWND keep);

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
