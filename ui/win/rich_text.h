#pragma once

#include "win/window_base.h"

// A read-only RichEdit control of a dialog showing an RTF document from the program's resources. The control's
// class comes from msftedit.dll, which every Windows since XP SP1 and Wine carry.
class CRichText : public CSubclassedControl {
public:
    // Loads the library that registers the control's class; a dialog holding one needs it before it is created.
    static bool loadLibrary();

    // Takes over the control and shows the document. With `swallowClicks` the mouse cannot click into, select or
    // edit the document (it still scrolls); the focus goes to the dialog instead.
    bool attachDocument(HWND control, int resourceId, bool swallowClicks);

protected:
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    bool swallowClicks_ = false;
};
