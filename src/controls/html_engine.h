// The state and passes of one DrawHtmlText call (html_markup.h). The line
// loop is in html_markup.cpp, the layout of one line (DrawHtmlLine) in
// html_line.cpp and the tags in html_tags.cpp.
#pragma once

#include <windows.h>

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/handles.h"
#include "controls/html_markup.h"

namespace velmora::html {

// A font held by value: copying shares the GDI font, as Font::Assign does.
class FontCopy {
 public:
  FontCopy() : font_(std::make_unique<ui::Font>()) {}
  explicit FontCopy(const ui::Font& source) : FontCopy() { font_->Assign(source); }
  FontCopy(const FontCopy& other) : FontCopy(*other.font_) {}
  FontCopy& operator=(const FontCopy& other) {
    font_->Assign(*other.font_);
    return *this;
  }
  FontCopy& operator=(const ui::Font& source) {
    font_->Assign(source);
    return *this;
  }
  const ui::Font& operator*() const { return *font_; }
  ui::Font& operator*() { return *font_; }
  const ui::Font* operator->() const { return font_.get(); }
  ui::Font* operator->() { return font_.get(); }

 private:
  std::unique_ptr<ui::Font> font_;
};

// Everything that a pass over a line changes, so that a pass can be repeated
// from the same start: taken before the measure pass, put back before the
// final pass and after the look-ahead. Text output is kept by its length:
// a pass only adds to it.
struct TextState {
  FontCopy font;                       // the canvas font
  FontCopy base_font;                  // what </FONT> and </B...> go back to
  FontCopy link_font;                  // the font before the current link
  ui::TColor background = ui::clNone;  // behind the text; clNone: none
  ui::TColor link_background = ui::clNone;
  ui::TColor font_background = ui::clNone;       // before <FONT BGCOLOR>
  ui::TColor highlight_color = ui::clNone;       // before <HI>
  ui::TColor highlight_background = ui::clNone;  // before <HI>
  ui::TColor paragraph_saved_background = ui::clNone;
  ui::TColor paragraph_color = ui::clNone;
  ui::TColor paragraph_color_to = ui::clNone;
  bool paragraph_background = false;
  bool in_link = false;
  bool superscript = false;
  bool subscript = false;
  bool shadow = false;
  bool hidden = false;
  bool error_mark = false;
  int link_count = 0;
  int allowance = -1;  // lines left to the current link (MaxLine); -1 none
  std::wstring href;
  std::wstring title;
  RECT link_rect = {};  // the current link's parts so far
  bool has_link_rect = false;
  bool link_hit = false;  // the hit point lies on the current link
  int hit_link = -1;
  RECT hit_rect = {-1, -1, -1, -1};
  std::wstring hit_title;
  std::wstring hit_address;
  bool hit = false;
  int list_depth = 0;
  bool numbered = false;
  int item_number = 1;
  int paragraph_indent = 0;
  int left_offset = 0;
  size_t text_length = 0;
  ui::TAlignment alignment = ui::taLeftJustify;
  int image_count = 0;
  // The angles of the open <R> tags, in tenths of a degree; deeper ones are
  // only counted.
  static constexpr int kMaxTurns = 16;
  std::array<int, kMaxTurns> turns = {};
  int turn_depth = 0;
  int spacing = 0;       // S0: extra pixels above the current line
  int next_spacing = 0;  // S1: for the line after it
};

// What a pass over one line found; the final pass is handed the measure
// pass's descent, drop, raise, image shift and indent, so that its first run
// already knows the baseline and the line its room.
struct LineMetrics {
  int width = 0;
  int height = 0;
  int raise = 0;  // U: superscript
  int drop = 0;   // D: subscript
  int descent = 0;
  int image_shift = 0;
  int indent = 0;  // the paragraph indent of the line
  int runs = 0;    // text runs shown (an empty line's <BR> counts as one)
  ui::TAlignment alignment = ui::taLeftJustify;
};

// The line being laid out, shared with the tag handlers. The next run goes
// at O + X in every pass, so that what is measured, recorded for hit tests
// and drawn lies in one place.
struct LineState {
  bool final = false;     // the final pass (else the measure pass or the look-ahead)
  bool painting = false;  // the final pass of a painting call
  int left = 0, top = 0, right = 0, bottom = 0;  // O, P, Q and R
  int x = 0;        // X: width laid out so far, from the persistent left offset on
  int start_x = 0;  // X at the start of the line
  int indent = 0;   // the paragraph indent that the line is placed with
  int height = 0;   // the tallest run
  int descent = 0;
  int raise = 0;
  int drop = 0;
  int image_shift = 0;
  int run_height = 0;   // h of the current font
  int run_descent = 0;  // d of the current font
  int cell_height = 0;  // the current font's character height
  int runs = 0;
  int list_items = 0;
  bool first_run = true;
  bool ended = false;    // the line ends after what has been read
  bool stopped = false;  // the line ends before the current tag
  ui::TAlignment alignment = ui::taLeftJustify;
  ui::TColor start_background = ui::clNone;
  std::wstring source;  // what the line took off the markup
};

// A tag at the front of the markup.
struct Tag {
  std::wstring_view text;  // from "<" up to its ">" (not included)
  std::wstring upper;      // `text` with a to z in upper case
  bool closing = false;
  bool closed = false;  // a ">" ends it
  wchar_t letter = 0;   // the family: first letter of the name, upper case
  wchar_t next = 0;     // the character after it, upper case (0 at the end)
};

class HtmlEngine {
 public:
  HtmlEngine(ui::Canvas& canvas, HtmlLinkItems* links, const HtmlDrawSettings& settings,
             ui::TAlignment& alignment);
  ~HtmlEngine();
  HtmlEngine(const HtmlEngine&) = delete;
  HtmlEngine& operator=(const HtmlEngine&) = delete;

