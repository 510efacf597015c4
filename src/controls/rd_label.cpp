#include "controls/rd_label.h"

#include <algorithm>
#include <cstdlib>

#include "common/handles.h"
#include "ui/buffered_paint.h"

namespace velmora {

namespace {

// The sample text whose height is one line of a font: an accent and letters
// that reach above and below the other letters.
constexpr wchar_t kLineSample[] = L"`ghj_";
constexpr UINT kEllipsisFlags = DT_PATH_ELLIPSIS | DT_END_ELLIPSIS | DT_WORD_ELLIPSIS;

}  // namespace

UINT AlignmentFlag(TAlignment alignment) {
  switch (alignment) {
    case ui::taRightJustify:
      return DT_RIGHT;
    case ui::taCenter:
      return DT_CENTER;
    default:
      return DT_LEFT;
  }
}

UINT EllipsisFlag(TEllipsisPosition position) {
  switch (position) {
    case ui::epPathEllipsis:
      return DT_PATH_ELLIPSIS;
    case ui::epEndEllipsis:
      return DT_END_ELLIPSIS;
    case ui::epWordEllipsis:
      return DT_WORD_ELLIPSIS | DT_END_ELLIPSIS;
    default:
      return 0;
  }
}

TRdCustomLabel::TRdCustomLabel() {
  SetBounds(Left(), Top(), 65, 17);
  // Transparent: the parent's background shows behind the text.
  SetControlStyle((ControlStyle() | ui::csReplicatable) & ~ui::csOpaque);
  background_.OnChange = [this] { BackgroundChanged(); };
  background_option_.OnChange = [this] { BackgroundChanged(); };
  text_border_.OnChange = [this] { TextBorderChanged(); };
}

TRdCustomLabel::~TRdCustomLabel() = default;

void TRdCustomLabel::SetFocusControl(ui::SystemControl* control) {
  if (control == focus_control_) return;
  if (focus_control_ != nullptr) RemoveFreeNotification(focus_control_);
  focus_control_ = control;
  if (control != nullptr) FreeNotification(control);
}

void TRdCustomLabel::Notification(ui::Component* component) {
  TRdGraphicControl::Notification(component);
  if (component == focus_control_) focus_control_ = nullptr;
}

void TRdCustomLabel::SetAlignment(TAlignment alignment) {
  if (alignment == alignment_) return;
  alignment_ = alignment;
  Invalidate();
}

void TRdCustomLabel::SetGlowSize(int glow_size) {
  if (glow_size == glow_size_) return;
  glow_size_ = glow_size;
  Invalidate();
}

void TRdCustomLabel::SetLayout(TTextLayout layout) {
  if (layout == layout_) return;
  layout_ = layout;
  Invalidate();
}

void TRdCustomLabel::SetShowAccelChar(bool show) {
  if (show == show_accel_char_) return;
  show_accel_char_ = show;
  Invalidate();
}

void TRdCustomLabel::SetEllipsisPosition(TEllipsisPosition position) {
  if (position == ellipsis_position_) return;
  ellipsis_position_ = position;
  Invalidate();
}

void TRdCustomLabel::SetFontDisabledColor(TColor color) {
  if (color == font_disabled_color_) return;
  font_disabled_color_ = color;
  Invalidate();
}

void TRdCustomLabel::SetAutoShowHint(bool auto_show_hint) {
  auto_show_hint_ = auto_show_hint;
  if (auto_show_hint) SetShowHint(true);
}

void TRdCustomLabel::SetAutoSize(bool auto_size) {
  if (auto_size == auto_size_) return;
  auto_size_ = auto_size;
  if (auto_size) FitToText();
}

void TRdCustomLabel::SetWordWrap(bool word_wrap) {
  if (word_wrap == word_wrap_) return;
  word_wrap_ = word_wrap;
  FitToText();
  Invalidate();
}

void TRdCustomLabel::SetWrapChar(bool wrap_char) {
  if (wrap_char == wrap_char_) return;
  wrap_char_ = wrap_char;
  FitToText();
  Invalidate();
}

void TRdCustomLabel::SetTransparent(bool transparent) {
  if (transparent == Transparent()) return;
  SetControlStyle(transparent ? ControlStyle() & ~ui::csOpaque : ControlStyle() | ui::csOpaque);
  Invalidate();
}

RECT TRdCustomLabel::TextArea() const {
  RECT area = ClientRect();
  area.right -= text_border_.Left() + text_border_.Right();
  area.bottom -= text_border_.Top() + text_border_.Bottom();
  return area;
}

bool TRdCustomLabel::NeedsFitting() const {
  return auto_size_ || word_wrap_ || ellipsis_position_ != ui::epNone;
}

void TRdCustomLabel::FillBackground(const RECT& rect) {
  ui::Canvas& canvas = Canvas();
  canvas.Brush().SetColor(Color());
  if (!GlassPaint()) {
    canvas.FillRect(rect);
    return;
  }
  UniqueGdiObject brush(::CreateSolidBrush(ui::ColorToRGB(Color())));
  ui::FillRectOnGlass(canvas.Handle(), rect, static_cast<HBRUSH>(brush.get()));
}

void TRdCustomLabel::Paint() {
  ui::Canvas& canvas = Canvas();
  RECT r = ClientRect();
  if (!measuring_) {
    if (!Transparent()) FillBackground(r);
    DrawDesignPicture(canvas.Handle(), r, background_, background_option_);
    if (OnPaintImage) OnPaintImage(*this);
  }
  canvas.Brush().SetStyle(ui::bsClear);
  UINT flags = (word_wrap_ ? DT_WORDBREAK : 0) | DT_EXPANDTABS | AlignmentFlag(alignment_) |
               (wrap_char_ ? DT_EDITCONTROL : 0);
  const TDesignRect& border = text_border_;
  if (layout_ == ui::tlTop) {
    r.top += border.Top();
    r.bottom -= border.Bottom();
  } else {
    RECT measured = TextArea();
    DrawCaption(canvas, measured, false, flags | DT_CALCRECT | DT_NOCLIP);
    const int text_height = ui::RectHeight(measured);
    if (layout_ == ui::tlBottom) {
      r.top = r.bottom - text_height;
      ::OffsetRect(&r, 0, -border.Bottom());
    } else {
      r.top += border.Top();
      r.bottom -= border.Bottom();
      ::OffsetRect(&r, 0, (ui::RectHeight(r) - text_height) / 2);
      r.bottom = r.top + text_height;
    }
  }
  r.right -= border.Right();
  r.left += border.Left();
  if (wrap_char_ && ellipsis_position_ == ui::epNone) flags |= DT_NOCLIP;
  found_text_ellipsis_ = false;
  found_text_word_break_ = false;
  DrawCaption(canvas, r, false, flags);
  if (!measuring_ && OnPaintEnd) OnPaintEnd(*this);
}

TColor TRdCustomLabel::TextColor() const {
  if (!Enabled()) return font_disabled_color_;
  if (mouse_down_ && font_down_color_ != ui::clDefault) return font_down_color_;
  if (mouse_inside_ && font_hover_color_ != ui::clDefault) return font_hover_color_;
  return Font().Color();
}

void TRdCustomLabel::DrawCaption(ui::Canvas& canvas, RECT& rect, bool first_pass, UINT flags) {
  const bool calculating = (flags & DT_CALCRECT) != 0;
  std::wstring text = CaptionText();
  // An empty caption still measures one line (and a lone accelerator mark,
  // which draws nothing, too).
  if (calculating && (text.empty() || (text == L"&" && show_accel_char_))) text += L" ";
  if (text.empty()) return;
  if (!show_accel_char_) flags |= DT_NOPREFIX;
  flags = DrawTextBiDiModeFlags(flags);
  canvas.Font().Assign(Font());

  if (!first_pass && ellipsis_position_ != ui::epNone) {
    if (!calculating) found_text_ellipsis_ = true;  // checked again below
    flags = (flags & ~DT_EXPANDTABS) | EllipsisFlag(ellipsis_position_);
    if (word_wrap_ &&
        (ellipsis_position_ == ui::epEndEllipsis || ellipsis_position_ == ui::epWordEllipsis)) {
      // Wrapped text keeps whole lines only: the last one that fits gets the
      // ellipsis instead of a line cut through the middle.
      RECT probe = rect;
      ::OffsetRect(&probe, 0, 1000);
      const int full_height = canvas.DrawText(text, probe, flags & ~(DT_CALCRECT | DT_NOCLIP));
      int whole_lines_height = 0;
      if (full_height > ui::RectHeight(rect)) {
        int line = canvas.TextHeight(kLineSample);
        if (line == 0) line = std::abs(Font().Height()) + 3;
        whole_lines_height = line * std::max(1, ui::RectHeight(rect) / line);
        rect.bottom = rect.top + whole_lines_height;
      }
      if (calculating) {
        canvas.DrawText(text, rect, flags);
        rect.bottom = rect.top + (whole_lines_height > 0 ? whole_lines_height : full_height);
        return;
      }
    }
  }

  canvas.Font().SetColor(TextColor());
  canvas.DrawText(text, rect, flags);
  if (calculating) return;

  const UINT measure = (flags | DT_CALCRECT | DT_NOCLIP) & ~kEllipsisFlags;
  if (found_text_ellipsis_) {
    RECT needed = rect;
    canvas.DrawText(text, needed, measure);
    found_text_ellipsis_ = ui::RectWidth(needed) > ui::RectWidth(rect) ||
                           ui::RectHeight(needed) > ui::RectHeight(rect);
  }
  if (word_wrap_) {
    RECT unbroken = rect;
    canvas.DrawText(text, unbroken, measure & ~DT_WORDBREAK);
    found_text_word_break_ = ui::RectHeight(unbroken) > ui::RectHeight(rect);
  }
}

void TRdCustomLabel::MeasuringPaint() {
  UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
  if (!dc) return;
  MeasuringScope measuring(*this);
  Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc.get()));
}

