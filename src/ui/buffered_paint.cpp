#include "ui/buffered_paint.h"

#include "common/dynamic_function.h"
#include "common/handles.h"
#include "common/system_library.h"

namespace velmora::ui {

namespace {

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

// The buffered paint functions of uxtheme.dll (Windows Vista and later), with
// their types as documented; the Windows 2000 headers do not declare them.
struct BufferedPaintFunctions {
  using PaintBuffer = HANDLE;
  enum BufferFormat { kCompatibleBitmap, kDib, kTopDownDib, kTopDownMonoDib };
  struct PaintParams {
    DWORD cbSize;
    DWORD dwFlags;
    const RECT* prcExclude;
    const void* pBlendFunction;
  };
  using Begin = PaintBuffer(WINAPI*)(HDC, const RECT*, BufferFormat, PaintParams*, HDC*);
  using SetAlpha = HRESULT(WINAPI*)(PaintBuffer, const RECT*, BYTE);
  using End = HRESULT(WINAPI*)(PaintBuffer, BOOL);
  using GetBits = HRESULT(WINAPI*)(PaintBuffer, RGBQUAD**, int*);

  BufferedPaintFunctions() : library(LoadSystemLibrary(L"uxtheme.dll")) {
    begin = LookUpFunction<Begin>(library.get(), "BeginBufferedPaint");
    set_alpha = LookUpFunction<SetAlpha>(library.get(), "BufferedPaintSetAlpha");
    end = LookUpFunction<End>(library.get(), "EndBufferedPaint");
    get_bits = LookUpFunction<GetBits>(library.get(), "GetBufferedPaintBits");
  }
  bool available() const { return begin != nullptr && set_alpha != nullptr && end != nullptr; }

  UniqueLibrary library;
  Begin begin = nullptr;
  SetAlpha set_alpha = nullptr;
  End end = nullptr;
  GetBits get_bits = nullptr;
};

// Makes every pixel of the buffer opaque by hand, for systems whose
// BufferedPaintSetAlpha is missing its implementation.
void SetOpaqueByHand(const BufferedPaintFunctions& paint,
                     BufferedPaintFunctions::PaintBuffer buffer, const RECT& rect) {
  RGBQUAD* bits = nullptr;
  int row = 0;
  if (paint.get_bits == nullptr || FAILED(paint.get_bits(buffer, &bits, &row)) || bits == nullptr) {
    return;
  }
  for (int y = 0; y < rect.bottom - rect.top; ++y) {
    for (int x = 0; x < rect.right - rect.left; ++x) bits[y * row + x].rgbReserved = 255;
  }
}

const BufferedPaintFunctions& BufferedPaint() {
  static const BufferedPaintFunctions functions;
  return functions;
}

}  // namespace

void FillRectOnGlass(HDC dc, const RECT& rect, HBRUSH brush) {
  const BufferedPaintFunctions& paint = BufferedPaint();
  if (paint.available()) {
    BufferedPaintFunctions::PaintParams params = {};
    params.cbSize = sizeof(params);
    HDC buffer_dc = nullptr;
    if (auto buffer =
            paint.begin(dc, &rect, BufferedPaintFunctions::kTopDownDib, &params, &buffer_dc)) {
      ::FillRect(buffer_dc, &rect, brush);
      if (FAILED(paint.set_alpha(buffer, nullptr, 255))) SetOpaqueByHand(paint, buffer, rect);
      paint.end(buffer, TRUE);
      return;
    }
  }
  ::FillRect(dc, &rect, brush);
}

void PaintBuffered(HWND window, const std::function<void(HDC dc, const RECT& client)>& draw) {
  PaintCycle paint(window);
  RECT client;
  ::GetClientRect(window, &client);
  UniqueMemoryDc buffer(::CreateCompatibleDC(paint.dc()));
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
