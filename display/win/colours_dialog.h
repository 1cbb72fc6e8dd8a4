#pragma once

#include "display/win/value_display.h"
#include "win/window_base.h"

// A static control painted all over in one colour; its clicks reach the dialog (notify style).
class CColourSwatch : public CSubclassedControl {
public:
    void setColour(COLORREF colour);

protected:
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    COLORREF colour_ = 0x808080;
};

// "Kolory": the background and text colours of both displays as four swatches; a click on one chooses that
// colour, and the display shows it at once.
class CColoursDialog : public CDialogBase {
public:
    CColoursDialog(DisplayLooks& looks, CValueDisplay& temperature, CValueDisplay& humidity);

protected:
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void refreshSwatches();
    void choose(HWND owner, std::uint32_t& colour);

    DisplayLooks& looks_;
    CValueDisplay& temperature_;
    CValueDisplay& humidity_;
    CColourSwatch humidityText_;
    CColourSwatch humidityBackground_;
    CColourSwatch temperatureText_;
    CColourSwatch temperatureBackground_;
};

// The menu command: the dialog edits `looks`, which the two displays show at once; anything but OK puts the four
// colours back. True on OK.
bool runColoursDialog(HWND owner, DisplayLooks& looks, CValueDisplay& temperature, CValueDisplay& humidity);
