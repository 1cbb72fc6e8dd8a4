#include "display/win/value_display.h"

#include "base/dpi_scale.h"
#include "res/resource.h"
#include "win/dpi.h"
#include "win/system_dialogs.h"
#include "win/text.h"

#include <algorithm>
#include <cwchar>
#include <iterator>

namespace {

constexpr unsigned kBlinkPeriodMs = 500;
constexpr BYTE kCentralEuropeanCharset = EASTEUROPE_CHARSET; // 238

LOGFONTW arialFont(LONG height) {
    LOGFONTW font{};
    font.lfHeight = height;
    font.lfCharSet = kCentralEuropeanCharset;
    std::wcsncpy(font.lfFaceName, L"Arial", LF_FACESIZE - 1);
    return font;
}

// The settings keep a font's height, face name, italic flag and weight; the rest of the description is the
// display's own (Central European character set).
LOGFONTW logFontOf(const DisplayLook& look) {
    LOGFONTW font = arialFont(look.fontHeight);
    font.lfItalic = look.fontItalic;
    font.lfWeight = look.fontWeight;
    const std::wstring face = ansiToWide(look.fontName);
    std::fill(std::begin(font.lfFaceName), std::end(font.lfFaceName), L'\0');
    face.copy(font.lfFaceName, std::min<std::size_t>(face.size(), LF_FACESIZE - 1));
    return font;
}

constexpr LONG kCaptionFontHeight = 20;

// What a display without a reading shows: "???".
const QuantityReading kNoReading;

// The custom colours of the colour dialog are shared by every colour choice while the program runs.
COLORREF customColours[16] = {};

LOGFONTW scaledFont(LOGFONTW font, int dpi) {
    font.lfHeight = scaleToDpi(font.lfHeight, dpi);
    return font;
}

// An opaque ExtTextOut of nothing is the cheapest solid fill, and leaves `colour` as the context's background.
void fill(HDC dc, const RECT& rect, COLORREF colour) {
    SetBkColor(dc, colour);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, L"", 0, nullptr);
}

} // namespace

CValueDisplay::CValueDisplay() {
    buildCaptionFont();
}

void CValueDisplay::buildCaptionFont() {
    const LOGFONTW caption = scaledFont(arialFont(kCaptionFontHeight), dpi_);
    captionFont_.reset(CreateFontIndirectW(&caption));
}

void CValueDisplay::setDpi(int dpi) {
    if (dpi <= 0 || dpi == dpi_)
        return;
    dpi_ = dpi;
    buildCaptionFont();
    buildValueFont();
    repaint();
}

bool chooseColour(HWND owner, COLORREF& colour) {
    CHOOSECOLORW choice{};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = owner;
    choice.rgbResult = colour;
    choice.lpCustColors = customColours;
    choice.Flags = CC_FULLOPEN | CC_RGBINIT;
    if (!systemChooseColor(choice))
        return false;
    colour = choice.rgbResult;
    return true;
}

// The font dialog measures sizes in the screen's DPI; the settings keep them in 96-DPI units.
bool chooseFont(HWND owner, DisplayLook& look) {
    const int dialogDpi = screenDpi();
    LOGFONTW font = logFontOf(look);
    font.lfHeight = scaleToDpi(font.lfHeight, dialogDpi);
    CHOOSEFONTW choice{};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = owner;
    choice.lpLogFont = &font;
    choice.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT;
    if (!systemChooseFont(choice))
        return false;
    look.fontHeight = scaleTo96(font.lfHeight, dialogDpi);
    look.fontName = wideToAnsi(font.lfFaceName);
    if (look.fontName.size() > kFaceNameLength)
        look.fontName.resize(kFaceNameLength);
    look.fontItalic = font.lfItalic;
    look.fontWeight = font.lfWeight;
    return true;
}

