#pragma once

#include <windows.h>

// The DPI functions of newer systems, looked up at run time so that the program still starts on Windows 7.

// The DPI of the monitor the window is on; the system DPI where the system cannot say per window.
int windowDpi(HWND window);
// A system metric as it is at 96 DPI.
int systemMetric96(int index);
// The DPI of the screen device context: what the common dialogs measure font sizes with.
int screenDpi();
