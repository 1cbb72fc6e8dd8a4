// hx350-win: finds the running HX350 program's main window and reads or drives it: control texts, visibility,
// screen rectangles, blinking (from the screen's pixels), menu commands, the controls of its dialogs (check boxes,
// edits, date-time pickers), the open-file dialog, the port dialog and message boxes.
// Output is UTF-8, one "key=value" or plain line each. Exit codes: 0 ok, 1 not found or timed out, 2 usage.

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
#include <string>
#include <vector>

namespace {

constexpr int kOk = 0;
constexpr int kNotFound = 1;
constexpr int kUsage = 2;
constexpr UINT kMessageTimeoutMs = 3000;

const wchar_t kUsageText[] =
    L"usage: hx350-win COMMAND [ARGS]\n"
    L"  wait [--timeout S]           wait until the main window exists and is visible (default 30 s)\n"
    L"  texts                        status, temperature and humidity texts (status=, temperature=, humidity=)\n"
    L"  visible ID                   1 if control ID is visible, else 0\n"
    L"  enabled ID                   1 if control ID (0: the main window) takes input, else 0\n"
    L"  rect ID                      screen rectangle of control ID: left top right bottom\n"
    L"  blinking ID                  1 if the value area of display ID toggles between value and empty, else 0\n"
    L"  topmost                      1 if the main window stays on top, else 0\n"
    L"  command ID                   post WM_COMMAND ID to the main window\n"
    L"  close                        post WM_CLOSE to the main window\n"
    L"  menu-state ID                enabled=0|1 and checked=0|1 of menu item ID\n"
    L"  dialog [--title T] [--timeout S]   wait for a dialog or message box and print its controls\n"
    L"  dialog-press TITLE BUTTONID  press a button of the dialog titled TITLE\n"
    L"  dialog-close TITLE           close the dialog titled TITLE as its close box does\n"
    L"  dialog-click TITLE ID        click control ID of the dialog titled TITLE (refused while it is disabled)\n"
    L"  dialog-control TITLE ID      text=, checked= (buttons), enabled= and focused= of a dialog's control\n"
    L"  dialog-set-text TITLE ID TEXT   replace the text of a dialog's control\n"
    L"  dialog-focus TITLE ID        move the focus to a dialog's control, as the Tab key would\n"
    L"  dialog-enter TITLE ID        focus a dialog's control and press Enter in it\n"
    L"  picker-get TITLE ID          time=HH:MM:SS (or time=none) of a date-time picker\n"
    L"  picker-set TITLE ID HH:MM:SS set the time of a date-time picker (1 January 2000)\n"
    L"  file-dialog [--timeout S] TITLE NAME FILTER   wait for the open-file dialog titled TITLE, choose filter\n"
    L"                               entry FILTER (1 is the first; 0 keeps it), type NAME and press Open\n"
    L"  port-dialog-select TEXT      select the entry of the port list that starts with TEXT\n"
    L"  message-box [--timeout S] [--press ID]   print a message box's text (and press a button)\n"
    L"  move L T R B                 place the main window at that screen rectangle\n"
    L"  end-session                  send the end-of-session pair (WM_QUERYENDSESSION, WM_ENDSESSION) as a logoff\n"
    L"  syscommand ID                post WM_SYSCOMMAND ID to the main window (16: the About item)\n"
    L"  help-key                     bring the main window to the front and press F1\n"
    L"  look ID                      background=, bar= (RRGGBB) and ink= (the value's height in pixels) of a display\n"
    L"  colour-dialog R G B [--timeout S]   choose that colour in the open colour dialog and press OK\n"
    L"  font-dialog FACE POINTS [--timeout S]   choose that font in the open font dialog and press OK\n"
    L"  foreground-probe SECONDS     open a window of this tool in front and report whether the program took the\n"
    L"                               foreground from it within SECONDS (stolen=0|1)\n";

void writeUtf8(const std::wstring& line) {
    const std::string bytes = narrow(line) + "\n";
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

int usage(const wchar_t* problem = nullptr) {
    const std::string bytes = (problem ? narrow(problem) + "\n" : std::string()) + narrow(kUsageText);
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
    return kUsage;
}

std::wstring className(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

// WM_GETTEXT is marshalled between processes; GetWindowText would return only the system's copy of the caption,
// which an edit control does not keep up to date.
// The text may change between the length and the text (a display going from "???" to "23.4 °C"): a text that
// fills the buffer is read again with a larger one, so it is never returned cut.
std::wstring windowText(HWND hwnd) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &length))
        return {};
    for (size_t size = std::max<size_t>(length + 2, 256);; size *= 2) {
        std::vector<wchar_t> buffer(size, L'\0');
        DWORD_PTR copied = 0;
        if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                                 SMTO_ABORTIFHUNG, kMessageTimeoutMs, &copied))
            return {};
        if (copied + 1 < buffer.size() || size >= 1 << 20)
            return std::wstring(buffer.data(), std::min<size_t>(copied, buffer.size() - 1));
    }
}

