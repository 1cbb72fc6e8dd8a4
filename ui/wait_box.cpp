#include "ui/wait_box.h"

void CWaitBoxState::reset() {
    stopRequested_ = false;
    closing_ = false;
}

// Enter and Escape only hide the box: the caller reads the job's results when the modal run returns, and the port
// list must then be complete. Cutting the job short is what "Anuluj" is for, and it leaves the box up until the
// job has looked at the request and ended.
bool CWaitBoxState::handle(Event event) {
    if (event == Event::StopButton) {
        stopRequested_ = true;
        return false;
    }
    if (closing_)
        return false;
    closing_ = true;
    return true;
}
