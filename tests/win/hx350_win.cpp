// hx350-win: finds the running HX350 program's main window and reads or drives it from outside, as the end-to-end
// tests do: control texts, blinking and colours (from the screen's pixels), menu commands, the controls of its
// dialogs and the common dialogs, message boxes. Output is UTF-8, one "key=value" or plain line each.
// Exit codes: 0 ok, 3 not found or timed out, 2 usage. Not 1: Wine ends a program it could not start (as when
// its X server turns it away) with 1, silently, and that must not read as "the window is gone".

#include "res/resource.h"
#include "win/text.h"

#include <windows.h>

#include <commctrl.h>
#include <colordlg.h>
#include <dlgs.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

namespace {

constexpr int kOk = 0;
constexpr int kNotFound = 3;
constexpr int kUsage = 2;
constexpr UINT kMessageTimeoutMs = 3000;
// A click that opens a modal window (a browse dialog, a message box) is answered only when that window closes:
// the tool stops waiting after this long, and the click goes on inside the program.
constexpr UINT kClickWaitMs = 1000;

int print(const std::wstring& line) {
    const std::string bytes = narrow(line) + "\n";
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
    return kOk;
}

int printFlag(const wchar_t* key, bool value) {
    return print(std::wstring(key) + (value ? L"=1" : L"=0"));
}

int posted(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam = 0) {
    PostMessageW(hwnd, message, wParam, lParam);
    return kOk;
}

// Messages go through SendMessageTimeout: a program that hangs fails the command instead of hanging the tool.
bool sendTo(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result = nullptr,
            UINT timeoutMs = kMessageTimeoutMs) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_ABORTIFHUNG, timeoutMs, result ? result : &ignored);
}

// The answer to a message, -1 when none came.
LRESULT ask(HWND hwnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    return sendTo(hwnd, message, wParam, lParam, &result) ? static_cast<LRESULT>(result) : -1;
}

std::wstring className(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

std::wstring captionOf(HWND hwnd) {
    wchar_t title[256] = {};
    GetWindowTextW(hwnd, title, 256);
    return title;
}

// WM_GETTEXT is marshalled between processes; GetWindowText would return only the system's copy of the caption,
// which an edit control does not keep up to date. The text may change between the length and the text (a display
// going from "???" to "23.4 °C"): a text that fills the buffer is read again with a larger one, never cut.
std::wstring windowText(HWND hwnd) {
    const LRESULT length = ask(hwnd, WM_GETTEXTLENGTH);
    if (length < 0)
        return {};
    for (size_t size = std::max<size_t>(length + 2, 256);; size *= 2) {
        std::vector<wchar_t> buffer(size, L'\0');
        DWORD_PTR copied = 0;
        if (!sendTo(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), &copied))
            return {};
        if (copied + 1 < buffer.size() || size >= 1 << 20)
            return std::wstring(buffer.data(), std::min<size_t>(copied, buffer.size() - 1));
    }
}

// The top-level windows (parent null) or the children of `parent`.
std::vector<HWND> windowsOf(HWND parent) {
    std::vector<HWND> found;
    const WNDENUMPROC add = [](HWND hwnd, LPARAM param) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
        return TRUE;
    };
    if (parent)
        EnumChildWindows(parent, add, reinterpret_cast<LPARAM>(&found));
    else
        EnumWindows(add, reinterpret_cast<LPARAM>(&found));
    return found;
}

// A message box uses the program's name as its caption too, so the main window is told apart by its controls.
bool isMainWindow(HWND hwnd) {
    return className(hwnd) == L"#32770" && captionOf(hwnd) == L"HX350" && GetDlgItem(hwnd, IDC_STATUS) &&
           GetDlgItem(hwnd, IDC_TEMPERATURE) && GetDlgItem(hwnd, IDC_HUMIDITY);
}

HWND findMain() {
    for (HWND hwnd : windowsOf(nullptr))
        if (isMainWindow(hwnd))
            return hwnd;
    return nullptr;
}

DWORD processOf(HWND hwnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

// Visible dialogs of the program other than its main window (of any process while the main window is not there).
std::vector<HWND> programDialogs() {
    HWND main = findMain();
    std::vector<HWND> result;
    for (HWND hwnd : windowsOf(nullptr))
        if (className(hwnd) == L"#32770" && !isMainWindow(hwnd) && IsWindowVisible(hwnd) &&
            (!main || processOf(hwnd) == processOf(main)))
            result.push_back(hwnd);
    return result;
}

HWND findDialogTitled(const std::wstring& title) {
    for (HWND hwnd : programDialogs())
        if (captionOf(hwnd) == title)
            return hwnd;
    return nullptr;
}

// The message text of a message box: the static with id 0xFFFF (100 in some Wine versions).
HWND messageTextControl(HWND dialog) {
    for (HWND child : windowsOf(dialog)) {
        const int id = GetDlgCtrlID(child);
        if ((id == 0xFFFF || id == 100) && className(child) == L"Static")
            return child;
    }
    return nullptr;
}

// Polls `find` every 100 ms until it returns a window (or true) or the timeout passes.
template <typename Find> auto waitFor(double timeoutSeconds, Find find) -> decltype(find()) {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutSeconds * 1000.0);
    for (;;) {
        if (auto found = find())
            return found;
        if (GetTickCount64() >= deadline)
            return {};
        Sleep(100);
    }
}

