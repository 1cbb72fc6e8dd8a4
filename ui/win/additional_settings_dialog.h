#pragma once

#include "win/window_base.h"

// "Ustawienia dodatkowe": whether the software information window shows at start.
class CAdditionalSettingsDialog : public CDialogBase {
public:
    CAdditionalSettingsDialog();
    bool dontShowAtStart = false;

protected:
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};

// The menu command: edits `showInfoAtStart` (SHOW_ADV); true on OK. It takes effect at the next start.
bool runAdditionalSettingsDialog(HWND owner, bool& showInfoAtStart);
