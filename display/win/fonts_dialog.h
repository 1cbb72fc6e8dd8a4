#pragma once

#include "display/win/value_display.h"
#include "win/window_base.h"

// "Czcionki": one sample line per display in that display's value font; a click on a sample chooses the font,
// and the display shows it at once. The samples borrow the displays' fonts.
class CFontsDialog : public CDialogBase {
public:
    CFontsDialog(DisplayLooks& looks, CValueDisplay& temperature, CValueDisplay& humidity);

protected:
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void showSample(int sampleId, const CValueDisplay& display);

    DisplayLooks& looks_;
    CValueDisplay& temperature_;
    CValueDisplay& humidity_;
};

// The menu command: the dialog edits `looks`, which the two displays show at once; anything but OK puts both fonts
// back. True on OK.
bool runFontsDialog(HWND owner, DisplayLooks& looks, CValueDisplay& temperature, CValueDisplay& humidity);
