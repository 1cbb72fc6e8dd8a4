#pragma once

#include <string>
#include <string_view>

// Windows-1250 is the single-byte code page of every fixed text in files and DDE data. Characters that the code
// page lacks become '?'; invalid UTF-8 bytes too.
std::string utf8ToCp1250(std::string_view utf8);
std::string cp1250ToUtf8(std::string_view bytes);
// The text survives the settings file's code page unchanged (a name or password a dialog would otherwise alter).
bool cp1250Storable(std::string_view utf8);
