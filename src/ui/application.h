// Process-wide window plumbing: the message loop, pending-message processing
// and the application-wide mouse cursor.
#pragma once

#include <windows.h>

namespace velmora::ui {

HINSTANCE Instance();
// Runs the thread's message loop until WM_QUIT; returns its exit code.
// Characters typed on a form are offered to its windowless controls first
// (CM_DIALOGCHAR, for accelerator keys).
int RunMessageLoop();
// Handles every message that is waiting, then returns.
void ProcessMessages();

// While an application cursor is set, every window of the program shows it.
void SetApplicationCursor(HCURSOR cursor);
void ResetApplicationCursor();
// For WM_SETCURSOR: true when the application cursor was applied.
bool ApplyApplicationCursor();

}  // namespace velmora::ui
