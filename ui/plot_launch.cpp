#include "ui/plot_launch.h"

#include "base/cp1250.h"

std::string plotPath(const std::string& programPath) {
    const std::string::size_type slash = programPath.find_last_of("\\/");
    const std::string folder = slash == std::string::npos ? std::string() : programPath.substr(0, slash + 1);
    return folder + "Plot.exe";
}

// Windows file names cannot hold a quotation mark, so quoting is all a name needs, spaces and all.
std::string plotCommandLine(const std::string& plotPathUtf8, const RecordingSettings& recording) {
    std::string command = "\"" + plotPathUtf8 + "\"";
    if (recording.binaryEnabled != 0 && !recording.binaryFileName.empty())
        command += " \"" + cp1250ToUtf8(recording.binaryFileName) + "\"";
    return command;
}
