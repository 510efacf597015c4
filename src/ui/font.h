// The framework's font object: name, height (or size in points), style,
// character set and colour, and the GDI font built from them. Every change
// raises Changed, which calls OnChange: the owner (a control, a canvas)
// repaints, measures again or drops the font from its device context.
//
// The GDI font is made on first use and shared by fonts that were copied from
// one another (Assign), the way one font resource is shared by every object
// showing it. A font built from the properties has the default quality; a
// handle given with SetHandle is kept as it is (with its quality) until the
// next property change builds a new one.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "ui/color.h"

namespace velmora::ui {

// A font style set: an OR of the fs… bits.
using TFontStyles = unsigned;
inline constexpr TFontStyles fsBold = 1;
inline constexpr TFontStyles fsItalic = 2;
inline constexpr TFontStyles fsUnderline = 4;
inline constexpr TFontStyles fsStrikeOut = 8;

// Pixels per inch of the screen (96 when it cannot be read).
int ScreenPixelsPerInch();

class Font {
 public:
  Font();
  virtual ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  const std::wstring& Name() const;
  // The LOGFONT height: negative values give the character height in pixels.
  int Height() const;
  // In points: -Height * 72 / PixelsPerInch, rounded as MulDiv does.
  int Size() const;
  TFontStyles Style() const;
  BYTE Charset() const;
  TColor Color() const { return color_; }
  int PixelsPerInch() const { return pixels_per_inch_; }
  // The angle of the text's baseline in tenths of a degree, counter-clockwise
  // (0: upright); the characters turn with it.
  int Escapement() const;

  virtual void SetName(const std::wstring& name);
  virtual void SetHeight(int height);
  // Sets the height to -size * PixelsPerInch / 72.
  void SetSize(int size);
  virtual void SetStyle(TFontStyles style);
  virtual void SetCharset(BYTE charset);
  virtual void SetColor(TColor color);
  void SetEscapement(int tenths);
  void SetPixelsPerInch(int pixels_per_inch) { pixels_per_inch_ = pixels_per_inch; }

  // The GDI font; made on first use. Owned by the font: never delete it.
  HFONT Handle() const;
  // Takes ownership of `font`; name, height, style and character set follow it.
  void SetHandle(HFONT font);

  // Copies everything from `source`, sharing its GDI font.
  virtual void Assign(const Font& source);

  // Called after every change with the font itself.
  std::function<void(Font&)> OnChange;

 protected:
  virtual void Changed();

 private:
  struct Resource;
  // Puts a changed copy of the resource in place and raises Changed.
  template <typename Change>
  void ChangeResource(Change change);

  std::shared_ptr<Resource> resource_;
  TColor color_ = clWindowText;
  int pixels_per_inch_;
};

}  // namespace velmora::ui
