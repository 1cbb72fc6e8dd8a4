#pragma once

#include <windows.h>

#include <string>

// The grapher's status bar: the files and records (with following), the readout under the pointer, and in its
// last part the loading's progress bar, shown while files are read.
class CPlotStatusBar {
public:
    void create(HWND parent);
    bool created() const { return bar_ != nullptr; }
    // After the parent's WM_SIZE: the parts share its width.
    void layout(int width);
    int height() const;
    // `part` 0 the files, 1 the readout (UTF-8).
    void setText(int part, const std::string& text);
    void showLoading();
    void setProgress(int permille);
    void hideProgress();

private:
    HWND bar_ = nullptr;
    HWND progress_ = nullptr;
};
