#pragma once

#include "app/settings_keys.h"

// Where the main window opens. A rectangle saved on a monitor that is gone (a docking station, a remote session
// on a larger desktop) or hand-edited to absurd values must not open the window off screen or as a sliver.

// The saved rectangle with a usable size: a width or height below kMinWindowSize (a file saved with an inverted
// rectangle) takes the default size; the top-left corner stays. Computed without overflow for any int values.
WindowRect withUsableSize(const WindowRect& saved);

// `rect` (with a usable size) as it opens on the monitor whose work area is given: unchanged while its caption
// is on that work area, else moved (keeping its size, shrunk to the work area when larger) onto it.
WindowRect placeWindowRect(const WindowRect& rect, const WindowRect& workArea);

constexpr int kMinWindowSize = 50;
