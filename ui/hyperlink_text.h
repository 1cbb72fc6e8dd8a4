#pragma once

#include <string>

// The decisions of the hyperlink label that need no window. Texts are UTF-8.

// The command that opens `url` with the program registered for web pages, made from that program's registered
// command line: cut at the quoted "%1" placeholder, else at a bare %1, then a space and the URL.
std::string fallbackOpenCommand(const std::string& registeredCommand, const std::string& url);

// What the message box says when a link cannot be opened, for a shell or process error code (32 or less).
std::string openErrorText(int code);
