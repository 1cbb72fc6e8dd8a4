#pragma once

#include <string>
#include <string_view>

// UTF-8 <-> UTF-16 for everything the user sees, and the ANSI code page for bytes the system keeps as ANSI
// (settings file values, file names typed into it, SetupAPI descriptions).
std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view wide);
std::wstring ansiToWide(std::string_view ansi);
std::string wideToAnsi(std::wstring_view wide);

// The running program's own path, however long; empty when it cannot be had.
std::wstring modulePath();
