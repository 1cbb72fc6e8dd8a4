#pragma once

#include <string>
#include <string_view>

// Windows-1250 is the single-byte code page of every fixed text in files and DDE data. Characters that the code
// page lacks become '?'; invalid UTF-8 bytes too.
std::string utf8ToCp1250(std::string_view utf8);
std::string cp1250ToUtf8(std::string_view bytes);
// The text survives the settings file's code page unchanged (a name or password a dialog would otherwise alter).
bool cp1250Storable(std::string_view utf8);
// Cuts UTF-8 text at `limit` bytes, but never inside a character: the cut text stays valid where the whole was.
void cutUtf8(std::string& text, std::size_t limit);
