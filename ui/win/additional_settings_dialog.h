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

// The menu command: edits `showInfoAtStart` (SHOW_ADV) on OK; it takes effect at the next start.
void runAdditionalSettings(HWND owner, bool& showInfoAtStart);
