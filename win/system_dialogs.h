#pragma once

#include <windows.h>

#include <commdlg.h>

// The common dialogs and the shell's "open", loaded from the system folder when first asked for. Linked in, they
// bring the print spooler, the shell and their Unix libraries under Wine into a program that runs for weeks and
// shows one of them now and then. Each answers as its system function does; if its library cannot be loaded it
// fails as a cancelled dialog (FALSE) or a failed launch (a result of 32 or less) would.
BOOL systemChooseColor(CHOOSECOLORW& choice);
BOOL systemChooseFont(CHOOSEFONTW& choice);
BOOL systemGetOpenFileName(OPENFILENAMEW& request);
// ShellExecuteW(nullptr, L"open", target, nullptr, nullptr, showCommand).
INT_PTR systemShellOpen(const wchar_t* target, int showCommand);
