#pragma once

#include "ui/win/rich_text.h"
#include "win/window_base.h"

// "Pomoc": the help document from the resources with a list of its sections; opens at the section of a help
// context.
class CHelpWindow : public CDialogBase {
public:
    explicit CHelpWindow(int context);

protected:
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void showSection(std::size_t index);

    int context_;
    CRichText document_;
};

// Every help request opens the main window's section, whatever context it names.
void showHelp(HWND owner);
