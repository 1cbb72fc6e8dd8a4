#pragma once

#include <string>
#include <vector>

// Starting the alarm's action: a program named by its full path, started without a shell, with the event as its
// arguments. Texts are UTF-8.

// Whether `path` names a program by a full path: a drive letter and a separator ("C:\..."), or a network share
// ("\\server\share\..."). A name alone, a relative path, a drive-relative one ("C:x.exe", "\x.exe") and device
// paths ("\\.\", "\\?\") are refused, so that nothing is ever looked up in the current folder or along PATH.
bool isFullProgramPath(const std::string& path);

// One argument as the command line carries it, so that CommandLineToArgvW and the C runtime give it back
// unchanged: quoted when empty or when it holds a blank or a quotation mark, with backslashes doubled where
// they precede a quotation mark or the closing one.
std::string quoteArgument(const std::string& argument);

// The whole command line: the program's path in quotation marks (a program name is read up to the next one, with
// no escapes), then each argument after a blank.
std::string commandLine(const std::string& programPath, const std::vector<std::string>& arguments);
