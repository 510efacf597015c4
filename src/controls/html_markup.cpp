// DrawHtmlText: preparation and the line loop. Each line is laid out by a
// measure pass (which takes the line's content off the markup), placed by its
// alignment, and laid out again by the final pass from the same state, which
// paints it or hit-tests it. With an ellipsis, a look-ahead measures the line
// after it; when that one would not fit, the line is measured once more
// without word wrap and ends in "...".
#include "controls/html_markup.h"

#include <algorithm>

#include "controls/html_engine.h"
#include "controls/html_text.h"

namespace velmora {

bool DrawHtmlText(ui::Canvas& canvas, HtmlLinkItems* links, std::wstring_view markup,
                  const HtmlDrawSettings& settings, ui::TAlignment& alignment,
                  HtmlDrawResult& result) {
  html::HtmlEngine engine(canvas, links, settings, alignment);
  return engine.Run(markup, result);
}

namespace html {

HtmlEngine::HtmlEngine(ui::Canvas& canvas, HtmlLinkItems* links, const HtmlDrawSettings& settings,
                       ui::TAlignment& alignment)
    : canvas_(canvas),
      links_(links),
      settings_(settings),
      alignment_(alignment),
      start_alignment_(alignment),
      has_hit_point_(settings.hit_point.x != -1 || settings.hit_point.y != -1),
      word_wrap_(settings.word_wrap) {}

HtmlEngine::~HtmlEngine() {
  UnwindTurnedFonts(0);
}

bool HtmlEngine::Run(std::wstring_view source, HtmlDrawResult& result) {
  // What the canvas held, given back at the end.
  const FontCopy start_font(canvas_.Font());
  const ui::TColor start_brush_color = canvas_.Brush().Color();
  const ui::TBrushStyle start_brush_style = canvas_.Brush().Style();
  const ui::TColor start_pen_color = canvas_.Pen().Color();
  const int start_pen_width = canvas_.Pen().Width();

  state_.base_font = canvas_.Font();
  state_.link_font = canvas_.Font();
  state_.highlight_color = canvas_.Font().Color();
  SetBackground(ui::clNone);

  flags_ =
      settings_.accelerator_flags | DT_EXTERNALLEADING | DT_EXPANDTABS | DT_SINGLELINE | DT_BOTTOM;
  // An ampersand standing alone between blanks is meant as text: no
  // accelerator marks anywhere then.
  if (source.find(L" & ") != std::wstring_view::npos) flags_ |= DT_NOPREFIX;
  std::wstring markup(source);
  if (markup.find(L'&') != std::wstring::npos) {
    markup = DecodeMarkupEntities(markup, (flags_ & DT_NOPREFIX) != 0);
  }
  markup = LineBreaksToTags(RemoveHashMarks(markup));

  text_rect_ = settings_.rect;
  state_.spacing = state_.next_spacing = settings_.line_spacing;
  FontCopy measured_font;
  std::wstring_view rest(markup);
  while (!rest.empty()) {
    Save(line_start_);
    const std::wstring_view line_markup = rest;
    LineMetrics measured;
    std::wstring line = MeasureLine(rest, text_rect_, measured);
    RECT place = PlaceLine(text_rect_, measured, measured.height + state_.spacing);
    if (settings_.ellipsis != ui::epNone && !out_of_rect_ && !rest.empty() &&
        NextLineOverflows(rest, place.bottom)) {
      // This is the last line that fits: again from its start, without word
      // wrap, ending in "..." after the run where it ended before.
      Restore(line_start_);
      rest = line_markup;
      word_wrap_ = false;
      out_of_rect_ = true;
      ellipsis_line_ = true;
      ellipsis_run_ = measured.runs;
      line = MeasureLine(rest, text_rect_, measured);
      ellipsis_line_ = false;
      place = PlaceLine(text_rect_, measured, measured.height + state_.spacing);
    }
    // The final pass starts from the line's start; the text output and the
    // shape of the font stay as the measure pass left them.
    const std::wstring measured_text = text_.substr(line_start_.text_length);
    measured_font = canvas_.Font();
    Restore(line_start_);
    LineMetrics final_line = measured;
    std::wstring_view line_view(line);
    DrawHtmlLine(line_view, place, true, final_line);
    widest_ = std::max(widest_, final_line.width);
    text_.resize(line_start_.text_length);
    text_ += measured_text;
    const ui::TColor colour = canvas_.Font().Color();
    canvas_.Font().Assign(*measured_font);
    canvas_.Font().SetColor(colour);

    // A negative spacing may pull lines together, never above the line before.
    const int advance =
        std::max(0, final_line.height + state_.spacing + final_line.raise + final_line.drop);
    state_.spacing = state_.next_spacing;
    text_rect_.top += advance;
    total_height_ += advance;
    if (out_of_rect_) break;
    if (text_rect_.top > text_rect_.bottom) {
      out_of_rect_ = true;
      break;
    }
  }

  if (total_height_ == 0) total_height_ = canvas_.TextHeight(kLineSample);
  if (overflow_) out_of_rect_ = true;
  UnwindTurnedFonts(0);
  canvas_.Brush().SetColor(start_brush_color);
  canvas_.Brush().SetStyle(start_brush_style);
  canvas_.Pen().SetColor(start_pen_color);
  canvas_.Pen().SetWidth(start_pen_width);
  canvas_.Font().Assign(*start_font);

  result = HtmlDrawResult{};
  result.out_of_rect = out_of_rect_;
  result.hit_link = state_.hit_link;
  result.hit_link_rect = state_.hit_rect;
  result.link_count = state_.link_count;
  result.total_height = total_height_;
  result.widest = widest_;
  result.title = state_.hit_title;
  result.address = state_.hit_address;
  result.text = text_;
  return state_.hit;
}

void HtmlEngine::Save(TextState& snapshot) {
  snapshot = state_;
  snapshot.font = canvas_.Font();
  snapshot.text_length = text_.size();
  snapshot.alignment = alignment_;
  snapshot.turned_fonts = turned_.size();
}

void HtmlEngine::Restore(const TextState& snapshot) {
  UnwindTurnedFonts(snapshot.turned_fonts);
  state_ = snapshot;
  canvas_.Font().Assign(*snapshot.font);
  text_.resize(snapshot.text_length);
  alignment_ = snapshot.alignment;
  SetBackground(state_.background);
}

std::wstring HtmlEngine::MeasureLine(std::wstring_view& markup, const RECT& rect,
                                     LineMetrics& line) {
  const std::wstring_view before = markup;
  std::wstring source = DrawHtmlLine(markup, rect, false, line);
  if (markup.size() == before.size()) {
    // Every rule above takes something off a line; should one ever not, the
    // first character goes, so that the loop always ends.
    source += markup.front();
    markup.remove_prefix(1);
  }
  widest_ = std::max(widest_, line.width);
  return source;
}

RECT HtmlEngine::PlaceLine(const RECT& text, const LineMetrics& line, int height) const {
  RECT place = text;
  const int room = text.right - text.left - line.width;
  if (line.alignment == ui::taRightJustify && room > 0) {
    place.left = text.right - line.width;
  } else if (line.alignment == ui::taCenter && room > 0) {
    place.left = text.left + room / 2;
  }
  place.left += state_.paragraph_indent;
  place.bottom = place.top + height + line.raise + line.drop;
  return place;
}

bool HtmlEngine::NextLineOverflows(std::wstring_view markup, int top) {
  Save(lookahead_);
  std::vector<bool> found_ellipsis;
  for (int i = 0; links_ != nullptr && i < links_->Count(); ++i) {
    found_ellipsis.push_back(links_->LinkFoundTextEllipsis(i));
  }
  const int widest = widest_;
  state_.spacing = state_.next_spacing;
  RECT rect = text_rect_;
  rect.top = top;
  LineMetrics next;
  MeasureLine(markup, rect, next);
  const int bottom = top + next.height + state_.spacing + next.raise + next.drop;
  Restore(lookahead_);
  widest_ = widest;
  for (size_t i = 0; i < found_ellipsis.size(); ++i) {
    links_->SetLinkFoundTextEllipsis(static_cast<int>(i), found_ellipsis[i]);
  }
  return bottom > text_rect_.bottom;
}

void HtmlEngine::SetBackground(ui::TColor color) {
  state_.background = color;
  if (color == ui::clNone) {
    canvas_.Brush().SetStyle(ui::bsClear);
  } else {
    canvas_.Brush().SetColor(color);
  }
}

void HtmlEngine::SetStyle(ui::TFontStyles style, bool on) {
  const ui::TFontStyles current = canvas_.Font().Style();
  canvas_.Font().SetStyle(on ? current | style : current & ~style);
}

bool HtmlEngine::HitPointIn(const RECT& rect) const {
  const POINT p = settings_.hit_point;
  return has_hit_point_ && rect.left <= p.x && p.x <= rect.right && rect.top <= p.y &&
         p.y < rect.bottom;
}

void HtmlEngine::LinkHit() {
  state_.hit = true;
  state_.hit_address = state_.href;
  state_.hit_title = state_.title;
}

void HtmlEngine::UnwindTurnedFonts(size_t depth) {
  const HDC dc = canvas_.Handle();
  while (turned_.size() > depth) {
    TurnedFont& top = turned_.back();
    if (dc != nullptr && ::GetCurrentObject(dc, OBJ_FONT) == top.font.get()) {
      ::SelectObject(dc, top.replaced);
    }
    turned_.pop_back();
  }
}

}  // namespace html
}  // namespace velmora
