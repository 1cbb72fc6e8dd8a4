#include "recording/win/recording_dialog.h"

#include "base/cp1250.h"
#include "recording/record_format.h"
#include "recording/recording_choices.h"
#include "res/resource.h"
#include "win/system_dialogs.h"
#include "win/text.h"
#include "win/window_base.h"

#include <commctrl.h>

#include <string>
#include <vector>

namespace {

// The text file's controls other than its check box; the comment part is enabled apart from them.
constexpr int kTextGroup[] = {IDC_REC_TEXT_BROWSE,         IDC_REC_SEPARATOR_TAB, IDC_REC_SEPARATOR_COMMA,
                              IDC_REC_SEPARATOR_SEMICOLON, IDC_REC_TEXT_FILE,     IDC_REC_TEXT_LABEL,
                              IDC_REC_SEPARATOR_LABEL,     IDC_REC_TEMPERATURE,   IDC_REC_HUMIDITY,
                              IDC_REC_COMMENT_ENABLED};
constexpr int kCommentPart[] = {IDC_REC_COMMENT_SERIAL, IDC_REC_COMMENT};
constexpr int kBinaryGroup[] = {IDC_REC_BINARY_BROWSE, IDC_REC_BINARY_FILE, IDC_REC_BINARY_LABEL};
// Indexed by ColumnSeparator.
constexpr int kSeparatorButtons[] = {IDC_REC_SEPARATOR_TAB, IDC_REC_SEPARATOR_COMMA, IDC_REC_SEPARATOR_SEMICOLON};

// The string literals end with a NUL of their own after the last entry's: the double NUL that ends the list.
constexpr wchar_t kTextFilter[] = L"Plik tekstowy (*.txt)\0*.txt\0Lista CSV (*.csv)\0*.csv\0";
constexpr wchar_t kBinaryFilter[] = L"Plik binarny (*.hxg)\0*.hxg\0";

// The settings keep their texts as Windows-1250 bytes, whatever the system's code page.
std::wstring fromSettings(const std::string& cp1250) {
    return widen(cp1250ToUtf8(cp1250));
}

class CRecordingDialog : public CDialogBase {
public:
    explicit CRecordingDialog(const RecordingSettings& settings) : CDialogBase(IDD_RECORDING), settings_(settings) {}
    const RecordingSettings& settings() const { return settings_; }

protected:
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void initialise();
    void onCommand(int id, int code);
    template <std::size_t N> void enableControls(const int (&ids)[N], bool enabled);
    void applyTextGroupState();
    bool isChecked(int id) const { return IsDlgButtonChecked(hwnd(), id) == BST_CHECKED; }
    void showPickerTime(const PickerTime& time);
    void readPicker();
    void browse(BrowsedFile kind);
    bool takeFileName(int editId, int enabledId, std::string& settingsName);
    void accept();

    RecordingSettings settings_;
    // The names as typed, until OK turns them into the settings' bytes.
    std::wstring textFileName_;
    std::wstring binaryFileName_;
};

INT_PTR CRecordingDialog::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        initialise();
        return TRUE;
    case WM_COMMAND:
        onCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header && header->idFrom == IDC_REC_INTERVAL && header->code == static_cast<UINT>(NM_KILLFOCUS))
            readPicker();
        return FALSE;
    }
    default:
        return FALSE;
    }
}

