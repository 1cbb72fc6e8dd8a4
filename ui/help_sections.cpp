#include "ui/help_sections.h"

const std::vector<HelpSection>& helpSections() {
    static const std::vector<HelpSection> sections{
        {kMainWindowHelpContext, "Okno główne i menu"},
        {110, "Wiersz stanu"},
        {120, "Wybór portu szeregowego"},
        {130, "Rejestracja do pliku"},
        {135, "Alarmy"},
        {137, "MQTT"},
        {138, "Powiadomienia e-mail"},
        {140, "Kolory i czcionki"},
        {150, "Łącza DDE dla arkuszy kalkulacyjnych"},
        {160, "Program Plot"},
        {170, "Ustawienia dodatkowe i okna informacyjne"},
        {180, "Pliki programu"},
    };
    return sections;
}

std::size_t helpSectionFor(int context) {
    const std::vector<HelpSection>& sections = helpSections();
    for (std::size_t i = 0; i < sections.size(); ++i)
        if (sections[i].context == context)
            return i;
    return 0;
}
