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

    void setQuantity(int sourceKind, int displayKind, int showUnits);
    void setValue(double value);
    void setNoData();
    void setBlinking(int on);
    void setTwoDecimalPlaces(int on);
    void setCaption(const std::wstring& caption);
    void setColours(COLORREF background, COLORREF text);
    // Rebuilds the value font from `logFont` (used at start and by the fonts dialog).
    void setLogFont(const LOGFONTW& logFont);

    // What recording and DDE read.
    const ValueDisplayState& state() const { return state_; }
    COLORREF backgroundColour() const { return backgroundColour_; }
    COLORREF textColour() const { return textColour_; }
    const LOGFONTW& logFont() const { return valueLogFont_; }

protected:
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // ... implementation-defined members
    ValueDisplayState state_;
    COLORREF backgroundColour_ = 0xFFE4CA;
    COLORREF textColour_ = 0x804000;
    LOGFONTW valueLogFont_{};
};
