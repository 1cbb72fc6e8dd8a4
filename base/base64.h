#pragma once

#include <optional>
#include <string>
#include <string_view>

// Base64 with the standard alphabet and "=" padding, as mail logins, data addresses and the settings file's
// protected secrets carry bytes in text.
std::string base64(std::string_view bytes);
// None for anything but whole padded groups of the alphabet.
std::optional<std::string> fromBase64(std::string_view text);
