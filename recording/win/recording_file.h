#pragma once

#include "recording/recording_file.h"

#include <memory>
#include <string>

// Opens a file for appending records (others may read it meanwhile), creating it when absent; null when it cannot
// be opened. `existed` says whether it was there.
std::unique_ptr<RecordingFile> openRecordingFile(const std::wstring& path, bool& existed);
