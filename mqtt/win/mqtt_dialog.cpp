#include "mqtt/win/mqtt_dialog.h"

#include "mqtt/mqtt_fields.h"
#include "res/resource.h"
#include "win/text.h"
#include "win/user_secret.h"
#include "win/window_base.h"

namespace {

// The edit boxes and the fields they edit, in the order in which OK takes them.
constexpr struct {
    int id;
    MqttField field;
} kFields[] = {
    {IDC_MQTT_HOST, MqttField::Host},
    {IDC_MQTT_PORT, MqttField::Port},
    {IDC_MQTT_STATION, MqttField::Station},
    {IDC_MQTT_USER, MqttField::User},
    {IDC_MQTT_PASSWORD, MqttField::Password},
    {IDC_MQTT_KEEPALIVE, MqttField::KeepAlive},
    {IDC_MQTT_RECORD_INTERVAL, MqttField::RecordInterval},
};

std::string computerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) ? narrow(std::wstring(name, size)) : std::string();
}

class CMqttDialog : public CDialogBase {
public:
    explicit CMqttDialog(const MqttSettings& settings) : CDialogBase(IDD_MQTT), settings_(settings) {}
    const MqttSettings& settings() const { return settings_; }

protected:
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void initialise();
    void accept();

    MqttSettings settings_;
};

INT_PTR CMqttDialog::handleMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        initialise();
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            accept();
        } else if (LOWORD(wParam) == IDCANCEL) {
            endDialog(IDCANCEL);
        } else if (LOWORD(wParam) == IDC_MQTT_TLS) {
            const bool tls = IsDlgButtonChecked(hwnd(), IDC_MQTT_TLS) == BST_CHECKED;
            const std::string port = narrow(windowText(item(IDC_MQTT_PORT)));
            SetDlgItemTextW(hwnd(), IDC_MQTT_PORT, widen(portAfterTlsSwitch(port, tls)).c_str());
        }
        return TRUE;
    default:
        return FALSE;
    }
}

void CMqttDialog::initialise() {
    CheckDlgButton(hwnd(), IDC_MQTT_ENABLED, settings_.enabled ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(hwnd(), IDC_MQTT_DISCOVERY, settings_.discovery ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(hwnd(), IDC_MQTT_TLS, settings_.tls ? BST_CHECKED : BST_UNCHECKED);
    for (const auto& field : kFields)
        SetDlgItemTextW(hwnd(), field.id, widen(mqttFieldText(settings_, field.field)).c_str());
}

// The edit box of `field`.
int fieldId(MqttField field) {
    for (const auto& entry : kFields) {
        if (entry.field == field)
            return entry.id;
    }
    return 0;
}

void CMqttDialog::accept() {
    MqttSettings edited = settings_;
    edited.enabled = IsDlgButtonChecked(hwnd(), IDC_MQTT_ENABLED) == BST_CHECKED;
    edited.discovery = IsDlgButtonChecked(hwnd(), IDC_MQTT_DISCOVERY) == BST_CHECKED;
    edited.tls = IsDlgButtonChecked(hwnd(), IDC_MQTT_TLS) == BST_CHECKED;
    for (const auto& entry : kFields) {
        const std::string refusal = takeMqttField(edited, entry.field, narrow(windowText(item(entry.id))));
        if (!refusal.empty()) {
            refuse(widen(refusal), entry.id);
            return;
        }
    }
    MqttField field = MqttField::Host;
    if (const std::string refusal = checkMqttSettings(edited, field); !refusal.empty()) {
        refuse(widen(refusal), fieldId(field));
        return;
    }
    settings_ = edited;
    endDialog(IDOK);
}

} // namespace

std::string mqttStationOf(const MqttSettings& settings, int comPort) {
    return settings.station.empty() ? proposeStationName(computerName(), comPort) : settings.station;
}

bool runMqttDialog(HWND owner, MqttSettings& settings, int comPort) {
    MqttSettings shown = settings;
    shown.station = mqttStationOf(settings, comPort);
    CMqttDialog dialog(shown);
    if (dialog.runModal(owner) != IDOK)
        return false;
    MqttSettings edited = dialog.settings();
    // Encrypted for the file only when it changed: each encryption gives other bytes, and a file whose settings
    // nobody changed stays as it was.
    if (edited.password != settings.password)
        edited.protectedPassword = protectForUser(edited.password);
    settings = edited;
    return true;
}
