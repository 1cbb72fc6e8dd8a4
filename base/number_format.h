#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Fixed-point text of a double with `decimals` digits after ".", rounding the exact binary value half away from
// zero (21.25 -> "21.3", -21.25 -> "-21.3", 0.125 -> "0.13"). A negative value, negative zero included, keeps its
// "-" sign as printf does. Same bytes on every C runtime.
std::string formatFixed(double value, int decimals);

// A whole number: an optional sign and digits, blanks (space, tab) around them allowed; none for anything else.
// Numbers too large for any use here saturate far beyond every bound.
std::optional<std::int64_t> parseWholeNumber(const std::string& text);
// A dialog field's whole number within [low, high] into `value`; otherwise `value` stays and the refusal returns.
std::string takeWholeNumber(int& value, const std::string& typed, int low, int high, const std::string& refusal);

inline constexpr int kLargestTenths = 99999; // 9999.9
// A decimal number (a point, or a comma as typed on a Polish keyboard) in tenths, rounded half away from zero on
// its digits as written; none for anything else (the empty text included) and beyond kLargestTenths either way.
std::optional<int> parseTenths(const std::string& text);
// "25.0", "-0.5": tenths with one decimal.
std::string tenthsText(int tenths);