bool runLooksDialog(HWND owner, CDialogBase& dialog, const DisplayLooks& edited, DisplayLooks& looks,
                    CValueDisplay& temperature, CValueDisplay& humidity) {
    const bool accepted = dialog.runModal(owner) == IDOK;
    if (accepted)
        looks = edited;
    temperature.setLook(looks.temperature);
    humidity.setLook(looks.humidity);
    return accepted;
}

bool CValueDisplay::bind(HWND control) {
    if (!attach(control))
        return false;
    shownText_ = widen(displayText(reading(), view_));
    SetWindowTextW(hwnd(), shownText_.c_str());
    return true;
}

const QuantityReading& CValueDisplay::reading() const {
    return reading_ ? *reading_ : kNoReading;
}

void CValueDisplay::setReading(const QuantityReading* reading) {
    reading_ = reading;
    readingChanged();
}

// Only a changed text repaints: a reading that repeats the value must not repaint the large digits.
void CValueDisplay::readingChanged() {
    if (updateShownText())
        repaint();
    updateBlinking();
}

void CValueDisplay::setQuantity(int sourceKind, int displayKind, bool showUnits) {
    if (sourceKind == view_.sourceQuantity && displayKind == view_.displayQuantity && showUnits == view_.showUnits)
        return;
    view_.sourceQuantity = sourceKind;
    view_.displayQuantity = displayKind;
    view_.showUnits = showUnits;
    updateShownText();
    repaint();
}

// Blinking is only painting: whether a value counts as faulty is the reading's, so a timer that cannot be had
// leaves the value steady on screen and still faulty for recording and DDE. The next update tries again.
void CValueDisplay::updateBlinking() {
    if (reading().noData || reading().flagged) {
        if (blinkTimer_ == 0 && hwnd())
            blinkTimer_ = SetTimer(hwnd(), IDT_BLINK, kBlinkPeriodMs, nullptr);
        return;
    }
    if (blinkTimer_ != 0 && hwnd())
        KillTimer(hwnd(), blinkTimer_);
    blinkTimer_ = 0;
    // Never leave the display dark when blinking stops in the hidden phase.
    if (blinkHidden_) {
        blinkHidden_ = false;
        repaint();
    }
}

void CValueDisplay::setCaption(const std::wstring& caption) {
    if (caption == caption_)
        return;
    caption_ = caption;
    repaint();
}

void CValueDisplay::setLook(const DisplayLook& look) {
    look_ = look;
    buildValueFont();
    repaint();
}

void CValueDisplay::setAlarmColours(bool on, COLORREF background, COLORREF text) {
    const COLORREF shownBackground = paintedBackground();
    const COLORREF shownText = paintedText();
    alarm_ = on;
    alarmBackground_ = background;
    alarmText_ = text;
    if (paintedBackground() != shownBackground || paintedText() != shownText)
        repaint();
}

void CValueDisplay::buildValueFont() {
    const LOGFONTW font = scaledFont(logFontOf(look_), dpi_);
    valueFont_.reset(CreateFontIndirectW(&font));
    // The static control keeps the handle too; it never draws with it since every paint is ours.
    if (hwnd())
        SendMessageW(hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(valueFont_.get()), FALSE);
}

// Painting waits until the window's queue is empty. Painted at once, a reading's two displays would hold up
// everything behind them: the serial worker, which waits for each byte to be taken, and the DDE advises of the
// same line, which are posted after the displays are fed.
void CValueDisplay::repaint() {
    if (hwnd())
        RedrawWindow(hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
}

// The value area's text is made when the reading changes, not at every paint. Screen readers and test drivers
// read it through WM_GETTEXT, so it is also the window text; blinking leaves it alone, and an unchanged text is not
// set again. True when the text changed.
bool CValueDisplay::updateShownText() {
    std::wstring text = widen(displayText(reading(), view_));
    if (text == shownText_)
        return false;
    shownText_ = std::move(text);
    if (hwnd())
        SetWindowTextW(hwnd(), shownText_.c_str());
    return true;
}

LRESULT CValueDisplay::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PaintDc dc(hwnd());
        RECT client;
        GetClientRect(hwnd(), &client);
        paint(dc.get(), client);
        return 0;
    }
    case WM_PRINTCLIENT: {
        RECT client;
        GetClientRect(hwnd(), &client);
        paint(reinterpret_cast<HDC>(wParam), client);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1; // the paint covers every pixel
    case WM_SETTEXT:
        // The static control would draw its plain text straight onto the screen here (Wine does); storing the
        // text is all that is wanted.
        return DefWindowProcW(hwnd(), message, wParam, lParam);
    case WM_ENABLE:
        InvalidateRect(hwnd(), nullptr, FALSE);
        return 0;
    case WM_TIMER:
        if (wParam == IDT_BLINK && blinkTimer_ != 0) {
            blinkHidden_ = !blinkHidden_;
            repaint();
        }
        return defaultProc(message, wParam, lParam);
    default:
        return defaultProc(message, wParam, lParam);
    }
}

