#include "controls/html_images.h"

#include <shellapi.h>

#include <string>

#include "controls/html_text.h"

namespace velmora::html {

namespace {

// The system image list of the given size, without touching the disk.
HIMAGELIST SystemImageList(UINT size_flag) {
  SHFILEINFOW info = {};
  return reinterpret_cast<HIMAGELIST>(
      ::SHGetFileInfoW(L"folder", FILE_ATTRIBUTE_DIRECTORY, &info, sizeof(info),
                       SHGFI_SYSICONINDEX | SHGFI_USEFILEATTRIBUTES | size_flag));
}

}  // namespace

SystemImage FindSystemImage(std::wstring_view source) {
  std::wstring upper = UpperAscii(source);
  if (StartsWithUpper(upper, L"IDX:")) {
    source.remove_prefix(4);
    upper.erase(0, 4);
  }
  UINT size_flag;
  if (StartsWithUpper(upper, L"SSYS:")) {
    size_flag = SHGFI_SMALLICON;
  } else if (StartsWithUpper(upper, L"LSYS:")) {
    size_flag = SHGFI_LARGEICON;
  } else {
    return {};
  }
  const std::wstring target(source.substr(5));
  SystemImage image;
  int index = 0;
  if (ParseNumber(target, index)) {
    image.list = SystemImageList(size_flag);
    if (image.list == nullptr || index < 0 || index >= ::ImageList_GetImageCount(image.list)) {
      return {};
    }
    image.index = index;
  } else {
    SHFILEINFOW info = {};
    image.list = reinterpret_cast<HIMAGELIST>(
        ::SHGetFileInfoW(target.c_str(), 0, &info, sizeof(info), SHGFI_SYSICONINDEX | size_flag));
    if (image.list == nullptr) return {};
    image.index = info.iIcon;
  }
  if (!::ImageList_GetIconSize(image.list, &image.width, &image.height)) return {};
  return image;
}

void DrawSystemImage(HDC dc, const SystemImage& image, int x, int y) {
  if (image.Valid()) ::ImageList_Draw(image.list, image.index, dc, x, y, ILD_TRANSPARENT);
}

}  // namespace velmora::html
