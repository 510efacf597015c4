#include "ui/window.h"

#include "common/errors.h"
#include "ui/application.h"

namespace velmora::ui {

Window::~Window() {
  if (handle_ != nullptr) {
    ::SetWindowLongPtrW(handle_, GWLP_USERDATA, 0);
    ::DestroyWindow(handle_);
  }
}

void Window::Show(bool visible) {
  ::ShowWindow(handle_, visible ? SW_SHOW : SW_HIDE);
}
bool Window::IsVisible() const {
  return ::IsWindowVisible(handle_) != FALSE;
}
void Window::SetEnabled(bool enabled) {
  ::EnableWindow(handle_, enabled);
}
bool Window::IsEnabled() const {
  return ::IsWindowEnabled(handle_) != FALSE;
}

Window* Window::FromHandle(HWND handle) {
  // Only windows of classes registered here carry the object in their user data.
  if (handle == nullptr ||
      ::GetWindowLongPtrW(handle, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(&WindowProc)) {
    return nullptr;
  }
  return reinterpret_cast<Window*>(::GetWindowLongPtrW(handle, GWLP_USERDATA));
}

void Window::RegisterClassOnce(const wchar_t* class_name, UINT style, HBRUSH background) {
  WNDCLASSEXW existing = {};
  existing.cbSize = sizeof(existing);
  if (::GetClassInfoExW(Instance(), class_name, &existing)) return;
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.style = style;
  wc.lpfnWndProc = &Window::WindowProc;
  wc.hInstance = Instance();
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = background;
  wc.lpszClassName = class_name;
  if (!::RegisterClassExW(&wc)) ThrowLastError("cannot register window class");
}

void Window::Create(DWORD ex_style, const wchar_t* class_name, const std::wstring& caption,
                    DWORD style, RECT bounds, HWND parent, HMENU id) {
  handle_ = ::CreateWindowExW(ex_style, class_name, caption.c_str(), style, bounds.left, bounds.top,
                              bounds.right - bounds.left, bounds.bottom - bounds.top, parent, id,
                              Instance(), this);
  if (handle_ == nullptr) ThrowLastError("cannot create window");
}

LRESULT Window::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  return ::DefWindowProcW(handle_, message, wparam, lparam);
}

LRESULT CALLBACK Window::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    auto* self = static_cast<Window*>(create->lpCreateParams);
    self->handle_ = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Window*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return ::DefWindowProcW(hwnd, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    const LRESULT result = self->HandleMessage(message, wparam, lparam);
    self->handle_ = nullptr;
    return result;
  }
  return self->HandleMessage(message, wparam, lparam);
}

}  // namespace velmora::ui
