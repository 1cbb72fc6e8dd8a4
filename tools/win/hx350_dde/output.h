#pragma once

#include <string>

// Standard output and standard error, flushed at once: the tests and scripts read them while the tool runs.
void writeOut(const std::string& text);
void writeErr(const std::string& text);

// What the tool shows of an item's data: its text (UTF-8), or with `hex` every byte received.
std::string describeData(const std::string& bytes, bool hex);