std::wstring comboItem(HWND combo, int index) {
    const LRESULT length = ask(combo, CB_GETLBTEXTLEN, index);
    if (length < 0)
        return {};
    std::vector<wchar_t> buffer(length + 2, L'\0');
    return ask(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(buffer.data())) < 0 ? L"" : buffer.data();
}

int comboCount(HWND combo) {
    return static_cast<int>(std::max<LRESULT>(ask(combo, CB_GETCOUNT), 0));
}

// The line at the top of a RichEdit's view. Its text holds paragraphs as CR LF, its character positions count
// them as one character.
std::wstring firstVisibleLine(HWND rich) {
    const LRESULT line = ask(rich, EM_GETFIRSTVISIBLELINE);
    const LRESULT start = line < 0 ? -1 : ask(rich, EM_LINEINDEX, line);
    std::wstring text = windowText(rich);
    text.erase(std::remove(text.begin(), text.end(), L'\n'), text.end());
    if (start < 0 || static_cast<size_t>(start) >= text.size())
        return {};
    const size_t end = text.find(L'\r', start);
    return text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
}

int printDialog(HWND dialog) {
    print(L"title=" + captionOf(dialog));
    if (HWND text = messageTextControl(dialog))
        print(L"text=" + windowText(text));
    for (HWND child : windowsOf(dialog)) {
        const std::wstring cls = className(child);
        const std::wstring id = std::to_wstring(GetDlgCtrlID(child));
        if (cls == L"Static" || cls == L"Button" || cls == L"Edit") {
            std::wstring kind = cls;
            kind[0] = static_cast<wchar_t>(std::towlower(kind[0]));
            print(kind + L" " + id + L"=" + windowText(child));
        } else if (_wcsicmp(cls.c_str(), L"RichEdit50W") == 0) {
            print(L"rich " + id + L"=" + firstVisibleLine(child));
            print(L"richlength " + id + L"=" + std::to_wstring(windowText(child).size()));
        } else if (cls == L"ListBox") {
            print(L"list " + id + L"=" + std::to_wstring(ask(child, LB_GETCURSEL)));
        } else if (cls == L"ComboBox") {
            const LRESULT selection = ask(child, CB_GETCURSEL);
            print(L"combo " + id + L"=" + (selection >= 0 ? comboItem(child, static_cast<int>(selection)) : L""));
            for (int i = 0, count = comboCount(child); i < count; ++i)
                print(L"item " + id + L"=" + comboItem(child, i));
        }
    }
    return kOk;
}

bool parseInt(const std::wstring& text, int& value) {
    wchar_t* end = nullptr;
    const long parsed = std::wcstol(text.c_str(), &end, 0);
    value = static_cast<int>(parsed);
    return end != text.c_str() && *end == L'\0';
}

bool parseSeconds(const std::wstring& text, double& value) {
    wchar_t* end = nullptr;
    value = std::wcstod(text.c_str(), &end);
    return end != text.c_str() && *end == L'\0' && value >= 0;
}

// ----- the screen -----

// Pixels of a screen rectangle, 0x00RRGGBB, row by row from the top.
std::vector<DWORD> grabScreen(const RECT& area) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0)
        return {};
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    SelectObject(memory, previous);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0}; // top-down
    std::vector<DWORD> pixels(static_cast<size_t>(width) * height, 0);
    if (!GetDIBits(memory, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS))
        pixels.clear();
    for (DWORD& p : pixels)
        p &= 0x00FFFFFF;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// The value area of a display: below its caption bar, which is a band of one colour across the top. The bar's
// lower edge is found on the left margin, where the centred caption text never reaches.
bool valueArea(HWND control, RECT& area) {
    RECT rect;
    if (!control || !IsWindowVisible(control) || !GetWindowRect(control, &rect) || rect.right - rect.left < 8 ||
        rect.bottom - rect.top < 8)
        return false;
    const std::vector<DWORD> column = grabScreen({rect.left + 2, rect.top, rect.left + 3, rect.bottom});
    if (column.empty())
        return false;
    int barBottom = 30; // a 20-unit caption font, should the edge not show
    for (int y = 1; y < static_cast<int>(column.size()) / 2; ++y) {
        if (column[y] != column[0]) {
            barBottom = y;
            break;
        }
    }
    area = {rect.left + 2, rect.top + barBottom + 2, rect.right - 2, rect.bottom - 2};
    return area.bottom > area.top;
}