void TRdCustomLabel::FitToText() {
  if (IsLoading() || measuring_ || !NeedsFitting()) return;
  if (!auto_size_) {
    MeasuringPaint();
    return;
  }
  UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
  if (!dc) return;
  MeasuringScope measuring(*this);
  {
    ui::Canvas canvas(dc.get());
    canvas.Font().Assign(Font());
    const UINT flags = (word_wrap_ ? DT_WORDBREAK : 0) | DT_CALCRECT | DT_EXPANDTABS |
                       (wrap_char_ ? DT_EDITCONTROL : 0) | AlignmentFlag(alignment_);
    RECT area = TextArea();
    for (int pass = 1;; ++pass) {
      DrawCaption(canvas, area, pass == 1, flags);
      SetBoundsToText(area);
      if (pass == 2 || ellipsis_position_ == ui::epNone) break;
      // The size may have been held by constraints: measure again at the new
      // size, now with the ellipsis rules.
      const RECT resized = TextArea();
      if (::EqualRect(&resized, &area)) break;
      area = resized;
    }
  }
  if (word_wrap_ || ellipsis_position_ != ui::epNone) {
    Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc.get()));
  }
}

void TRdCustomLabel::SetBoundsToText(const RECT& text) {
  const TDesignRect& border = text_border_;
  const ui::SizeConstraints& limits = Constraints();
  const int width = border.Left() + ui::RectWidth(text) + border.Right();
  const int height = border.Top() + ui::RectHeight(text) + border.Bottom();
  int left = Left();
  int top = Top();
  if (EffectiveAlignment(alignment_) == ui::taRightJustify) {
    const bool fixed = Width() > 0 && Width() == limits.max_width && Width() == limits.min_width;
    if (!fixed) left += Width() - limits.ConstrainWidth(width);
  }
  if (layout_ == ui::tlCenter) {
    const int text_height = limits.ConstrainHeight(ui::RectHeight(text));
    top += (Height() - text_height - border.Top() - border.Bottom()) / 2;
  } else if (layout_ == ui::tlBottom) {
    const bool fixed =
        Height() > 0 && Height() == limits.max_height && Height() == limits.min_height;
    if (!fixed) top += Height() - limits.ConstrainHeight(height);
  }
  SetBounds(left, top, width, height);
}

