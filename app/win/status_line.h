#pragma once

#include "win/window_base.h"

// The main window's status line, a read-only edit control of its template. A click on it acknowledges the alarms:
// it reaches the window as the acknowledgement's menu command.
class CStatusLine : public CSubclassedControl {
protected:
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};
