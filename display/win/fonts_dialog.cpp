#include "display/win/fonts_dialog.h"

#include "res/resource.h"

CFontsDialog::CFontsDialog(DisplayLooks& looks, CValueDisplay& temperature, CValueDisplay& humidity)
    : CDialogBase(IDD_FONTS), looks_(looks), temperature_(temperature), humidity_(humidity) {}

// A new font replaces the display's old one, which the sample still holds: it is given the current one again.
void CFontsDialog::showSample(int sampleId, const CValueDisplay& display) {
    const HWND sample = item(sampleId);
    SendMessageW(sample, WM_SETFONT, reinterpret_cast<WPARAM>(display.valueFont()), TRUE);
    RedrawWindow(sample, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

INT_PTR CFontsDialog::handleMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        showSample(IDC_SAMPLE_TEMP, temperature_);
        showSample(IDC_SAMPLE_RH, humidity_);
        return TRUE;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id == IDOK || id == IDCANCEL) {
            endDialog(id);
            return TRUE;
        }
        if (HIWORD(wParam) != STN_CLICKED || (id != IDC_SAMPLE_TEMP && id != IDC_SAMPLE_RH))
            return FALSE;
        CValueDisplay& display = id == IDC_SAMPLE_TEMP ? temperature_ : humidity_;
        DisplayLook& look = id == IDC_SAMPLE_TEMP ? looks_.temperature : looks_.humidity;
        if (chooseFont(hwnd(), look))
            display.setLook(look);
        showSample(id, display);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

bool runFontsDialog(HWND owner, DisplayLooks& looks, CValueDisplay& temperature, CValueDisplay& humidity) {
    DisplayLooks edited = looks;
    CFontsDialog dialog(edited, temperature, humidity);
    return runLooksDialog(owner, dialog, edited, looks, temperature, humidity);
}