std::wstring captionOf(HWND hwnd) {
    wchar_t title[256] = {};
    GetWindowTextW(hwnd, title, 256);
    return title;
}

bool isDialogClass(HWND hwnd) {
    return className(hwnd) == L"#32770";
}

// A message box uses the program's name as its caption too, so the main window is told apart by its controls.
bool isMainWindow(HWND hwnd) {
    return isDialogClass(hwnd) && captionOf(hwnd) == L"HX350" && GetDlgItem(hwnd, IDC_STATUS) &&
           GetDlgItem(hwnd, IDC_TEMPERATURE) && GetDlgItem(hwnd, IDC_HUMIDITY);
}

std::vector<HWND> topLevelDialogs() {
    std::vector<HWND> found;
    EnumWindows(
        [](HWND hwnd, LPARAM param) -> BOOL {
            if (isDialogClass(hwnd))
                reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND findMain() {
    HWND hwnd = FindWindowW(L"#32770", L"HX350");
    if (hwnd && isMainWindow(hwnd))
        return hwnd;
    for (HWND candidate : topLevelDialogs())
        if (isMainWindow(candidate))
            return candidate;
    return nullptr;
}

DWORD processOf(HWND hwnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

// Dialogs of the program other than its main window (all of them when the main window is not there yet).
std::vector<HWND> programDialogs() {
    HWND main = findMain();
    const DWORD pid = main ? processOf(main) : 0;
    std::vector<HWND> result;
    for (HWND hwnd : topLevelDialogs()) {
        if (hwnd == main || isMainWindow(hwnd) || !IsWindowVisible(hwnd))
            continue;
        if (pid && processOf(hwnd) != pid)
            continue;
        result.push_back(hwnd);
    }
    return result;
}

std::vector<HWND> children(HWND parent) {
    std::vector<HWND> found;
    EnumChildWindows(
        parent,
        [](HWND hwnd, LPARAM param) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// The message text of a message box: the static with id 0xFFFF (100 in some Wine versions).
HWND messageTextControl(HWND dialog) {
    for (HWND child : children(dialog)) {
        const int id = GetDlgCtrlID(child);
        if ((id == 0xFFFF || id == 100) && className(child) == L"Static")
            return child;
    }
    return nullptr;
}

bool isMessageBox(HWND dialog) {
    return messageTextControl(dialog) && !GetDlgItem(dialog, IDC_PORT_LIST);
}

std::wstring comboItem(HWND combo, int index) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(combo, CB_GETLBTEXTLEN, index, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &length) ||
        static_cast<LRESULT>(length) == CB_ERR)
        return {};
    std::vector<wchar_t> buffer(length + 2, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                             kMessageTimeoutMs, &copied) ||
        static_cast<LRESULT>(copied) == CB_ERR)
        return {};
    return buffer.data();
}

int comboCount(HWND combo) {
    DWORD_PTR count = 0;
    if (!SendMessageTimeoutW(combo, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &count))
        return 0;
    return static_cast<LRESULT>(count) == CB_ERR ? 0 : static_cast<int>(count);
}

int comboSelection(HWND combo) {
    DWORD_PTR index = 0;
    if (!SendMessageTimeoutW(combo, CB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &index))
        return -1;
    return static_cast<int>(static_cast<LRESULT>(index));
}

// The line at the top of a RichEdit's view. Its text holds paragraphs as CR LF, its character positions count
// them as one character.
std::wstring firstVisibleLine(HWND rich) {
    DWORD_PTR line = 0;
    DWORD_PTR start = 0;
    if (!SendMessageTimeoutW(rich, EM_GETFIRSTVISIBLELINE, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &line) ||
        !SendMessageTimeoutW(rich, EM_LINEINDEX, line, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &start))
        return {};
    std::wstring text;
    for (wchar_t c : windowText(rich))
        if (c != L'\n')
            text += c;
    if (start >= text.size())
        return {};
    const size_t end = text.find(L'\r', start);
    return text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
}

void printDialog(HWND dialog) {
    writeUtf8(L"title=" + captionOf(dialog));
    if (HWND text = messageTextControl(dialog))
        writeUtf8(L"text=" + windowText(text));
    for (HWND child : children(dialog)) {
        const std::wstring cls = className(child);
        const std::wstring id = std::to_wstring(GetDlgCtrlID(child));
        if (cls == L"Static") {
            writeUtf8(L"static " + id + L"=" + windowText(child));
        } else if (cls == L"Button") {
            writeUtf8(L"button " + id + L"=" + windowText(child));
        } else if (cls == L"Edit") {
            writeUtf8(L"edit " + id + L"=" + windowText(child));
        } else if (_wcsicmp(cls.c_str(), L"RichEdit50W") == 0) {
            writeUtf8(L"rich " + id + L"=" + firstVisibleLine(child));
            writeUtf8(L"richlength " + id + L"=" + std::to_wstring(windowText(child).size()));
        } else if (cls == L"ListBox") {
            DWORD_PTR selected = 0;
            SendMessageTimeoutW(child, LB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &selected);
            writeUtf8(L"list " + id + L"=" + std::to_wstring(static_cast<int>(static_cast<LRESULT>(selected))));
        } else if (cls == L"ComboBox") {
            const int selection = comboSelection(child);
            writeUtf8(L"combo " + id + L"=" + (selection >= 0 ? comboItem(child, selection) : std::wstring()));
            const int count = comboCount(child);
            for (int i = 0; i < count; ++i)
                writeUtf8(L"item " + id + L"=" + comboItem(child, i));
        }
    }
}

// Polls `find` every 100 ms until it returns a window or the timeout passes.
template <typename Find> HWND waitFor(double timeoutSeconds, Find find) {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutSeconds * 1000.0);
    for (;;) {
        if (HWND hwnd = find())
            return hwnd;
        if (GetTickCount64() >= deadline)
            return nullptr;
        Sleep(100);
    }
}

bool parseInt(const wchar_t* text, int& value) {
    wchar_t* end = nullptr;
    const long parsed = std::wcstol(text, &end, 0);
    if (end == text || *end != L'\0')
        return false;
    value = static_cast<int>(parsed);
    return true;
}

bool parseSeconds(const wchar_t* text, double& value) {
    wchar_t* end = nullptr;
    const double parsed = std::wcstod(text, &end);
    if (end == text || *end != L'\0' || parsed < 0)
        return false;
    value = parsed;
    return true;
}

// Options after the command: --timeout S, --title T, --press ID; the rest are positional.
struct Arguments {
    std::vector<std::wstring> positional;
    double timeout = -1;
    std::wstring title;
    bool hasTitle = false;
    int press = 0;
    bool hasPress = false;
};

bool parseArguments(int argc, wchar_t** argv, Arguments& args) {
    for (int i = 2; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if ((arg == L"--timeout" || arg == L"--title" || arg == L"--press") && i + 1 >= argc)
            return false;
        if (arg == L"--timeout") {
            if (!parseSeconds(argv[++i], args.timeout))
                return false;
        } else if (arg == L"--title") {
            args.title = argv[++i];
            args.hasTitle = true;
        } else if (arg == L"--press") {
            if (!parseInt(argv[++i], args.press))
                return false;
            args.hasPress = true;
        } else {
            args.positional.push_back(arg);
        }
    }
    return true;
}

HWND controlOf(HWND main, int id) {
    return id == 0 ? main : GetDlgItem(main, id);
}

// Pixels of a screen rectangle, 0x00RRGGBB, row by row from the top.
std::vector<DWORD> grabScreen(const RECT& area) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    std::vector<DWORD> pixels;
    if (width <= 0 || height <= 0)
        return pixels;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    SelectObject(memory, previous);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    pixels.assign(static_cast<size_t>(width) * height, 0);
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
    if (!GetWindowRect(control, &rect) || rect.right - rect.left < 8 || rect.bottom - rect.top < 8)
        return false;
    const std::vector<DWORD> column = grabScreen({rect.left + 2, rect.top, rect.left + 3, rect.bottom});
    if (column.empty())
        return false;
    const int height = static_cast<int>(column.size());
    int barBottom = 30; // a 20-unit caption font, should the edge not show
    for (int y = 1; y < height / 2; ++y) {
        if (column[y] != column[0]) {
            barBottom = y;
            break;
        }
    }
    area = {rect.left + 2, rect.top + barBottom + 2, rect.right - 2, rect.bottom - 2};
    return area.bottom > area.top;
}

// The most common colour of a sample: the display's background, even with a dialog over part of the area.
DWORD backgroundOf(const std::vector<DWORD>& pixels) {
    std::vector<DWORD> sorted = pixels;
    std::sort(sorted.begin(), sorted.end());
    DWORD mode = 0;
    size_t best = 0;
    for (size_t i = 0; i < sorted.size();) {
        size_t j = i;
        while (j < sorted.size() && sorted[j] == sorted[i])
            ++j;
        if (j - i > best) {
            best = j - i;
            mode = sorted[i];
        }
        i = j;
    }
    return mode;
}

size_t inkOf(const std::vector<DWORD>& pixels, DWORD background) {
    return static_cast<size_t>(std::count_if(pixels.begin(), pixels.end(), [&](DWORD p) { return p != background; }));
}

// Blinking means the value area alternates between the value and nothing: the sample with the least ink differs
// from the one with the most only where it shows plain background. A value that merely changes (23.4 to 23.5)
// differs in both directions, and a window lying over part of the area is the same in every sample.
int cmdBlinking(HWND main, int id) {
    HWND control = controlOf(main, id);
    RECT area;
    if (!control || !IsWindowVisible(control) || !valueArea(control, area))
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
    size_t least = 0;
    size_t most = 0;
    std::vector<size_t> ink;
    for (size_t i = 0; i < samples.size(); ++i) {
        ink.push_back(inkOf(samples[i], background));
        if (ink[i] < ink[least])
            least = i;
        if (ink[i] > ink[most])
            most = i;
    }
    size_t differing = 0;
    size_t differingOverInk = 0;
    for (size_t p = 0; p < samples[least].size(); ++p) {
        if (samples[least][p] != samples[most][p]) {
            ++differing;
            if (samples[least][p] != background)
                ++differingOverInk;
        }
    }
    const bool blinking = differing >= 20 && differingOverInk <= differing / 50;
    writeUtf8(L"blinking=" + std::wstring(blinking ? L"1" : L"0"));
    writeUtf8(L"ink_min=" + std::to_wstring(ink[least]) + L" ink_max=" + std::to_wstring(ink[most]) + L" differing=" +
              std::to_wstring(differing));
    return kOk;
}

// Asks the hook in hx350probe.dll (installed beside this tool) to do inside the program what another process
// cannot: it runs on the thread of `target`, which receives the registered message `probeName` with `wParam`, and
// the hook's answer comes back as a message to a window of this tool. False when no answer came.
bool probeThroughHook(HWND target, const wchar_t* probeName, WPARAM wParam, WPARAM& answerW, LPARAM& answerL) {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dll(path, length);
    dll = dll.substr(0, dll.find_last_of(L"\\/") + 1) + L"hx350probe.dll";
    HMODULE module = LoadLibraryW(dll.c_str());
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

// GetMenuState answers for another process's menu on Windows; under Wine a menu handle only works inside its
// own process, so the state is then read from inside the program.
UINT menuStateThroughHook(HWND main, int id) {
    WPARAM answeredId = 0;
    LPARAM state = 0;
    if (!probeThroughHook(main, L"HX350.MenuStateProbe", static_cast<WPARAM>(id), answeredId, state) ||
        answeredId != static_cast<WPARAM>(id))
        return static_cast<UINT>(-1);
    return static_cast<UINT>(state);
}

int cmdMenuState(HWND main, int id) {
    HMENU menu = GetMenu(main);
    UINT state = menu ? GetMenuState(menu, static_cast<UINT>(id), MF_BYCOMMAND) : static_cast<UINT>(-1);
    if (state == static_cast<UINT>(-1))
        state = menuStateThroughHook(main, id);
    if (state == static_cast<UINT>(-1))
        return kNotFound;
    writeUtf8(L"enabled=" + std::wstring((state & (MF_GRAYED | MF_DISABLED)) ? L"0" : L"1"));
    writeUtf8(L"checked=" + std::wstring((state & MF_CHECKED) ? L"1" : L"0"));
    return kOk;
}

HWND findDialogTitled(const std::wstring& title) {
    for (HWND hwnd : programDialogs())
        if (captionOf(hwnd) == title)
            return hwnd;
    return nullptr;
}

void pressButton(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// The entry equal to TEXT, else one that continues TEXT with something other than a digit ("COM1 (...)" but not
// "COM10"), else the first one that starts with it.
int matchingEntry(HWND combo, const std::wstring& text) {
    const int count = comboCount(combo);
    int prefixMatch = -1;
    for (int i = 0; i < count; ++i) {
        const std::wstring item = comboItem(combo, i);
        if (item == text)
            return i;
        if (item.compare(0, text.size(), text) != 0)
            continue;
        if (!iswdigit(item[text.size()]))
            return i;
        if (prefixMatch < 0)
            prefixMatch = i;
    }
    return prefixMatch;
}

int cmdPortDialogSelect(const std::wstring& text) {
    HWND dialog = findDialogTitled(L"Porty");
    HWND combo = dialog ? GetDlgItem(dialog, IDC_PORT_LIST) : nullptr;
    if (!combo)
        return kNotFound;
    const int index = matchingEntry(combo, text);
    if (index < 0)
        return kNotFound;
    DWORD_PTR result = 0;
    SendMessageTimeoutW(combo, CB_SETCURSEL, index, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &result);
    SendMessageTimeoutW(dialog, WM_COMMAND, MAKEWPARAM(IDC_PORT_LIST, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo),
                        SMTO_ABORTIFHUNG, kMessageTimeoutMs, &result);
    writeUtf8(L"selected=" + comboItem(combo, comboSelection(combo)));
    return kOk;
}

// ----- any dialog of the program, addressed by its caption and a control id -----

// A click that opens a modal window (a browse dialog, a message box) is answered only when that window closes:
// the tool stops waiting after this long, and the click goes on inside the program.
constexpr UINT kClickWaitMs = 1000;

HWND dialogControl(const std::wstring& title, int id) {
    HWND dialog = findDialogTitled(title);
    return dialog ? GetDlgItem(dialog, id) : nullptr;
}

HWND focusOf(HWND hwnd) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(hwnd, nullptr), &info))
        return nullptr;
    return info.hwndFocus;
}

