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
// The top-level window of ours that `window` belongs to, or null.
HWND OwnTopLevel(HWND window) {
  while (window != nullptr && (::GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD) != 0) {
    window = ::GetParent(window);
  }
  return Window::FromHandle(window) != nullptr ? window : nullptr;
}

bool TakenAsDialogChar(const MSG& msg) {
  if (msg.message != WM_SYSCHAR && msg.message != WM_CHAR) return false;
  if (msg.message == WM_CHAR) {
    const LRESULT code =
        ::SendMessageW(msg.hwnd, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&msg));
    if (code & (DLGC_WANTCHARS | DLGC_WANTALLKEYS | DLGC_HASSETSEL)) return false;
  }
  HWND form = OwnTopLevel(msg.hwnd);
  return form != nullptr && ::SendMessageW(form, CM_DIALOGCHAR, msg.wParam, 0) != 0;
}

// The dialog keys of a form, as in any dialog: Tab and the arrows move the
// focus, Enter and Space press the focused button.
bool TakenAsDialogKey(MSG& msg) {
  if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST) return false;
  HWND form = OwnTopLevel(msg.hwnd);
  return form != nullptr && ::IsDialogMessageW(form, &msg) != FALSE;
}

void Dispatch(MSG& msg) {
  if (TakenAsDialogChar(msg)) return;
  if (TakenAsDialogKey(msg)) return;
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
