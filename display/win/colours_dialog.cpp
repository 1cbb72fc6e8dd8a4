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

CColoursDialog::CColoursDialog(CValueDisplay& temperature, CValueDisplay& humidity)
    : CDialogBase(IDD_COLOURS), temperature_(temperature), humidity_(humidity) {}

void CColoursDialog::refreshSwatches() {
    temperatureBackground_.setColour(temperature_.backgroundColour());
    temperatureText_.setColour(temperature_.textColour());
    humidityBackground_.setColour(humidity_.backgroundColour());
    humidityText_.setColour(humidity_.textColour());
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
            temperature_.chooseBackgroundColour(hwnd());
            break;
        case IDC_SWATCH_TEMP_TEXT:
            temperature_.chooseTextColour(hwnd());
            break;
        case IDC_SWATCH_RH_BACKGROUND:
            humidity_.chooseBackgroundColour(hwnd());
            break;
        case IDC_SWATCH_RH_TEXT:
            humidity_.chooseTextColour(hwnd());
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

void runColoursCommand(HWND owner, CValueDisplay& temperature, CValueDisplay& humidity) {
    const COLORREF temperatureBackground = temperature.backgroundColour();
    const COLORREF temperatureText = temperature.textColour();
    const COLORREF humidityBackground = humidity.backgroundColour();
    const COLORREF humidityText = humidity.textColour();
    CColoursDialog dialog(temperature, humidity);
    if (dialog.runModal(owner) == IDOK)
        return;
    // The close box and Escape count as "Anuluj".
    temperature.setColours(temperatureBackground, temperatureText);
    humidity.setColours(humidityBackground, humidityText);
}