// The focus is on the control or inside it (a date-time picker's parts).
bool hasFocus(HWND control) {
    HWND focus = focusOf(control);
    return focus && (focus == control || IsChild(control, focus));
}

// The dialog manager moves the focus as the Tab key would, with the notifications of the control that loses it.
bool moveFocus(HWND control) {
    if (!PostMessageW(GetParent(control), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE))
        return false;
    return waitFor(kMessageTimeoutMs / 1000.0, [&]() -> HWND { return hasFocus(control) ? control : nullptr; });
}

// A user cannot click a disabled control, and neither may a test.
int cmdDialogClick(HWND control) {
    if (!IsWindowEnabled(control)) {
        std::fputs("the control is disabled\n", stderr);
        return kNotFound;
    }
    // A static with the notify style tells its dialog of a click; it knows no BM_CLICK.
    if (className(control) == L"Static") {
        PostMessageW(GetParent(control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), STN_CLICKED),
                     reinterpret_cast<LPARAM>(control));
        return kOk;
    }
    DWORD_PTR result = 0;
    SendMessageTimeoutW(control, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kClickWaitMs, &result);
    return kOk;
}

int cmdDialogControl(HWND control) {
    writeUtf8(L"text=" + windowText(control));
    if (className(control) == L"Button") {
        DWORD_PTR check = 0;
        SendMessageTimeoutW(control, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &check);
        writeUtf8(L"checked=" + std::to_wstring(check));
    }
    writeUtf8(L"enabled=" + std::wstring(IsWindowEnabled(control) ? L"1" : L"0"));
    writeUtf8(L"focused=" + std::wstring(hasFocus(control) ? L"1" : L"0"));
    return kOk;
}

