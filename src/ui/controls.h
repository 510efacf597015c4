// Child controls of a form built on the system's own window classes.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "ui/component.h"

namespace velmora::ui {

struct ControlPlacement {
  HWND parent;
  int left, top, width, height;
  int tab_order;  // controls are created in tab order
  HFONT font;
  int id = 0;  // the control's identifier in its parent (IDOK: pressed by Enter)
};

class SystemControl : public Component {
 public:
  SystemControl() = default;
  HWND handle() const { return handle_; }
  void Show(bool visible) { ::ShowWindow(handle_, visible ? SW_SHOW : SW_HIDE); }
  bool IsVisible() const { return ::IsWindowVisible(handle_) != FALSE; }
  void SetEnabled(bool enabled) { ::EnableWindow(handle_, enabled); }
  bool IsEnabled() const { return ::IsWindowEnabled(handle_) != FALSE; }
  // Whether the control, and every window it sits in, is visible and enabled.
  bool CanFocus() const;
  void SetFocus() const { ::SetFocus(handle_); }

 protected:
  void CreateControl(const wchar_t* class_name, const std::wstring& caption, DWORD style,
                     const ControlPlacement& placement);

 private:
  HWND handle_ = nullptr;
};

class Button : public SystemControl {
 public:
  void Create(const std::wstring& caption, const ControlPlacement& placement,
              std::function<void()> on_click);
  void Click() const;
  static Button* FromHandle(HWND handle);

 private:
  std::function<void()> on_click_;
};

class ProgressBar : public SystemControl {
 public:
  void Create(const ControlPlacement& placement, bool smooth, bool visible);
  void SetMaximum(int maximum);
  int Maximum() const;
  void SetPosition(int position);
  int Position() const;
};

}  // namespace velmora::ui
