// The tags of the label markup. A tag's family is the first letter of its
// name; some families look at the next letter too. Attribute names are found
// anywhere in the upper-case copy of the tag. Effects on colours, backgrounds
// and drawings happen only while painting; everything that changes the
// layout happens in every pass, so that the passes agree.
#include <algorithm>
#include <cstdlib>

#include "common/strings.h"
#include "controls/html_engine.h"
#include "controls/html_images.h"
#include "controls/html_text.h"

namespace velmora::html {

namespace {

constexpr int kListIndent = 12;
constexpr int kBulletBox = 8;

wchar_t UpperAt(std::wstring_view text, size_t at) {
  if (at >= text.size()) return 0;
  const wchar_t c = text[at];
  return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

// <B>, <I>: the letter alone, or followed by attributes.
bool LetterAlone(wchar_t next) {
  return next == L'>' || next == L' ' || next == 0;
}

int FontSizeOfHtmlSize(int size) {
  switch (size) {
    case 1:
      return 8;
    case 2:
      return 10;
    case 3:
      return 12;
    case 4:
      return 14;
    case 5:
      return 16;
    default:
      return size;
  }
}

}  // namespace

Tag ReadTagText(std::wstring_view markup) {
  Tag tag;
  const size_t close = markup.find(L'>');
  tag.closed = close != std::wstring_view::npos;
  tag.text = markup.substr(0, tag.closed ? close : markup.size());
  tag.upper = UpperAscii(tag.text);
  tag.closing = markup.size() > 3 && markup[1] == L'/';
  const size_t at = tag.closing ? 2 : 1;
  tag.letter = UpperAt(markup, at);
  tag.next = UpperAt(markup, at + 1);
  return tag;
}

void HtmlEngine::ReadTag(std::wstring_view markup) {
  const Tag tag = ReadTagText(markup);
  switch (tag.letter) {
    case L'A':
      LinkTag(tag);
      break;
    case L'B':
      BTag(tag);
      break;
    case L'E':
      if (Painting()) state_.error_mark = !tag.closing;
      break;
    case L'F':
      FontTag(tag);
      break;
    case L'H':
      HTag(tag);
      break;
    case L'I':
      ITag(tag);
      break;
    case L'L':
      if (tag.closing) {
        line_.ended = true;
      } else if (StartsWithUpper(std::wstring_view(tag.upper).substr(1), L"LINESPACE")) {
        std::wstring value;
        if (AttributeValue(tag.text, tag.upper, L"LINESPACE", value)) {
          state_.spacing = NumberOrZero(value);
        }
      } else {
        ListItemTag(tag);
      }
      break;
    case L'O':
      OTag(tag);
      break;
    case L'P':
      ParagraphTag(tag);
      break;
    case L'R':
      TurnTag(tag);
      break;
    case L'S':
      STag(tag);
      break;
    case L'U':
      UTag(tag);
      break;
    case L'Z':
      state_.hidden = !tag.closing;
      break;
    default:
      break;  // not a tag of the markup: dropped
  }
}

void HtmlEngine::LinkTag(const Tag& tag) {
  const int link = state_.link_count;
  if (tag.closing) {
    if (Painting()) SetBackground(state_.link_background);
    canvas_.Font().Assign(*state_.link_font);
    if (Recording() && state_.link_hit) {
      state_.hit_rect = state_.link_rect;
      state_.hit_link = link - 1;
    }
    state_.has_link_rect = false;
    state_.link_hit = false;
    state_.in_link = false;
    state_.allowance = -1;
    return;
  }
  // The hovered link is laid out in its hover font in every pass, so that it
  // is measured, hit-tested and drawn alike.
  const bool hovered = link == settings_.hover_link;
  state_.link_font = canvas_.Font();
  if (Painting()) state_.link_background = state_.background;
  if (hovered && Painting()) {
    if (settings_.hover_link_background != ui::clNone) {
      SetBackground(settings_.hover_link_background);
    }
    if (settings_.hover_link_color != ui::clNone) {
      canvas_.Font().SetColor(settings_.hover_link_color);
    }
  }
  state_.allowance = -1;
  if (HasItem(link)) {
    if (Measuring()) links_->SetLinkFoundTextEllipsis(link, false);
    if (Painting() && links_->LinkColorBg(link) != ui::clNone) {
      SetBackground(links_->LinkColorBg(link));
    }
    canvas_.Font().Assign(hovered ? links_->LinkFontHover(link) : links_->LinkFont(link));
    state_.allowance = links_->LinkMaxLine(link);
  }
  state_.link_count = link + 1;
  std::wstring value;
  if (AttributeValue(tag.text, tag.upper, L"MAXLINE", value))
    state_.allowance = NumberOrZero(value);
  if (AttributeValue(tag.text, tag.upper, L"HREF", value)) state_.href = value;
  AttributeValue(tag.text, tag.upper, L"TITLE", state_.title);
  state_.in_link = true;
  state_.link_hit = false;
  if (Recording()) state_.has_link_rect = false;
}

void HtmlEngine::BTag(const Tag& tag) {
  if (tag.closing) {
    if (tag.next == L'>') {
      SetStyle(ui::fsBold, false);
    } else {
      canvas_.Font().SetColor(state_.base_font->Color());
    }
    return;
  }
  switch (tag.next) {
    case L'L':
      // Text in the colour of the background it stands on.
      canvas_.Font().SetColor(line_.start_background);
      break;
    case L'O':
      BodyTag(tag);
      break;
    case L'R':
      BreakTag(tag);
      break;
    default:
      if (LetterAlone(tag.next)) SetStyle(ui::fsBold, true);
      break;
  }
}

void HtmlEngine::BodyTag(const Tag& tag) {
  if (!Painting()) return;
  std::wstring value;
  if (AttributeValue(tag.text, tag.upper, L"BACKGROUND", value)) DrawIcon(value);
  if (QuotedAttribute(tag.text, tag.upper, L"BGTOPLEFT", value)) DrawIcon(value);
  if (!AttributeValue(tag.text, tag.upper, L"BGCOLOR", value)) return;
  const ui::TColor from = ParseColorValue(value, state_.background);
  std::wstring to;
  if (AttributeValue(tag.text, tag.upper, L"BGCOLORTO", to)) {
    std::wstring direction;
    const bool vertical =
        AttributeValue(tag.text, tag.upper, L"DIR", direction) && UpperAscii(direction) != L"H";
    canvas_.GradientFill(
        settings_.rect, from, ParseColorValue(to, from),
        vertical ? ui::GradientDirection::kVertical : ui::GradientDirection::kHorizontal);
    SetBackground(ui::clNone);
    return;
  }
  SetBackground(from);
  RECT area = settings_.rect;
  area.left -= 2;
  canvas_.FillRect(area);
}

void HtmlEngine::BreakTag(const Tag& tag) {
  if (line_.first_run) {
    // An empty line is one line of the current font high.
    line_.height = line_.run_height;
    line_.descent = line_.run_descent;
    ++line_.runs;
    if (ellipsis_line_ && !line_.final && line_.runs == ellipsis_run_) {
      EndLineWithEllipsis();
      return;
    }
  }
  line_.ended = true;
  text_ += L"\r\n";
  std::wstring value;
  if (AttributeValue(tag.text, tag.upper, L"LINESPACE", value)) {
    state_.next_spacing = NumberOrZero(value);
  }
}

void HtmlEngine::FontTag(const Tag& tag) {
  constexpr size_t kAttributes = 5;  // after "<FONT"
  ui::Font& font = canvas_.Font();
  if (tag.closing) {
    font.SetName(state_.base_font->Name());
    font.SetHeight(state_.base_font->Height());
    if (Painting()) {
      font.SetColor(state_.base_font->Color());
      SetBackground(state_.font_background);
    }
    return;
  }
  if (Painting()) state_.font_background = state_.background;
  std::wstring value;
  if (AttributeValue(tag.text, tag.upper, L"FACE", value, kAttributes) && !value.empty()) {
    font.SetName(value);
  }
  if (Painting() && AttributeValue(tag.text, tag.upper, L" COLOR", value, kAttributes)) {
    // </FONT> gives the colour from before the tag back.
    state_.base_font->SetColor(font.Color());
    font.SetColor(ParseColorValue(value, font.Color()));
  }
  if (Painting() && AttributeValue(tag.text, tag.upper, L"BGCOLOR", value, kAttributes)) {
    SetBackground(ParseColorValue(value, state_.background));
  }
  int points = 0;
  bool sized = false;
  const size_t style = tag.upper.find(L"STYLE", kAttributes);
  const size_t quote = style == std::wstring::npos ? style : tag.upper.find(L'"', style);
  if (quote != std::wstring::npos) {
    sized = StyleFontSize(std::wstring_view(tag.upper).substr(quote + 1), points);
  }
  if (!sized && AttributeValue(tag.text, tag.upper, L"SIZE", value, kAttributes)) {
    sized = ParseNumber(value, points);
    points = FontSizeOfHtmlSize(points);
  }
  if (sized) font.SetSize(std::clamp(points, kMinFontPoints, kMaxFontPoints));
}

void HtmlEngine::HTag(const Tag& tag) {
  if (tag.closing) {
    if (Painting()) {
      canvas_.Font().SetColor(state_.highlight_color);
      SetBackground(state_.highlight_background);
    }
    return;
  }
  if (tag.next == L'I') {
    if (!Painting()) return;
    state_.highlight_color = canvas_.Font().Color();
    state_.highlight_background = state_.background;
    SetBackground(ui::clHighlight);
    canvas_.Font().SetColor(ui::clHighlightText);
  } else if (tag.next == L'R') {
    line_.ended = true;
    if (!Painting()) return;
    std::wstring value;
    AttributeValue(tag.text, tag.upper, L"COLOR", value);
    canvas_.Pen().SetColor(ParseColorValue(value, ui::clBlack));
    canvas_.Pen().SetWidth(1);
    canvas_.MoveTo(line_.left, line_.bottom + 1);
    canvas_.LineTo(line_.right, line_.bottom + 1);
  }
}

void HtmlEngine::ITag(const Tag& tag) {
  if (tag.closing) {
    SetStyle(ui::fsItalic, false);
  } else if (tag.next == L'N') {
    IndentTag(tag);
  } else if (tag.next == L'M') {
    ImageTag(tag);
  } else if (LetterAlone(tag.next)) {
    SetStyle(ui::fsItalic, true);
  }
}

void HtmlEngine::IndentTag(const Tag& tag) {
  const size_t name = tag.upper.find(L'X', 1);
  std::wstring value;
  int indent = 0;
  if (name == std::wstring::npos || !QuotedValueAfter(tag.text, name + 1, value) ||
      !ParseNumber(value, indent)) {
    return;
  }
  line_.x = std::max(line_.x, indent);
}

void HtmlEngine::ImageTag(const Tag& tag) {
  ++state_.image_count;
  std::wstring source;
  QuotedAttribute(tag.text, tag.upper, L"SRC", source);
  const SystemImage image = FindSystemImage(source);
  const HDC dc = canvas_.Handle();
  const int dpi_x = dc != nullptr ? ::GetDeviceCaps(dc, LOGPIXELSX) : 96;
  const int dpi_y = dc != nullptr ? ::GetDeviceCaps(dc, LOGPIXELSY) : 96;
  const int width = ::MulDiv(image.width, dpi_x, 96);
  const int height = ::MulDiv(image.height, dpi_y, 96);
  const int room = line_.right - RunLeft();
  if (!line_.final && width > room && width <= line_.right - line_.left && !line_.source.empty()) {
    line_.stopped = true;  // the image opens the next line
    return;
  }
  if (Painting()) DrawSystemImage(dc, image, RunLeft(), line_.top);
  if (Recording() && state_.in_link && has_hit_point_) {
    const POINT p = settings_.hit_point;
    const int x = RunLeft();
    if (x < p.x && p.x < x + width && line_.top <= p.y && p.y < line_.top + height) LinkHit();
  }
  line_.x += width;
  line_.height = std::max(line_.height, height);
  if (tag.upper.find(L"ALIGN=\"TOP\"") != std::wstring::npos) {
    line_.image_shift = line_.height - line_.run_height;
  } else if (tag.upper.find(L"ALIGN=\"MIDDLE\"") != std::wstring::npos) {
    line_.image_shift = (line_.height - line_.run_height) / 2;
  }
  if (tag.upper.find(L"WRAP") != std::wstring::npos) {
    line_.height = line_.run_height;
    line_.image_shift = 0;
  }
}

void HtmlEngine::DrawIcon(std::wstring_view source) {
  ++state_.image_count;
  DrawSystemImage(canvas_.Handle(), FindSystemImage(source), RunLeft(), line_.top);
}

void HtmlEngine::ListItemTag(const Tag& tag) {
  if (!line_.final && line_.list_items > 0 && !line_.source.empty()) {
    line_.stopped = true;  // one item a line
    return;
  }
  ++line_.list_items;
  const size_t after_name = std::min<size_t>(2, tag.text.size());
  const std::wstring_view text = tag.text.substr(after_name);
  const std::wstring_view upper = std::wstring_view(tag.upper).substr(after_name);
  std::wstring type;
  QuotedAttribute(text, upper, L"TYPE", type);
  std::wstring colour;
  const ui::TColor bullet = AttributeValue(text, upper, L"COLOR", colour)
                                ? ParseColorValue(colour, ui::clNone)
                                : ui::clNone;
  // The bullet stands in the last 12 pixels of the item's indent; the text
  // follows the indent, or in a numbered list the number. Every pass makes
  // the same room, so that the text is measured where it is drawn.
  const int bullet_x = RunLeft() + kListIndent * (state_.list_depth - 1);
  line_.x += kListIndent * state_.list_depth;
  if (state_.hidden) return;
  const std::wstring shape = UpperAscii(type);
  std::wstring number;
  if (state_.numbered && shape != L"SQUARE" && shape != L"CIRCLE") {
    number = Format(L"%d. ", state_.item_number++);
    line_.x += SymbolWidth(number) - kListIndent;
  }
  if (Painting()) DrawBullet(shape, bullet, bullet_x, number);
}

int HtmlEngine::SymbolWidth(const std::wstring& text) {
  const FontCopy text_font(canvas_.Font());
  canvas_.Font().SetName(L"Symbol");
  const int width = canvas_.TextWidth(text);
  canvas_.Font().Assign(*text_font);
  return width;
}

void HtmlEngine::DrawBullet(std::wstring_view type, ui::TColor color, int x,
                            const std::wstring& number) {
  const ui::TColor colour = color != ui::clNone ? color : canvas_.Font().Color();
  if (type == L"SQUARE" || type == L"CIRCLE") {
    const RECT box = {x, line_.top + 2, x + kBulletBox, line_.top + 2 + kBulletBox};
    canvas_.Brush().SetColor(colour);
    canvas_.Pen().SetColor(colour);
    if (type == L"SQUARE") {
      canvas_.Rectangle(box);
    } else {
      canvas_.Ellipse(box);
    }
    SetBackground(state_.background);
    return;
  }
  std::wstring bullet = number;
  if (bullet.empty()) bullet = state_.list_depth % 2 != 0 ? L"\u00B7" : L"o";
  const FontCopy text_font(canvas_.Font());
  canvas_.Font().SetName(L"Symbol");
  canvas_.Font().SetColor(colour);
  RECT area = {x, line_.top, line_.right,
               line_.bottom - line_.image_shift + line_.run_descent - line_.descent};
  canvas_.DrawText(bullet, area, DT_SINGLELINE | DT_BOTTOM | DT_NOCLIP | DT_NOPREFIX);
  canvas_.Font().Assign(*text_font);
}

void HtmlEngine::OTag(const Tag& tag) {
  if (tag.closing) {
    if (tag.next != L'>' && state_.list_depth >= 1) {
      --state_.list_depth;
      state_.numbered = false;
    } else {
      state_.left_offset = 0;
    }
    return;
  }
  if (tag.next == L'L') {
    ++state_.list_depth;
    if (line_.x > line_.start_x) line_.ended = true;
    state_.numbered = true;
    state_.item_number = 1;
  } else if (tag.next == L'F') {
    const size_t name = tag.upper.find(L'X', 1);
    std::wstring value;
    int offset = 0;
    if (name == std::wstring::npos || !QuotedValueAfter(tag.text, name + 1, value) ||
        !ParseNumber(value, offset)) {
      return;
    }
    state_.left_offset = offset;
    line_.x = offset;
  }
}

void HtmlEngine::ParagraphTag(const Tag& tag) {
  if (tag.closing) {
    alignment_ = start_alignment_;
    line_.ended = true;
    text_ += L"\r\n";
    state_.paragraph_background = false;
    if (Painting()) SetBackground(state_.paragraph_saved_background);
    return;
  }
  std::wstring value;
  if (AttributeValue(tag.text, tag.upper, L"ALIGN", value)) {
    const std::wstring align = UpperAscii(value);
    if (align.find(L"RIGHT") != std::wstring::npos) {
      alignment_ = ui::taRightJustify;
    } else if (align.find(L"LEFT") != std::wstring::npos) {
      alignment_ = ui::taLeftJustify;
    } else if (align.find(L"CENTER") != std::wstring::npos) {
      alignment_ = ui::taCenter;
    }
  }
  // A paragraph starts on a line of its own, unless nothing came before it.
  const bool this_line = text_.empty();
  if (this_line) {
    line_.alignment = alignment_;
  } else {
    line_.ended = true;
    text_ += L"\r\n";
  }
  int indent = 0;
  if (QuotedAttribute(tag.text, tag.upper, L"INDENT", value) && ParseNumber(value, indent)) {
    state_.paragraph_indent = indent;
    // On a line of its own the paragraph takes its indent at once; a line
    // that the tag ends keeps the room that its text was measured in.
    if (this_line && !line_.final) {
      line_.left += indent - line_.indent;
      line_.indent = indent;
    }
  }
  if (!AttributeValue(tag.text, tag.upper, L"BGCOLOR", value)) return;
  state_.paragraph_color = ParseColorValue(value, state_.background);
  state_.paragraph_color_to = AttributeValue(tag.text, tag.upper, L"BGCOLORTO", value)
                                  ? ParseColorValue(value, state_.paragraph_color)
                                  : ui::clNone;
  state_.paragraph_background = true;
  if (!Painting()) return;
  state_.paragraph_saved_background = state_.background;
  SetBackground(state_.paragraph_color_to == ui::clNone ? state_.paragraph_color : ui::clNone);
  if (this_line) FillParagraphBand();
}

void HtmlEngine::TurnTag(const Tag& tag) {
  // The angle is part of the text state, not of one font: the text stays
  // turned through every change of font, style or colour until </R>
  // (ApplyTurn after each tag).
  if (tag.closing) {
    if (state_.turn_depth > 0) --state_.turn_depth;
    return;
  }
  std::wstring value;
  AttributeValue(tag.text, tag.upper, L"A", value, 2);
  if (state_.turn_depth < TextState::kMaxTurns) {
    state_.turns[state_.turn_depth] = NumberOrZero(value) % 360 * 10;
  }
  ++state_.turn_depth;
}

void HtmlEngine::STag(const Tag& tag) {
  if (tag.closing) {
    switch (tag.next) {
      case L'H':
        state_.shadow = false;
        break;
      case L'P':
        // No text after </SPAN> has a background, whatever it had before.
        SetBackground(ui::clNone);
        break;
      case L'U':
        state_.subscript = false;
        state_.superscript = false;
        break;
      default:
        SetStyle(ui::fsStrikeOut, false);
        break;
    }
    return;
  }
  if (tag.closed && tag.upper == L"<SUB") {
    state_.subscript = true;
  } else if (tag.closed && tag.upper == L"<SUP") {
    state_.superscript = true;
  } else if (tag.next == L'>' || tag.next == L'T') {
    SetStyle(ui::fsStrikeOut, true);
  } else if (tag.next == L'H') {
    state_.shadow = true;
  } else if (tag.next == L'P') {
    constexpr std::wstring_view kBackground = L"BACKGROUND-COLOR:#";
    std::wstring value;
    if (!AttributeValue(tag.text, tag.upper, L"STYLE", value, 5)) return;
    if (!StartsWithUpper(UpperAscii(value), kBackground)) return;
    SetBackground(ParseColorValue(std::wstring_view(value).substr(kBackground.size() - 1),
                                  state_.background));
  }
}

void HtmlEngine::UTag(const Tag& tag) {
  if (tag.next == L'>') {
    SetStyle(ui::fsUnderline, !tag.closing);
  } else if (tag.closing) {
    if (state_.list_depth >= 1) {
      --state_.list_depth;
    } else {
      SetStyle(ui::fsUnderline, false);
    }
  } else {
    ++state_.list_depth;
    if (line_.x > line_.start_x) line_.ended = true;
    state_.numbered = false;
  }
}

}  // namespace velmora::html
