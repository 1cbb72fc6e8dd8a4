#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// How one value display looks, as the settings file keeps it: its colours (COLORREF values, 0x00BBGGRR) and its
// value font (the height in 96-DPI units, the face name in the ANSI code page, the italic flag as one byte, the
// weight, 0 being the font's own).
struct DisplayLook {
    std::uint32_t backgroundColour = 0;
    std::uint32_t textColour = 0;
    int fontHeight = 60;
    std::string fontName = "Arial";
    std::uint8_t fontItalic = 0;
    int fontWeight = 0;
};

// The main window's two displays, in the colours they start with.
struct DisplayLooks {
    DisplayLook temperature{0xFFE4CA, 0x804000};
    DisplayLook humidity{0xFFDAB8, 0x643200};
};

// A font description keeps a face name in 32 bytes with its terminating zero.
inline constexpr std::size_t kFaceNameLength = 31;
