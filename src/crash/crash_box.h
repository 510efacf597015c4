// The box that tells the user the program has stopped and where the crash
// report is. It has one button, "Close".
#pragma once

namespace velmora::crash {

inline constexpr wchar_t kCloseButtonText[] = L"Close";

// Shows the box on the calling thread, owned by no window (the program's
// window may belong to the thread that faulted), and returns when the user
// has closed it.
void ShowCrashBox(const wchar_t* caption, const wchar_t* text);

}  // namespace velmora::crash
