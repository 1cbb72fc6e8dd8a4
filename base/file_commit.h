#pragma once

#include <string>

// Makes the fully written and closed file `temporaryPath` durable and puts it in place of `targetPath` in one
// step, so that a reader sees either the old or the new content, never a partial file. Both paths are UTF-8 and
// in the same folder. Implemented once natively and once for Windows.
bool commitReplacement(const std::string& temporaryPath, const std::string& targetPath);
