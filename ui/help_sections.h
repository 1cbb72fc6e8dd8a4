#pragma once

#include <string>
#include <vector>

// The sections of the help document, in their order there. Each heading in the document is the section's title
// on a line of its own; the help window finds a section by it.
struct HelpSection {
    int context;       // the help context that opens the section
    std::string title; // UTF-8
};

const std::vector<HelpSection>& helpSections();

// The section a help request opens: the one with that context, else the first (the main window and its menu).
std::size_t helpSectionFor(int context);

inline constexpr int kMainWindowHelpContext = 100;
