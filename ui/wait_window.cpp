// TEMPORARY placeholder so the program links while the window is written; replaced whole by its owner.
#include "res/resource.h"
#include "ui/wait_window.h"
CWaitWindow::CWaitWindow() : CDialogBase(IDD_WAIT) {}
CWaitWindow::~CWaitWindow() = default;
INT_PTR CWaitWindow::handleMessage(UINT, WPARAM, LPARAM) { return FALSE; }
