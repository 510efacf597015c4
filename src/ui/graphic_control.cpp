#include "ui/graphic_control.h"

#include <windowsx.h>

#include "ui/form.h"

namespace velmora::ui {

GraphicControl::GraphicControl() : font_(std::make_unique<ui::Font>()) {
  font_->OnChange = [this](ui::Font&) { FontChanged(); };
}

GraphicControl::~GraphicControl() {
  SetParent(nullptr);
}

void GraphicControl::SetParent(Form* parent) {
  if (parent == parent_) return;
  if (parent_ != nullptr) {
    Invalidate();
    parent_->RemoveControl(this);
  }
  parent_ = parent;
  if (parent_ == nullptr) return;
  parent_->InsertControl(this);
  if (parent_->IsLoading()) BeginLoading();
  ParentFontChanged();
  ParentColorChanged();
  Invalidate();
}

void GraphicControl::SetBounds(int left, int top, int width, int height) {
  width = constraints_.ConstrainWidth(width);
  height = constraints_.ConstrainHeight(height);
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  const bool resized = width != width_ || height != height_;
  Invalidate();
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  Invalidate();
  if (parent_ != nullptr && align_ != alNone) parent_->Realign();
  if (resized && !IsLoading()) Resize();
}

void GraphicControl::SetConstraints(const SizeConstraints& constraints) {
  constraints_ = constraints;
  SetBounds(left_, top_, width_, height_);
}

void GraphicControl::SetAlign(TAlign align) {
  if (align == align_) return;
  align_ = align;
  if (parent_ != nullptr) parent_->Realign();
}

void GraphicControl::SetVisible(bool visible) {
  if (visible == visible_) return;
  if (!visible) Invalidate();
  visible_ = visible;
  if (visible) Invalidate();
  if (parent_ == nullptr) return;
  if (!visible) parent_->ControlHidden(this);
  if (align_ != alNone) parent_->Realign();
}

void GraphicControl::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Invalidate();
}

void GraphicControl::SetCursor(TCursor cursor) {
  if (cursor == cursor_) return;
  cursor_ = cursor;
  if (parent_ != nullptr) parent_->CursorChanged(this);
}

bool GraphicControl::ShowHint() const {
  if (parent_show_hint_ && parent_ != nullptr) return parent_->ShowHint();
  return show_hint_;
}

void GraphicControl::SetShowHint(bool show_hint) {
  show_hint_ = show_hint;
  parent_show_hint_ = false;
}

void GraphicControl::SetParentShowHint(bool parent_show_hint) {
  parent_show_hint_ = parent_show_hint;
}

void GraphicControl::SetCaption(const std::wstring& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  Perform(CM_TEXTCHANGED);
}

void GraphicControl::SetParentFont(bool parent_font) {
  if (parent_font == parent_font_) return;
  parent_font_ = parent_font;
  ParentFontChanged();
}

void GraphicControl::ParentFontChanged() {
  if (!parent_font_ || parent_ == nullptr) return;
  font_->Assign(parent_->Font());
  // Taking the parent's font is not a font of the control's own.
  parent_font_ = true;
}

void GraphicControl::SetColor(TColor color) {
  parent_color_ = false;
  if (color == color_) return;
  color_ = color;
  Invalidate();
}

void GraphicControl::SetParentColor(bool parent_color) {
  if (parent_color == parent_color_) return;
  parent_color_ = parent_color;
  ParentColorChanged();
}

void GraphicControl::ParentColorChanged() {
  if (!parent_color_ || parent_ == nullptr) return;
  SetColor(parent_->Color());
  parent_color_ = true;
}

void GraphicControl::SetBiDiMode(TBiDiMode mode) {
  if (mode == bidi_mode_) return;
  bidi_mode_ = mode;
  Invalidate();
}

UINT GraphicControl::DrawTextBiDiModeFlags(UINT flags) const {
  if (UseRightToLeftAlignment()) {
    if ((flags & (DT_CENTER | DT_RIGHT)) == 0) {
      flags |= DT_RIGHT;
    } else if (flags & DT_RIGHT) {
      flags &= ~DT_RIGHT;
    }
  }
  if (UseRightToLeftReading()) flags |= DT_RTLREADING;
  return flags;
}

TAlignment GraphicControl::EffectiveAlignment(TAlignment alignment) const {
  if (!UseRightToLeftAlignment()) return alignment;
  if (alignment == taLeftJustify) return taRightJustify;
  if (alignment == taRightJustify) return taLeftJustify;
  return alignment;
}

void GraphicControl::Invalidate() {
  if (parent_ == nullptr || !visible_ || parent_->handle() == nullptr) return;
  const RECT bounds = BoundsRect();
  ::InvalidateRect(parent_->handle(), &bounds, (control_style_ & csOpaque) == 0);
}

void GraphicControl::Repaint() {
  Invalidate();
  if (parent_ != nullptr && visible_ && parent_->handle() != nullptr) {
    ::UpdateWindow(parent_->handle());
  }
}

