// Handles WM_PAINT through an off-screen bitmap so that nothing flickers.
#pragma once

#include <windows.h>

#include <functional>

namespace velmora::ui {

void PaintBuffered(HWND window, const std::function<void(HDC dc, const RECT& client)>& draw);

}  // namespace velmora::ui
