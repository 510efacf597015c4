// DrawHtmlLine: one line of the markup, run by run. A run is the text up to
// the next tag; with word wrap one off-screen draw of the run tells how much
// of it fits on the rest of the line (DRAWTEXTPARAMS.uiLengthDrawn), so the
// line is never measured word by word. Runs share one baseline: each is drawn
// aligned to the bottom of its rectangle, lowered by its own descent and
// raised by the line's largest.
#include <algorithm>
#include <cstdlib>

#include "controls/html_engine.h"
#include "controls/html_text.h"

namespace velmora::html {

namespace {

UINT RunEllipsisFlag(ui::TEllipsisPosition position) {
  switch (position) {
    case ui::epPathEllipsis:
      return DT_PATH_ELLIPSIS;
    case ui::epEndEllipsis:
      return DT_END_ELLIPSIS;
    case ui::epWordEllipsis:
      return DT_WORD_ELLIPSIS;
    default:
      return 0;
  }
}

constexpr std::wstring_view kEllipsis = L"...";
constexpr UINT kEllipsisFlags = DT_PATH_ELLIPSIS | DT_END_ELLIPSIS | DT_WORD_ELLIPSIS;

// Whether DrawTextExW tells how many characters it drew on the lines that fit
// (Wine leaves DRAWTEXTPARAMS.uiLengthDrawn at 0, which would mean "all").
bool ReportsLengthDrawn() {
  static const bool reports = [] {
    UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    if (!dc) return false;
    wchar_t text[] = L"ab ab";
    RECT narrow = {0, 0, 1, 1};
    DRAWTEXTPARAMS params = {};
    params.cbSize = sizeof(params);
    ::DrawTextExW(dc.get(), text, 5, &narrow, DT_WORDBREAK | DT_NOPREFIX, &params);
    return params.uiLengthDrawn > 0 && params.uiLengthDrawn < 5;
  }();
  return reports;
}

}  // namespace

std::wstring HtmlEngine::DrawHtmlLine(std::wstring_view& markup, const RECT& rect, bool final,
                                      LineMetrics& metrics) {
  line_ = LineState{};
  line_.final = final;
  line_.painting = final && !settings_.measure_only;
  line_.left = rect.left;
  line_.top = rect.top;
  line_.right = rect.right;
  line_.raise = final ? metrics.raise : 0;
  line_.drop = final ? metrics.drop : 0;
  line_.bottom = rect.bottom - line_.drop;
  line_.image_shift = final ? metrics.image_shift : 0;
  line_.indent = final ? metrics.indent : state_.paragraph_indent;
  line_.alignment = alignment_;
  line_.start_background = state_.background;
  ReadRunMetrics();
  line_.descent = final ? metrics.descent : line_.run_descent;
  // Every line starts past the persistent left offset.
  line_.x = line_.start_x = state_.left_offset;
  wrap_off_for_run_ = false;
  ellipsis_placed_ = false;
  if (line_.painting && state_.paragraph_background) FillParagraphBand();

  // The final pass lays out all that the measure pass took, and only that.
  while (!markup.empty() && (final || (!line_.ended && !line_.stopped))) {
    const size_t before = markup.size();
    LayOutNext(markup);
    if (final && markup.size() == before) markup.remove_prefix(1);  // always ends
  }
  if (ellipsis_line_ && !final && !ellipsis_placed_) {
    // The line ended before the run that had its "...": it goes at the end.
    line_.stopped = false;
    EndLineWithEllipsis();
  }

  metrics.width = std::max(0, line_.x);
  metrics.height = line_.height;
  metrics.raise = line_.raise;
  metrics.drop = line_.drop;
  metrics.descent = line_.descent;
  metrics.image_shift = line_.image_shift;
  metrics.indent = line_.indent;
  metrics.runs = line_.runs;
  metrics.alignment = line_.alignment;
  return std::move(line_.source);
}

void HtmlEngine::LayOutNext(std::wstring_view& markup) {
  ReadRunMetrics();
  const std::wstring_view run = markup.substr(0, markup.find(L'<'));
  std::wstring text = DecodeRunText(run);
  // Only the measure pass breaks lines: the final pass draws what it took.
  const bool wrap = !line_.final && word_wrap_ && !wrap_off_for_run_;
  wrap_off_for_run_ = false;
  size_t take = run.size();
  bool full = false;
  if (wrap) {
    if (!text.empty()) {
      const size_t fit = WrapPoint(text);
      if (fit < text.size()) {
        full = true;
        take = MarkupLengthOf(run, fit);
        text.resize(fit);
      }
    } else if (line_.first_run) {
      // A line that opens with a tag has no height of its own yet. (The
      // final pass keeps the descent it was handed: it is the baseline.)
      line_.height = 0;
      line_.descent = 0;
    }
  }
  if (!text.empty()) LayOutRun(markup, take, text, wrap, full);

  if (markup.empty() || markup.front() != L'<') return;
  if (markup.size() <= 2) {
    markup = {};
    return;
  }
  if (!line_.final && (line_.ended || line_.stopped)) return;
  ReadTag(markup);
  ApplyTurn();
  if (line_.stopped && !line_.final) return;  // the tag opens the next line
  const size_t close = markup.find(L'>');
  const size_t length = close == std::wstring_view::npos ? markup.size() : close + 1;
  line_.source += markup.substr(0, length);
  markup.remove_prefix(length);
}

void HtmlEngine::ReadRunMetrics() {
  line_.run_height = canvas_.TextHeight(kLineSample);
  TEXTMETRICW metrics;
  if (canvas_.TextMetrics(metrics)) {
    line_.run_descent = metrics.tmDescent;
    line_.cell_height = metrics.tmHeight;
  } else {
    line_.run_descent = line_.run_height - std::abs(canvas_.Font().Height());
    line_.cell_height = line_.run_height;
  }
}

size_t HtmlEngine::WrapPoint(const std::wstring& text) {
  // The room that is really left: a bullet, <IND> or <OF> may have taken some.
  const int left = RunLeft();
  if (!ReportsLengthDrawn()) return LineBreakPoint(text, line_.right - left);
  const int top = line_.top + 2000;
  RECT off_screen = {left, top, line_.right, top + line_.run_height - 1};
  const UINT flags = (flags_ & ~(DT_SINGLELINE | DT_END_ELLIPSIS)) | DT_WORDBREAK |
                     (settings_.wrap_char ? DT_EDITCONTROL : 0);
  DRAWTEXTPARAMS params = {};
  params.cbSize = sizeof(params);
  canvas_.DrawTextEx(text, off_screen, flags, &params);
  const size_t drawn = params.uiLengthDrawn;
  return drawn == 0 || drawn > text.size() ? text.size() : drawn;
}

size_t HtmlEngine::LineBreakPoint(const std::wstring& text, int width) {
  const size_t length = text.size();
  const size_t fit = canvas_.TextFit(text, width);
  // A line feed ends the first line by itself.
  const size_t feed = text.find(L'\n');
  if (feed != std::wstring::npos && feed < fit) return feed + 1;
  if (fit >= length) return length;
  auto blank = [&](size_t at) { return text[at] == L' ' || text[at] == L'\t'; };
  auto skip_blanks = [&](size_t at) {
    while (at < length && blank(at)) ++at;
    return at;
  };
  // Blanks at the break stay on the line that they end.
  if (blank(fit)) return skip_blanks(fit);
  size_t word = fit;
  while (word > 0 && !blank(word - 1)) --word;
  if (word > 0) return word;
  // One word longer than the line: cut it (edit-control wrapping), else it
  // stays whole on the line.
  if (settings_.wrap_char) return std::max<size_t>(1, fit);
  size_t end = fit;
  while (end < length && !blank(end)) ++end;
  return skip_blanks(end);
}

int HtmlEngine::SingleLineWidth(const std::wstring& text) {
  RECT rect = {line_.left, line_.top, line_.right, line_.bottom};
  canvas_.DrawText(text, rect, flags_ | DT_CALCRECT);
  return rect.right - rect.left;
}

void HtmlEngine::LayOutRun(std::wstring_view& markup, size_t take, std::wstring text, bool wrap,
                           bool full) {
  const bool was_first = line_.first_run;
  line_.first_run = false;
  const int h = line_.run_height;
  const int d = line_.run_descent;
  if (state_.superscript) line_.raise = std::max(line_.raise, h / 4);
  if (state_.subscript) line_.drop = std::max(line_.drop, h / 4);
  const int x_before = line_.x;
  const int height_before = line_.height;
  const int descent_before = line_.descent;
  const int runs_before = line_.runs;
  const size_t text_before = text_.size();
  line_.height = std::max(line_.height, h);
  line_.descent = std::max(line_.descent, d);
  text_ += text;
  std::wstring taken(markup.substr(0, take));

  bool accepted = true;
  bool ends = full;
  bool ellipsis_end = false;
  if (!state_.hidden) {
    ++line_.runs;
    if (ellipsis_line_ && !line_.final && line_.runs == ellipsis_run_) {
      taken += kEllipsis;
      text += kEllipsis;
      text_ += kEllipsis;
      ellipsis_end = true;
      ellipsis_placed_ = true;
    }
  }
  if (!state_.hidden && Measuring()) {
    const int w = SingleLineWidth(text);
    const int x = RunLeft();
    const int bottom = line_.bottom + d - line_.descent;
    if (state_.in_link && Recording()) RecordLinkPart({x, bottom - h, x + w, bottom});
    line_.x += w;
    const int link = state_.link_count - 1;
    if (state_.in_link && HasItem(link) && RunLeft() > line_.right) {
      links_->SetLinkFoundTextEllipsis(link, true);
    }
    if (!line_.final) {
      accepted = !wrap || RunFits(text, x_before, was_first);
      const bool tag_follows = markup.size() > take && markup[take] == L'<';
      if (accepted && wrap && !ends && RunLeft() >= line_.right && !tag_follows) ends = true;
    }
  } else if (!state_.hidden) {
    PaintRun(text, RunEllipsisFlag(settings_.ellipsis));
  }

  // A link with a line allowance: on its last allowed line the rest of its
  // text up to its next tag stays on the line, past the right edge.
  if (!line_.final && !state_.hidden && word_wrap_ && state_.in_link && state_.allowance > 0 &&
      (ends || !accepted)) {
    if (state_.allowance-- == 1) {
      ends = false;
      accepted = true;
      wrap_off_for_run_ = true;
    }
  }
  // A run that is alone on its line goes there: the next line has no more room.
  if (!accepted && line_.source.empty()) accepted = true;
  if (accepted) {
    markup.remove_prefix(take);
    line_.source += taken;
  } else {
    line_.x = x_before;
    line_.height = height_before;
    line_.descent = descent_before;
    line_.runs = runs_before;
    ellipsis_placed_ = false;
    text_.resize(text_before);
    ends = true;
  }
  if (ends || ellipsis_end) line_.ended = true;
}

bool HtmlEngine::RunFits(const std::wstring& text, int x_before, bool was_first) {
  const int left = line_.left + x_before;
  if (RunLeft() <= line_.right) return true;
  const int h = line_.run_height;
  const UINT flags = (flags_ & ~(DT_SINGLELINE | DT_END_ELLIPSIS | DT_EXTERNALLEADING)) |
                     DT_WORDBREAK | DT_CALCRECT | (settings_.wrap_char ? DT_EDITCONTROL : 0);
  RECT rest = {left, line_.top, line_.right, line_.top + h};
  canvas_.DrawText(text, rest, flags);
  if (rest.bottom - rest.top <= h && (was_first || rest.right <= line_.right)) return true;
  // On the last line that can be shown, a run that shows at least its first
  // character before the ellipsis is taken.
  if (settings_.ellipsis != ui::epNone &&
      text_rect_.bottom < line_.height + line_.top + h + state_.spacing) {
    return SingleLineWidth(text.substr(0, 1) + std::wstring(kEllipsis)) <= line_.right - left;
  }
  return false;
}

void HtmlEngine::RecordLinkPart(const RECT& part) {
  RECT& all = state_.link_rect;
  if (state_.has_link_rect) {
    all = {std::min(all.left, part.left), std::min(all.top, part.top),
           std::max(all.right, part.right), std::max(all.bottom, part.bottom)};
  } else {
    all = part;
    state_.has_link_rect = true;
  }
  if (!state_.link_hit && HitPointIn(part)) {
    state_.link_hit = true;
    LinkHit();
  }
  if (state_.link_hit) {
    state_.hit_link = state_.link_count - 1;
    state_.hit_rect = all;
  }
}

void HtmlEngine::PaintRun(const std::wstring& text, UINT ellipsis_flag) {
  const int h = line_.run_height;
  const int d = line_.run_descent;
  int bottom = line_.bottom;
  if (state_.superscript) {
    bottom -= line_.raise;
  } else if (state_.subscript) {
    bottom += line_.drop;
  }
  bottom += -line_.image_shift + d - line_.descent;
  RECT run = {RunLeft(), line_.top, line_.right, bottom};

  const UINT broken_flags =
      (flags_ & ~(DT_END_ELLIPSIS | DT_EXTERNALLEADING | DT_SINGLELINE | DT_BOTTOM)) |
      DT_WORDBREAK | DT_CALCRECT | (word_wrap_ && settings_.wrap_char ? DT_EDITCONTROL : 0);
  RECT broken = run;
  canvas_.DrawText(text, broken, broken_flags);
  const bool one_line = broken.bottom - broken.top <= h;
  if (one_line) {
    // One word wider than the room: it runs past the edge.
    if (broken.right - broken.left > run.right - run.left) {
      overflow_ = true;
    } else {
      ellipsis_flag = 0;
    }
  }
  RECT single = run;
  canvas_.DrawText(text, single, flags_ | DT_CALCRECT);
  const int w = single.right - single.left;
  if (!one_line && !word_wrap_ && single.right > run.right) overflow_ = true;
  line_.x += w;

  if (run.left < line_.right) {
    const UINT flags = (flags_ & ~DT_EXTERNALLEADING) | ellipsis_flag | DT_NOCLIP;
    if (state_.shadow) {
      RECT shadow = run;
      ::OffsetRect(&shadow, settings_.shadow_offset, settings_.shadow_offset);
      const ui::TColor colour = canvas_.Font().Color();
      // Without a colour of its own, the shadow takes the system's.
      canvas_.Font().SetColor(settings_.shadow_color != ui::clNone ? settings_.shadow_color
                                                                   : ui::clBtnShadow);
      canvas_.Brush().SetStyle(ui::bsClear);
      DrawRunText(text, shadow, flags);
      canvas_.Font().SetColor(colour);
      SetBackground(state_.background);
    }
    DrawRunText(text, run, flags);
  }
  if (state_.error_mark) DrawZigzag(run.left, run.left + w);
}

void HtmlEngine::DrawRunText(const std::wstring& text, const RECT& run, UINT flags) {
  // Plain text is drawn at the advances that it was measured with, so that
  // the next run starts where this one's last character ends. Accelerator
  // marks, tabs, line feeds and a cut with "..." need the platform's call.
  const bool prefixes = (flags & DT_NOPREFIX) == 0 && text.find(L'&') != std::wstring::npos;
  const bool controls = std::any_of(text.begin(), text.end(), [](wchar_t c) { return c < L' '; });
  if (prefixes || controls || (flags & kEllipsisFlags) != 0) {
    RECT area = run;
    canvas_.DrawText(text, area, flags);
    return;
  }
  // Aligned to the bottom of the run rectangle, as the one-line call aligns it.
  canvas_.TextOutMeasured(run.left, run.bottom - line_.cell_height, text);
}

void HtmlEngine::DrawZigzag(int from, int to) {
  const int bottom = line_.bottom;
  int x = from & ~1;  // down to an even number, also below zero
  int y = ((x % 4) + 4) % 4 == 0 ? bottom + 1 : bottom - 1;
  canvas_.Pen().SetColor(ui::clRed);
  canvas_.Pen().SetWidth(1);
  canvas_.MoveTo(x, y);
  while (x < to) {
    x += 2;
    y = y == bottom + 1 ? bottom - 1 : bottom + 1;
    canvas_.LineTo(x, y);
  }
}

void HtmlEngine::EndLineWithEllipsis() {
  line_.height = std::max(line_.height, line_.run_height);
  line_.descent = std::max(line_.descent, line_.run_descent);
  ellipsis_placed_ = true;
  line_.x += SingleLineWidth(std::wstring(kEllipsis));
  line_.source += kEllipsis;
  text_ += kEllipsis;
  line_.first_run = false;
  line_.stopped = true;
}

void HtmlEngine::FillParagraphBand() {
  const RECT band = {text_rect_.left, line_.top, text_rect_.right, line_.bottom + line_.drop};
  if (state_.paragraph_color_to != ui::clNone) {
    canvas_.GradientFill(band, state_.paragraph_color, state_.paragraph_color_to,
                         ui::GradientDirection::kHorizontal);
    return;
  }
  canvas_.Brush().SetColor(state_.paragraph_color);
  canvas_.FillRect(band);
  SetBackground(state_.background);
}

}  // namespace velmora::html