// The most common colour of a sample: the display's background, even with a dialog over part of the area.
DWORD backgroundOf(std::vector<DWORD> pixels) {
    std::sort(pixels.begin(), pixels.end());
    DWORD mode = 0;
    size_t best = 0;
    for (size_t i = 0, j = 0; i < pixels.size(); i = j) {
        while (j < pixels.size() && pixels[j] == pixels[i])
            ++j;
        if (j - i > best) {
            best = j - i;
            mode = pixels[i];
        }
    }
    return mode;
}

size_t inkOf(const std::vector<DWORD>& pixels, DWORD background) {
    return static_cast<size_t>(std::count_if(pixels.begin(), pixels.end(), [&](DWORD p) { return p != background; }));
}

// ----- the command line -----

struct Args {
    std::vector<std::wstring> positional;
    double timeout = -1; // --timeout S
    std::wstring title;  // --title T
    bool hasTitle = false;
    int press = 0; // --press ID
    bool hasPress = false;
    HWND main = nullptr;    // the main window, for commands on it
    HWND dialog = nullptr;  // the dialog TITLE, for commands on a dialog
    int id = 0;             // ID
    HWND control = nullptr; // ID's control of the main window or the dialog

    double timeoutOr(double fallback) const { return timeout < 0 ? fallback : timeout; }
};

int usage(const wchar_t* problem = nullptr);

// Blinking means the value area alternates between the value and nothing: the sample with the least ink differs
// from the one with the most only where it shows plain background. A value that merely changes (23.4 to 23.5)
// differs in both directions, and a window lying over part of the area is the same in every sample.
int cmdBlinking(const Args& a) {
    RECT area;
    if (!valueArea(a.control, area))
        return kNotFound;
    // 24 samples over 1.8 s cover three 500 ms blink phases at least, whatever the phase at the start.
    std::vector<std::vector<DWORD>> samples;
    for (int i = 0; i < 24; ++i) {
        samples.push_back(grabScreen(area));
        if (samples.back().empty())
            return kNotFound;
        Sleep(75);
    }
    const DWORD background = backgroundOf(samples[0]);
    std::vector<size_t> ink;
    for (const std::vector<DWORD>& sample : samples)
        ink.push_back(inkOf(sample, background));
    const size_t least = std::min_element(ink.begin(), ink.end()) - ink.begin();
    const size_t most = std::max_element(ink.begin(), ink.end()) - ink.begin();
    size_t differing = 0;
    size_t differingOverInk = 0;
    for (size_t p = 0; p < samples[least].size(); ++p) {
        if (samples[least][p] != samples[most][p]) {
            ++differing;
            differingOverInk += samples[least][p] != background;
        }
    }
    printFlag(L"blinking", differing >= 20 && differingOverInk <= differing / 50);
    print(L"ink_min=" + std::to_wstring(ink[least]) + L" ink_max=" + std::to_wstring(ink[most]) + L" differing=" +
          std::to_wstring(differing));
    return kOk;
}

// The look of a display on screen: its value area's background, the caption bar's colour and the height of the
// value's ink.
int cmdLook(const Args& a) {
    RECT area;
    RECT rect;
    if (!valueArea(a.control, area) || !GetWindowRect(a.control, &rect))
        return kNotFound;
    const std::vector<DWORD> bar = grabScreen({rect.left + 2, rect.top + 1, rect.left + 3, rect.top + 2});
    const std::vector<DWORD> pixels = grabScreen(area);
    if (bar.empty() || pixels.empty())
        return kNotFound;
    const DWORD background = backgroundOf(pixels);
    const int width = area.right - area.left;
    int top = -1;
    int bottom = -1;
    for (size_t i = 0; i < pixels.size(); ++i) {
        if (pixels[i] != background) {
            bottom = static_cast<int>(i) / width;
            top = top < 0 ? bottom : top;
        }
    }
    wchar_t line[64];
    swprintf(line, 64, L"background=%06lX", static_cast<unsigned long>(background));
    print(line);
    swprintf(line, 64, L"bar=%06lX", static_cast<unsigned long>(bar[0]));
    print(line);
    return print(L"ink=" + std::to_wstring(top < 0 ? 0 : bottom - top + 1));
}

