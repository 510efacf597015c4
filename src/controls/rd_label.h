// A skinned label: one caption drawn with DrawTextW, with horizontal
// alignment, vertical layout, text margins (TextBorder), word wrap, ellipsis,
// auto size, text colours for hover, pressed and disabled states, a
// background picture, an accelerator key for a focus control and a hint that
// shows the whole caption when it was cut.
//
// Measuring: FitToText sizes the label to its text (AutoSize) and refreshes
// FoundTextEllipsis/FoundTextWordBreak by painting into a memory device
// context while Measuring() is true; such a paint draws no background and
// calls no events.
#pragma once

#include <functional>
#include <string>

#include "controls/design_rect.h"
#include "controls/rd_graphic_control.h"
#include "ui/controls.h"
#include "ui/picture.h"

namespace velmora {

using ui::TAlignment;
using ui::TColor;
using ui::TEllipsisPosition;
using ui::TTextLayout;

class TRdCustomLabel : public TRdGraphicControl {
 public:
  TRdCustomLabel();
  ~TRdCustomLabel() override;

  std::wstring ClassName() const override { return L"TRdCustomLabel"; }

  ui::SystemControl* FocusControl() const { return focus_control_; }
  // The control that takes the focus on the caption's accelerator key.
  void SetFocusControl(ui::SystemControl* control);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment alignment);
  int GlowSize() const { return glow_size_; }
  // Held only; the label draws no glow.
  void SetGlowSize(int glow_size);
  TTextLayout Layout() const { return layout_; }
  void SetLayout(TTextLayout layout);
  bool ShowAccelChar() const { return show_accel_char_; }
  void SetShowAccelChar(bool show);
  TEllipsisPosition EllipsisPosition() const { return ellipsis_position_; }
  void SetEllipsisPosition(TEllipsisPosition position);
  TDesignRect& TextBorder() { return text_border_; }
  void SetTextBorder(const TDesignRect& border) { text_border_.Assign(border); }
  ui::Picture& Background() { return background_; }
  void SetBackground(const ui::Picture& picture) { background_.Assign(picture); }
  TDesignRect& BackgroundOption() { return background_option_; }
  void SetBackgroundOption(const TDesignRect& option) { background_option_.Assign(option); }
  TColor FontHoverColor() const { return font_hover_color_; }
  void SetFontHoverColor(TColor color) { font_hover_color_ = color; }
  TColor FontDisabledColor() const { return font_disabled_color_; }
  void SetFontDisabledColor(TColor color);
  TColor FontDownColor() const { return font_down_color_; }
  void SetFontDownColor(TColor color) { font_down_color_ = color; }
  bool FoundTextWordBreak() const { return found_text_word_break_; }
  // True when the latest paint had to cut the caption.
  bool FoundTextEllipsis() const { return found_text_ellipsis_; }
  bool AutoShowHint() const { return auto_show_hint_; }
  // Turning it on also turns ShowHint on.
  void SetAutoShowHint(bool auto_show_hint);
  bool AutoSize() const { return auto_size_; }
  virtual void SetAutoSize(bool auto_size);
  bool WordWrap() const { return word_wrap_; }
  void SetWordWrap(bool word_wrap);
  bool WrapChar() const { return wrap_char_; }
  void SetWrapChar(bool wrap_char);
  bool Transparent() const { return (ControlStyle() & ui::csOpaque) == 0; }
  void SetTransparent(bool transparent);
  bool FontAntialiased() const { return Font().Antialiased(); }
  void SetFontAntialiased(bool antialiased) { Font().SetAntialiased(antialiased); }
  // The font is part of a saved form unless it comes from the parent.
  bool IsFontStored() const { return !ParentFont(); }

  // (hint text, can show, hint info): the last word on the hint.
  std::function<void(std::wstring& hint, bool& can_show, ui::HintInfo& info)> OnShowHint;
  std::function<void(TRdCustomLabel&)> OnPaintEnd;    // after the text
  std::function<void(TRdCustomLabel&)> OnPaintImage;  // after the background

  // Sizes the label to its text (with AutoSize) and refreshes the cut-text flags.
  virtual void FitToText();

 protected:
  // Draws (or with DT_CALCRECT in `flags` measures) the caption into `rect`.
  // `first_pass` is the first auto-size pass, which measures without the
  // ellipsis rules.
  virtual void DrawCaption(ui::Canvas& canvas, RECT& rect, bool first_pass, UINT flags);
  virtual std::wstring CaptionText() const { return Caption(); }

  void Paint() override;
  void Resize() override;
  void Loaded() override;
  void Notification(ui::Component* component) override;
  void MouseDown(ui::TMouseButton button, UINT keys, int x, int y) override;
  void MouseUp(ui::TMouseButton button, UINT keys, int x, int y) override;
  void CMTextChanged() override;
  void CMFontChanged() override;
  LRESULT CMDialogChar(wchar_t key) override;
  void CMMouseEnter() override;
  void CMMouseLeave() override;
  LRESULT CMHintShow(ui::HintInfo& info) override;
  std::vector<std::wstring> CurrentValues() const override;

  bool Measuring() const { return measuring_; }
  bool MouseInside() const { return mouse_inside_; }
  bool MouseIsDown() const { return mouse_down_; }
  // Sets Measuring() for its lifetime.
  class MeasuringScope {
   public:
    explicit MeasuringScope(TRdCustomLabel& label) : label_(label) { label_.measuring_ = true; }
    ~MeasuringScope() { label_.measuring_ = false; }
    MeasuringScope(const MeasuringScope&) = delete;
    MeasuringScope& operator=(const MeasuringScope&) = delete;

   private:
    TRdCustomLabel& label_;
  };
  // The client rectangle with its right and bottom edges moved in by the
  // horizontal and vertical margins.
  RECT TextArea() const;
  // Fills the client area with Color (opaque also on glass).
  void FillBackground(const RECT& rect);
  // Sends the label a paint request on a memory device context, in
  // measuring mode; nothing happens when no context can be made.
  void MeasuringPaint();
  // Whether the label needs measuring at all: auto size, word wrap or ellipsis.
  bool NeedsFitting() const;

 private:
  void BackgroundChanged();
  void TextBorderChanged();
  // A repaint after a change of the text colour in use.
  void RepaintForColor(TColor color);
  TColor TextColor() const;
  void SetBoundsToText(const RECT& text);

  ui::SystemControl* focus_control_ = nullptr;
  TAlignment alignment_ = ui::taLeftJustify;
  int glow_size_ = 0;
  TTextLayout layout_ = ui::tlTop;
  bool show_accel_char_ = false;
  TEllipsisPosition ellipsis_position_ = ui::epNone;
  TDesignRect text_border_;
  ui::Picture background_;
  TDesignRect background_option_;
  TColor font_hover_color_ = ui::clDefault;
  TColor font_disabled_color_ = ui::clGrayText;
  TColor font_down_color_ = ui::clDefault;
  bool found_text_word_break_ = false;
  bool found_text_ellipsis_ = false;
  bool auto_show_hint_ = false;
  bool auto_size_ = true;
  bool word_wrap_ = false;
  bool wrap_char_ = true;
  bool measuring_ = false;
  bool mouse_inside_ = false;
  bool mouse_down_ = false;
};

// The label as placed on forms.
class TRdLabel : public TRdCustomLabel {
 public:
  std::wstring ClassName() const override { return L"TRdLabel"; }
};

// DrawTextW flags of the label's settings.
UINT AlignmentFlag(TAlignment alignment);
UINT EllipsisFlag(TEllipsisPosition position);

}  // namespace velmora
