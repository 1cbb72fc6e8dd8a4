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
    // The caption of the dialog's message boxes: its owner's, as every message box of the program shows it.
    std::wstring ownerCaption() const;
    // Says why what the user typed cannot be kept (a message box over the dialog), then puts the focus on the
    // control `id` to correct, its text selected.
    void refuse(const std::wstring& message, int id);
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

// Base of a top-level window of a class of its own: the same guard as CDialogBase, for a window procedure. `this`
// is stored at WM_NCCREATE, checked for null on every message (WM_GETMINMAXINFO comes before WM_NCCREATE) and
// cleared at WM_NCDESTROY; the destructor unhooks the object before it destroys a window still open.
class CWindowBase {
public:
    CWindowBase() = default;
    virtual ~CWindowBase();
    CWindowBase(const CWindowBase&) = delete;
    CWindowBase& operator=(const CWindowBase&) = delete;

    HWND hwnd() const { return hwnd_; }

protected:
    // Registers `windowClass` with the base's window procedure, once per class name.
    static bool registerClass(WNDCLASSEXW windowClass);
    bool createWindow(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, SIZE size,
                      HWND owner);
    virtual LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    LRESULT defaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    }

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    HWND hwnd_ = nullptr;
};

// The text of a window or control of this process; empty for none.
std::wstring windowText(HWND window);

// Adds a separator and the item `command`, worded by the string resource `text`, to the window's system menu.
void appendSystemMenuItem(HWND window, UINT command, UINT text);

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
