// The markup engine of the HTML label: lays out and draws a small HTML-like
// markup on a canvas, line by line inside a text rectangle, with word wrap,
// per-line alignment and an optional ellipsis, and hit-tests a point against
// the links that it lays out. Nothing is kept between calls: every call lays
// the markup out again from the start.
//
// Tags: A (link; HREF, TITLE, MAXLINE), B, BL, BODY (BGCOLOR, BGCOLORTO, DIR,
// BACKGROUND, BGTOPLEFT), BR (LINESPACE), E (error mark), FONT (FACE, COLOR,
// BGCOLOR, SIZE, STYLE="font-size:nPT"), HI, HR (COLOR), I, IND (x="n"), IMG
// (SRC="SSYS:n" or "LSYS:path", ALIGN="TOP"/"MIDDLE", WRAP), LINESPACE=n, L
// (list item; TYPE="SQUARE"/"CIRCLE", COLOR), OL, OF (x="n"), P (ALIGN,
// INDENT="n", BGCOLOR, BGCOLORTO), R (turned text, A=degrees), S/ST, SH
// (shadow), SPAN (STYLE="background-color:#RRGGBB"), SUB, SUP, U, UL, Z
// (hidden). Entities: &amp; &quot; &sect; &permil; &reg; &copy; &para;
// &trade; &euro; &nbsp; &lt; &gt;. Markup errors are never reported: an
// unknown tag is dropped, an unclosed "<" swallows the rest of the text.
//
// Links are numbered in the order of their A tags (the first is 0) and tied
// by that number to the link items; links beyond the last item are counted
// and hit-tested but drawn in the font that is current there.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "ui/canvas.h"
#include "ui/color.h"
#include "ui/control_types.h"

namespace velmora {

// What the engine needs of the link items: the collection is the label's,
// seen only through this interface.
class HtmlLinkItems {
 public:
  virtual ~HtmlLinkItems() = default;
  virtual int Count() const = 0;
  // The font of link `index`'s text, and the one while it is hovered.
  virtual const ui::Font& LinkFont(int index) const = 0;
  virtual const ui::Font& LinkFontHover(int index) const = 0;
  // The colour behind the link's text; clNone for none.
  virtual ui::TColor LinkColorBg(int index) const = 0;
  // The most lines the link's text may take; -1 or 0 for no limit.
  virtual int LinkMaxLine(int index) const = 0;
  // Set when the link's text runs past the right edge of the text
  // rectangle; cleared at the link's start in every measuring pass.
  virtual bool LinkFoundTextEllipsis(int index) const = 0;
  virtual void SetLinkFoundTextEllipsis(int index, bool found) = 0;
};

struct HtmlDrawSettings {
  ui::TEllipsisPosition ellipsis = ui::epNone;
  int line_spacing = 0;  // extra pixels above every line
  bool word_wrap = true;
  bool wrap_char = false;  // break words that do not fit on a line of their own
  // DT_NOPREFIX, or 0 to let "&" mark an accelerator.
  UINT accelerator_flags = DT_NOPREFIX;
  RECT rect = {};
  bool measure_only = false;   // lay out and hit-test, paint nothing
  int hover_link = -1;         // drawn with its item's hover font
  POINT hit_point = {-1, -1};  // (-1, -1): none
  ui::TColor shadow_color = ui::clNone;
  int shadow_offset = 2;
  // Overrides for the hovered link; clNone for none.
  ui::TColor hover_link_color = ui::clNone;
  ui::TColor hover_link_background = ui::clNone;
};

struct HtmlDrawResult {
  bool out_of_rect = false;  // text was cut or did not fit
  int hit_link = -1;
  RECT hit_link_rect = {-1, -1, -1, -1};  // bounds every part of the hit link
  int link_count = 0;
  int total_height = 0;
  int widest = 0;        // width of the widest line
  std::wstring title;    // of the hit link
  std::wstring address;  // of the hit link
  std::wstring text;     // the visible characters, CR LF at line breaks
};

// Lays out `markup` in settings.rect and draws it on `canvas` (its font is
// the start font, its brush colour the background). `alignment` is the
// alignment of the lines; <P ALIGN=...> changes it. True when the hit point
// lies on the text of a link or on a linked image.
bool DrawHtmlText(ui::Canvas& canvas, HtmlLinkItems* links, std::wstring_view markup,
                  const HtmlDrawSettings& settings, ui::TAlignment& alignment,
                  HtmlDrawResult& result);

}  // namespace velmora
