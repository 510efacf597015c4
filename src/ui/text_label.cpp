#include "ui/text_label.h"

#include "common/handles.h"
#include "ui/buffered_paint.h"

namespace velmora::ui {

void TextLabel::Create(const std::wstring& text, const ControlPlacement& placement) {
  static constexpr wchar_t kClassName[] = L"VelmoraTextLabel";
  text_ = text;
  font_ = placement.font;
  RegisterClassOnce(kClassName, CS_HREDRAW | CS_VREDRAW, nullptr);
  const RECT bounds = {placement.left, placement.top, placement.left + placement.width,
                       placement.top + placement.height};
  Window::Create(0, kClassName, text, WS_CHILD | WS_VISIBLE, bounds, placement.parent, nullptr);
}

void TextLabel::Paint() {
  PaintBuffered(handle(), [this](HDC dc, const RECT& client) {
    SelectedObject selected_font(dc, font_);
    ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_BTNFACE));
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
    RECT text_rect = client;
    ::DrawTextW(dc, text_.c_str(), static_cast<int>(text_.size()), &text_rect,
                DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
  });
}

LRESULT TextLabel::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      Paint();
      return 0;
    default:
      return Window::HandleMessage(message, wparam, lparam);
  }
}

}  // namespace velmora::ui
