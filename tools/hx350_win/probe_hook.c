/* hx350menuhook.dll: lets hx350-win read the state of a menu item of another process.
 *
 * Under Wine a menu handle is only usable inside the process that owns it, so GetMenuState from outside fails.
 * hx350-win installs this DLL's WH_GETMESSAGE hook on the program's window thread and posts it a registered probe
 * message carrying the item id; the hook, now running inside the program, reads the state and posts it back to the
 * window named in lParam.
 *
 * The DLL is built without the C runtime: the hook loads and unloads it for every message it sees, and a runtime's
 * thread-local storage makes each of those loads expensive (under Wine 8 it can even livelock the program). */
#include <windows.h>

#define PROBE_MESSAGE_NAME L"HX350.MenuStateProbe"

__declspec(dllexport) LRESULT CALLBACK hx350MenuProbe(int code, WPARAM wParam, LPARAM lParam);
BOOL WINAPI hx350MenuHookEntry(HINSTANCE instance, DWORD reason, LPVOID reserved);

BOOL WINAPI hx350MenuHookEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}

LRESULT CALLBACK hx350MenuProbe(int code, WPARAM wParam, LPARAM lParam) {
    static UINT probe;
    if (!probe)
        probe = RegisterWindowMessageW(PROBE_MESSAGE_NAME);
    if (code == HC_ACTION && wParam == PM_REMOVE) {
        MSG* msg = (MSG*)lParam;
        if (probe && msg->message == probe) {
            HMENU menu = GetMenu(msg->hwnd);
            const UINT state = menu ? GetMenuState(menu, (UINT)msg->wParam, MF_BYCOMMAND) : (UINT)-1;
            PostMessageW((HWND)msg->lParam, probe, msg->wParam, (LPARAM)state);
            msg->message = WM_NULL; /* the program never sees the probe */
        }
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}