// Everything is drawn into one off-screen bitmap and copied in one piece, so the large digits never flicker at
// the blink rate.
void CValueDisplay::paint(HDC target, const RECT& client) {
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    if (width <= 0 || height <= 0)
        return;
    MemoryDc memory(target, width, height);
    if (!memory.valid())
        return;
    const HDC dc = memory.get();
    SetMapMode(dc, GetMapMode(target));
    SetWindowOrgEx(dc, client.left, client.top, nullptr);

    fill(dc, client, GetBkColor(target));
    fill(dc, client, paintedBackground());

    // Caption bar: background colour on the text colour, one caption line high, as wide as the control.
    RECT bar{};
    {
        SelectGuard font(dc, captionFont_.get());
        SetTextColor(dc, paintedBackground());
        SetBkColor(dc, paintedText());
        RECT measured{0, 0, 90, kCaptionFontHeight};
        DrawTextW(dc, caption_.c_str(), -1, &measured, DT_CALCRECT | DT_SINGLELINE | DT_VCENTER | DT_CENTER);
        bar = RECT{0, 0, client.right, measured.bottom};
        fill(dc, bar, paintedText());
        DrawTextW(dc, caption_.c_str(), -1, &bar, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    }

    if (!blinkHidden_) {
        RECT valueArea = client;
        valueArea.top = bar.bottom;
        drawValue(dc, valueArea);
    }

    BitBlt(target, client.left, client.top, width, height, dc, client.left, client.top, SRCCOPY);
}

void CValueDisplay::drawValue(HDC dc, const RECT& valueArea) {
    SelectGuard font(dc, valueFont_.get());
    SetBkColor(dc, paintedBackground());
    SetTextColor(dc, paintedText());
    if (shownText_.empty())
        return;
    RECT area = valueArea;
    if (reading().noData || view_.displayQuantity != WattsPerSquareMetre || !view_.showUnits) {
        DrawTextW(dc, shownText_.c_str(), -1, &area, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
        return;
    }

    // "W/m2": the text without its "2" is centred as if the "2" were there, and the "2" is drawn raised by a
    // quarter of the line height, 3.5 pixels left of the whole text's right edge.
    RECT measured{0, 0, 0, 0};
    DrawTextW(dc, shownText_.c_str(), -1, &measured, DT_CALCRECT | DT_SINGLELINE);
    const int w = measured.right - measured.left;
    const int h = measured.bottom - measured.top;
    const int cx = (valueArea.left + valueArea.right) / 2;
    const int cy = (valueArea.top + valueArea.bottom) / 2;
    RECT whole{cx - w / 2, cy - h / 2, cx + w / 2, cy + h / 2};
    const std::wstring base = shownText_.substr(0, shownText_.size() - 1);
    DrawTextW(dc, base.c_str(), -1, &whole, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
    const int right = cx + w / 2;
    RECT raised{right - 200, cy - (6 * h) / 8, right + 193, cy + (2 * h) / 8};
    // Transparent, so the raised digit's cell cannot cover the end of the "m" it overlaps.
    const int previousMode = SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, L"2", -1, &raised, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    SetBkMode(dc, previousMode);
}
