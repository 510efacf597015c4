#include "ui/application.h"

namespace velmora::ui {

namespace {
HCURSOR g_application_cursor = nullptr;
}

HINSTANCE Instance() { return ::GetModuleHandleW(nullptr); }

int RunMessageLoop() {
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

void ProcessMessages() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Leave the quit request for the main loop.
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

void SetApplicationCursor(HCURSOR cursor) {
  g_application_cursor = cursor;
  ::SetCursor(cursor);
}

void ResetApplicationCursor() {
  g_application_cursor = nullptr;
  ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
}

bool ApplyApplicationCursor() {
  if (g_application_cursor == nullptr) return false;
  ::SetCursor(g_application_cursor);
  return true;
}

}  // namespace velmora::ui
