// The base of windowless ("graphic") controls: a rectangle on a form that
// has no window of its own. The form paints it (Paint, on the control's
// canvas over the form's device context, moved and clipped to the control)
// and hands it the mouse messages and notifications that concern it; both
// arrive through Perform, and a caller may send the same messages itself, for
// instance a paint request with a memory device context to measure text
// (WM_PAINT with the context as wParam).
//
// What a control has: bounds in its parent's client coordinates (with size
// constraints and docking), visibility, enabled state, a mouse cursor, a
// hint text and whether hints show, a caption, a font and a colour that
// follow the parent's until set (ParentFont, ParentColor), and the
// notifications as virtual handlers: CM_TEXTCHANGED, CM_FONTCHANGED,
// CM_DIALOGCHAR, CM_MOUSEENTER, CM_MOUSELEAVE, CM_HINTSHOW, and mouse down,
// move and up. A hidden control gets neither paint nor mouse messages.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "ui/canvas.h"
#include "ui/color.h"
#include "ui/component.h"
#include "ui/control_types.h"
#include "ui/font.h"

namespace velmora::ui {

class Form;

struct SizeConstraints {
  // 0 means no limit.
  int min_width = 0;
  int max_width = 0;
  int min_height = 0;
  int max_height = 0;

  // The value lowered to a non-zero maximum, else raised to a non-zero minimum.
  int ConstrainWidth(int width) const { return Constrain(width, min_width, max_width); }
  int ConstrainHeight(int height) const { return Constrain(height, min_height, max_height); }

 private:
  static int Constrain(int value, int minimum, int maximum) {
    if (maximum > 0 && value > maximum) return maximum;
    if (minimum > 0 && value < minimum) return minimum;
    return value;
  }
};

// Control style bits.
enum ControlStyleFlag : unsigned {
  csOpaque = 1,        // the control fills its whole rectangle itself
  csReplicatable = 2,  // the control can be painted into any device context
};

class GraphicControl : public Component {
 public:
  GraphicControl();
  ~GraphicControl() override;

  std::wstring ClassName() const override { return L"TGraphicControl"; }

  // --- Placement
  Form* Parent() const { return parent_; }
  // Puts the control on `parent` (null takes it off) as its topmost control.
  void SetParent(Form* parent);
  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int left) { SetBounds(left, top_, width_, height_); }
  void SetTop(int top) { SetBounds(left_, top, width_, height_); }
  void SetWidth(int width) { SetBounds(left_, top_, width, height_); }
  void SetHeight(int height) { SetBounds(left_, top_, width_, height); }
  // Width and height are held within the constraints.
  virtual void SetBounds(int left, int top, int width, int height);
  RECT BoundsRect() const { return {left_, top_, left_ + width_, top_ + height_}; }
  RECT ClientRect() const { return {0, 0, width_, height_}; }
  const SizeConstraints& Constraints() const { return constraints_; }
  void SetConstraints(const SizeConstraints& constraints);
  TAlign Align() const { return align_; }
  void SetAlign(TAlign align);

