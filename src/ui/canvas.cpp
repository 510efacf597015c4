#include "ui/canvas.h"

#include <algorithm>
#include <string>
#include <vector>

namespace velmora::ui {

void Brush::SetColor(TColor color) {
  if (color == color_ && style_ == bsSolid) return;
  color_ = color;
  style_ = bsSolid;
  Changed();
}

void Brush::SetStyle(TBrushStyle style) {
  if (style == style_) return;
  style_ = style;
  Changed();
}

void Pen::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  Changed();
}

void Pen::SetWidth(int width) {
  if (width == width_) return;
  width_ = width;
  Changed();
}

Canvas::Canvas() {
  // A changed object is taken out of the context at once: the old GDI object
  // may be deleted right after this notification.
  font_.OnChange = [this](ui::Font&) {
    if (dc_ != nullptr && original_font_ != nullptr) {
      ::SelectObject(dc_, original_font_);
      original_font_ = nullptr;
    }
  };
  brush_.OnChange = [this] {
    if (dc_ != nullptr && original_brush_ != nullptr) {
      ::SelectObject(dc_, original_brush_);
      original_brush_ = nullptr;
    }
    brush_handle_.reset();
  };
  pen_.OnChange = [this] {
    if (dc_ != nullptr && original_pen_ != nullptr) {
      ::SelectObject(dc_, original_pen_);
      original_pen_ = nullptr;
    }
    pen_handle_.reset();
  };
}

Canvas::Canvas(HDC dc) : Canvas() {
  dc_ = dc;
}

Canvas::~Canvas() {
  DeselectAll();
}

void Canvas::SetHandle(HDC dc) {
  if (dc == dc_) return;
  DeselectAll();
  dc_ = dc;
}

void Canvas::DeselectAll() {
  if (dc_ == nullptr) return;
  if (original_font_ != nullptr) ::SelectObject(dc_, original_font_);
  if (original_brush_ != nullptr) ::SelectObject(dc_, original_brush_);
  if (original_pen_ != nullptr) ::SelectObject(dc_, original_pen_);
  original_font_ = original_brush_ = original_pen_ = nullptr;
}

void Canvas::RequireFont() {
  if (original_font_ == nullptr) original_font_ = ::SelectObject(dc_, font_.Handle());
  ::SetTextColor(dc_, ColorToRGB(font_.Color()));
}

void Canvas::RequireBrush() {
  if (!brush_handle_) {
    brush_handle_.reset(brush_.Style() == bsClear ? ::GetStockObject(NULL_BRUSH)
                                                  : ::CreateSolidBrush(ColorToRGB(brush_.Color())));
  }
  if (original_brush_ == nullptr) original_brush_ = ::SelectObject(dc_, brush_handle_.get());
  if (brush_.Style() == bsClear) {
    ::SetBkMode(dc_, TRANSPARENT);
  } else {
    ::SetBkColor(dc_, ColorToRGB(brush_.Color()));
    ::SetBkMode(dc_, OPAQUE);
  }
}

void Canvas::RequirePen() {
  if (!pen_handle_) {
    pen_handle_.reset(::CreatePen(PS_SOLID, pen_.Width(), ColorToRGB(pen_.Color())));
  }
  if (original_pen_ == nullptr) original_pen_ = ::SelectObject(dc_, pen_handle_.get());
}

SIZE Canvas::TextExtent(std::wstring_view text) {
  SIZE size = {};
  if (dc_ == nullptr) return size;
  RequireFont();
  ::GetTextExtentPoint32W(dc_, text.data(), static_cast<int>(text.size()), &size);
  return size;
}

bool Canvas::TextMetrics(TEXTMETRICW& metrics) {
  if (dc_ == nullptr) return false;
  RequireFont();
  return ::GetTextMetricsW(dc_, &metrics) != FALSE;
}

size_t Canvas::TextFit(std::wstring_view text, int max_width) {
  if (dc_ == nullptr || text.empty()) return 0;
  RequireFont();
  INT fit = 0;
  SIZE size = {};
  if (!::GetTextExtentExPointW(dc_, text.data(), static_cast<int>(text.size()),
                               std::max(0, max_width), &fit, nullptr, &size)) {
    return 0;
  }
  return static_cast<size_t>(std::max(0, fit));
}