  bool Run(std::wstring_view markup, HtmlDrawResult& result);

 private:
  // --- the line loop (html_markup.cpp)
  void Save(TextState& snapshot);
  void Restore(const TextState& snapshot);
  // The room of a line whose top is `top`: the text rectangle less the
  // paragraph indent.
  RECT LineRoom(int top) const;
  // The measure pass over the line at the front of `markup`.
  std::wstring MeasureLine(std::wstring_view& markup, int top, LineMetrics& line);
  // Where the measured line goes: its room, the measured line moved in it by
  // the alignment.
  RECT PlaceLine(const LineMetrics& line, int height) const;
  // Lays the following lines out and puts everything back: true when a line
  // ends below the text rectangle before any line that shows text.
  bool NoTextLineFollows(std::wstring_view markup, int top);

  // --- one line (html_line.cpp)
  std::wstring DrawHtmlLine(std::wstring_view& markup, const RECT& rect, bool final,
                            LineMetrics& line);
  // Lays out the run and the tag at the front of `markup`.
  void LayOutNext(std::wstring_view& markup);
  void ReadRunMetrics();
  // Where the next run goes.
  int RunLeft() const { return line_.left + line_.x; }
  // Takes the run (the first `take` characters of the markup, `text` when
  // decoded) onto the line, or leaves it for the next line.
  void LayOutRun(std::wstring_view& markup, size_t take, std::wstring text, bool wrap, bool full);
  // The off-screen draw that finds how many characters of `text` fit on the
  // rest of the line (all of them: text.size()).
  size_t WrapPoint(const std::wstring& text);
  // The same from the text's extent, where the platform does not tell how
  // much it drew: the first line of `text` broken as DrawText breaks it.
  size_t LineBreakPoint(const std::wstring& text, int width);
  int SingleLineWidth(const std::wstring& text);
  // Measuring: whether the run just laid out fits on the line.
  bool RunFits(const std::wstring& text, int x_before, bool was_first);
  void RecordLinkPart(const RECT& part);
  void PaintRun(const std::wstring& text, UINT ellipsis_flag);
  void DrawRunText(const std::wstring& text, const RECT& run, UINT flags);
  void DrawZigzag(int from, int to);
  void EndLineWithEllipsis();
  void FillParagraphBand();

  // --- tags (html_tags.cpp)
  void ReadTag(std::wstring_view markup);
  void LinkTag(const Tag& tag);
  void BTag(const Tag& tag);
  void BodyTag(const Tag& tag);
  void BreakTag(const Tag& tag);
  void FontTag(const Tag& tag);
  void HTag(const Tag& tag);
  void ITag(const Tag& tag);
  void IndentTag(const Tag& tag);
  void ImageTag(const Tag& tag);
  void ListItemTag(const Tag& tag);
  void DrawBullet(std::wstring_view type, ui::TColor color, int x, const std::wstring& number);
  int SymbolWidth(const std::wstring& text);
  void OTag(const Tag& tag);
  void ParagraphTag(const Tag& tag);
  void TurnTag(const Tag& tag);
  // Gives the canvas font the angle of the innermost <R> (upright without one).
  void ApplyTurn();
  void STag(const Tag& tag);
  void UTag(const Tag& tag);
  void DrawIcon(std::wstring_view source);

  // --- shared helpers
  bool Painting() const { return line_.painting; }
  bool Measuring() const { return !line_.painting; }
  bool Recording() const { return line_.final; }
  bool HasItem(int index) const {
    return links_ != nullptr && index >= 0 && index < links_->Count();
  }
  void SetBackground(ui::TColor color);
  void SetStyle(ui::TFontStyles style, bool on);
  bool HitPointIn(const RECT& rect) const;
  void LinkHit();

  ui::Canvas& canvas_;
  HtmlLinkItems* links_;
  const HtmlDrawSettings& settings_;
  ui::TAlignment& alignment_;
  const ui::TAlignment start_alignment_;
  const bool has_hit_point_;
  UINT flags_ = 0;  // F
  bool word_wrap_;
  RECT text_rect_ = {};  // T
  bool out_of_rect_ = false;
  bool overflow_ = false;
  int widest_ = 0;
  int total_height_ = 0;
  bool ellipsis_line_ = false;    // the measure pass of the last line, ending in "..."
  int ellipsis_run_ = 0;          // the run after which "..." goes
  bool ellipsis_placed_ = false;  // the line has its "..."
  bool wrap_off_for_run_ = false;
  TextState state_;
  LineState line_;
  std::wstring text_;  // the text output
  TextState line_start_;
  TextState lookahead_;
};

// The tag at the front of `markup` (which starts with "<").
Tag ReadTagText(std::wstring_view markup);

}  // namespace velmora::html
