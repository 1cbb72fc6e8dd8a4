#include "plot/win/plot_menu.h"

#include "plot/win/resource.h"
#include "win/text.h"

void showMenuState(HMENU menu, const ChartOptions& options, int separator, bool haveData) {
    const int shown = options.temperature && options.humidity ? ID_VIEW_BOTH
                      : options.temperature                   ? ID_VIEW_TEMPERATURE
                                                              : ID_VIEW_HUMIDITY;
    CheckMenuRadioItem(menu, ID_VIEW_BOTH, ID_VIEW_HUMIDITY, shown, MF_BYCOMMAND);
    CheckMenuItem(menu, ID_VIEW_DEW_POINT, MF_BYCOMMAND | (options.dewPoint ? MF_CHECKED : MF_UNCHECKED));
    CheckMenuItem(menu, ID_VIEW_ABSOLUTE, MF_BYCOMMAND | (options.absoluteHumidity ? MF_CHECKED : MF_UNCHECKED));
    CheckMenuRadioItem(menu, ID_CSV_SEMICOLON, ID_CSV_TAB, separator == 0 ? ID_CSV_TAB : ID_CSV_SEMICOLON,
                       MF_BYCOMMAND);
    const UINT exports = haveData ? MF_ENABLED : MF_GRAYED;
    EnableMenuItem(menu, ID_FILE_EXPORT_CSV, MF_BYCOMMAND | exports);
    EnableMenuItem(menu, ID_FILE_EXPORT_PNG, MF_BYCOMMAND | exports);
    EnableMenuItem(menu, ID_FILE_REPORT, MF_BYCOMMAND | exports);
}

void showRecentFiles(HMENU menu, const std::vector<std::string>& recent) {
    const HMENU list = GetSubMenu(GetSubMenu(menu, 0), ID_RECENT_MENU_POSITION);
    if (!list)
        return;
    while (GetMenuItemCount(list) > 0)
        DeleteMenu(list, 0, MF_BYPOSITION);
    for (std::size_t i = 0; i < recent.size(); ++i) {
        const std::wstring text = L"&" + std::to_wstring(i + 1) + L" " + widen(recent[i]);
        AppendMenuW(list, MF_STRING, ID_RECENT_FIRST + i, text.c_str());
    }
    if (recent.empty())
        AppendMenuW(list, MF_STRING | MF_GRAYED, ID_RECENT_FIRST, L"(brak)");
}
