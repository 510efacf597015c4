#include "ui/buffered_paint.h"

#include "common/handles.h"

namespace velmora::ui {

namespace {

struct MemoryDcTraits {
  static HDC Invalid() { return nullptr; }
  static bool IsValid(HDC dc) { return dc != nullptr; }
  static void Close(HDC dc) { ::DeleteDC(dc); }
};

// Ends the paint cycle that the constructor began.
class PaintCycle {
 public:
  explicit PaintCycle(HWND window) : window_(window), dc_(::BeginPaint(window, &ps_)) {}
  ~PaintCycle() { ::EndPaint(window_, &ps_); }
  PaintCycle(const PaintCycle&) = delete;
  PaintCycle& operator=(const PaintCycle&) = delete;
  HDC dc() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT ps_ = {};
  HDC dc_;
};

}  // namespace

void PaintBuffered(HWND window, const std::function<void(HDC dc, const RECT& client)>& draw) {
  PaintCycle paint(window);
  RECT client;
  ::GetClientRect(window, &client);
  UniqueResource<HDC, MemoryDcTraits> buffer(::CreateCompatibleDC(paint.dc()));
  UniqueGdiObject bitmap(::CreateCompatibleBitmap(paint.dc(), client.right, client.bottom));
  if (!buffer || !bitmap) {
    draw(paint.dc(), client);
    return;
  }
  SelectedObject selected(buffer.get(), bitmap.get());
  draw(buffer.get(), client);
  ::BitBlt(paint.dc(), 0, 0, client.right, client.bottom, buffer.get(), 0, 0, SRCCOPY);
}

}  // namespace velmora::ui