LRESULT GraphicControl::Perform(UINT message, WPARAM wparam, LPARAM lparam) {
  const UINT keys = static_cast<UINT>(wparam);
  const int x = GET_X_LPARAM(lparam);
  const int y = GET_Y_LPARAM(lparam);
  switch (message) {
    case WM_PAINT:
      PaintOn(reinterpret_cast<HDC>(wparam));
      return 0;
    case WM_MOUSEMOVE:
      MouseMove(keys, x, y);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      ButtonDown(mbLeft, keys, x, y, message == WM_LBUTTONDBLCLK);
      return 0;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      ButtonDown(mbRight, keys, x, y, false);
      return 0;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
      ButtonDown(mbMiddle, keys, x, y, false);
      return 0;
    case WM_LBUTTONUP:
      ButtonUp(mbLeft, keys, x, y);
      return 0;
    case WM_RBUTTONUP:
      ButtonUp(mbRight, keys, x, y);
      return 0;
    case WM_MBUTTONUP:
      ButtonUp(mbMiddle, keys, x, y);
      return 0;
    case CM_TEXTCHANGED:
      CMTextChanged();
      return 0;
    case CM_FONTCHANGED:
      CMFontChanged();
      return 0;
    case CM_DIALOGCHAR:
      return CMDialogChar(static_cast<wchar_t>(wparam));
    case CM_MOUSEENTER:
      CMMouseEnter();
      return 0;
    case CM_MOUSELEAVE:
      CMMouseLeave();
      return 0;
    case CM_HINTSHOW:
      return lparam != 0 ? CMHintShow(*reinterpret_cast<HintInfo*>(lparam)) : 1;
    default:
      return 0;
  }
}

void GraphicControl::PaintOn(HDC dc) {
  if (dc == nullptr) return;
  // A measuring paint may arrive while a visible one runs: hand back the
  // context that was there before.
  const HDC previous = canvas_.Handle();
  canvas_.SetHandle(dc);
  Paint();
  canvas_.SetHandle(previous);
}

void GraphicControl::ButtonDown(TMouseButton button, UINT keys, int x, int y, bool double_click) {
  if (button == mbLeft) {
    clicked_ = true;
    if (double_click) DblClick();
  }
  MouseDown(button, keys, x, y);
}

void GraphicControl::ButtonUp(TMouseButton button, UINT keys, int x, int y) {
  if (button == mbLeft && clicked_) {
    clicked_ = false;
    const POINT point = {x, y};
    const RECT client = ClientRect();
    if (::PtInRect(&client, point)) Click();
  }
  MouseUp(button, keys, x, y);
}

void GraphicControl::Click() {
  if (OnClick) OnClick(*this);
}

void GraphicControl::DblClick() {
  if (OnDblClick) OnDblClick(*this);
}

void GraphicControl::MouseDown(TMouseButton button, UINT keys, int x, int y) {
  if (OnMouseDown) OnMouseDown(*this, button, keys, x, y);
}

void GraphicControl::MouseMove(UINT keys, int x, int y) {
  if (OnMouseMove) OnMouseMove(*this, keys, x, y);
}

void GraphicControl::MouseUp(TMouseButton button, UINT keys, int x, int y) {
  if (OnMouseUp) OnMouseUp(*this, button, keys, x, y);
}

void GraphicControl::CMMouseEnter() {
  if (OnMouseEnter) OnMouseEnter(*this);
}

void GraphicControl::CMMouseLeave() {
  if (OnMouseLeave) OnMouseLeave(*this);
}

void GraphicControl::ReplaceFont(std::unique_ptr<ui::Font> font) {
  font->OnChange = std::move(font_->OnChange);
  font_ = std::move(font);
}

void GraphicControl::FontChanged() {
  parent_font_ = false;
  Perform(CM_FONTCHANGED);
}

HCURSOR CursorHandle(TCursor cursor) {
  const wchar_t* id = nullptr;
  switch (cursor) {
    case crArrow:
      id = IDC_ARROW;
      break;
    case crCross:
      id = IDC_CROSS;
      break;
    case crIBeam:
      id = IDC_IBEAM;
      break;
    case crSizeAll:
      id = IDC_SIZEALL;
      break;
    case crSizeNESW:
      id = IDC_SIZENESW;
      break;
    case crSizeNS:
      id = IDC_SIZENS;
      break;
    case crSizeNWSE:
      id = IDC_SIZENWSE;
      break;
    case crSizeWE:
      id = IDC_SIZEWE;
      break;
    case crUpArrow:
      id = IDC_UPARROW;
      break;
    case crHourGlass:
      id = IDC_WAIT;
      break;
    case crDrag:
      id = IDC_ARROW;
      break;
    case crNo:
      id = IDC_NO;
      break;
    case crAppStart:
      id = IDC_APPSTARTING;
      break;
    case crHelp:
      id = IDC_HELP;
      break;
    case crHandPoint:
      id = IDC_HAND;
      break;
    default:
      return nullptr;
  }
  return ::LoadCursorW(nullptr, id);
}

bool IsAccel(wchar_t key, const std::wstring& caption) {
  for (size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != L'&') continue;
    if (caption[i + 1] == L'&') {
      ++i;  // an escaped ampersand
      continue;
    }
    wchar_t pair[2] = {key, caption[i + 1]};
    ::CharUpperBuffW(pair, 2);
    return pair[0] == pair[1];
  }
  return false;
}

}  // namespace velmora::ui