void TRdCustomLabel::Resize() {
  TRdGraphicControl::Resize();
  if (IsLoading() || measuring_ || !NeedsFitting()) return;
  MeasuringPaint();
}

void TRdCustomLabel::Loaded() {
  TRdGraphicControl::Loaded();
  FitToText();
}

void TRdCustomLabel::BackgroundChanged() {
  if (background_option_.BecomingNonEmpty()) {
    const int across = background_.Width() / 3;
    const int down = background_.Height() / 3;
    background_option_.SetMargins(across, down, across, down);
  }
  if (!IsLoading()) Invalidate();
}

void TRdCustomLabel::TextBorderChanged() {
  FitToText();
  Invalidate();
}

void TRdCustomLabel::CMTextChanged() {
  Invalidate();
  FitToText();
}

void TRdCustomLabel::CMFontChanged() {
  TRdGraphicControl::CMFontChanged();
  FitToText();
}

LRESULT TRdCustomLabel::CMDialogChar(wchar_t key) {
  if (focus_control_ != nullptr && Enabled() && show_accel_char_ && ui::IsAccel(key, Caption()) &&
      focus_control_->CanFocus()) {
    focus_control_->SetFocus();
    return 1;
  }
  return 0;
}

void TRdCustomLabel::RepaintForColor(TColor color) {
  if (color != ui::clDefault && color != Font().Color()) Invalidate();
}

