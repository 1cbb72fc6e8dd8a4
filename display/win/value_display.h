#pragma once

#include "display/display_look.h"
#include "display/value_text.h"
#include "win/gdi.h"
#include "win/window_base.h"

#include <string>

// The platform's colour choice, starting from `colour`, with the custom colours that every colour choice of the
// program shares while it runs; true when the user chose one (it is then in `colour`).
bool chooseColour(HWND owner, COLORREF& colour);
// The platform's font choice, starting from and ending in the look's font; true when the user chose one.
bool chooseFont(HWND owner, DisplayLook& look);

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
    // The display's colours and value font, as the settings keep them.
    void setLook(const DisplayLook& look);
    // While `on`, the display paints in these colours instead of its own.
    void setAlarmColours(bool on, COLORREF background, COLORREF text);
    // The DPI of the monitor the display is on: both fonts are made for it from their 96-DPI sizes.
    void setDpi(int dpi);
    HFONT valueFont() const { return valueFont_.get(); }
    // Invalidates, erases and paints the whole control at once.
    void repaint();

protected:
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void paint(HDC target, const RECT& client);
    void drawValue(HDC dc, const RECT& valueArea);
    const QuantityReading& reading() const;
    bool updateShownText();
    void updateBlinking();
    void buildCaptionFont();
    void buildValueFont();
    COLORREF paintedBackground() const { return alarm_ ? alarmBackground_ : look_.backgroundColour; }
    COLORREF paintedText() const { return alarm_ ? alarmText_ : look_.textColour; }

    const QuantityReading* reading_ = nullptr;
    QuantityView view_;
    DisplayLook look_;
    bool alarm_ = false;
    COLORREF alarmBackground_ = 0;
    COLORREF alarmText_ = 0;
    int dpi_ = 96;
    std::wstring shownText_; // the value area's text, which is also the control's window text
    std::wstring caption_;
    UINT_PTR blinkTimer_ = 0;
    bool blinkHidden_ = false;
    Font valueFont_;
    Font captionFont_;
};

// Runs `dialog`, which edits `edited` (a copy of `looks`) and shows each choice on the displays at once: OK keeps
// the edited looks, anything else (Anuluj, Escape, the close box) puts the old ones back on the displays. True on OK.
bool runLooksDialog(HWND owner, CDialogBase& dialog, const DisplayLooks& edited, DisplayLooks& looks,
                    CValueDisplay& temperature, CValueDisplay& humidity);
