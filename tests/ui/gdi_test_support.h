// Helpers for tests that draw with real GDI and drive real windows under Wine:
// a memory surface whose pixels can be read back, a form that tests can
// create, and waiting for messages.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "common/handles.h"
#include "ui/form.h"

namespace velmora::test {

// A memory device context with a 32-bit top-down bitmap of its own.
class Surface {
 public:
  Surface(int width, int height, COLORREF fill = RGB(255, 255, 255));
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;

  HDC dc() const { return dc_.get(); }
  int width() const { return width_; }
  int height() const { return height_; }
  void Fill(COLORREF colour);
  COLORREF Pixel(int x, int y) const;
  BYTE Alpha(int x, int y) const;
  // How many pixels of `area` (clipped to the surface) have exactly `colour`.
  int Count(const RECT& area, COLORREF colour) const;
  // How many pixels of `area` differ from `background`.
  int CountOther(const RECT& area, COLORREF background) const;
  // The smallest rectangle holding every pixel that differs from `background`
  // (empty when there is none).
  RECT InkBounds(COLORREF background) const;

 private:
  uint32_t Raw(int x, int y) const { return bits_[y * width_ + x]; }
  int width_;
  int height_;
  UniqueMemoryDc dc_;
  UniqueGdiObject bitmap_;
  uint32_t* bits_ = nullptr;
  HGDIOBJ previous_ = nullptr;
};

// A form for tests: tool-window style like the program's, at a fixed place
// on the screen (top-left of the client area at `left`, `top`).
class TestForm : public ui::Form {
 public:
  TestForm(int client_width, int client_height, int left = 100, int top = 100);
  // Shows the form and lets it paint.
  void ShowAndPaint();
  POINT ClientToScreenPoint(POINT client) const;
};

// Handles waiting messages for `milliseconds`.
void PumpFor(int milliseconds);
// Handles messages until `done` is true or `timeout_ms` has passed; true when done.
bool PumpUntil(const std::function<bool()>& done, int timeout_ms = 3000);
// Moves the real mouse pointer to `client` of `window` and lets the messages
// that it causes arrive.
void MoveMouseTo(HWND window, POINT client);

}  // namespace velmora::test
