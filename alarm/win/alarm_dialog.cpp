#include "alarm/win/alarm_dialog.h"

#include "alarm/alarm_fields.h"
#include "display/win/colours_dialog.h"
#include "res/resource.h"
#include "win/system_dialogs.h"
#include "win/text.h"
#include "win/window_base.h"

#include <vector>

namespace {

// The edit boxes and the keys they edit, in the order in which OK takes them.
constexpr struct {
    int id;
    AlarmKey key;
} kFields[] = {
    {IDC_ALARM_TEMP_LOW, AlarmKey::TemperatureLow},
    {IDC_ALARM_TEMP_HIGH, AlarmKey::TemperatureHigh},
    {IDC_ALARM_RH_LOW, AlarmKey::HumidityLow},
    {IDC_ALARM_RH_HIGH, AlarmKey::HumidityHigh},
    {IDC_ALARM_DELAY, AlarmKey::Delay},
    {IDC_ALARM_HYSTERESIS, AlarmKey::Hysteresis},
    {IDC_ALARM_LINK_MINUTES, AlarmKey::LinkMinutes},
    {IDC_ALARM_ACTION, AlarmKey::Action},
    {IDC_ALARM_EVENT_FILE, AlarmKey::EventFile},
};

// The string literal ends with a NUL of its own after the last entry's: the double NUL that ends the list.
constexpr wchar_t kProgramFilter[] = L"Programy (*.exe)\0*.exe\0Wszystkie pliki (*.*)\0*.*\0";

class CAlarmDialog : public CDialogBase {
public:
    explicit CAlarmDialog(const AlarmSettings& settings) : CDialogBase(IDD_ALARMS), settings_(settings) {}
    const AlarmSettings& settings() const { return settings_; }

protected:
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void initialise();
    void onCommand(int id, int code);
    void chooseSwatchColour(int id);
    void browseProgram();
    void accept();

    AlarmSettings settings_;
    CColourSwatch background_;
    CColourSwatch text_;
};

INT_PTR CAlarmDialog::handleMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        initialise();
        return TRUE;
    case WM_COMMAND:
        onCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}

void CAlarmDialog::initialise() {
    CheckDlgButton(hwnd(), IDC_ALARM_ENABLED, settings_.enabled ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(hwnd(), IDC_ALARM_SOUND, settings_.sound ? BST_CHECKED : BST_UNCHECKED);
    for (const auto& field : kFields)
        SetDlgItemTextW(hwnd(), field.id, widen(alarmFieldText(settings_, field.key)).c_str());
    background_.attach(item(IDC_ALARM_SWATCH_BACKGROUND));
    text_.attach(item(IDC_ALARM_SWATCH_TEXT));
    background_.setColour(settings_.backgroundColour);
    text_.setColour(settings_.textColour);
}

void CAlarmDialog::onCommand(int id, int code) {
    switch (id) {
    case IDC_ALARM_SWATCH_BACKGROUND:
    case IDC_ALARM_SWATCH_TEXT:
        if (code == STN_CLICKED)
            chooseSwatchColour(id);
        break;
    case IDC_ALARM_ACTION_BROWSE:
        browseProgram();
        break;
    case IDOK:
        accept();
        break;
    case IDCANCEL:
        endDialog(IDCANCEL);
        break;
    default:
        break;
    }
}

void CAlarmDialog::chooseSwatchColour(int id) {
    const bool background = id == IDC_ALARM_SWATCH_BACKGROUND;
    std::uint32_t& colour = background ? settings_.backgroundColour : settings_.textColour;
    COLORREF chosen = colour;
    if (!chooseColour(hwnd(), chosen))
        return;
    colour = chosen;
    (background ? background_ : text_).setColour(chosen);
}

void CAlarmDialog::browseProgram() {
    std::vector<wchar_t> file(32768, L'\0');
    OPENFILENAMEW request{};
    request.lStructSize = sizeof request;
    request.hwndOwner = hwnd();
    request.lpstrFilter = kProgramFilter;
    request.nFilterIndex = 1;
    request.lpstrFile = file.data();
    request.nMaxFile = static_cast<DWORD>(file.size());
    request.lpstrTitle = L"Wybierz program alarmowy";
    // The current folder must stay the program's: recording file names in the settings may be relative to it.
    request.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    if (systemGetOpenFileName(request))
        SetDlgItemTextW(hwnd(), IDC_ALARM_ACTION, file.data());
}

// The edit box of `key`.
int fieldId(AlarmKey key) {
    for (const auto& field : kFields) {
        if (field.key == key)
            return field.id;
    }
    return 0;
}

void CAlarmDialog::accept() {
    AlarmSettings edited = settings_;
    edited.enabled = IsDlgButtonChecked(hwnd(), IDC_ALARM_ENABLED) == BST_CHECKED;
    edited.sound = IsDlgButtonChecked(hwnd(), IDC_ALARM_SOUND) == BST_CHECKED;
    for (const auto& field : kFields) {
        const std::string refusal = takeAlarmField(edited, field.key, narrow(windowText(item(field.id))));
        if (!refusal.empty()) {
            refuse(widen(refusal), field.id);
            return;
        }
    }
    AlarmKey key = AlarmKey::TemperatureLow;
    if (const std::string refusal = checkAlarmLimits(edited, key); !refusal.empty()) {
        refuse(widen(refusal), fieldId(key));
        return;
    }
    settings_ = edited;
    endDialog(IDOK);
}

} // namespace

bool runAlarmDialog(HWND owner, AlarmSettings& settings) {
    CAlarmDialog dialog(settings);
    if (dialog.runModal(owner) != IDOK)
        return false;
    settings = dialog.settings();
    return true;
}
