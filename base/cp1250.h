#pragma once

#include <string>
#include <string_view>

// Windows-1250 is the single-byte code page of every fixed text in files and DDE data. Characters that the code
// page lacks become '?'; invalid UTF-8 bytes too.
std::string utf8ToCp1250(std::string_view utf8);
std::string cp1250ToUtf8(std::string_view bytes);
// The text survives the settings file's code page unchanged (a name or password a dialog would otherwise alter).
bool cp1250Storable(std::string_view utf8);
// The length (1 to 4) of the one well-formed UTF-8 character at `pos`; 0 when the bytes there are none (a stray
// continuation byte, a truncated or overlong sequence, a surrogate, beyond U+10FFFF).
std::size_t utf8CharacterLength(std::string_view text, std::size_t pos);
// Cuts UTF-8 text at `limit` bytes, but never inside a character: the cut text stays valid where the whole was.
void cutUtf8(std::string& text, std::size_t limit);
