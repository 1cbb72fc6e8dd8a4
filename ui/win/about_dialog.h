#pragma once

#include "ui/win/hyperlink_label.h"
#include "win/window_base.h"

// "O programie": version, author and maker with an e-mail link; the logo opens the maker's web page.
class CAboutDialog : public CDialogBase {
public:
    CAboutDialog();

protected:
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    CHyperlinkLabel email_;
};

// The project's own addresses; the reserved .example domain leads to no one else.
inline constexpr const wchar_t* kMakerWebPage = L"https://hx350.example/";
inline constexpr const wchar_t* kMakerEmail = L"mailto:kontakt@hx350.example";
inline constexpr const wchar_t* kSoftwareInfoPage = L"https://hx350.example/mvx/";