int cmdDialogSetText(HWND control, const std::wstring& text) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                             kMessageTimeoutMs, &result) ||
        !result)
        return kNotFound;
    return kOk;
}

// Enter as the user presses it in a control: through the dialog's message loop, so the dialog manager sees it.
int cmdDialogEnter(HWND control) {
    if (!moveFocus(control))
        return kNotFound;
    PostMessageW(control, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    PostMessageW(control, WM_KEYUP, VK_RETURN, 0xC01C0001);
    return kOk;
}

int cmdPickerGet(HWND picker) {
    WPARAM result = 0;
    LPARAM seconds = 0;
    if (!probeThroughHook(picker, L"HX350.PickerGetProbe", 0, result, seconds))
        return kNotFound;
    if (static_cast<LRESULT>(result) != GDT_VALID) {
        writeUtf8(L"time=none");
        return kOk;
    }
    wchar_t text[16] = {};
    std::swprintf(text, 16, L"%02d:%02d:%02d", static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                  static_cast<int>(seconds % 60));
    writeUtf8(L"time=" + std::wstring(text));
    return kOk;
}

bool parseTimeOfDay(const std::wstring& text, int& seconds) {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int used = 0;
    if (std::swscanf(text.c_str(), L"%2d:%2d:%2d%n", &hour, &minute, &second, &used) != 3 ||
        used != static_cast<int>(text.size()) || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 ||
        second > 59)
        return false;
    seconds = hour * 3600 + minute * 60 + second;
    return true;
}

int cmdPickerSet(HWND picker, int seconds) {
    WPARAM result = 0;
    LPARAM unused = 0;
    if (!probeThroughHook(picker, L"HX350.PickerSetProbe", static_cast<WPARAM>(seconds), result, unused) || !result)
        return kNotFound;
    return kOk;
}

// The open-file dialog of the common dialogs (Wine's layout): the file type list is cmb1, the name edt1 (cmb13
// in some versions). The type is chosen as a user's choice ends, with CBN_SELENDOK, which is when the dialog takes
// the filter index.
int pressAndWaitClosed(HWND dialog, int id, double timeout) {
    pressButton(dialog, id);
    return waitFor(timeout, [&]() -> HWND { return IsWindow(dialog) ? nullptr : GetDesktopWindow(); }) ? kOk
                                                                                                       : kNotFound;
}

int cmdFileDialog(const std::wstring& title, const std::wstring& name, int filterIndex, double timeout) {
    HWND dialog = waitFor(timeout, [&] { return findDialogTitled(title); });
    if (!dialog)
        return kNotFound;
    DWORD_PTR result = 0;
    if (filterIndex > 0) {
        HWND types = GetDlgItem(dialog, cmb1);
        if (!types || comboCount(types) < filterIndex)
            return kNotFound;
        SendMessageTimeoutW(types, CB_SETCURSEL, filterIndex - 1, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &result);
        SendMessageTimeoutW(dialog, WM_COMMAND, MAKEWPARAM(cmb1, CBN_SELENDOK), reinterpret_cast<LPARAM>(types),
                            SMTO_ABORTIFHUNG, kMessageTimeoutMs, &result);
    }
    HWND edit = GetDlgItem(dialog, edt1);
    if (!edit)
        edit = GetDlgItem(dialog, cmb13);
    if (!edit || cmdDialogSetText(edit, name) != kOk)
        return kNotFound;
    return pressAndWaitClosed(dialog, IDOK, timeout);
}

// The program's open common dialog that holds control `marker` (the colour dialog's red edit, the font dialog's
// size box).
HWND commonDialogWith(int marker) {
    for (HWND hwnd : programDialogs())
        if (GetDlgItem(hwnd, marker))
            return hwnd;
    return nullptr;
}

int cmdColourDialog(const std::vector<std::wstring>& positional, double timeout) {
    int rgb[3] = {};
    if (positional.size() != 3)
        return usage(L"colour-dialog R G B");
    for (int i = 0; i < 3; ++i)
        if (!parseInt(positional[i].c_str(), rgb[i]) || rgb[i] < 0 || rgb[i] > 255)
            return usage(L"colour-dialog R G B");
    HWND dialog = waitFor(timeout, [] { return commonDialogWith(COLOR_RED); });
    if (!dialog)
        return kNotFound;
    const int edits[3] = {COLOR_RED, COLOR_GREEN, COLOR_BLUE};
    for (int i = 0; i < 3; ++i)
        if (cmdDialogSetText(GetDlgItem(dialog, edits[i]), std::to_wstring(rgb[i])) != kOk)
            return kNotFound;
    return pressAndWaitClosed(dialog, IDOK, timeout);
}

// The face is chosen as a user's choice ends (CBN_SELCHANGE fills the styles and sizes), the size typed.
int cmdFontDialog(const std::vector<std::wstring>& positional, double timeout) {
    int points = 0;
    if (positional.size() != 2 || !parseInt(positional[1].c_str(), points) || points <= 0)
        return usage(L"font-dialog FACE POINTS");
    HWND dialog = waitFor(timeout, [] { return commonDialogWith(cmb3); });
    if (!dialog)
        return kNotFound;
    HWND faces = GetDlgItem(dialog, cmb1);
    DWORD_PTR index = 0;
    if (!faces ||
        !SendMessageTimeoutW(faces, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                             reinterpret_cast<LPARAM>(positional[0].c_str()), SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                             &index) ||
        static_cast<LRESULT>(index) == CB_ERR)
        return kNotFound;
    DWORD_PTR result = 0;
    SendMessageTimeoutW(faces, CB_SETCURSEL, index, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &result);
    SendMessageTimeoutW(dialog, WM_COMMAND, MAKEWPARAM(cmb1, CBN_SELCHANGE), reinterpret_cast<LPARAM>(faces),
                        SMTO_ABORTIFHUNG, kMessageTimeoutMs, &result);
    HWND sizes = GetDlgItem(dialog, cmb3);
    if (cmdDialogSetText(sizes, std::to_wstring(points)) != kOk)
        return kNotFound;
    SendMessageTimeoutW(dialog, WM_COMMAND, MAKEWPARAM(cmb3, CBN_EDITCHANGE), reinterpret_cast<LPARAM>(sizes),
                        SMTO_ABORTIFHUNG, kMessageTimeoutMs, &result);
    return pressAndWaitClosed(dialog, IDOK, timeout);
}

// The look of a display on screen: its value area's background, the caption bar's colour and the height of the
// value's ink.
int cmdLook(HWND main, int id) {
    HWND control = controlOf(main, id);
    RECT area;
    if (!control || !IsWindowVisible(control) || !valueArea(control, area))
        return kNotFound;
    RECT rect;
    GetWindowRect(control, &rect);
    const std::vector<DWORD> bar = grabScreen({rect.left + 2, rect.top + 1, rect.left + 3, rect.top + 2});
    const std::vector<DWORD> pixels = grabScreen(area);
    if (bar.empty() || pixels.empty())
        return kNotFound;
    const DWORD background = backgroundOf(pixels);
    const int width = area.right - area.left;
    int top = -1;
    int bottom = -1;
    for (size_t i = 0; i < pixels.size(); ++i) {
        if (pixels[i] == background)
            continue;
        const int y = static_cast<int>(i) / width;
        if (top < 0)
            top = y;
        bottom = y;
    }
    wchar_t line[64];
    swprintf(line, 64, L"background=%06lX", static_cast<unsigned long>(background));
    writeUtf8(line);
    swprintf(line, 64, L"bar=%06lX", static_cast<unsigned long>(bar[0]));
    writeUtf8(line);
    writeUtf8(L"ink=" + std::to_wstring(top < 0 ? 0 : bottom - top + 1));
    return kOk;
}

int cmdMove(HWND main, const std::vector<std::wstring>& positional) {
    int v[4] = {};
    if (positional.size() != 4)
        return usage(L"move L T R B");
    for (int i = 0; i < 4; ++i)
        if (!parseInt(positional[i].c_str(), v[i]))
            return usage(L"move L T R B");
    SetWindowPos(main, nullptr, v[0], v[1], v[2] - v[0], v[3] - v[1], SWP_NOZORDER | SWP_NOACTIVATE);
    return kOk;
}

// What Windows sends at logoff: the question, then the verdict; the program must have saved when the second
// returns, because the process may be ended right after it.
int cmdEndSession(HWND main) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 10000, &answer))
        return kNotFound;
    writeUtf8(L"query=" + std::to_wstring(answer));
    DWORD_PTR ignored = 0;
    if (!SendMessageTimeoutW(main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 10000, &ignored))
        return kNotFound;
    return kOk;
}

