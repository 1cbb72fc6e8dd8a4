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
    CColoursDialog(CValueDisplay& temperature, CValueDisplay& humidity);

protected:
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void refreshSwatches();

    CValueDisplay& temperature_;
    CValueDisplay& humidity_;
    CColourSwatch humidityText_;
    CColourSwatch humidityBackground_;
    CColourSwatch temperatureText_;
    CColourSwatch temperatureBackground_;
};

// The menu command: the dialog over the two displays; anything but OK puts the four colours back.
void runColoursCommand(HWND owner, CValueDisplay& temperature, CValueDisplay& humidity);
