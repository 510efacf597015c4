// Images of the label markup: icons of the shell's system image lists, by
// index or as the icon that the shell shows for a file or folder.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string_view>

namespace velmora::html {

struct SystemImage {
  HIMAGELIST list = nullptr;  // owned by the shell: never destroyed here
  int index = -1;
  int width = 0;  // natural size of the list's icons; 0 when there is no image
  int height = 0;

  bool Valid() const { return list != nullptr && index >= 0; }
};

// The image of an IMG source: "IDX:" in front is ignored; "SSYS:" names a
// small and "LSYS:" a large system icon, followed by an index into the
// system image list or by the path of a file or folder. Any other source has
// no image.
SystemImage FindSystemImage(std::wstring_view source);
// Draws the icon at its natural size with its top-left corner at (x, y).
void DrawSystemImage(HDC dc, const SystemImage& image, int x, int y);

}  // namespace velmora::html
