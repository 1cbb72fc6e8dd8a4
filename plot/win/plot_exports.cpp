#include "plot/win/plot_exports.h"

#include "plot/win/file_access.h"
#include "plot/win/png_export.h"

#include <commdlg.h>

#include <string>

namespace {

// The save dialog of each kind of export, in ExportKind's order.
struct SaveQuestion {
    const wchar_t* filter;
    const wchar_t* extension;
    const wchar_t* title;
};
constexpr SaveQuestion kQuestions[] = {
    {L"Tabela CSV (*.csv)\0*.csv\0Tekst (*.txt)\0*.txt\0", L"csv", L"Eksport do CSV"},
    {L"Obraz PNG (*.png)\0*.png\0", L"png", L"Eksport do PNG"},
    {L"Strona HTML (*.html)\0*.html;*.htm\0", L"html", L"Raport do pliku HTML"},
};

std::wstring askSaveName(HWND owner, const SaveQuestion& question) {
    std::wstring buffer(MAX_PATH * 4, L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = question.filter;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrDefExt = question.extension;
    ofn.lpstrTitle = question.title;
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_NOCHANGEDIR;
    if (!GetSaveFileNameW(&ofn))
        return {};
    return buffer.c_str();
}

} // namespace

void exportFile(HWND owner, ExportKind kind, const std::function<bool(const std::wstring& path)>& write) {
    const std::wstring path = askSaveName(owner, kQuestions[static_cast<int>(kind)]);
    if (!path.empty() && !write(path))
        MessageBoxW(owner, (L"Nie można zapisać pliku:\n" + path).c_str(), L"Plot", MB_OK | MB_ICONWARNING);
}

bool writeChartFile(const std::wstring& path, int width, int height, const ChartData& data, const ChartOptions& options,
                    const CTimeZone& zone) {
    std::string png;
    return encodePng(width, height, data, options, zone, png) && writeWholeFile(path, png);
}

bool writeReportFile(const std::wstring& path, const CPlotModel& model, const ReportJob& job,
                     const ByteReader& reader) {
    std::string html;
    return reportPage(model, job, reader, pngEncoder(model.zone()), html) == ReportResult::Made &&
           writeWholeFile(path, html);
}
