#include "ui/form.h"

#include "ui/application.h"
#include "ui/buffered_paint.h"
#include "ui/controls.h"

namespace velmora::ui {

HFONT CreatePixelFont(const FontSpec& font) {
  return ::CreateFontW(-font.pixel_height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, font.face.c_str());
}

void Form::CreateForm(const FormSettings& settings) {
  background_colour_index_ = settings.background_colour_index;
  RegisterClassOnce(settings.class_name.c_str(), 0,
                    ::GetSysColorBrush(settings.background_colour_index));
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  const DWORD ex_style = settings.tool_window ? WS_EX_TOOLWINDOW | WS_EX_APPWINDOW : 0;
  RECT bounds = {0, 0, settings.client_width, settings.client_height};
  ::AdjustWindowRectEx(&bounds, style, FALSE, ex_style);
  OffsetRect(&bounds, -bounds.left, -bounds.top);
  Create(ex_style, settings.class_name.c_str(), settings.caption, style, bounds, nullptr, nullptr);
  font_.reset(CreatePixelFont(settings.font));
  CenterOnScreen();
}

void Form::CenterOnScreen() {
  RECT r;
  ::GetWindowRect(handle(), &r);
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  const int x = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int y = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  ::SetWindowPos(handle(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT Form::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // painted with the buffer in WM_PAINT
    case WM_PAINT:
      PaintBuffered(handle(), [this](HDC dc, const RECT& client) {
        ::FillRect(dc, &client, ::GetSysColorBrush(background_colour_index_));
      });
      return 0;
    case WM_SETCURSOR:
      if (ApplyApplicationCursor()) return TRUE;
      break;
    case WM_COMMAND:
      if (HIWORD(wparam) == BN_CLICKED && lparam != 0) {
        if (Button* button = Button::FromHandle(reinterpret_cast<HWND>(lparam))) button->Click();
        return 0;
      }
      break;
    default:
      break;
  }
  return Window::HandleMessage(message, wparam, lparam);
}

}  // namespace velmora::ui