void TRdCustomLabel::CMMouseEnter() {
  TRdGraphicControl::CMMouseEnter();
  mouse_inside_ = true;
  RepaintForColor(font_hover_color_);
}

void TRdCustomLabel::CMMouseLeave() {
  TRdGraphicControl::CMMouseLeave();
  mouse_inside_ = false;
  RepaintForColor(font_hover_color_);
}

void TRdCustomLabel::MouseDown(ui::TMouseButton button, UINT keys, int x, int y) {
  if (button == ui::mbLeft && !mouse_down_) {
    mouse_down_ = true;
    RepaintForColor(font_down_color_);
  }
  TRdGraphicControl::MouseDown(button, keys, x, y);
}

void TRdCustomLabel::MouseUp(ui::TMouseButton button, UINT keys, int x, int y) {
  if (button == ui::mbLeft && mouse_down_) {
    mouse_down_ = false;
    RepaintForColor(font_down_color_);
  }
  TRdGraphicControl::MouseUp(button, keys, x, y);
}

LRESULT TRdCustomLabel::CMHintShow(ui::HintInfo& info) {
  if (auto_show_hint_) {
    if (!found_text_ellipsis_) {
      info.hint_text.clear();
    } else if (Hint().empty()) {
      info.hint_text = Caption();
    }
  }
  LRESULT result = TRdGraphicControl::CMHintShow(info);
  bool can_show = result == 0;
  if (OnShowHint) {
    OnShowHint(info.hint_text, can_show, info);
    if (!can_show) result = 1;
  }
  return result;
}

std::vector<std::wstring> TRdCustomLabel::CurrentValues() const {
  std::vector<std::wstring> values = TRdGraphicControl::CurrentValues();
  values.push_back(L"Caption=" + Caption());
  values.push_back(L"Alignment=" + std::to_wstring(alignment_));
  values.push_back(L"Layout=" + std::to_wstring(layout_));
  values.push_back(L"EllipsisPosition=" + std::to_wstring(ellipsis_position_));
  values.push_back(L"FontHoverColor=" + ui::ColorToString(font_hover_color_));
  values.push_back(L"FontDownColor=" + ui::ColorToString(font_down_color_));
  values.push_back(L"FontDisabledColor=" + ui::ColorToString(font_disabled_color_));
  return values;
}

}  // namespace velmora
