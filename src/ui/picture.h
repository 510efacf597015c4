// A picture held by a control: a bitmap (or nothing), its size, and a change
// notification for the owner. Drawing it into a rectangle stretches it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "common/handles.h"

namespace velmora::ui {

class Picture {
 public:
  Picture() = default;
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;

  bool Empty() const { return !bitmap_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  HBITMAP Bitmap() const { return static_cast<HBITMAP>(bitmap_.get()); }

  // Takes ownership of `bitmap` (null empties the picture).
  void SetBitmap(HBITMAP bitmap);
  // Loads a .bmp file; false (and the picture unchanged) when it cannot.
  bool LoadFromFile(const std::wstring& path);
  void Clear() { SetBitmap(nullptr); }
  // Copies the bitmap of `source`.
  void Assign(const Picture& source);

  // Stretches the part `source` of the picture over `target` of `dc`.
  void DrawPart(HDC dc, const RECT& target, const RECT& source) const;

  std::function<void()> OnChange;

 private:
  UniqueGdiObject bitmap_;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace velmora::ui
