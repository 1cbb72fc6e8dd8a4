// TEMPORARY placeholder so the program links while the driver is written; replaced whole by its owner.
#include "serial/com_port.h"
CComPort::CComPort() = default;
CComPort::~CComPort() = default;
int CComPort::open(HWND, int, int, char, int, int, DWORD) { return 0; }
int CComPort::startReader() { return 0; }
