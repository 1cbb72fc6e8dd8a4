#include "plot/win/limits_dialog.h"

#include "base/number_format.h"
#include "plot/win/resource.h"
#include "win/text.h"
#include "win/window_base.h"

namespace {

class CLimitsDialog : public CDialogBase {
public:
    explicit CLimitsDialog(AnalysisSettings& settings) : CDialogBase(IDD_LIMITS), settings_(settings) {}

protected:
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM) override {
        if (message == WM_INITDIALOG) {
            setText(IDC_T_LOW, limitText(settings_.temperature.hasLow, settings_.temperature.low));
            setText(IDC_T_HIGH, limitText(settings_.temperature.hasHigh, settings_.temperature.high));
            setText(IDC_RH_LOW, limitText(settings_.humidity.hasLow, settings_.humidity.low));
            setText(IDC_RH_HIGH, limitText(settings_.humidity.hasHigh, settings_.humidity.high));
            setText(IDC_MKT_DH, formatFixed(settings_.activation, 3));
            return TRUE;
        }
        if (message != WM_COMMAND)
            return FALSE;
        if (LOWORD(wParam) == IDOK && accept())
            endDialog(IDOK);
        else if (LOWORD(wParam) == IDCANCEL)
            endDialog(IDCANCEL);
        return TRUE;
    }

private:
    void setText(int id, const std::string& utf8) { SetWindowTextW(item(id), widen(utf8).c_str()); }
    std::string text(int id) const { return narrow(windowText(item(id))); }

    bool refuse(int id, const wchar_t* why) {
        MessageBoxW(hwnd(), why, L"Granice", MB_OK | MB_ICONWARNING);
        SetFocus(item(id));
        SendMessageW(item(id), EM_SETSEL, 0, -1);
        return false;
    }

    bool accept() {
        AnalysisSettings read = settings_;
        const struct {
            int id;
            bool* has;
            std::int32_t* value;
        } fields[] = {{IDC_T_LOW, &read.temperature.hasLow, &read.temperature.low},
                      {IDC_T_HIGH, &read.temperature.hasHigh, &read.temperature.high},
                      {IDC_RH_LOW, &read.humidity.hasLow, &read.humidity.low},
                      {IDC_RH_HIGH, &read.humidity.hasHigh, &read.humidity.high}};
        for (const auto& field : fields) {
            if (!parseLimit(text(field.id), *field.has, *field.value))
                return refuse(field.id,
                              L"Granica to liczba z co najwyżej dwoma miejscami po przecinku albo puste pole.");
        }
        if (!limitsValid(read.temperature))
            return refuse(IDC_T_LOW, L"Dolna granica temperatury leży powyżej górnej.");
        if (!limitsValid(read.humidity))
            return refuse(IDC_RH_LOW, L"Dolna granica wilgotności leży powyżej górnej.");
        if (!parseActivation(text(IDC_MKT_DH), read.activation))
            return refuse(IDC_MKT_DH,
                          L"ΔH to liczba dodatnia do 1000 kJ/mol, z co najwyżej trzema miejscami po przecinku.");
        settings_ = read;
        return true;
    }

    AnalysisSettings& settings_;
};

} // namespace

bool runLimitsDialog(HWND owner, AnalysisSettings& settings) {
    AnalysisSettings edited = settings;
    CLimitsDialog dialog(edited);
    if (dialog.runModal(owner) != IDOK)
        return false;
    settings = edited;
    return true;
}
