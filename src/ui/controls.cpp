#include "ui/controls.h"

#include <commctrl.h>

#include "common/errors.h"
#include "ui/application.h"

namespace velmora::ui {

void SystemControl::CreateControl(const wchar_t* class_name, const std::wstring& caption,
                                  DWORD style, const ControlPlacement& placement) {
  handle_ = ::CreateWindowExW(0, class_name, caption.c_str(), WS_CHILD | style, placement.left,
                              placement.top, placement.width, placement.height, placement.parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(placement.id)),
                              Instance(), nullptr);
  if (handle_ == nullptr) ThrowLastError("cannot create control");
  ::SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(placement.font), FALSE);
}

bool SystemControl::CanFocus() const {
  if (handle_ == nullptr || !::IsWindowVisible(handle_)) return false;
  for (HWND window = handle_; window != nullptr; window = ::GetParent(window)) {
    if (!::IsWindowEnabled(window)) return false;
  }
  return true;
}

void Button::Create(const std::wstring& caption, const ControlPlacement& placement,
                    std::function<void()> on_click) {
  on_click_ = std::move(on_click);
  CreateControl(L"BUTTON", caption, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, placement);
  // The system button class leaves its user data free: it leads back here.
  ::SetWindowLongPtrW(handle(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void Button::Click() const {
  if (on_click_) on_click_();
}

Button* Button::FromHandle(HWND handle) {
  return reinterpret_cast<Button*>(::GetWindowLongPtrW(handle, GWLP_USERDATA));
}

void ProgressBar::Create(const ControlPlacement& placement, bool smooth, bool visible) {
  INITCOMMONCONTROLSEX init = {sizeof(init), ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&init);
  CreateControl(PROGRESS_CLASSW, L"", (smooth ? PBS_SMOOTH : 0) | (visible ? WS_VISIBLE : 0),
                placement);
  ::SendMessageW(handle(), PBM_SETRANGE32, 0, 100);
  ::SendMessageW(handle(), PBM_SETPOS, 0, 0);
}

void ProgressBar::SetMaximum(int maximum) {
  ::SendMessageW(handle(), PBM_SETRANGE32, 0, maximum);
}

int ProgressBar::Maximum() const {
  return static_cast<int>(::SendMessageW(handle(), PBM_GETRANGE, FALSE, 0));
}

void ProgressBar::SetPosition(int position) {
  ::SendMessageW(handle(), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

int ProgressBar::Position() const {
  return static_cast<int>(::SendMessageW(handle(), PBM_GETPOS, 0, 0));
}

}  // namespace velmora::ui
