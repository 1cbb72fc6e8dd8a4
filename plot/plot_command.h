#pragma once

#include <string>
#include <vector>

// What Plot.exe was asked to do on its command line.
struct PlotCommand {
    enum Action { Window, Csv, Png, Usage } action = Window;
    std::string output;
    int width = 1200;
    int height = 700;
    int separator = 2; // Semicolon
    std::vector<std::string> files;
    std::string error; // set with Usage
};

// Arguments after the program name (UTF-8):
//   FILE.hxg ...                                      open the files in the window
//   --csv OUT.csv [--tab] FILE.hxg ...                write all records as a table and exit
//   --png OUT.png [--size WxH] FILE.hxg ...           draw the whole range into a picture and exit
PlotCommand parsePlotCommand(const std::vector<std::string>& args);

// The recent-files list with `path` put first (once, compared without regard to ASCII case), at most `keep` long.
std::vector<std::string> rememberFile(std::vector<std::string> recent, const std::string& path, std::size_t keep);
