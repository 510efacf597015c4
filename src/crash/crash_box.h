// The box that tells the user the program has stopped and where the crash
// report is. It has one button, "Close".
#pragma once

#include <windows.h>

namespace velmora::crash {

inline constexpr wchar_t kCloseButtonText[] = L"Close";

// Shows the box on the calling thread, owned by no window (the program's
// window may belong to the thread that faulted), and returns when the user
// has closed it. `shown`, an event, is set once the box is on the screen.
void ShowCrashBox(const wchar_t* caption, const wchar_t* text, HANDLE shown);

}  // namespace velmora::crash
