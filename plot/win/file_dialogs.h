#pragma once

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

// The recording files the user names: in the open dialog, or by dropping them on the window.

// Plik → Otwórz and Dodaj: the recording files chosen, none when cancelled.
std::vector<std::wstring> askRecordingFiles(HWND owner);
// The files dropped on the window; the drop is finished.
std::vector<std::wstring> droppedFiles(HDROP drop);