// The user works in another program while readings arrive: the program must not take the foreground from it.
int cmdForegroundProbe(HWND main, const std::vector<std::wstring>& positional) {
    double seconds = 0;
    if (positional.size() != 1 || !parseSeconds(positional[0].c_str(), seconds))
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
        stolen = stolen || (front && foreground == main);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    DestroyWindow(own);
    writeUtf8(std::wstring(L"front=") + (front ? L"1" : L"0"));
    writeUtf8(std::wstring(L"stolen=") + (stolen ? L"1" : L"0"));
    return front ? kOk : kNotFound;
}

int run(int argc, wchar_t** argv) {
    if (argc < 2)
        return usage();
    const std::wstring command = argv[1];
    Arguments args;
    if (!parseArguments(argc, argv, args))
        return usage(L"bad arguments");
    auto positionalId = [&](int& id) {
        return args.positional.size() == 1 && parseInt(args.positional[0].c_str(), id);
    };

    if (command == L"wait") {
        HWND main = waitFor(args.timeout < 0 ? 30 : args.timeout, [] {
            HWND hwnd = findMain();
            return hwnd && IsWindowVisible(hwnd) ? hwnd : nullptr;
        });
        return main ? kOk : kNotFound;
    }
    if (command == L"dialog") {
        HWND dialog = waitFor(args.timeout < 0 ? 10 : args.timeout, [&]() -> HWND {
            for (HWND hwnd : programDialogs())
                if (args.hasTitle ? captionOf(hwnd) == args.title : true)
                    return hwnd;
            return nullptr;
        });
        if (!dialog)
            return kNotFound;
        printDialog(dialog);
        return kOk;
    }
    if (command == L"message-box") {
        HWND box = waitFor(args.timeout < 0 ? 10 : args.timeout, []() -> HWND {
            for (HWND hwnd : programDialogs())
                if (isMessageBox(hwnd))
                    return hwnd;
            return nullptr;
        });
        if (!box)
            return kNotFound;
        writeUtf8(L"title=" + captionOf(box));
        writeUtf8(L"text=" + windowText(messageTextControl(box)));
        if (args.hasPress)
            pressButton(box, args.press);
        return kOk;
    }
    if (command == L"dialog-press") {
        int id = 0;
        if (args.positional.size() != 2 || !parseInt(args.positional[1].c_str(), id))
            return usage(L"dialog-press TITLE BUTTONID");
        HWND dialog = findDialogTitled(args.positional[0]);
        if (!dialog)
            return kNotFound;
        pressButton(dialog, id);
        return kOk;
    }
    if (command == L"dialog-close") {
        if (args.positional.size() != 1)
            return usage(L"dialog-close TITLE");
        HWND dialog = findDialogTitled(args.positional[0]);
        if (!dialog)
            return kNotFound;
        PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        return kOk;
    }
    if (command == L"file-dialog") {
        int filter = 0;
        if (args.positional.size() != 3 || !parseInt(args.positional[2].c_str(), filter) || filter < 0)
            return usage(L"file-dialog TITLE NAME FILTER");
        return cmdFileDialog(args.positional[0], args.positional[1], filter, args.timeout < 0 ? 10 : args.timeout);
    }
    const bool onDialogControl = command == L"dialog-click" || command == L"dialog-control" ||
                                 command == L"dialog-set-text" || command == L"dialog-focus" ||
                                 command == L"dialog-enter" || command == L"picker-get" || command == L"picker-set";
    if (onDialogControl) {
        const size_t expected = command == L"dialog-set-text" || command == L"picker-set" ? 3 : 2;
        int id = 0;
        if (args.positional.size() != expected || !parseInt(args.positional[1].c_str(), id))
            return usage((command + L": TITLE ID" + (expected == 3 ? L" VALUE" : L"")).c_str());
        int seconds = 0;
        if (command == L"picker-set" && !parseTimeOfDay(args.positional[2], seconds))
            return usage(L"picker-set TITLE ID HH:MM:SS");
        HWND control = dialogControl(args.positional[0], id);
        if (!control)
            return kNotFound;
        if (command == L"dialog-click")
            return cmdDialogClick(control);
        if (command == L"dialog-control")
            return cmdDialogControl(control);
        if (command == L"dialog-set-text")
            return cmdDialogSetText(control, args.positional[2]);
        if (command == L"dialog-focus")
            return moveFocus(control) ? kOk : kNotFound;
        if (command == L"dialog-enter")
            return cmdDialogEnter(control);
        if (command == L"picker-get")
            return cmdPickerGet(control);
        return cmdPickerSet(control, seconds);
    }
    if (command == L"colour-dialog")
        return cmdColourDialog(args.positional, args.timeout < 0 ? 10 : args.timeout);
    if (command == L"font-dialog")
        return cmdFontDialog(args.positional, args.timeout < 0 ? 10 : args.timeout);
    if (command == L"port-dialog-select") {
        if (args.positional.size() != 1)
            return usage(L"port-dialog-select TEXT");
        return cmdPortDialogSelect(args.positional[0]);
    }

    if (command == L"move" || command == L"end-session" || command == L"foreground-probe") {
        HWND program = findMain();
        if (!program)
            return kNotFound;
        if (command == L"move")
            return cmdMove(program, args.positional);
        if (command == L"end-session")
            return cmdEndSession(program);
        return cmdForegroundProbe(program, args.positional);
    }

    HWND main = findMain();
    const bool needsId = command == L"visible" || command == L"enabled" || command == L"rect" ||
                         command == L"blinking" || command == L"command" || command == L"menu-state" ||
                         command == L"syscommand" || command == L"look";
    int id = 0;
    if (needsId && !positionalId(id))
        return usage(L"this command needs one numeric ID");
    if (!needsId && command != L"texts" && command != L"close" && command != L"topmost" && command != L"help-key")
        return usage(L"unknown command");
    if (!main)
        return kNotFound;

    if (command == L"texts") {
        writeUtf8(L"status=" + windowText(GetDlgItem(main, IDC_STATUS)));
        writeUtf8(L"temperature=" + windowText(GetDlgItem(main, IDC_TEMPERATURE)));
        writeUtf8(L"humidity=" + windowText(GetDlgItem(main, IDC_HUMIDITY)));
        writeUtf8(L"humidity_visible=" + std::to_wstring(IsWindowVisible(GetDlgItem(main, IDC_HUMIDITY)) ? 1 : 0));
        return kOk;
    }
    if (command == L"close") {
        PostMessageW(main, WM_CLOSE, 0, 0);
        return kOk;
    }
    if (command == L"topmost") {
        const LONG_PTR exStyle = GetWindowLongPtrW(main, GWL_EXSTYLE);
        writeUtf8(std::wstring(L"topmost=") + ((exStyle & WS_EX_TOPMOST) ? L"1" : L"0"));
        return kOk;
    }
    if (command == L"command") {
        PostMessageW(main, WM_COMMAND, MAKEWPARAM(id, 0), 0);
        return kOk;
    }
    if (command == L"menu-state")
        return cmdMenuState(main, id);
    if (command == L"syscommand") {
        PostMessageW(main, WM_SYSCOMMAND, static_cast<WPARAM>(id), 0);
        return kOk;
    }
    if (command == L"look")
        return cmdLook(main, id);
    if (command == L"help-key") {
        // F1 as a user presses it, with the program in front.
        SetForegroundWindow(main);
        if (!waitFor(5, [&]() -> HWND { return GetForegroundWindow() == main ? main : nullptr; }))
            return kNotFound;
        INPUT keys[2] = {};
        keys[0].type = keys[1].type = INPUT_KEYBOARD;
        keys[0].ki.wVk = keys[1].ki.wVk = VK_F1;
        keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
        return SendInput(2, keys, sizeof(INPUT)) == 2 ? kOk : kNotFound;
    }

    HWND control = controlOf(main, id);
    if (!control)
        return kNotFound;
    if (command == L"visible") {
        writeUtf8(IsWindowVisible(control) ? L"1" : L"0");
    } else if (command == L"enabled") {
        writeUtf8(IsWindowEnabled(control) ? L"1" : L"0");
    } else if (command == L"rect") {
        RECT rect;
        GetWindowRect(control, &rect);
        writeUtf8(std::to_wstring(rect.left) + L" " + std::to_wstring(rect.top) + L" " + std::to_wstring(rect.right) +
                  L" " + std::to_wstring(rect.bottom));
    } else if (command == L"blinking") {
        return cmdBlinking(main, id);
    }
    return kOk;
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
