// Value types shared by the windowless controls: alignment and layout of
// text, cursors, mouse buttons, hint data, and the framework's notification
// messages (sent to a control with GraphicControl::Perform).
#pragma once

#include <windows.h>

#include <string>

namespace velmora::ui {

class GraphicControl;

// Notifications of the framework (message numbers as its controls know them).
inline constexpr UINT CM_BASE = 0xB000;
inline constexpr UINT CM_DIALOGCHAR = CM_BASE + 6;    // wParam: the character
inline constexpr UINT CM_FONTCHANGED = CM_BASE + 14;  // the control's font changed
inline constexpr UINT CM_TEXTCHANGED = CM_BASE + 18;  // the control's caption changed
inline constexpr UINT CM_MOUSEENTER = CM_BASE + 19;
inline constexpr UINT CM_MOUSELEAVE = CM_BASE + 20;
inline constexpr UINT CM_HINTSHOW = CM_BASE + 48;  // lParam: HintInfo*; result 0 shows it

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TTextLayout { tlTop, tlCenter, tlBottom };
enum TEllipsisPosition { epNone, epPathEllipsis, epEndEllipsis, epWordEllipsis };
enum TBiDiMode { bdLeftToRight, bdRightToLeft };
// Where a control is docked inside its parent's client area.
enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum TMouseButton { mbLeft, mbRight, mbMiddle };

// Mouse cursors by the framework's numbers; crDefault leaves the parent's.
using TCursor = int;
inline constexpr TCursor crDefault = 0;
inline constexpr TCursor crNone = -1;
inline constexpr TCursor crArrow = -2;
inline constexpr TCursor crCross = -3;
inline constexpr TCursor crIBeam = -4;
inline constexpr TCursor crSizeAll = -22;
inline constexpr TCursor crSizeNESW = -6;
inline constexpr TCursor crSizeNS = -7;
inline constexpr TCursor crSizeNWSE = -8;
inline constexpr TCursor crSizeWE = -9;
inline constexpr TCursor crUpArrow = -10;
inline constexpr TCursor crHourGlass = -11;
inline constexpr TCursor crDrag = -12;
inline constexpr TCursor crNo = -18;
inline constexpr TCursor crAppStart = -19;
inline constexpr TCursor crHelp = -20;
inline constexpr TCursor crHandPoint = -21;

inline int RectWidth(const RECT& rect) {
  return rect.right - rect.left;
}
inline int RectHeight(const RECT& rect) {
  return rect.bottom - rect.top;
}

// The system cursor of `cursor`; null for crDefault and crNone.
HCURSOR CursorHandle(TCursor cursor);

// What a control is asked about when its hint is about to show (CM_HINTSHOW).
// The control may change the text (empty: no hint) and the rectangle, in its
// client coordinates, within which the mouse keeps the hint up.
struct HintInfo {
  GraphicControl* control = nullptr;
  std::wstring hint_text;
  POINT cursor_pos = {};  // in the control's client coordinates
  RECT cursor_rect = {};
  int hide_timeout = 2500;  // milliseconds
};

// Whether `key` is the accelerator of `caption`: the character after a
// single "&" ("&&" stands for an ampersand), compared without regard to case.
bool IsAccel(wchar_t key, const std::wstring& caption);

}  // namespace velmora::ui
