#pragma once

#include "ui/win/rich_text.h"
#include "win/window_base.h"

// "Pomoc": the help document from the resources with a list of its sections, in a window of its own beside the
// main window, so that help can be read while the values go on. One at a time: asking again brings it to the
// front; it goes with its owner.
class CHelpWindow : public CDialogBase {
public:
    CHelpWindow();
    ~CHelpWindow() override;

    // Every help request opens the main window's section, whatever context it names: the window is created over
    // `owner`, or the open one is brought to the front there.
    void show(HWND owner);
    void close();

protected:
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void showSection(std::size_t index);

    CRichText document_;
};
