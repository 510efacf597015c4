#include "crash/crash_box.h"

#include <windows.h>

#include "common/handles.h"

namespace velmora::crash {

namespace {

// Set by the thread that shows a box before the hook can run.
HANDLE volatile g_shown = nullptr;

// The message box offers "OK"; the hook names its one button for what it
// does before the box is shown, and tells that the box is up.
LRESULT CALLBACK NameCloseButton(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HCBT_ACTIVATE) {
    if (HWND button = ::GetDlgItem(reinterpret_cast<HWND>(wparam), IDOK)) {
      ::SetWindowTextW(button, kCloseButtonText);
    }
    if (HANDLE shown = g_shown) ::SetEvent(shown);
  }
  return ::CallNextHookEx(nullptr, code, wparam, lparam);
}

}  // namespace

void ShowCrashBox(const wchar_t* caption, const wchar_t* text, HANDLE shown) {
  g_shown = shown;
  const UniqueWindowsHook hook(
      ::SetWindowsHookExW(WH_CBT, &NameCloseButton, nullptr, ::GetCurrentThreadId()));
  ::MessageBoxW(nullptr, text, caption, MB_OK | MB_ICONERROR | MB_TOPMOST | MB_SETFOREGROUND);
}

}  // namespace velmora::crash