int Canvas::DrawText(std::wstring_view text, RECT& rect, UINT flags) {
  if (dc_ == nullptr) return 0;
  RequireFont();
  RequireBrush();
  return ::DrawTextW(dc_, text.data(), static_cast<int>(text.size()), &rect, flags);
}

int Canvas::DrawTextEx(std::wstring_view text, RECT& rect, UINT flags, DRAWTEXTPARAMS* params) {
  if (dc_ == nullptr) return 0;
  RequireFont();
  RequireBrush();
  // DrawTextExW may write into the text (DT_MODIFYSTRING): give it a copy.
  std::wstring buffer(text);
  buffer.append(4, L'\0');
  return ::DrawTextExW(dc_, buffer.data(), static_cast<int>(text.size()), &rect, flags, params);
}

int Canvas::TextOutMeasured(int x, int y, std::wstring_view text) {
  if (dc_ == nullptr || text.empty()) return 0;
  RequireFont();
  RequireBrush();
  const int length = static_cast<int>(text.size());
  std::vector<INT> advances(text.size());
  SIZE size = {};
  if (!::GetTextExtentExPointW(dc_, text.data(), length, 0, nullptr, advances.data(), &size)) {
    ::TextOutW(dc_, x, y, text.data(), length);
    return TextWidth(text);
  }
  // Partial extents to the advance of each character.
  for (int i = length - 1; i > 0; --i) advances[i] -= advances[i - 1];
  const UINT align = ::SetTextAlign(dc_, TA_LEFT | TA_TOP | TA_NOUPDATECP);
  ::ExtTextOutW(dc_, x, y, 0, nullptr, text.data(), static_cast<UINT>(length), advances.data());
  if (align != GDI_ERROR) ::SetTextAlign(dc_, align);
  return size.cx;
}

void Canvas::FillRect(const RECT& rect) {
  if (dc_ == nullptr) return;
  RequireBrush();
  ::FillRect(dc_, &rect, static_cast<HBRUSH>(brush_handle_.get()));
}

void Canvas::MoveTo(int x, int y) {
  if (dc_ != nullptr) ::MoveToEx(dc_, x, y, nullptr);
}

void Canvas::LineTo(int x, int y) {
  if (dc_ == nullptr) return;
  RequirePen();
  ::LineTo(dc_, x, y);
}

void Canvas::Rectangle(const RECT& rect) {
  if (dc_ == nullptr) return;
  RequirePen();
  RequireBrush();
  ::Rectangle(dc_, rect.left, rect.top, rect.right, rect.bottom);
}

void Canvas::Ellipse(const RECT& rect) {
  if (dc_ == nullptr) return;
  RequirePen();
  RequireBrush();
  ::Ellipse(dc_, rect.left, rect.top, rect.right, rect.bottom);
}

void Canvas::GradientFill(const RECT& rect, TColor from, TColor to, GradientDirection direction) {
  if (dc_ == nullptr) return;
  const bool horizontal = direction == GradientDirection::kHorizontal;
  const int steps = horizontal ? rect.right - rect.left : rect.bottom - rect.top;
  if (steps <= 0) return;
  const COLORREF a = ColorToRGB(from);
  const COLORREF b = ColorToRGB(to);
  auto mix = [steps](int x, int y, int i) { return x + (y - x) * i / std::max(1, steps - 1); };
  // One band of one pixel per step: drawn with plain GDI fills so that it works
  // on every Windows version without the image library.
  for (int i = 0; i < steps; ++i) {
    const COLORREF colour =
        RGB(mix(GetRValue(a), GetRValue(b), i), mix(GetGValue(a), GetGValue(b), i),
            mix(GetBValue(a), GetBValue(b), i));
    UniqueGdiObject band_brush(::CreateSolidBrush(colour));
    const RECT band = horizontal ? RECT{rect.left + i, rect.top, rect.left + i + 1, rect.bottom}
                                 : RECT{rect.left, rect.top + i, rect.right, rect.top + i + 1};
    ::FillRect(dc_, &band, static_cast<HBRUSH>(band_brush.get()));
  }
}

}  // namespace velmora::ui
