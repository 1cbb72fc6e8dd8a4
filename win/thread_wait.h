#pragma once

#include <windows.h>

// Waits until `thread` has ended while this thread keeps handling the messages sent to it from other threads and
// the queued messages of `window` (null or destroyed: none). Messages for other windows stay queued for their own
// loop. Used where a worker may be blocked on this thread (SendMessage) or may post to the window while it ends.
void waitForThreadDispatching(HANDLE thread, HWND window);
