#pragma once

#include "win/gdi.h"
#include "win/window_base.h"

#include <string>

// A static control of a dialog turned into a link: underlined in the link colour, highlighted under the mouse,
// a hand cursor and a tooltip with the target, which a click opens through the shell. An object without a
// control can still open its target (onClicked).
class CHyperlinkLabel : public CSubclassedControl {
public:
    CHyperlinkLabel();
    ~CHyperlinkLabel() override;

    // Takes over the dialog's static control; its text stays as shown, and is the target until setUrl.
    bool attachTo(HWND control);
    void setUrl(const std::wstring& url);
    void setVisited(int visited);
    // The click: opens the target, or beeps and says why it could not. `owner` owns the message box.
    void onClicked(HWND owner);
    // The dialog's WM_CTLCOLORSTATIC for this control: the colour of the state, transparent on the dialog.
    HBRUSH onCtlColor(HDC dc) const;
    // The parent dialog's colour and click messages that concern this control; true when handled, with the
    // dialog procedure's result in `result`.
    bool handleParentMessage(HWND owner, UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);

    // Opens `url` with the shell, else with the program registered for web pages; a result above 32 is success.
    static INT_PTR openUrl(const std::wstring& url, int showCommand);

protected:
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void positionWindow();
    void refresh();
    void updateToolText();
    void relayToToolTip(UINT message, WPARAM wParam, LPARAM lParam);

    COLORREF linkColour_ = 0xEE0000;
    COLORREF visitedColour_ = 0x8B1A55;
    COLORREF hoverColour_;
    int overControl_ = 0;
    int visited_ = 0;
    int underline_ = 1;
    int adjustToFit_ = 1;
    std::wstring url_;
    Font linkFont_;
    HCURSOR linkCursor_ = nullptr;
    HWND toolTip_ = nullptr;
};
