#pragma once

#include "display/value_text.h"
#include "win/gdi.h"
#include "win/window_base.h"

#include <string>

// The platform's colour choice, starting from `colour`, with the custom colours that every colour choice of the
// program shares while it runs; true when the user chose one (it is then in `colour`).
bool chooseColour(HWND owner, COLORREF& colour);

// The large value display: a caption bar and one quantity of the current reading with its unit, "???" without
// data, blinking while there is no data or the value is flagged. It only paints the reading, which the main
// window owns. Subclasses a static control of the main dialog. Its window text follows the value area's text.
class CValueDisplay : public CSubclassedControl {
public:
    CValueDisplay();

    // Takes over the dialog's static control and shows the reading in it.
    bool bind(HWND control);

    // The reading this display paints; it must outlive the display.
    void setReading(const QuantityReading* reading);
    // The reading has been updated: the text is made anew and painted when it changed, and blinking follows it.
    void readingChanged();
    void setQuantity(int sourceKind, int displayKind, bool showUnits);
    // How the display shows its quantity (DDE gives its values the same way).
    const QuantityView& view() const { return view_; }
    void setCaption(const std::wstring& caption);
    void setColours(COLORREF background, COLORREF text);
    // While `on`, the display paints in these colours instead of its own, which stay what the colour choices and
    // the settings see.
    void setAlarmColours(bool on, COLORREF background, COLORREF text);
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

    COLORREF backgroundColour() const { return backgroundColour_; }
    COLORREF textColour() const { return textColour_; }
    const LOGFONTW& logFont() const { return valueLogFont_; }

protected:
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void paint(HDC target, const RECT& client);
    void drawValue(HDC dc, const RECT& valueArea);
    const QuantityReading& reading() const;
    bool updateShownText();
    void updateBlinking();
    void buildCaptionFont();
    COLORREF paintedBackground() const { return alarm_ ? alarmBackground_ : backgroundColour_; }
    COLORREF paintedText() const { return alarm_ ? alarmText_ : textColour_; }

    const QuantityReading* reading_ = nullptr;
    QuantityView view_;
    COLORREF backgroundColour_ = 0xFFE4CA;
    COLORREF textColour_ = 0x804000;
    bool alarm_ = false;
    COLORREF alarmBackground_ = 0;
    COLORREF alarmText_ = 0;
    LOGFONTW valueLogFont_{}; // height in 96-DPI units, as the settings file holds it
    int dpi_ = 96;
    std::wstring shownText_; // the value area's text, which is also the control's window text
    std::wstring caption_;
    UINT_PTR blinkTimer_ = 0;
    bool blinkHidden_ = false;
    Font valueFont_;
    Font captionFont_;
};
