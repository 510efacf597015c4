// A drawing surface over a device context that it does not own: a font, a
// brush and a pen of its own, selected into the context only when a drawing
// call needs them and taken out again when the context is let go, so that the
// context is handed back as it came.
//
// The brush decides how text is drawn: a clear brush draws text without a
// background (transparent mode); a solid brush fills behind it in its colour.
// Text is drawn in the font's colour.
#pragma once

#include <windows.h>

#include <functional>
#include <string_view>

#include "common/handles.h"
#include "ui/color.h"
#include "ui/font.h"

namespace velmora::ui {

enum TBrushStyle { bsSolid, bsClear };

class Brush {
 public:
  TColor Color() const { return color_; }
  TBrushStyle Style() const { return style_; }
  // Setting a colour makes a clear brush solid again.
  void SetColor(TColor color);
  void SetStyle(TBrushStyle style);
  std::function<void()> OnChange;

 private:
  void Changed() {
    if (OnChange) OnChange();
  }
  TColor color_ = clWhite;
  TBrushStyle style_ = bsSolid;
};

class Pen {
 public:
  TColor Color() const { return color_; }
  int Width() const { return width_; }
  void SetColor(TColor color);
  void SetWidth(int width);
  std::function<void()> OnChange;

 private:
  void Changed() {
    if (OnChange) OnChange();
  }
  TColor color_ = clBlack;
  int width_ = 1;
};

enum class GradientDirection { kHorizontal, kVertical };

class Canvas {
 public:
  Canvas();
  explicit Canvas(HDC dc);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC Handle() const { return dc_; }
  // Lets go of the current context (restoring it) and takes `dc` (may be null).
  void SetHandle(HDC dc);

  ui::Font& Font() { return font_; }
  ui::Brush& Brush() { return brush_; }
  ui::Pen& Pen() { return pen_; }

  // Size of one line of `text` in the canvas font.
  SIZE TextExtent(std::wstring_view text);
  int TextHeight(std::wstring_view text) { return TextExtent(text).cy; }
  int TextWidth(std::wstring_view text) { return TextExtent(text).cx; }
  bool TextMetrics(TEXTMETRICW& metrics);
  // How many characters from the start of `text` fit into `max_width` pixels
  // on one line.
  size_t TextFit(std::wstring_view text, int max_width);

  // DrawTextW: returns the height of the text; with DT_CALCRECT it only
  // measures and widens or narrows `rect`.
  int DrawText(std::wstring_view text, RECT& rect, UINT flags);
  // DrawTextExW, for callers that need DRAWTEXTPARAMS (uiLengthDrawn).
  int DrawTextEx(std::wstring_view text, RECT& rect, UINT flags, DRAWTEXTPARAMS* params);
  // One line of `text` with its top-left corner at (x, y), every character
  // placed at the advance that TextExtent measures for it, so that the text
  // ends, underline included, where it was measured to end. (Wine draws the
  // glyphs of small fonts narrower than it measures them.) No prefix, tab or
  // ellipsis processing. Returns the width drawn.
  int TextOutMeasured(int x, int y, std::wstring_view text);

  void FillRect(const RECT& rect);
  void MoveTo(int x, int y);
  void LineTo(int x, int y);
  void Rectangle(const RECT& rect);
  void Ellipse(const RECT& rect);
  // Fills `rect` with colours running from `from` to `to`.
  void GradientFill(const RECT& rect, TColor from, TColor to, GradientDirection direction);

 private:
  void RequireFont();
  void RequireBrush();
  void RequirePen();
  void DeselectAll();

  HDC dc_ = nullptr;
  ui::Font font_;
  ui::Brush brush_;
  ui::Pen pen_;
  UniqueGdiObject brush_handle_;
  UniqueGdiObject pen_handle_;
  // What the context held before the canvas selected its own objects.
  HGDIOBJ original_font_ = nullptr;
  HGDIOBJ original_brush_ = nullptr;
  HGDIOBJ original_pen_ = nullptr;
};

}  // namespace velmora::ui
