// A window object bound to its HWND: the class routes messages to the
// object's HandleMessage until the window is destroyed.
#pragma once

#include <windows.h>

#include <string>

namespace velmora::ui {

class Window {
 public:
  Window() = default;
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  HWND handle() const { return handle_; }
  void Show(bool visible);
  bool IsVisible() const;
  void SetEnabled(bool enabled);
  bool IsEnabled() const;

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
