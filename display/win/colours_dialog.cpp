#include "display/win/colours_dialog.h"

#include "res/resource.h"
#include "win/gdi.h"

void CColourSwatch::setColour(COLORREF colour) {
    colour_ = colour;
    if (hwnd())
        RedrawWindow(hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

LRESULT CColourSwatch::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PaintDc dc(hwnd());
        RECT client;
        GetClientRect(hwnd(), &client);
        SetBkColor(dc.get(), colour_);
        ExtTextOutW(dc.get(), 0, 0, ETO_OPAQUE, &client, L"", 0, nullptr);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    default:
        return defaultProc(message, wParam, lParam);
    }
}

CColoursDialog::CColoursDialog(DisplayLooks& looks, CValueDisplay& temperature, CValueDisplay& humidity)
    : CDialogBase(IDD_COLOURS), looks_(looks), temperature_(temperature), humidity_(humidity) {}

void CColoursDialog::refreshSwatches() {
    temperatureBackground_.setColour(looks_.temperature.backgroundColour);
    temperatureText_.setColour(looks_.temperature.textColour);
    humidityBackground_.setColour(looks_.humidity.backgroundColour);
    humidityText_.setColour(looks_.humidity.textColour);
}

// The displays are repainted whatever the choice: the dialog shows them as they now are.
void CColoursDialog::choose(HWND owner, std::uint32_t& colour) {
    COLORREF chosen = colour;
    if (chooseColour(owner, chosen))
        colour = chosen;
    temperature_.setLook(looks_.temperature);
    humidity_.setLook(looks_.humidity);
}

INT_PTR CColoursDialog::handleMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        temperatureBackground_.attach(item(IDC_SWATCH_TEMP_BACKGROUND));
        temperatureText_.attach(item(IDC_SWATCH_TEMP_TEXT));
        humidityBackground_.attach(item(IDC_SWATCH_RH_BACKGROUND));
        humidityText_.attach(item(IDC_SWATCH_RH_TEXT));
        refreshSwatches();
        return TRUE;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id == IDOK || id == IDCANCEL) {
            endDialog(id);
            return TRUE;
        }
        if (HIWORD(wParam) != STN_CLICKED)
            return FALSE;
        switch (id) {
        case IDC_SWATCH_TEMP_BACKGROUND:
            choose(hwnd(), looks_.temperature.backgroundColour);
            break;
        case IDC_SWATCH_TEMP_TEXT:
            choose(hwnd(), looks_.temperature.textColour);
            break;
        case IDC_SWATCH_RH_BACKGROUND:
            choose(hwnd(), looks_.humidity.backgroundColour);
            break;
        case IDC_SWATCH_RH_TEXT:
            choose(hwnd(), looks_.humidity.textColour);
            break;
        default:
            return FALSE;
        }
        refreshSwatches();
        return TRUE;
    }
    default:
        return FALSE;
    }
}

bool runColoursDialog(HWND owner, DisplayLooks& looks, CValueDisplay& temperature, CValueDisplay& humidity) {
    DisplayLooks edited = looks;
    CColoursDialog dialog(edited, temperature, humidity);
    return runLooksDialog(owner, dialog, edited, looks, temperature, humidity);
}
