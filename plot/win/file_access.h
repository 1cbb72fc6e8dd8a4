#pragma once

#include "plot/plot_model.h"
#include "plot/plot_settings.h"
#include "plot/plot_view.h"

#include <string>

// Reads a whole recording file through mapped views (or plain reads where a view cannot be made), sharing it with
// the program that writes it. False when the file cannot be opened.
bool loadRecordingFile(const std::wstring& path, LoadedFile& loaded, const ProgressFn& progress,
                       const std::atomic<bool>* cancel, const CTimeZone& zone);
// The file's size now; false when it is missing.
bool recordingFileSize(const std::wstring& path, std::uint64_t& size);
// `length` bytes at `offset`, shared with the writer.
bool readRecordingBytes(const std::wstring& path, std::uint64_t offset, std::uint64_t length, std::string& out);

// The periodic look at the followed files `paths` of `model`: each file's new bytes are fed to it (a bounded amount
// a look). ReadNew when some were, Reload as soon as a file calls for reading everything again, else Nothing.
FollowStep followFiles(CPlotModel& model, const std::vector<std::wstring>& paths);

// Writes `bytes` as the whole file at `path`.
bool writeWholeFile(const std::wstring& path, const std::string& bytes);

// Writes the records of [t0, t1] as the text recording's table (header line first), streamed in batches.
bool writeCsv(const std::wstring& path, const CPlotModel& model, std::int64_t t0, std::int64_t t1, int separator,
              const ByteReader& reader);

// plot.ini beside the program: read once at start (a missing file leaves the defaults), and at exit what changed
// written into it (it is made then when missing).
void readPlotIni(CPlotIni& ini);
void savePlotIni(const CPlotIni& ini);