// Asks the hook in hx350probe.dll (installed beside this tool) to do inside the program what another process
// cannot: it runs on the thread of `target`, which receives the registered message `probeName` with `wParam`, and
// the hook's answer comes back as a message to a window of this tool. False when no answer came.
bool probeThroughHook(HWND target, const wchar_t* probeName, WPARAM wParam, WPARAM& answerW, LPARAM& answerL) {
    const std::wstring path = modulePath();
    HMODULE module = LoadLibraryW((path.substr(0, path.find_last_of(L"\\/") + 1) + L"hx350probe.dll").c_str());
    if (!module)
        return false;
    auto proc = reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(module, "hx350Probe")));
    const UINT probe = RegisterWindowMessageW(probeName);
    HWND reply = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    HHOOK hook = proc && reply && probe
                     ? SetWindowsHookExW(WH_GETMESSAGE, proc, module, GetWindowThreadProcessId(target, nullptr))
                     : nullptr;
    bool answered = false;
    if (hook && PostMessageW(target, probe, wParam, reinterpret_cast<LPARAM>(reply))) {
        const ULONGLONG deadline = GetTickCount64() + kMessageTimeoutMs;
        while (!answered && GetTickCount64() < deadline) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == probe && msg.hwnd == reply) {
                    answerW = msg.wParam;
                    answerL = msg.lParam;
                    answered = true;
                }
            }
        }
    }
    if (hook)
        UnhookWindowsHookEx(hook);
    if (reply)
        DestroyWindow(reply);
    FreeLibrary(module);
    return answered;
}

// GetMenuState answers for another process's menu on Windows; under Wine a menu handle only works inside its own
// process, so the state is then read from inside the program.
int cmdMenuState(const Args& a) {
    HMENU menu = GetMenu(a.main);
    UINT state = menu ? GetMenuState(menu, static_cast<UINT>(a.id), MF_BYCOMMAND) : static_cast<UINT>(-1);
    WPARAM answeredId = 0;
    LPARAM answer = 0;
    if (state == static_cast<UINT>(-1) &&
        probeThroughHook(a.main, L"HX350.MenuStateProbe", static_cast<WPARAM>(a.id), answeredId, answer) &&
        answeredId == static_cast<WPARAM>(a.id))
        state = static_cast<UINT>(answer);
    if (state == static_cast<UINT>(-1))
        return kNotFound;
    printFlag(L"enabled", !(state & (MF_GRAYED | MF_DISABLED)));
    return printFlag(L"checked", state & MF_CHECKED);
}

