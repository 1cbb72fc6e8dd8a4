#pragma once

#include <string>

// A secret (a password) as a settings file keeps it: encrypted for the Windows user who runs the program
// (CryptProtectData), as base64 text, so that the file never holds it readable and another user or computer cannot
// use it. An empty secret stays empty.
std::string protectForUser(const std::string& secret);
// The secret back; false when the text is not one this user protected (another user's, another computer's, or
// damaged).
bool unprotectForUser(const std::string& text, std::string& secret);
