#pragma once

#include "display/value_text.h"
#include "win/gdi.h"
#include "win/window_base.h"

#include <string>

// The large value display: a caption bar and one value with its unit, "???" without data, blinking for a
// faulty value. Subclasses a static control of the main dialog. Its window text follows the value area's text.
class CValueDisplay : public CSubclassedControl {
public:
    CValueDisplay();

    // Takes over the dialog's static control and shows the current state in it.
    bool bind(HWND control);

    void setQuantity(int sourceKind, int displayKind, int showUnits);
    void setValue(double value);
    void setNoData();
    void setBlinking(int on);
    void setTwoDecimalPlaces(int on);
    void setCaption(const std::wstring& caption);
    void setColours(COLORREF background, COLORREF text);
    // Rebuilds the value font from `logFont` (used at start and by the fonts dialog).
    void setLogFont(const LOGFONTW& logFont);
    // Only stores the font description; buildValueFont makes the font from it (settings load, then start-up).
    void storeLogFont(const LOGFONTW& logFont) { valueLogFont_ = logFont; }
    void buildValueFont();
    // The DPI of the monitor the display is on: both fonts are made for it from their 96-DPI sizes.
    void setDpi(int dpi);
    HFONT valueFont() const { return valueFont_.get(); }

    // The platform's colour and font choices; each applies at once, OK or not (a cancelled choice changes
    // nothing). `owner` is the dialog that asks.
    void chooseBackgroundColour(HWND owner);
    void chooseTextColour(HWND owner);
    void chooseFont(HWND owner);
    // Invalidates, erases and paints the whole control at once.
    void repaint();

    // What recording and DDE read.
    const ValueDisplayState& state() const { return state_; }
    COLORREF backgroundColour() const { return backgroundColour_; }
    COLORREF textColour() const { return textColour_; }
    const LOGFONTW& logFont() const { return valueLogFont_; }

protected:
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void paint(HDC target, const RECT& client);
    void drawValue(HDC dc, const RECT& valueArea);
    void updateShownText();
    bool chooseColour(HWND owner, COLORREF& colour);
    void buildCaptionFont();

    ValueDisplayState state_;
    COLORREF backgroundColour_ = 0xFFE4CA;
    COLORREF textColour_ = 0x804000;
    LOGFONTW valueLogFont_{}; // height in 96-DPI units, as the settings file holds it
    int dpi_ = 96;
    std::wstring shownText_; // the value area's text, which is also the control's window text
    std::wstring caption_;
    int blinkHidden_ = 0;
    Font valueFont_;
    Font captionFont_;
};
