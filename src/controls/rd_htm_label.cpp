#include "controls/rd_htm_label.h"

#include <algorithm>

#include "common/handles.h"
#include "common/strings.h"
#include "ui/form.h"

namespace velmora {

namespace {

constexpr RECT kNoRect = {-1, -1, -1, -1};

// The caption without its tags. A "<" that no ">" closes hides the rest, as
// it does in the drawing.
std::wstring StripTags(std::wstring_view text) {
  std::wstring plain;
  plain.reserve(text.size());
  size_t at = 0;
  while (at < text.size()) {
    const size_t open = std::min(text.find(L'<', at), text.size());
    plain.append(text, at, open - at);
    const size_t close = text.find(L'>', open);
    at = close == std::wstring_view::npos ? text.size() : close + 1;
  }
  return plain;
}

}  // namespace

// --- TRdHtmLabelLink

TRdHtmLabelLink::TRdHtmLabelLink(TRdHtmLabelLinks& collection) : collection_(collection) {
  TRdHtmLabel& label = collection.Label();
  font_ = std::make_unique<TRdFont>(&label, &label.AllSkin());
  font_->SetStyle(font_->Style() | ui::fsUnderline);
  // The underline becomes the font's own style: it survives every copy from
  // the label's font.
  font_->AttachParent(&label.Font(), true);
  font_hover_ = std::make_unique<TRdFont>(&label, &label.AllSkin());
  font_hover_->AttachParent(font_.get(), true);
  font_->OnChange = [this](ui::Font&) { FontChanged(); };
}

TRdHtmLabelLink::~TRdHtmLabelLink() {
  font_->OnChange = nullptr;
}

int TRdHtmLabelLink::Index() const {
  return collection_.IndexOf(this);
}

void TRdHtmLabelLink::SetColorBg(TColor color) {
  if (color == color_bg_) return;
  color_bg_ = color;
  if (!collection_.Label().IsLoading()) collection_.Label().Invalidate();
}

void TRdHtmLabelLink::FontChanged() {
  if (!font_hover_) return;
  font_hover_->SyncFromParent();
  TRdHtmLabel& label = collection_.Label();
  if (label.IsLoading()) return;
  label.FitToText();
  label.Invalidate();
}

void TRdHtmLabelLink::Assign(const TRdHtmLabelLink& source) {
  font_->Assign(source.Font());
  font_hover_->Assign(source.FontHover());
  color_bg_ = source.color_bg_;
  name_ = source.name_;
  caption_ = source.caption_;
  hint_ = source.hint_;
  cursor_ = source.cursor_;
  max_line_ = source.max_line_;
  auto_show_hint_ = source.auto_show_hint_;
}

// --- TRdHtmLabelLinks

TRdHtmLabelLink& TRdHtmLabelLinks::Add() {
  items_.push_back(std::make_unique<TRdHtmLabelLink>(*this));
  return *items_.back();
}

void TRdHtmLabelLinks::Delete(int index) {
  if (IsValidIndex(index)) items_.erase(items_.begin() + index);
}

void TRdHtmLabelLinks::Clear() {
  items_.clear();
}

int TRdHtmLabelLinks::IndexOf(const TRdHtmLabelLink* item) const {
  for (int i = 0; i < Count(); ++i) {
    if (items_[i].get() == item) return i;
  }
  return -1;
}

void TRdHtmLabelLinks::Assign(const TRdHtmLabelLinks& source) {
  if (&source == this) return;
  items_.clear();
  for (const auto& item : source.items_) Add().Assign(*item);
}

// --- TRdHtmLabel

TRdHtmLabel::TRdHtmLabel() : links_(*this) {
  BeginLoading();
  SetAutoSize(false);
  SetWordWrap(true);
  SetWrapChar(false);
  lines_.OnChange = [this] { LinesChanged(); };
  EndLoading();
}

TRdHtmLabel::~TRdHtmLabel() {
  lines_.OnChange = nullptr;
}

void TRdHtmLabel::SetCaption(const std::wstring& caption) {
  if (caption == caption_) return;
  lines_.SetText(caption);
}

void TRdHtmLabel::SetLines(const ui::StringList* lines) {
  if (lines == nullptr) {
    lines_.Clear();
  } else {
    lines_.Assign(*lines);
  }
}

std::wstring TRdHtmLabel::JoinedLines() const {
  std::wstring joined;
  for (int i = 0; i < lines_.Count(); ++i) {
    if (i > 0) joined += L"<BR>";
    joined += lines_[i];
  }
  return joined;
}

void TRdHtmLabel::LinesChanged() {
  caption_ = JoinedLines();
  plain_text_ = StripTags(ReplaceAllNoCase(caption_, L"<br>", L"\r\n"));
  Perform(ui::CM_TEXTCHANGED);
  if (!IsLoading()) Invalidate();
}

void TRdHtmLabel::SetLineSpacing(int spacing) {
  if (spacing == line_spacing_) return;
  line_spacing_ = spacing;
  if (IsLoading()) return;
  FitToText();
  Invalidate();
}

void TRdHtmLabel::SetAutoSize(bool auto_size) {
  TRdLabel::SetAutoSize(auto_size);
  Invalidate();
}

RECT TRdHtmLabel::TextRect() const {
  RECT rect = ClientRect();
  TDesignRect& border = const_cast<TRdHtmLabel*>(this)->TextBorder();
  rect.left += border.Left();
  rect.top += border.Top();
  rect.right -= border.Right();
  rect.bottom -= border.Bottom();
  return rect;
}

void TRdHtmLabel::PlaceForLayout(RECT& rect, int height) const {
  TDesignRect& border = const_cast<TRdHtmLabel*>(this)->TextBorder();
  if (Layout() == ui::tlCenter) {
    rect.top += (Height() - border.Top() - border.Bottom() - height) / 2;
  } else if (Layout() == ui::tlBottom) {
    rect.top = Height() - height - border.Bottom();
  }
}

bool TRdHtmLabel::DrawHtml(ui::Canvas& canvas, const std::wstring& text, RECT& rect,
                           bool measure_only, int hover_link, int x, int y, bool& out_of_rect,
                           HtmlDrawResult& result) {
  HtmlDrawSettings settings;
  settings.ellipsis = EllipsisPosition();
  settings.line_spacing = line_spacing_;
  settings.word_wrap = WordWrap();
  settings.wrap_char = WrapChar();
  settings.accelerator_flags = ShowAccelChar() ? 0 : DT_NOPREFIX;
  settings.rect = rect;
  settings.measure_only = measure_only;
  settings.hover_link = hover_link;
  settings.hit_point = {x, y};
  settings.shadow_color = ui::clNone;
  settings.shadow_offset = 2;
  TAlignment alignment = EffectiveAlignment(Alignment());
  const bool hit = DrawHtmlText(canvas, &links_, text, settings, alignment, result);
  out_of_rect = result.out_of_rect;
  return hit;
}

void TRdHtmLabel::Paint() {
  RECT rect = ClientRect();
  if (::IsRectEmpty(&rect)) return;
  ui::Canvas& canvas = Canvas();
  canvas.Brush().SetStyle(ui::bsClear);
  canvas.Font().Assign(Font());
  if (!Measuring()) {
    if (!Transparent()) FillBackground(rect);
    DrawDesignPicture(canvas.Handle(), rect, Background(), BackgroundOption());
    if (OnPaintImage) OnPaintImage(*this);
  }
  const std::wstring text = JoinedLines();
  const TDesignRect& border = TextBorder();
  rect = TextRect();
  const bool sizing = AutoSize() && Measuring();
  if (sizing) rect.bottom += 65535;  // lay every line out

  int height = 0;
  bool out_of_rect = false;
  HtmlDrawResult result;
  for (int pass = 0; pass < 2; ++pass) {
    if (AutoSize() || Layout() != ui::tlTop) {
      RECT measured = rect;
      DrawHtml(canvas, text, measured, true, hover_link_, last_mouse_x_, last_mouse_y_, out_of_rect,
               result);
      height = result.total_height;
    }
    canvas.Brush().SetStyle(ui::bsClear);
    canvas.Font().Assign(Font());
    if (!Enabled()) {
      canvas.Font().SetColor(FontDisabledColor());
    } else if (MouseInside() && FontHoverColor() != ui::clDefault) {
      canvas.Font().SetColor(FontHoverColor());
    }
    const bool fits_align =
        Align() == ui::alNone || Align() == ui::alTop || Align() == ui::alBottom;
    if (!sizing || !fits_align || height <= 0) break;
    SetHeight(border.Top() + height + border.Bottom());
    height = Height() - border.Top() - border.Bottom();
    rect.bottom = rect.top + height;
    // With an ellipsis, the text is measured once more at the new size.
    if (EllipsisPosition() == ui::epNone || pass == 1) break;
  }
  PlaceForLayout(rect, height);
  DrawHtml(canvas, text, rect, Measuring(), hover_link_, last_mouse_x_, last_mouse_y_,
           found_text_out_of_rect_, result);
  if (!Measuring() && OnPaintEnd) OnPaintEnd(*this);
}

void TRdHtmLabel::FitToText() {
  if (IsLoading() || Measuring()) return;
  MeasuringPaint();
}

int TRdHtmLabel::MeasureTextHeight() {
  UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
  if (!dc) return 0;
  ui::Canvas canvas(dc.get());
  canvas.Font().Assign(Font());
  canvas.Brush().SetStyle(ui::bsClear);
  RECT rect = TextRect();
  rect.bottom = rect.top + 65535;
  bool out_of_rect = false;
  HtmlDrawResult result;
  DrawHtml(canvas, JoinedLines(), rect, true, -1, -1, -1, out_of_rect, result);
  return result.total_height;
}

void TRdHtmLabel::LinkAtPoint(int x, int y, int& index, RECT& rect, std::wstring& text) {
  rect = kNoRect;
  index = -1;
  text.clear();
  const RECT client = ClientRect();
  if (::IsRectEmpty(&client)) return;
  UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
  if (!dc) return;
  ui::Canvas canvas(dc.get());
  canvas.Font().Assign(Font());
  canvas.Brush().SetStyle(ui::bsClear);
  const std::wstring markup = JoinedLines();
  RECT area = TextRect();
  bool out_of_rect = false;
  HtmlDrawResult result;
  if (Layout() == ui::tlCenter || Layout() == ui::tlBottom) {
    RECT measured = area;
    DrawHtml(canvas, markup, measured, true, hover_link_, x, y, out_of_rect, result);
    PlaceForLayout(area, result.total_height);
  }
  if (!DrawHtml(canvas, markup, area, true, hover_link_, x, y, out_of_rect, result)) return;
  text = result.title.empty() ? result.address : result.title;
  index = result.hit_link;
  rect = result.hit_link_rect;
}

void TRdHtmLabel::InvalidateLinkRect(const RECT& rect) {
  if (!Visible() || Parent() == nullptr || Parent()->handle() == nullptr) return;
  RECT area = rect;
  ::OffsetRect(&area, Left(), Top());
  ::InvalidateRect(Parent()->handle(), &area, TRUE);
}

void TRdHtmLabel::RepaintLink(const RECT& rect) {
  if (rect.left == -1) {
    Invalidate();
  } else {
    InvalidateLinkRect(rect);
  }
}

void TRdHtmLabel::CancelHint() {
  if (Parent() != nullptr) Parent()->Hints().CancelHint();
}

void TRdHtmLabel::RestartHint(int x, int y) {
  if (Parent() == nullptr) return;
  Parent()->Hints().ForgetHintControl();
  Parent()->Hints().MouseMessage(this, {Left() + x, Top() + y});
}

void TRdHtmLabel::MouseMove(UINT keys, int x, int y) {
  TRdLabel::MouseMove(keys, x, y);
  if (x == last_mouse_x_ && y == last_mouse_y_) return;
  last_mouse_x_ = x;
  last_mouse_y_ = y;
  if (hover_link_ == -2) return;  // the mouse has not entered

  const int previous = hover_link_;
  RECT rect;
  std::wstring text;
  LinkAtPoint(x, y, hover_link_, rect, text);
  if (hover_link_ == previous) return;
  previous_hover_link_ = previous;
  hover_text_ = text;
  if (previous != -1) RepaintLink(hover_rect_);
  hover_rect_ = rect;

  if (hover_link_ == -1) {
    // Off a link: the label's own cursor again, and its own hint.
    if (!cursor_saved_) {
      saved_cursor_ = Cursor();
      cursor_saved_ = true;
    } else {
      SetCursor(saved_cursor_);
    }
    if (links_.IsValidIndex(previous)) {
      TRdHtmLabelLink& item = links_[previous];
      const bool shows = !item.Hint().empty() && (!item.AutoShowHint() || item.FoundTextEllipsis());
      if (shows && ShowHint()) CancelHint();
    }
    RestartHint(x, y);
    return;
  }
  if (previous == -1) {
    saved_cursor_ = Cursor();
    cursor_saved_ = true;
  }
  if (links_.IsValidIndex(hover_link_)) {
    TRdHtmLabelLink& item = links_[hover_link_];
    SetCursor(item.Cursor() != ui::crDefault ? item.Cursor() : saved_cursor_);
    if ((!item.Hint().empty() || AutoShowHint()) && ShowHint() &&
        (!item.AutoShowHint() || item.FoundTextEllipsis())) {
      if (!item.Hint().empty() || previous != -1) CancelHint();
      RestartHint(x, y);
    }
  }
  RepaintLink(rect);
}

void TRdHtmLabel::CMMouseEnter() {
  hover_link_ = -1;
  TRdLabel::CMMouseEnter();
}

void TRdHtmLabel::CMMouseLeave() {
  last_mouse_x_ = -1;
  last_mouse_y_ = -1;
  if (hover_link_ >= 0) {
    previous_hover_link_ = hover_link_;
    hover_link_ = -2;
    hover_text_.clear();
    RepaintLink(hover_rect_);
    hover_rect_ = kNoRect;
    if (cursor_saved_) SetCursor(saved_cursor_);
  }
  TRdLabel::CMMouseLeave();
}

void TRdHtmLabel::MouseDown(ui::TMouseButton button, UINT keys, int x, int y) {
  last_mouse_x_ = x;
  last_mouse_y_ = y;
  TRdLabel::MouseDown(button, keys, x, y);
  if (button != ui::mbLeft) return;
  RECT rect;
  std::wstring text;
  LinkAtPoint(x, y, pressed_link_, rect, text);
}

void TRdHtmLabel::MouseUp(ui::TMouseButton button, UINT keys, int x, int y) {
  last_mouse_x_ = x;
  last_mouse_y_ = y;
  TRdLabel::MouseUp(button, keys, x, y);
  const int pressed = std::exchange(pressed_link_, -1);
  if (button != ui::mbLeft || pressed < 0) return;
  int link = -1;
  RECT rect;
  std::wstring text;
  LinkAtPoint(x, y, link, rect, text);
  // A click needs the button to go down and up over the same link.
  if (link < 0 || link != pressed || !links_.IsValidIndex(link)) return;
  TRdHtmLabelLink& item = links_[link];
  if (item.OnClick) item.OnClick(item);
}

LRESULT TRdHtmLabel::CMHintShow(ui::HintInfo& info) {
  bool can_show = true;
  const bool on_item = links_.IsValidIndex(hover_link_);
  if (on_item && !links_[hover_link_].Hint().empty() &&
      (!links_[hover_link_].AutoShowHint() || links_[hover_link_].FoundTextEllipsis())) {
    info.hint_text = links_[hover_link_].Hint();
  } else if (AutoShowHint()) {
    if (!found_text_out_of_rect_) {
      info.hint_text.clear();
    } else if (Hint().empty()) {
      info.hint_text = plain_text_;
    }
  }
  if (OnShowHint) OnShowHint(info.hint_text, can_show, info);
  return can_show ? 0 : 1;
}

void TRdHtmLabel::SyncLinkFont(TRdHtmLabelLink& item) {
  TRdFont& font = item.Font();
  const ui::TFontStyles style = font.Style();
  font.SyncFromParent(&Font());
  if ((style & ui::fsUnderline) != 0 && !font.IsExplicit(TRdFont::kStyleProperty)) {
    // Back to underlined without making the style the font's own setting.
    font.ui::Font::SetStyle(font.Style() | ui::fsUnderline);
  }
}

void TRdHtmLabel::CMFontChanged() {
  for (int i = 0; i < links_.Count(); ++i) SyncLinkFont(links_[i]);
  TRdLabel::CMFontChanged();
}

void TRdHtmLabel::UpdateLinkFonts() {
  for (int i = 0; i < links_.Count(); ++i) {
    TRdHtmLabelLink& item = links_[i];
    item.Font().LockChanges();
    SyncLinkFont(item);
    item.Font().UnlockChanges();
    item.FontHover().SyncFromParent(&item.Font());
  }
}

void TRdHtmLabel::Loaded() {
  UpdateLinkFonts();
  TRdLabel::Loaded();
}

}  // namespace velmora
