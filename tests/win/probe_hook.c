/* hx350probe.dll: lets hx350-win read and set what only the program's own process can reach.
 *
 * Under Wine a menu handle is only usable inside the process that owns it, so GetMenuState from outside fails; and
 * the date-time picker's DTM_ messages carry pointers to a SYSTEMTIME, which no system marshals between processes.
 * hx350-win installs this DLL's WH_GETMESSAGE hook on the thread of the window concerned and posts that window a
 * registered probe message; the hook, now running inside the program, does the work there and posts the answer
 * back to the window named in lParam:
 *
 *   HX350.MenuStateProbe   to the main window, wParam a menu command id; answers (id, GetMenuState's result)
 *   HX350.PickerGetProbe   to a date-time picker; answers (DTM_GETSYSTEMTIME's result, seconds since midnight)
 *   HX350.PickerSetProbe   to a date-time picker, wParam seconds since midnight; sets that time on 1 January 2000
 *                          and answers (DTM_SETSYSTEMTIME's result, 0)
 *
 * The DLL is built without the C runtime: the hook loads and unloads it for every message it sees, and a runtime's
 * thread-local storage makes each of those loads expensive (under Wine 8 it can even livelock the program). */
#include <windows.h>

#include <commctrl.h>

__declspec(dllexport) LRESULT CALLBACK hx350Probe(int code, WPARAM wParam, LPARAM lParam);
BOOL WINAPI hx350ProbeEntry(HINSTANCE instance, DWORD reason, LPVOID reserved);

BOOL WINAPI hx350ProbeEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}

static void setPickerTime(HWND picker, UINT probe, WPARAM seconds, HWND reply) {
    SYSTEMTIME time;
    LRESULT result;
    time.wYear = 2000;
    time.wMonth = 1;
    time.wDayOfWeek = 6;
    time.wDay = 1;
    time.wHour = (WORD)(seconds / 3600);
    time.wMinute = (WORD)(seconds / 60 % 60);
    time.wSecond = (WORD)(seconds % 60);
    time.wMilliseconds = 0;
    result = SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, (LPARAM)&time);
    PostMessageW(reply, probe, (WPARAM)result, 0);
}

static void getPickerTime(HWND picker, UINT probe, HWND reply) {
    SYSTEMTIME time;
    LRESULT result;
    time.wHour = time.wMinute = time.wSecond = 0;
    result = SendMessageW(picker, DTM_GETSYSTEMTIME, 0, (LPARAM)&time);
    PostMessageW(reply, probe, (WPARAM)result, (LPARAM)(time.wHour * 3600 + time.wMinute * 60 + time.wSecond));
}

LRESULT CALLBACK hx350Probe(int code, WPARAM wParam, LPARAM lParam) {
    static UINT menuProbe, pickerGetProbe, pickerSetProbe;
    if (!menuProbe) {
        menuProbe = RegisterWindowMessageW(L"HX350.MenuStateProbe");
        pickerGetProbe = RegisterWindowMessageW(L"HX350.PickerGetProbe");
        pickerSetProbe = RegisterWindowMessageW(L"HX350.PickerSetProbe");
    }
    if (code == HC_ACTION && wParam == PM_REMOVE) {
        MSG* msg = (MSG*)lParam;
        const HWND reply = (HWND)msg->lParam;
        if (menuProbe && msg->message == menuProbe) {
            HMENU menu = GetMenu(msg->hwnd);
            const UINT state = menu ? GetMenuState(menu, (UINT)msg->wParam, MF_BYCOMMAND) : (UINT)-1;
            PostMessageW(reply, menuProbe, msg->wParam, (LPARAM)state);
            msg->message = WM_NULL; /* the program never sees the probe */
        } else if (pickerGetProbe && msg->message == pickerGetProbe) {
            getPickerTime(msg->hwnd, pickerGetProbe, reply);
            msg->message = WM_NULL;
        } else if (pickerSetProbe && msg->message == pickerSetProbe) {
            setPickerTime(msg->hwnd, pickerSetProbe, msg->wParam, reply);
            msg->message = WM_NULL;
        }
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}
