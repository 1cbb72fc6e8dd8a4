#include "app/win/status_line.h"

#include "res/resource.h"

// Posted, so the command runs after the edit control has finished with the click.
LRESULT CStatusLine::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_LBUTTONDOWN)
        PostMessageW(GetParent(hwnd()), WM_COMMAND, MAKEWPARAM(ID_ALARM_ACKNOWLEDGE, 0), 0);
    return defaultProc(message, wParam, lParam);
}