int pressButton(HWND dialog, int id) {
    return posted(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

int pressAndWaitClosed(HWND dialog, int id, double timeout) {
    pressButton(dialog, id);
    return waitFor(timeout, [&] { return !IsWindow(dialog); }) ? kOk : kNotFound;
}

// Selects a combo box entry and tells the dialog as a user's choice does.
void choose(HWND dialog, int comboId, LRESULT index, WORD notification) {
    HWND combo = GetDlgItem(dialog, comboId);
    sendTo(combo, CB_SETCURSEL, index, 0);
    sendTo(dialog, WM_COMMAND, MAKEWPARAM(comboId, notification), reinterpret_cast<LPARAM>(combo));
}

bool setText(HWND control, const std::wstring& text) {
    return ask(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())) > 0;
}

// The entry equal to TEXT, else one that continues TEXT with something other than a digit ("COM1 (...)" but not
// "COM10"), else the first one that starts with it.
int cmdPortDialogSelect(const Args& a) {
    const std::wstring& text = a.positional[0];
    HWND dialog = findDialogTitled(L"Porty");
    HWND combo = dialog ? GetDlgItem(dialog, IDC_PORT_LIST) : nullptr;
    int index = -1;
    for (int i = 0, count = combo ? comboCount(combo) : 0; i < count; ++i) {
        const std::wstring item = comboItem(combo, i);
        if (item.compare(0, text.size(), text) != 0)
            continue;
        if (item == text || !iswdigit(item[text.size()])) {
            index = i;
            break;
        }
        index = index < 0 ? i : index;
    }
    if (index < 0)
        return kNotFound;
    choose(dialog, IDC_PORT_LIST, index, CBN_SELCHANGE);
    return print(L"selected=" + comboItem(combo, static_cast<int>(ask(combo, CB_GETCURSEL))));
}

// A dialog's combo box entry that starts with TEXT, chosen as a user's choice ends.
int cmdDialogSelect(const Args& a) {
    const std::wstring& text = a.positional[2];
    for (int i = 0, count = comboCount(a.control); i < count; ++i) {
        if (comboItem(a.control, i).compare(0, text.size(), text) == 0) {
            choose(a.dialog, a.id, i, CBN_SELCHANGE);
            return print(L"selected=" + comboItem(a.control, i));
        }
    }
    return kNotFound;
}

// The open-file dialog of the common dialogs (Wine's layout): the file type list is cmb1, the name edt1 (cmb13 in
// some versions). The type is chosen as a user's choice ends, with CBN_SELENDOK, which is when the dialog takes the
// filter index.
int cmdFileDialog(const Args& a) {
    int filter = 0;
    if (!parseInt(a.positional[2], filter) || filter < 0)
        return usage(L"file-dialog TITLE NAME FILTER");
    HWND dialog = waitFor(a.timeoutOr(10), [&] { return findDialogTitled(a.positional[0]); });
    if (!dialog || (filter > 0 && comboCount(GetDlgItem(dialog, cmb1)) < filter))
        return kNotFound;
    if (filter > 0)
        choose(dialog, cmb1, filter - 1, CBN_SELENDOK);
    HWND edit = GetDlgItem(dialog, edt1) ? GetDlgItem(dialog, edt1) : GetDlgItem(dialog, cmb13);
    if (!edit || !setText(edit, a.positional[1]))
        return kNotFound;
    return pressAndWaitClosed(dialog, IDOK, a.timeoutOr(10));
}

// The program's open common dialog that holds control `marker` (the colour dialog's red edit, the font dialog's
// size box).
HWND commonDialogWith(int marker) {
    for (HWND hwnd : programDialogs())
        if (GetDlgItem(hwnd, marker))
            return hwnd;
    return nullptr;
}

int cmdColourDialog(const Args& a) {
    int rgb[3] = {};
    for (int i = 0; i < 3; ++i)
        if (!parseInt(a.positional[i], rgb[i]) || rgb[i] < 0 || rgb[i] > 255)
            return usage(L"colour-dialog R G B");
    HWND dialog = waitFor(a.timeoutOr(10), [] { return commonDialogWith(COLOR_RED); });
    if (!dialog)
        return kNotFound;
    const int edits[3] = {COLOR_RED, COLOR_GREEN, COLOR_BLUE};
    for (int i = 0; i < 3; ++i)
        if (!setText(GetDlgItem(dialog, edits[i]), std::to_wstring(rgb[i])))
            return kNotFound;
    return pressAndWaitClosed(dialog, IDOK, a.timeoutOr(10));
}

// The face is chosen as a user's choice ends (CBN_SELCHANGE fills the styles and sizes), the size typed.
int cmdFontDialog(const Args& a) {
    int points = 0;
    if (!parseInt(a.positional[1], points) || points <= 0)
        return usage(L"font-dialog FACE POINTS");
    HWND dialog = waitFor(a.timeoutOr(10), [] { return commonDialogWith(cmb3); });
    const LRESULT face = dialog ? ask(GetDlgItem(dialog, cmb1), CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                      reinterpret_cast<LPARAM>(a.positional[0].c_str()))
                                : -1;
    if (face < 0)
        return kNotFound;
    choose(dialog, cmb1, face, CBN_SELCHANGE);
    HWND sizes = GetDlgItem(dialog, cmb3);
    if (!setText(sizes, std::to_wstring(points)))
        return kNotFound;
    sendTo(dialog, WM_COMMAND, MAKEWPARAM(cmb3, CBN_EDITCHANGE), reinterpret_cast<LPARAM>(sizes));
    return pressAndWaitClosed(dialog, IDOK, a.timeoutOr(10));
}

// ----- a dialog's controls, addressed by the dialog's caption and the control's id -----

// The focus is on the control or inside it (a date-time picker's parts).
bool hasFocus(HWND control) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(control, nullptr), &info) && info.hwndFocus &&
           (info.hwndFocus == control || IsChild(control, info.hwndFocus));
}

// The dialog manager moves the focus as the Tab key would, with the notifications of the control that loses it.
bool moveFocus(HWND control) {
    return PostMessageW(GetParent(control), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE) &&
           waitFor(kMessageTimeoutMs / 1000.0, [&] { return hasFocus(control); });
}

// A user cannot click a disabled control, and neither may a test.
int cmdDialogClick(const Args& a) {
    if (!IsWindowEnabled(a.control)) {
        std::fputs("the control is disabled\n", stderr);
        return kNotFound;
    }
    // A static with the notify style tells its dialog of a click; it knows no BM_CLICK.
    if (className(a.control) == L"Static")
        PostMessageW(a.dialog, WM_COMMAND, MAKEWPARAM(a.id, STN_CLICKED), reinterpret_cast<LPARAM>(a.control));
    else
        sendTo(a.control, BM_CLICK, 0, 0, nullptr, kClickWaitMs);
    return kOk;
}

int cmdDialogControl(const Args& a) {
    print(L"text=" + windowText(a.control));
    if (className(a.control) == L"Button")
        print(L"checked=" + std::to_wstring(ask(a.control, BM_GETCHECK)));
    printFlag(L"enabled", IsWindowEnabled(a.control));
    return printFlag(L"focused", hasFocus(a.control));
}

