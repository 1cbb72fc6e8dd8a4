#pragma once

#include <string>

// Fixed-point text of a double with `decimals` digits after ".", rounding the exact binary value half away from
// zero (21.25 -> "21.3", -21.25 -> "-21.3", 0.125 -> "0.13"). A negative value, negative zero included, keeps its
// "-" sign as printf does. Same bytes on every C runtime.
std::string formatFixed(double value, int decimals);
