#include "ui/application.h"

#include "ui/control_types.h"
#include "ui/window.h"

namespace velmora::ui {

namespace {

HCURSOR g_application_cursor = nullptr;

// Typed characters that the focused window does not take itself go to its
// form as CM_DIALOGCHAR first, so that windowless controls can answer their
// accelerator keys (Alt+key always, a plain key when the focus is on a
// control that ignores characters, such as a push button).
bool TakenAsDialogChar(const MSG& msg) {
  if (msg.message != WM_SYSCHAR && msg.message != WM_CHAR) return false;
  if (msg.message == WM_CHAR) {
    const LRESULT code =
        ::SendMessageW(msg.hwnd, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&msg));
    if (code & (DLGC_WANTCHARS | DLGC_WANTALLKEYS | DLGC_HASSETSEL)) return false;
  }
  HWND form = msg.hwnd;
  while (form != nullptr && (::GetWindowLongPtrW(form, GWL_STYLE) & WS_CHILD) != 0) {
    form = ::GetParent(form);
  }
  if (Window::FromHandle(form) == nullptr) return false;
  return ::SendMessageW(form, CM_DIALOGCHAR, msg.wParam, 0) != 0;
}

void Dispatch(const MSG& msg) {
  if (TakenAsDialogChar(msg)) return;
  ::TranslateMessage(&msg);
  ::DispatchMessageW(&msg);
}

}  // namespace

HINSTANCE Instance() {
  return ::GetModuleHandleW(nullptr);
}

int RunMessageLoop() {
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) Dispatch(msg);
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
    Dispatch(msg);
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