// Enter as the user presses it in a control: through the dialog's message loop, so the dialog manager sees it.
int cmdDialogEnter(const Args& a) {
    if (!moveFocus(a.control))
        return kNotFound;
    PostMessageW(a.control, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    PostMessageW(a.control, WM_KEYUP, VK_RETURN, 0xC01C0001);
    return kOk;
}

int cmdPickerGet(const Args& a) {
    WPARAM result = 0;
    LPARAM seconds = 0;
    if (!probeThroughHook(a.control, L"HX350.PickerGetProbe", 0, result, seconds))
        return kNotFound;
    wchar_t text[16] = L"none";
    if (static_cast<LRESULT>(result) == GDT_VALID)
        std::swprintf(text, 16, L"%02d:%02d:%02d", static_cast<int>(seconds / 3600),
                      static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    return print(L"time=" + std::wstring(text));
}

int cmdPickerSet(const Args& a) {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int used = 0;
    const std::wstring& text = a.positional[2];
    if (std::swscanf(text.c_str(), L"%2d:%2d:%2d%n", &hour, &minute, &second, &used) != 3 ||
        used != static_cast<int>(text.size()) || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 ||
        second > 59)
        return usage(L"picker-set TITLE ID HH:MM:SS");
    WPARAM result = 0;
    LPARAM unused = 0;
    const WPARAM seconds = static_cast<WPARAM>(hour * 3600 + minute * 60 + second);
    return probeThroughHook(a.control, L"HX350.PickerSetProbe", seconds, result, unused) && result ? kOk : kNotFound;
}

// ----- the main window -----

int cmdTexts(const Args& a) {
    print(L"status=" + windowText(GetDlgItem(a.main, IDC_STATUS)));
    print(L"temperature=" + windowText(GetDlgItem(a.main, IDC_TEMPERATURE)));
    print(L"humidity=" + windowText(GetDlgItem(a.main, IDC_HUMIDITY)));
    return printFlag(L"humidity_visible", IsWindowVisible(GetDlgItem(a.main, IDC_HUMIDITY)));
}

int cmdRect(const Args& a) {
    RECT r;
    GetWindowRect(a.control, &r);
    return print(std::to_wstring(r.left) + L" " + std::to_wstring(r.top) + L" " + std::to_wstring(r.right) + L" " +
                 std::to_wstring(r.bottom));
}

int cmdMove(const Args& a) {
    int v[4] = {};
    for (int i = 0; i < 4; ++i)
        if (!parseInt(a.positional[i], v[i]))
            return usage(L"move L T R B");
    SetWindowPos(a.main, nullptr, v[0], v[1], v[2] - v[0], v[3] - v[1], SWP_NOZORDER | SWP_NOACTIVATE);
    return kOk;
}

// What Windows sends at logoff: the question, then the verdict; the program must have saved when the second
// returns, because the process may be ended right after it.
int cmdEndSession(const Args& a) {
    DWORD_PTR answer = 0;
    if (!sendTo(a.main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, &answer, 10000))
        return kNotFound;
    print(L"query=" + std::to_wstring(answer));
    return sendTo(a.main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, nullptr, 10000) ? kOk : kNotFound;
}

// F1 as a user presses it, with the program in front.
int cmdHelpKey(const Args& a) {
    SetForegroundWindow(a.main);
    if (!waitFor(5, [&] { return GetForegroundWindow() == a.main; }))
        return kNotFound;
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = VK_F1;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    return SendInput(2, keys, sizeof(INPUT)) == 2 ? kOk : kNotFound;
}

// The user works in another program while readings arrive: the program must not take the foreground from it.
int cmdForegroundProbe(const Args& a) {
    double seconds = 0;
    if (!parseSeconds(a.positional[0], seconds))
        return usage(L"foreground-probe SECONDS");
    HWND own = CreateWindowExW(0, L"STATIC", L"hx350-win probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 800, 500, 300, 200,
                               nullptr, nullptr, nullptr, nullptr);
    if (!own)
        return kNotFound;
    SetForegroundWindow(own);
    SetFocus(own);
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
    bool front = false;
    bool stolen = false;
    while (GetTickCount64() < end) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        const HWND foreground = GetForegroundWindow();
        front = front || foreground == own;
        stolen = stolen || (front && foreground == a.main);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    DestroyWindow(own);
    printFlag(L"front", front);
    printFlag(L"stolen", stolen);
    return front ? kOk : kNotFound;
}

int cmdWait(const Args& a) {
    return waitFor(a.timeoutOr(30), [] { return findMain() && IsWindowVisible(findMain()); }) ? kOk : kNotFound;
}

int cmdWaitDialog(const Args& a) {
    HWND dialog = waitFor(a.timeoutOr(10), [&]() -> HWND {
        for (HWND hwnd : programDialogs())
            if (!a.hasTitle || captionOf(hwnd) == a.title)
                return hwnd;
        return nullptr;
    });
    return dialog ? printDialog(dialog) : kNotFound;
}

int cmdMessageBox(const Args& a) {
    HWND box = waitFor(a.timeoutOr(10), []() -> HWND {
        for (HWND hwnd : programDialogs())
            if (messageTextControl(hwnd) && !GetDlgItem(hwnd, IDC_PORT_LIST))
                return hwnd;
        return nullptr;
    });
    if (!box)
        return kNotFound;
    print(L"title=" + captionOf(box));
    print(L"text=" + windowText(messageTextControl(box)));
    return a.hasPress ? pressButton(box, a.press) : kOk;
}

// What a command works on, found before it runs: its positional arguments start with these.
enum class Target {
    None,
    Main,          // the main window
    MainId,        // ID: a command or menu item of the main window
    MainControl,   // ID: a control of the main window (0: the window itself)
    Dialog,        // TITLE: a dialog of the program
    DialogId,      // TITLE ID: that dialog and a control id
    DialogControl, // TITLE ID: a control of that dialog
};

struct Command {
    const wchar_t* name;
    Target target;
    size_t arguments; // positional, the target's included
    const wchar_t* help;
    int (*run)(const Args&);
};

const Command kCommands[] = {
    {L"wait", Target::None, 0, L"[--timeout S]: wait until the main window is visible (default 30 s)", cmdWait},
    {L"texts", Target::Main, 0, L": status=, temperature=, humidity=, humidity_visible=", cmdTexts},
    {L"visible", Target::MainControl, 1, L"ID: 1 if control ID is visible, else 0",
     [](const Args& a) { return print(IsWindowVisible(a.control) ? L"1" : L"0"); }},
    {L"enabled", Target::MainControl, 1, L"ID: 1 if control ID (0: the main window) takes input, else 0",
     [](const Args& a) { return print(IsWindowEnabled(a.control) ? L"1" : L"0"); }},
    {L"rect", Target::MainControl, 1, L"ID: the control's screen rectangle, left top right bottom", cmdRect},
    {L"blinking", Target::MainControl, 1, L"ID: blinking=1 if the display's value comes and goes", cmdBlinking},
    {L"look", Target::MainControl, 1, L"ID: background=, bar= (RRGGBB), ink= (the value's height)", cmdLook},
    {L"topmost", Target::Main, 0, L": topmost=1 if the main window stays on top",
     [](const Args& a) { return printFlag(L"topmost", GetWindowLongPtrW(a.main, GWL_EXSTYLE) & WS_EX_TOPMOST); }},
    {L"command", Target::MainId, 1, L"ID: post WM_COMMAND ID to the main window",
     [](const Args& a) { return posted(a.main, WM_COMMAND, MAKEWPARAM(a.id, 0)); }},
    {L"syscommand", Target::MainId, 1, L"ID: post WM_SYSCOMMAND ID (16: the About item)",
     [](const Args& a) { return posted(a.main, WM_SYSCOMMAND, static_cast<WPARAM>(a.id)); }},
    {L"close", Target::Main, 0, L": post WM_CLOSE", [](const Args& a) { return posted(a.main, WM_CLOSE, 0); }},
    {L"menu-state", Target::MainId, 1, L"ID: enabled=0|1 and checked=0|1 of menu item ID", cmdMenuState},
    {L"move", Target::Main, 4, L"L T R B: place the main window at that screen rectangle", cmdMove},
    {L"end-session", Target::Main, 0, L": the logoff pair WM_QUERYENDSESSION (query=), WM_ENDSESSION", cmdEndSession},
    {L"help-key", Target::Main, 0, L": bring the main window to the front and press F1", cmdHelpKey},
    {L"foreground-probe", Target::Main, 1,
     L"SECONDS: a window of ours in front (front=); did the program take it"
     L" (stolen=)?",
     cmdForegroundProbe},
    {L"dialog", Target::None, 0, L"[--title T] [--timeout S]: wait for a dialog or message box, print its controls",
     cmdWaitDialog},
    {L"message-box", Target::None, 0, L"[--timeout S] [--press ID]: print a message box's title= and text=",
     cmdMessageBox},
    {L"dialog-press", Target::DialogId, 2, L"TITLE ID: press button ID of the dialog titled TITLE",
     [](const Args& a) { return pressButton(a.dialog, a.id); }},
    {L"dialog-close", Target::Dialog, 1, L"TITLE: close the dialog as its close box does",
     [](const Args& a) { return posted(a.dialog, WM_SYSCOMMAND, SC_CLOSE); }},
    {L"dialog-click", Target::DialogControl, 2, L"TITLE ID: click a dialog's control (not a disabled one)",
     cmdDialogClick},
    {L"dialog-control", Target::DialogControl, 2, L"TITLE ID: text=, checked= (buttons), enabled=, focused=",
     cmdDialogControl},
    {L"dialog-set-text", Target::DialogControl, 3, L"TITLE ID TEXT: replace the text of a dialog's control",
     [](const Args& a) { return setText(a.control, a.positional[2]) ? kOk : kNotFound; }},
    {L"dialog-select", Target::DialogControl, 3, L"TITLE ID TEXT: choose the combo box entry that starts with TEXT",
     cmdDialogSelect},
    {L"dialog-focus", Target::DialogControl, 2, L"TITLE ID: move the focus to a dialog's control, as Tab would",
     [](const Args& a) { return moveFocus(a.control) ? kOk : kNotFound; }},
    {L"dialog-enter", Target::DialogControl, 2, L"TITLE ID: focus a dialog's control and press Enter in it",
     cmdDialogEnter},
    {L"picker-get", Target::DialogControl, 2, L"TITLE ID: time=HH:MM:SS (or none) of a date-time picker", cmdPickerGet},
    {L"picker-set", Target::DialogControl, 3, L"TITLE ID HH:MM:SS: set a picker's time (1 January 2000)", cmdPickerSet},
    {L"file-dialog", Target::None, 3,
     L"[--timeout S] TITLE NAME FILTER: choose filter FILTER (1 the first, 0 keeps"
     L" it) in the open-file dialog, type NAME, press Open",
     cmdFileDialog},
    {L"port-dialog-select", Target::None, 1, L"TEXT: select the port list's entry that starts with TEXT",
     cmdPortDialogSelect},
    {L"colour-dialog", Target::None, 3, L"R G B [--timeout S]: choose that colour in the colour dialog, press OK",
     cmdColourDialog},
    {L"font-dialog", Target::None, 2, L"FACE POINTS [--timeout S]: choose that font in the font dialog, press OK",
     cmdFontDialog},
};

int usage(const wchar_t* problem) {
    std::wstring text = problem ? std::wstring(problem) + L"\n" : L"";
    text += L"usage: hx350-win COMMAND [ARGS]\n";
    for (const Command& command : kCommands)
        text += L"  " + std::wstring(command.name) + (command.help[0] == L':' ? L"" : L" ") + command.help + L"\n";
    const std::string bytes = narrow(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
    return kUsage;
}

// Options after the command: --timeout S, --title T, --press ID; the rest are positional.
bool parseArguments(int argc, wchar_t** argv, Args& args) {
    for (int i = 2; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg != L"--timeout" && arg != L"--title" && arg != L"--press") {
            args.positional.push_back(arg);
            continue;
        }
        if (++i >= argc)
            return false;
        if (arg == L"--title") {
            args.title = argv[i];
            args.hasTitle = true;
        } else if (!(arg == L"--timeout" ? parseSeconds(argv[i], args.timeout) : parseInt(argv[i], args.press))) {
            return false;
        }
        args.hasPress = args.hasPress || arg == L"--press";
    }
    return true;
}

int run(int argc, wchar_t** argv) {
    if (argc < 2)
        return usage();
    const std::wstring name = argv[1];
    const auto command =
        std::find_if(std::begin(kCommands), std::end(kCommands), [&](const Command& c) { return name == c.name; });
    if (command == std::end(kCommands))
        return usage(L"unknown command");
    Args a;
    if (!parseArguments(argc, argv, a) || a.positional.size() != command->arguments)
        return usage((name + L" " + command->help).c_str());
    const Target target = command->target;
    const bool onMain = target == Target::Main || target == Target::MainId || target == Target::MainControl;
    if ((onMain && target != Target::Main && !parseInt(a.positional[0], a.id)) ||
        ((target == Target::DialogId || target == Target::DialogControl) && !parseInt(a.positional[1], a.id)))
        return usage((name + L": ID must be a number").c_str());
    if (onMain) {
        a.main = findMain();
        a.control = a.id == 0 ? a.main : GetDlgItem(a.main, a.id);
        if (!a.main || (target == Target::MainControl && !a.control))
            return kNotFound;
    }
    if (target == Target::Dialog || target == Target::DialogId || target == Target::DialogControl) {
        a.dialog = findDialogTitled(a.positional[0]);
        a.control = a.dialog ? GetDlgItem(a.dialog, a.id) : nullptr;
        if (!a.dialog || (target == Target::DialogControl && !a.control))
            return kNotFound;
    }
    return command->run(a);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    // Plain LF line ends and UTF-8 bytes; a console is told to expect UTF-8.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    DWORD mode = 0;
    if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode))
        SetConsoleOutputCP(CP_UTF8);
    return run(argc, argv);
}
