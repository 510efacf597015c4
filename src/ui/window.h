// A window object bound to its HWND: the class routes messages to the
// object's HandleMessage until the window is destroyed.
#pragma once

#include <windows.h>

#include <string>

#include "ui/component.h"

namespace velmora::ui {

class Window : public Component {
 public:
  Window() = default;
  ~Window() override;

  HWND handle() const { return handle_; }
  void Show(bool visible);
  bool IsVisible() const;
  void SetEnabled(bool enabled);
  bool IsEnabled() const;
  // The object of a window made by this class (null for any other window).
  static Window* FromHandle(HWND handle);

 protected:
  // Registers the class once per process (later calls do nothing).
  static void RegisterClassOnce(const wchar_t* class_name, UINT style, HBRUSH background);
  void Create(DWORD ex_style, const wchar_t* class_name, const std::wstring& caption, DWORD style,
              RECT bounds, HWND parent, HMENU id);
  virtual LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  HWND handle_ = nullptr;
};

}  // namespace velmora::ui
