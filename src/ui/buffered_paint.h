// Handles WM_PAINT through an off-screen bitmap so that nothing flickers; and
// fills that leave opaque pixels on a glass (alpha-blended) frame.
#pragma once

#include <windows.h>

#include <functional>

namespace velmora::ui {

void PaintBuffered(HWND window, const std::function<void(HDC dc, const RECT& client)>& draw);

// Fills `rect` of `dc` with `brush` through a buffered paint whose alpha is
// then set to 255, so that the fill is opaque on glass. Where the buffered
// paint functions do not exist (before Windows Vista) or fail, it fills plainly.
void FillRectOnGlass(HDC dc, const RECT& rect, HBRUSH brush);

}  // namespace velmora::ui
