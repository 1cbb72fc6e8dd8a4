// TEMPORARY placeholder so the program links while the dialog is written; replaced whole by its owner.
#include "res/resource.h"
#include "serial/port_dialog.h"
CPortDialog::CPortDialog() : CDialogBase(IDD_PORTS) {}
void CPortDialog::addEntry(const std::string& entry) { portEntries_.push_back(entry); }
INT_PTR CPortDialog::handleMessage(UINT, WPARAM, LPARAM) { return FALSE; }
