#pragma once

#include "ui/win/hyperlink_label.h"
#include "ui/win/rich_text.h"
#include "win/window_base.h"

// The software information window: a read-only document about the companion software and a link to its page.
class CSoftwareInfoWindow : public CDialogBase {
public:
    CSoftwareInfoWindow();
    // Runs the window modally; false when it could not be shown (no RichEdit control on this system).
    bool show(HWND owner);

protected:
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    CRichText document_;
    CHyperlinkLabel link_;
};