void CRecordingDialog::initialise() {
    CheckDlgButton(hwnd(), IDC_REC_TEXT_ENABLED, settings_.textEnabled != 0 ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(hwnd(), IDC_REC_BINARY_ENABLED, settings_.binaryEnabled != 0 ? BST_CHECKED : BST_UNCHECKED);
    enableControls(kBinaryGroup, settings_.binaryEnabled != 0);
    CheckDlgButton(hwnd(), IDC_REC_HUMIDITY, settings_.recordHumidity != 0 ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(hwnd(), IDC_REC_TEMPERATURE, settings_.recordTemperature != 0 ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(hwnd(), IDC_REC_COMMENT_ENABLED, settings_.commentEnabled != 0 ? BST_CHECKED : BST_UNCHECKED);
    applyTextGroupState();
    CheckDlgButton(hwnd(), IDC_REC_COMMENT_SERIAL, settings_.commentSerialNumber != 0 ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemTextW(hwnd(), IDC_REC_COMMENT, fromSettings(settings_.commentText).c_str());
    // The picker shows a length of time, not a time of day: a 12-hour system format would show one second as
    // "12:00:01 AM".
    DateTime_SetFormat(item(IDC_REC_INTERVAL), L"HH':'mm':'ss");
    showPickerTime(pickerTimeForInterval(settings_.intervalSeconds));
    for (int separator = Tab; separator <= Semicolon; ++separator)
        CheckDlgButton(hwnd(), kSeparatorButtons[separator],
                       settings_.separator == separator ? BST_CHECKED : BST_UNCHECKED);
    // A hand-edited file may pair the decimal comma with the comma separator, which never uses it: shown, and
    // accepted, as off.
    settings_.decimalComma = usesDecimalComma(settings_);
    CheckDlgButton(hwnd(), IDC_REC_DECIMAL_COMMA, settings_.decimalComma ? BST_CHECKED : BST_UNCHECKED);
    textFileName_ = fromSettings(settings_.textFileName);
    binaryFileName_ = fromSettings(settings_.binaryFileName);
    SetDlgItemTextW(hwnd(), IDC_REC_TEXT_FILE, textFileName_.c_str());
    SetDlgItemTextW(hwnd(), IDC_REC_BINARY_FILE, binaryFileName_.c_str());
}

void CRecordingDialog::onCommand(int id, int code) {
    switch (id) {
    case IDC_REC_TEXT_ENABLED:
        settings_.textEnabled = isChecked(id) ? 1 : 0;
        applyTextGroupState();
        break;
    case IDC_REC_BINARY_ENABLED:
        settings_.binaryEnabled = isChecked(id) ? 1 : 0;
        enableControls(kBinaryGroup, settings_.binaryEnabled != 0);
        break;
    case IDC_REC_TEMPERATURE:
        settings_.recordTemperature = isChecked(id) ? 1 : 0;
        break;
    case IDC_REC_HUMIDITY:
        settings_.recordHumidity = isChecked(id) ? 1 : 0;
        break;
    case IDC_REC_COMMENT_ENABLED:
        settings_.commentEnabled = isChecked(id) ? 1 : 0;
        applyTextGroupState();
        break;
    case IDC_REC_SEPARATOR_TAB:
        settings_.separator = Tab;
        applyTextGroupState();
        break;
    case IDC_REC_SEPARATOR_COMMA:
        // A decimal comma between comma-separated columns would split every number in two.
        settings_.separator = Comma;
        settings_.decimalComma = false;
        CheckDlgButton(hwnd(), IDC_REC_DECIMAL_COMMA, BST_UNCHECKED);
        applyTextGroupState();
        break;
    case IDC_REC_SEPARATOR_SEMICOLON:
        settings_.separator = Semicolon;
        applyTextGroupState();
        break;
    case IDC_REC_DECIMAL_COMMA:
        settings_.decimalComma = isChecked(id);
        break;
    case IDC_REC_TEXT_FILE:
        if (code == EN_KILLFOCUS)
            textFileName_ = windowText(item(id));
        break;
    case IDC_REC_BINARY_FILE:
        if (code == EN_KILLFOCUS)
            binaryFileName_ = windowText(item(id));
        break;
    case IDC_REC_TEXT_BROWSE:
        browse(BrowsedFile::Text);
        break;
    case IDC_REC_BINARY_BROWSE:
        browse(BrowsedFile::Binary);
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

template <std::size_t N> void CRecordingDialog::enableControls(const int (&ids)[N], bool enabled) {
    for (int id : ids)
        EnableWindow(item(id), enabled ? TRUE : FALSE);
}

// Switching text recording off keeps the comment choice: ticking it again brings the comment part back as it was.
void CRecordingDialog::applyTextGroupState() {
    const bool text = settings_.textEnabled != 0;
    enableControls(kTextGroup, text);
    enableControls(kCommentPart, text && settings_.commentEnabled != 0);
    EnableWindow(item(IDC_REC_DECIMAL_COMMA), text && decimalCommaAllowed(settings_.separator) ? TRUE : FALSE);
}

void CRecordingDialog::showPickerTime(const PickerTime& time) {
    SYSTEMTIME shown{};
    shown.wYear = 2000;
    shown.wMonth = 1;
    shown.wDayOfWeek = 6; // 1 January 2000 was a Saturday
    shown.wDay = 1;
    shown.wHour = static_cast<WORD>(time.hour);
    shown.wMinute = static_cast<WORD>(time.minute);
    shown.wSecond = static_cast<WORD>(time.second);
    DateTime_SetSystemtime(item(IDC_REC_INTERVAL), GDT_VALID, &shown);
}

// 00:00:00 is no interval: the picker then shows the one second that the interval becomes.
void CRecordingDialog::readPicker() {
    SYSTEMTIME time{};
    const bool valid = DateTime_GetSystemtime(item(IDC_REC_INTERVAL), &time) == GDT_VALID;
    const PickerTime read{time.wHour, time.wMinute, time.wSecond};
    settings_.intervalSeconds = intervalFromPickerTime(valid, read);
    const PickerTime shown = pickerTimeForInterval(settings_.intervalSeconds);
    if (!valid || !(shown == read))
        showPickerTime(shown);
}

// The open-file dialog usually appends the filter's or the default extension itself; where it reports a name
// without one, the selected filter entry decides.
void CRecordingDialog::browse(BrowsedFile kind) {
    const bool text = kind == BrowsedFile::Text;
    std::vector<wchar_t> file(32768, L'\0');
    OPENFILENAMEW request{};
    request.lStructSize = sizeof request;
    request.hwndOwner = hwnd();
    request.lpstrFilter = text ? kTextFilter : kBinaryFilter;
    request.nFilterIndex = 1;
    request.lpstrFile = file.data();
    request.nMaxFile = static_cast<DWORD>(file.size());
    request.lpstrTitle = text ? L"Wybierz plik raportu" : L"Wybierz plik binarny";
    request.lpstrDefExt = text ? L"csv" : L"hxg";
    // The current folder must stay the program's: file names in the settings may be relative to it.
    request.Flags = OFN_OVERWRITEPROMPT | OFN_NOCHANGEDIR;
    if (!systemGetOpenFileName(request))
        return;
    const std::wstring chosen =
        widen(withFilterExtension(narrow(file.data()), request.nFileExtension, request.nFilterIndex, kind));
    (text ? textFileName_ : binaryFileName_) = chosen;
    SetDlgItemTextW(hwnd(), text ? IDC_REC_TEXT_FILE : IDC_REC_BINARY_FILE, chosen.c_str());
}

// Every name is kept in the settings, that of a kind switched off too, so every name must survive the trip: one cut
// at a semicolon or with letters turned into "?" would be what recording opens once the kind is switched on again.
// The focus goes to the name, or to its kind's check box while the name cannot be edited.
bool CRecordingDialog::takeFileName(int editId, int enabledId, std::string& settingsName) {
    const std::string typed = narrow(editId == IDC_REC_TEXT_FILE ? textFileName_ : binaryFileName_);
    const StorableFileName name = storableFileName(typed);
    if (name.problem == FileNameProblem::None) {
        settingsName = name.cp1250;
        return true;
    }
    refuse(widen(fileNameRefusalText(name)), IsWindowEnabled(item(editId)) ? editId : enabledId);
    return false;
}

void CRecordingDialog::accept() {
    // Enter ends the dialog while an edit or the picker may still hold the focus, so their values are taken here
    // as leaving them would have taken them.
    textFileName_ = windowText(item(IDC_REC_TEXT_FILE));
    binaryFileName_ = windowText(item(IDC_REC_BINARY_FILE));
    readPicker();
    settings_.commentText = utf8ToCp1250(narrow(windowText(item(IDC_REC_COMMENT))));
    settings_.commentSerialNumber = isChecked(IDC_REC_COMMENT_SERIAL) ? 1 : 0;
    // The columns matter to the text file only: recording into the binary file alone needs neither.
    if (settings_.textEnabled != 0 && settings_.recordTemperature == 0 && settings_.recordHumidity == 0) {
        MessageBoxW(hwnd(), L"Wybierz przynajmniej jedną wielkość do zapisu", ownerCaption().c_str(),
                    MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (!takeFileName(IDC_REC_TEXT_FILE, IDC_REC_TEXT_ENABLED, settings_.textFileName) ||
        !takeFileName(IDC_REC_BINARY_FILE, IDC_REC_BINARY_ENABLED, settings_.binaryFileName))
        return;
    endDialog(IDOK);
}

} // namespace

bool runRecordingDialog(HWND owner, RecordingSettings& settings) {
    CRecordingDialog dialog(settings);
    if (dialog.runModal(owner) != IDOK)
        return false;
    settings = dialog.settings();
    return true;
}
