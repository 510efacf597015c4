// DrawHtmlText: preparation and the line loop. Each line is laid out by a
// measure pass (which takes the line's content off the markup) in the room
// that the line will have, placed in that room by its alignment, and laid out
// again by the final pass from the same state, which paints it or hit-tests
// it: the final pass takes every run and tag that the measure pass took, in
// the same fonts, and breaks nothing again. With an ellipsis, a look-ahead
// measures the lines after it; when no further line that shows text fits,
// the line is measured once more without word wrap and ends in "...".
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

HtmlEngine::~HtmlEngine() = default;

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
    std::wstring line = MeasureLine(rest, text_rect_.top, measured);
    RECT place = PlaceLine(measured, measured.height + state_.spacing);
    if (settings_.ellipsis != ui::epNone && !out_of_rect_ && !rest.empty() &&
        NoTextLineFollows(rest, place.bottom)) {
      // This is the last line that shows text: again from its start, without
      // word wrap, ending in "..." after the run where it ended before.
      Restore(line_start_);
      rest = line_markup;
      word_wrap_ = false;
      out_of_rect_ = true;
      ellipsis_line_ = true;
      ellipsis_run_ = measured.runs;
      line = MeasureLine(rest, text_rect_.top, measured);
      ellipsis_line_ = false;
      place = PlaceLine(measured, measured.height + state_.spacing);
    }
    // The final pass starts from the line's start; the text output, the
    // shape of the font and the link's line allowance stay as the measure
    // pass left them.
    const std::wstring measured_text = text_.substr(line_start_.text_length);
    measured_font = canvas_.Font();
    const int measured_allowance = state_.allowance;
    Restore(line_start_);
    LineMetrics final_line = measured;
    std::wstring_view line_view(line);
    DrawHtmlLine(line_view, place, true, final_line);
    widest_ = std::max(widest_, final_line.width);
    text_.resize(line_start_.text_length);
    text_ += measured_text;
    state_.allowance = measured_allowance;
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
}

void HtmlEngine::Restore(const TextState& snapshot) {
  state_ = snapshot;
  canvas_.Font().Assign(*snapshot.font);
  text_.resize(snapshot.text_length);
  alignment_ = snapshot.alignment;
  SetBackground(state_.background);
}

RECT HtmlEngine::LineRoom(int top) const {
  return {text_rect_.left + state_.paragraph_indent, top, text_rect_.right, text_rect_.bottom};
}

std::wstring HtmlEngine::MeasureLine(std::wstring_view& markup, int top, LineMetrics& line) {
  const std::wstring_view before = markup;
  std::wstring source = DrawHtmlLine(markup, LineRoom(top), false, line);
  if (markup.size() == before.size()) {
    // Every rule above takes something off a line; should one ever not, the
    // first character goes, so that the loop always ends.
    source += markup.front();
    markup.remove_prefix(1);
  }
  widest_ = std::max(widest_, line.width);
  return source;
}

RECT HtmlEngine::PlaceLine(const LineMetrics& line, int height) const {
  // The room that the measure pass had: the line fits in it as measured.
  RECT place = text_rect_;
  place.left += line.indent;
  const int room = place.right - place.left - line.width;
  if (line.alignment == ui::taRightJustify && room > 0) {
    place.left = place.right - line.width;
  } else if (line.alignment == ui::taCenter && room > 0) {
    place.left += room / 2;
  }
  place.bottom = place.top + height + line.raise + line.drop;
  return place;
}

bool HtmlEngine::NoTextLineFollows(std::wstring_view markup, int top) {
  Save(lookahead_);
  std::vector<bool> found_ellipsis;
  for (int i = 0; links_ != nullptr && i < links_->Count(); ++i) {
    found_ellipsis.push_back(links_->LinkFoundTextEllipsis(i));
  }
  const int widest = widest_;
  // Lines without text (an empty paragraph line, a rule) cannot take the
  // "...": look past them to the next line that has text.
  bool cut = false;
  while (!markup.empty()) {
    state_.spacing = state_.next_spacing;
    LineMetrics next;
    MeasureLine(markup, top, next);
    const int height = next.height + state_.spacing + next.raise + next.drop;
    if (top + height > text_rect_.bottom) {
      cut = true;
      break;
    }
    if (next.runs > 0) break;
    top += std::max(0, height);
  }
  Restore(lookahead_);
  widest_ = widest;
  for (size_t i = 0; i < found_ellipsis.size(); ++i) {
    links_->SetLinkFoundTextEllipsis(static_cast<int>(i), found_ellipsis[i]);
  }
  return cut;
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

void HtmlEngine::ApplyTurn() {
  const int depth = std::min(state_.turn_depth, TextState::kMaxTurns);
  const int turn = depth > 0 ? state_.turns[depth - 1] : 0;
  if (canvas_.Font().Escapement() != turn) canvas_.Font().SetEscapement(turn);
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

}  // namespace html
}  // namespace velmora
