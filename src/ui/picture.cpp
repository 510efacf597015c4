#include "ui/picture.h"

namespace velmora::ui {

void Picture::SetBitmap(HBITMAP bitmap) {
  BITMAP info = {};
  if (bitmap != nullptr && ::GetObjectW(bitmap, sizeof(info), &info) == 0) info = {};
  bitmap_.reset(bitmap);
  width_ = bitmap != nullptr ? info.bmWidth : 0;
  height_ = bitmap != nullptr ? info.bmHeight : 0;
  if (OnChange) OnChange();
}

bool Picture::LoadFromFile(const std::wstring& path) {
  HANDLE loaded = ::LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0,
                               LR_LOADFROMFILE | LR_CREATEDIBSECTION);
  if (loaded == nullptr) return false;
  SetBitmap(static_cast<HBITMAP>(loaded));
  return true;
}

void Picture::Assign(const Picture& source) {
  if (&source == this) return;
  HBITMAP copy = nullptr;
  if (!source.Empty()) {
    copy = static_cast<HBITMAP>(::CopyImage(source.Bitmap(), IMAGE_BITMAP, 0, 0, 0));
  }
  SetBitmap(copy);
}

void Picture::DrawPart(HDC dc, const RECT& target, const RECT& source) const {
  if (Empty() || target.right <= target.left || target.bottom <= target.top) return;
  if (source.right <= source.left || source.bottom <= source.top) return;
  UniqueMemoryDc memory(::CreateCompatibleDC(dc));
  if (!memory) return;
  SelectedObject selected(memory.get(), bitmap_.get());
  const int old_mode = ::SetStretchBltMode(dc, COLORONCOLOR);
  ::StretchBlt(dc, target.left, target.top, target.right - target.left, target.bottom - target.top,
               memory.get(), source.left, source.top, source.right - source.left,
               source.bottom - source.top, SRCCOPY);
  ::SetStretchBltMode(dc, old_mode);
}

}  // namespace velmora::ui