  // --- State
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor cursor);
  const std::wstring& Hint() const { return hint_; }
  void SetHint(const std::wstring& hint) { hint_ = hint; }
  // Whether hints show over the control: its own setting, or the parent's
  // while ParentShowHint is on.
  bool ShowHint() const;
  void SetShowHint(bool show_hint);
  bool ParentShowHint() const { return parent_show_hint_; }
  void SetParentShowHint(bool parent_show_hint);
  const std::wstring& Caption() const { return caption_; }
  void SetCaption(const std::wstring& caption);

  // --- Looks
  ui::Font& Font() { return *font_; }
  const ui::Font& Font() const { return *font_; }
  void SetFont(const ui::Font& font) { font_->Assign(font); }
  bool ParentFont() const { return parent_font_; }
  void SetParentFont(bool parent_font);
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  bool ParentColor() const { return parent_color_; }
  void SetParentColor(bool parent_color);
  TBiDiMode BiDiMode() const { return bidi_mode_; }
  void SetBiDiMode(TBiDiMode mode);
  bool UseRightToLeftAlignment() const { return bidi_mode_ == bdRightToLeft; }
  bool UseRightToLeftReading() const { return bidi_mode_ == bdRightToLeft; }
  // `flags` with the horizontal alignment mirrored and DT_RTLREADING added
  // for right-to-left reading.
  UINT DrawTextBiDiModeFlags(UINT flags) const;
  // `alignment` as seen after right-to-left mirroring.
  TAlignment EffectiveAlignment(TAlignment alignment) const;
  unsigned ControlStyle() const { return control_style_; }
  void SetControlStyle(unsigned style) { control_style_ = style; }
  // While set, the control is painted onto a glass (alpha-blended) frame and
  // must leave opaque pixels where it fills.
  bool GlassPaint() const { return glass_paint_; }
  void SetGlassPaint(bool glass_paint) { glass_paint_ = glass_paint; }

  // --- Painting
  ui::Canvas& Canvas() { return canvas_; }
  // Asks the parent to paint the control's rectangle soon.
  void Invalidate();
  // Invalidates and paints at once.
  void Repaint();

  // Sends a message to the control: WM_PAINT (wParam: the device context),
  // the mouse messages (lParam: client coordinates), the CM_* notifications.
  LRESULT Perform(UINT message, WPARAM wparam = 0, LPARAM lparam = 0);

  // --- Events
  std::function<void(GraphicControl&)> OnClick;
  std::function<void(GraphicControl&)> OnDblClick;
  std::function<void(GraphicControl&)> OnMouseEnter;
  std::function<void(GraphicControl&)> OnMouseLeave;
  std::function<void(GraphicControl&, TMouseButton, UINT keys, int x, int y)> OnMouseDown;
  std::function<void(GraphicControl&, UINT keys, int x, int y)> OnMouseMove;
  std::function<void(GraphicControl&, TMouseButton, UINT keys, int x, int y)> OnMouseUp;

 protected:
  // Draws the control on Canvas(), in client coordinates.
  virtual void Paint() {}
  // After a change of the control's size (not while loading).
  virtual void Resize() {}
  virtual void Click();
  virtual void DblClick();
  // `keys` holds the MK_* flags of the message.
  virtual void MouseDown(TMouseButton button, UINT keys, int x, int y);
  virtual void MouseMove(UINT keys, int x, int y);
  virtual void MouseUp(TMouseButton button, UINT keys, int x, int y);

  virtual void CMTextChanged() {}
  virtual void CMFontChanged() { Invalidate(); }
  // Non-zero when the control took the character.
  virtual LRESULT CMDialogChar(wchar_t key) {
    (void)key;
    return 0;
  }
  virtual void CMMouseEnter();
  virtual void CMMouseLeave();
  // 0 lets the hint in `info` show; anything else suppresses it.
  virtual LRESULT CMHintShow(HintInfo& info) {
    (void)info;
    return 0;
  }

  // Puts `font` in place of the control's font; it inherits the change
  // handler (so changes still reach the control), the old font is freed.
  void ReplaceFont(std::unique_ptr<ui::Font> font);

 private:
  friend class Form;
  void PaintOn(HDC dc);
  void ButtonDown(TMouseButton button, UINT keys, int x, int y, bool double_click);
  void ButtonUp(TMouseButton button, UINT keys, int x, int y);
  void FontChanged();
  // Called by the parent when its font, colour or hint setting changes.
  void ParentFontChanged();
  void ParentColorChanged();

  Form* parent_ = nullptr;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  SizeConstraints constraints_;
  TAlign align_ = alNone;
  bool visible_ = true;
  bool enabled_ = true;
  TCursor cursor_ = crDefault;
  std::wstring hint_;
  bool show_hint_ = false;
  bool parent_show_hint_ = true;
  std::wstring caption_;
  std::unique_ptr<ui::Font> font_;
  bool parent_font_ = true;
  TColor color_ = clBtnFace;
  bool parent_color_ = true;
  TBiDiMode bidi_mode_ = bdLeftToRight;
  unsigned control_style_ = 0;
  bool glass_paint_ = false;
  bool clicked_ = false;  // left button went down on the control
  ui::Canvas canvas_;
};

}  // namespace velmora::ui
