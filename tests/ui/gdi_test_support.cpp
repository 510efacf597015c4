#include "ui/gdi_test_support.h"

#include <algorithm>

#include "ui/application.h"

namespace velmora::test {

Surface::Surface(int width, int height, COLORREF fill)
    : width_(width), height_(height), dc_(::CreateCompatibleDC(nullptr)) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  bitmap_.reset(::CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  bits_ = static_cast<uint32_t*>(bits);
  previous_ = ::SelectObject(dc_.get(), bitmap_.get());
  Fill(fill);
}

void Surface::Fill(COLORREF colour) {
  ::GdiFlush();
  const uint32_t value = (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
  for (int i = 0; i < width_ * height_; ++i) bits_[i] = value;
}

COLORREF Surface::Pixel(int x, int y) const {
  ::GdiFlush();
  const uint32_t raw = Raw(x, y);
  return RGB((raw >> 16) & 0xFF, (raw >> 8) & 0xFF, raw & 0xFF);
}

BYTE Surface::Alpha(int x, int y) const {
  ::GdiFlush();
  return static_cast<BYTE>(Raw(x, y) >> 24);
}

int Surface::Count(const RECT& area, COLORREF colour) const {
  int count = 0;
  for (int y = std::max(0, int(area.top)); y < std::min(height_, int(area.bottom)); ++y) {
    for (int x = std::max(0, int(area.left)); x < std::min(width_, int(area.right)); ++x) {
      if (Pixel(x, y) == colour) ++count;
    }
  }
  return count;
}

int Surface::CountOther(const RECT& area, COLORREF background) const {
  const int all = (std::min(height_, int(area.bottom)) - std::max(0, int(area.top))) *
                  (std::min(width_, int(area.right)) - std::max(0, int(area.left)));
  return all - Count(area, background);
}

RECT Surface::InkBounds(COLORREF background) const {
  RECT ink = {width_, height_, 0, 0};
  for (int y = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x) {
      if (Pixel(x, y) == background) continue;
      ink.left = std::min(ink.left, LONG(x));
      ink.top = std::min(ink.top, LONG(y));
      ink.right = std::max(ink.right, LONG(x + 1));
      ink.bottom = std::max(ink.bottom, LONG(y + 1));
    }
  }
  if (ink.right == 0) return {};
  return ink;
}

TestForm::TestForm(int client_width, int client_height, int left, int top) {
  CreateForm({L"VelmoraTestForm",
              L"Velmora test form",
              client_width,
              client_height,
              COLOR_BTNFACE,
              {L"Tahoma", 11},
              true});
  RECT frame = {0, 0, client_width, client_height};
  ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongPtrW(handle(), GWL_STYLE)), FALSE,
                       static_cast<DWORD>(::GetWindowLongPtrW(handle(), GWL_EXSTYLE)));
  ::SetWindowPos(handle(), HWND_TOPMOST, left + frame.left, top + frame.top, 0, 0,
                 SWP_NOSIZE | SWP_NOACTIVATE);
}

void TestForm::ShowAndPaint() {
  ::ShowWindow(handle(), SW_SHOW);
  ::SetForegroundWindow(handle());
  ::UpdateWindow(handle());
  PumpFor(100);
}

POINT TestForm::ClientToScreenPoint(POINT client) const {
  ::ClientToScreen(handle(), &client);
  return client;
}

void PumpFor(int milliseconds) {
  const DWORD start = ::GetTickCount();
  do {
    ui::ProcessMessages();
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  } while (static_cast<int>(::GetTickCount() - start) < milliseconds);
  ui::ProcessMessages();
}

bool PumpUntil(const std::function<bool()>& done, int timeout_ms) {
  const DWORD start = ::GetTickCount();
  while (!done()) {
    if (static_cast<int>(::GetTickCount() - start) > timeout_ms) return false;
    ui::ProcessMessages();
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

void MoveMouseTo(HWND window, POINT client) {
  ::ClientToScreen(window, &client);
  ::SetCursorPos(client.x, client.y);
  PumpFor(150);
}

}  // namespace velmora::test
