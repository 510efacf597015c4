#include "controls/html_markup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "controls/html_test_support.h"

namespace velmora {
namespace {

using test::Surface;
using test::TestLinks;

const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kBlack = RGB(0, 0, 0);
const COLORREF kRed = RGB(255, 0, 0);
const COLORREF kHoverBlue = RGB(0, 160, 255);  // TColor 0x00FFA000

const wchar_t kSentence[] =
    L"This tool will collect information to help us diagnose and fix the problem you are "
    L"experiencing with our product. By sending us the report, you accept our "
    L"<a>Privacy Policy</a>.";

class Markup : public ::testing::Test {
 protected:
  Markup() : surface(320, 240, kWhite), canvas(surface.dc()) {
    test::UseWindowFont(canvas.Font());
    canvas.Brush().SetStyle(ui::bsClear);
    line = test::SampleHeight(canvas.Font());
    settings.rect = {0, 0, 320, 240};
  }
  HtmlDrawResult Draw(const std::wstring& markup, HtmlLinkItems* items = nullptr) {
    surface.Fill(kWhite);
    HtmlDrawResult result;
    ui::TAlignment aligned = alignment;
    hit = DrawHtmlText(canvas, items, markup, settings, aligned, result);
    return result;
  }
  HtmlDrawResult HitTest(const std::wstring& markup, POINT point, HtmlLinkItems* items = nullptr) {
    const HtmlDrawSettings painting = settings;
    settings.measure_only = true;
    settings.hit_point = point;
    HtmlDrawResult result = Draw(markup, items);
    settings = painting;
    return result;
  }
  // `lines` drawn as plain text is drawn, at the measured advances of its
  // characters: each at the top of its row, left-aligned or centred.
  std::unique_ptr<Surface> Expected(const std::vector<std::wstring>& lines, bool centred = false) {
    auto expected = std::make_unique<Surface>(surface.width(), surface.height(), kWhite);
    ui::Canvas plain(expected->dc());
    plain.Font().Assign(canvas.Font());
    plain.Brush().SetStyle(ui::bsClear);
    const RECT& rect = settings.rect;
    for (size_t i = 0; i < lines.size(); ++i) {
      const int room = rect.right - rect.left - plain.TextWidth(lines[i]);
      plain.TextOutMeasured(rect.left + (centred ? room / 2 : 0), rect.top + int(i) * line,
                            lines[i]);
    }
    return expected;
  }
  // What the surface shows now.
  std::unique_ptr<Surface> Copy() const {
    auto copy = std::make_unique<Surface>(surface.width(), surface.height());
    ::BitBlt(copy->dc(), 0, 0, surface.width(), surface.height(), surface.dc(), 0, 0, SRCCOPY);
    return copy;
  }
  // `text` as DrawText draws it (where "&" marks an accelerator).
  std::unique_ptr<Surface> ExpectedDrawText(const std::wstring& text, UINT flags) {
    auto expected = std::make_unique<Surface>(surface.width(), surface.height(), kWhite);
    ui::Canvas plain(expected->dc());
    plain.Font().Assign(canvas.Font());
    plain.Brush().SetStyle(ui::bsClear);
    RECT rect = settings.rect;
    plain.DrawText(text, rect, flags);
    return expected;
  }
  // The lines into which DrawText breaks `text` in the text rectangle's width.
  std::vector<std::wstring> DrawTextLines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    auto one_line = [&](size_t from, size_t to) {
      RECT rect = {0, 0, settings.rect.right - settings.rect.left, 0};
      return canvas.DrawText(text.substr(from, to - from), rect,
                             DT_WORDBREAK | DT_CALCRECT | DT_NOPREFIX) <= line;
    };
    auto word_end = [&](size_t at) {  // a word and the blanks after it
      while (at < text.size() && text[at] != L' ') ++at;
      while (at < text.size() && text[at] == L' ') ++at;
      return at;
    };
    for (size_t start = 0; start < text.size();) {
      size_t end = word_end(start);
      while (end < text.size() && one_line(start, word_end(end))) end = word_end(end);
      lines.push_back(text.substr(start, end - start));
      start = end;
    }
    return lines;
  }
  bool SamePixels(const Surface& other) const {
    for (int y = 0; y < surface.height(); ++y) {
      for (int x = 0; x < surface.width(); ++x) {
        if (surface.Pixel(x, y) != other.Pixel(x, y)) return false;
      }
    }
    return true;
  }
  // The smallest rectangle holding every pixel of `colour`.
  RECT Bounds(COLORREF colour) const {
    RECT bounds = {surface.width(), surface.height(), 0, 0};
    for (int y = 0; y < surface.height(); ++y) {
      for (int x = 0; x < surface.width(); ++x) {
        if (surface.Pixel(x, y) != colour) continue;
        bounds = {std::min<LONG>(bounds.left, x), std::min<LONG>(bounds.top, y),
                  std::max<LONG>(bounds.right, x + 1), std::max<LONG>(bounds.bottom, y + 1)};
      }
    }
    return bounds;
  }
  // Paints `markup` with link 0 hovered, then hit-tests a point of what was
  // drawn: the link's rectangle spans its drawing (underline included).
  void ExpectHoveredLinkDrawnInItsRectangle(const std::wstring& markup, TestLinks& links) {
    settings.hover_link = 0;
    Draw(markup, &links);
    const RECT ink = Bounds(kHoverBlue);
    ASSERT_LT(ink.left, ink.right) << "no link drawn";
    POINT on = {ink.left, ink.top};
    while (surface.Pixel(on.x, on.y) != kHoverBlue) ++on.x;
    const HtmlDrawResult hit = HitTest(markup, on, &links);
    ASSERT_EQ(hit.hit_link, 0);
    EXPECT_EQ(hit.hit_link_rect.left, ink.left);
    EXPECT_EQ(hit.hit_link_rect.right, ink.right);
    EXPECT_LE(hit.hit_link_rect.top, ink.top);
    EXPECT_GE(hit.hit_link_rect.bottom, ink.bottom);
    settings.hover_link = -1;
  }
  // The ink of the band of text line `index` (0 first).
  RECT LineInk(int index) const {
    RECT ink = {surface.width(), 0, 0, 0};
    for (int y = index * line; y < (index + 1) * line; ++y) {
      for (int x = 0; x < surface.width(); ++x) {
        if (surface.Pixel(x, y) == kWhite) continue;
        ink.left = std::min<LONG>(ink.left, x);
        ink.right = std::max<LONG>(ink.right, x + 1);
      }
    }
    return ink;
  }

  Surface surface;
  ui::Canvas canvas;
  HtmlDrawSettings settings;
  ui::TAlignment alignment = ui::taLeftJustify;
  int line = 0;
  bool hit = false;
};

TEST_F(Markup, WindowFontIsTheRealTahoma) {
  ::SelectObject(surface.dc(), canvas.Font().Handle());
  wchar_t face[LF_FACESIZE] = {};
  ::GetTextFaceW(surface.dc(), LF_FACESIZE, face);
  EXPECT_STREQ(face, L"Tahoma");
}

// Wine's DrawTextExW does not report how much it drew: the engine finds the
// break from the text's extent, as DrawText does. (At some widths Wine's own
// DrawText breaks a word earlier than its extents require; at these two the
// two agree.)
TEST_F(Markup, PlainTextLaysOutAsDrawTextBreaksIt) {
  const std::wstring text =
      L"This tool will collect information to help us diagnose and fix the problem you are "
      L"experiencing with our product. By sending us the report, you accept our policy.";
  for (int width : {289, 131}) {
    settings.rect = {0, 0, width, 240};
    Draw(text);
    EXPECT_TRUE(SamePixels(*Expected(DrawTextLines(text)))) << width;
  }
}

TEST_F(Markup, UnclosedTagSwallowsTheRest) {
  const HtmlDrawResult result = Draw(L"a < b");
  EXPECT_EQ(result.text, L"a ");
  EXPECT_TRUE(SamePixels(*Expected({L"a "})));
}

TEST_F(Markup, EntitiesDrawTheirCharacters) {
  EXPECT_EQ(Draw(L"&lt;b&gt;").text, L"<b>");
  EXPECT_TRUE(SamePixels(*Expected({L"<b>"})));
  EXPECT_EQ(Draw(L"&quot;&COPY;&euro;&nbsp;x").text, L"\"\u00A9\u20AC x");
}

TEST_F(Markup, AmpersandEntityDrawsOneAmpersandWithAndWithoutPrefixes) {
  settings.accelerator_flags = DT_NOPREFIX;
  Draw(L"R&amp;D");
  EXPECT_TRUE(SamePixels(*Expected({L"R&D"})));
  settings.accelerator_flags = 0;
  Draw(L"R&amp;D");
  EXPECT_TRUE(SamePixels(*ExpectedDrawText(L"R&D", DT_NOPREFIX)));
}

TEST_F(Markup, AmpersandBetweenBlanksSwitchesPrefixesOff) {
  settings.accelerator_flags = 0;
  Draw(L"Salt & &pepper");
  EXPECT_TRUE(SamePixels(*Expected({L"Salt & &pepper"})));
  // Without the blanks the ampersand marks an accelerator.
  Draw(L"Salt&pepper");
  EXPECT_TRUE(SamePixels(*ExpectedDrawText(L"Salt&pepper", 0)));
}

TEST_F(Markup, EmptyMarkupIsOneLineHighAndDrawsNothing) {
  const HtmlDrawResult result = Draw(L"");
  EXPECT_EQ(result.total_height, line);
  EXPECT_EQ(result.widest, 0);
  EXPECT_EQ(surface.CountOther({0, 0, 320, 240}, kWhite), 0);
}

TEST_F(Markup, TwoBreaksAreTwoEmptyLines) {
  const HtmlDrawResult result = Draw(L"<BR><BR>");
  EXPECT_EQ(result.total_height, 2 * line);
  EXPECT_EQ(result.text, L"\r\n\r\n");
  EXPECT_EQ(surface.CountOther({0, 0, 320, 240}, kWhite), 0);
}

TEST_F(Markup, LineSpacingGoesAboveTheText) {
  const std::wstring markup = L"first<BR>second";
  const RECT plain_first = (Draw(markup), surface.InkBounds(kWhite));
  settings.line_spacing = 4;
  const HtmlDrawResult spaced = Draw(markup);
  EXPECT_EQ(spaced.total_height, 2 * (line + 4));
  const RECT ink = surface.InkBounds(kWhite);
  EXPECT_EQ(ink.top, plain_first.top + 4);
  EXPECT_EQ(ink.bottom, plain_first.bottom + 8);
}

TEST_F(Markup, CentredLinesAreEachCentredByTheirWidth) {
  alignment = ui::taCenter;
  Draw(L"one<BR>a longer second line<BR>mid");
  EXPECT_TRUE(SamePixels(*Expected({L"one", L"a longer second line", L"mid"}, true)));
}

TEST_F(Markup, CentredWrappedLinesMoveEachByItsOwnRoom) {
  settings.rect = {0, 0, 289, 240};
  Draw(kSentence);
  const int lines = 4;
  RECT left[lines];
  for (int i = 0; i < lines; ++i) left[i] = LineInk(i);
  alignment = ui::taCenter;
  Draw(kSentence);
  for (int i = 0; i < lines; ++i) {
    const RECT centred = LineInk(i);
    EXPECT_EQ(centred.right - centred.left, left[i].right - left[i].left) << i;
    EXPECT_GT(centred.left, 0) << i;
  }
  // The short last line moves much further than the full first one.
  EXPECT_GT(LineInk(3).left - left[3].left, LineInk(0).left - left[0].left + 50);
}

TEST_F(Markup, LinkSplitByTheWrapHasOneRectangleAndHitsOnBothParts) {
  TestLinks links;
  links.Add(canvas.Font());
  settings.rect = {0, 0, 150, 240};
  const std::wstring markup = L"Read our <a href=\"x\">Privacy Policy and the terms of use</a>.";
  const HtmlDrawResult all = HitTest(markup, {-1, -1}, &links);
  ASSERT_EQ(all.total_height, 2 * line);
  const HtmlDrawResult first = HitTest(markup, {60, line / 2}, &links);
  const HtmlDrawResult second = HitTest(markup, {10, line + line / 2}, &links);
  ASSERT_EQ(first.hit_link, 0);
  ASSERT_EQ(second.hit_link, 0);
  EXPECT_TRUE(::EqualRect(&first.hit_link_rect, &second.hit_link_rect));
  EXPECT_EQ(first.hit_link_rect.top, 0);
  EXPECT_EQ(first.hit_link_rect.bottom, 2 * line);
  EXPECT_EQ(first.hit_link_rect.left, 0);
  EXPECT_EQ(first.address, L"x");
}

TEST_F(Markup, EndEllipsisEndsTheLastFittingLineAndSetsOutOfRect) {
  settings.rect = {0, 0, 150, 2 * line + line / 2};
  settings.ellipsis = ui::epEndEllipsis;
  const HtmlDrawResult result = Draw(kSentence);
  EXPECT_TRUE(result.out_of_rect);
  EXPECT_EQ(result.total_height, 2 * line);
  EXPECT_EQ(result.text.substr(result.text.size() - 3), L"...");
  // Nothing below the second line; the second line reaches the right edge.
  EXPECT_EQ(surface.CountOther({0, 2 * line, 320, 240}, kWhite), 0);
  EXPECT_GT(LineInk(1).right, 110);
  EXPECT_LE(LineInk(1).right, 150);
}

TEST_F(Markup, MaxLineOneKeepsTheLinkOnItsLine) {
  TestLinks links;
  links.Add(canvas.Font()).max_line = 1;
  settings.rect = {0, 0, 150, 240};
  const std::wstring markup = L"Read our <a>Privacy Policy and the terms of use</a> today.";
  const HtmlDrawResult result = HitTest(markup, {60, line / 2}, &links);
  ASSERT_EQ(result.hit_link, 0);
  EXPECT_EQ(result.hit_link_rect.bottom - result.hit_link_rect.top, line);
  EXPECT_GT(result.hit_link_rect.right, 150);
  EXPECT_TRUE(links[0].found_ellipsis);
  // Without the limit the link wraps and fits.
  links[0].max_line = -1;
  const HtmlDrawResult wrapped = HitTest(markup, {60, line / 2}, &links);
  EXPECT_EQ(wrapped.hit_link_rect.bottom - wrapped.hit_link_rect.top, 2 * line);
  EXPECT_FALSE(links[0].found_ellipsis);
}

TEST_F(Markup, FontColourByHexByNameAndUnknownName) {
  for (const wchar_t* colour : {L"#ff0000", L"#FF0000", L"clRed", L"$ff0000", L"255"}) {
    Draw(std::wstring(L"<FONT COLOR=") + colour + L">Mmmm</FONT>");
    EXPECT_GT(surface.Count({0, 0, 320, 240}, kRed), 10) << colour;
    EXPECT_EQ(surface.Count({0, 0, 320, 240}, kBlack), 0) << colour;
  }
  canvas.Font().SetColor(ui::clBlue);
  Draw(L"<FONT COLOR=nosuchcolour>Mmmm</FONT>");
  EXPECT_GT(surface.Count({0, 0, 320, 240}, kBlack), 10);
  // </FONT> goes back to the colour from before the tag.
  Draw(L"<FONT COLOR=clRed>M</FONT>M");
  EXPECT_GT(surface.Count({0, 0, 320, 240}, RGB(0, 0, 255)), 5);
}

TEST_F(Markup, HitTestOnALinkGivesItsIndexRectangleTitleAndAddress) {
  TestLinks links;
  links.Add(canvas.Font());
  const std::wstring markup = L"Go <A HREF=\"Http://Example\" TITLE=\"The Title\">there</A> now";
  const int left = canvas.TextWidth(L"Go ");
  const HtmlDrawResult on = HitTest(markup, {left + 5, line / 2}, &links);
  EXPECT_TRUE(hit);
  EXPECT_EQ(on.hit_link, 0);
  EXPECT_EQ(on.link_count, 1);
  EXPECT_EQ(on.hit_link_rect.left, left);
  EXPECT_EQ(on.hit_link_rect.top, 0);
  EXPECT_EQ(on.hit_link_rect.bottom, line);
  EXPECT_EQ(on.title, L"The Title");
  EXPECT_EQ(on.address, L"Http://Example");
  const HtmlDrawResult beside = HitTest(markup, {2, line / 2}, &links);
  EXPECT_FALSE(hit);
  EXPECT_EQ(beside.hit_link, -1);
  EXPECT_EQ(beside.hit_link_rect.left, -1);
  EXPECT_TRUE(beside.title.empty());
}

TEST_F(Markup, LinksBeyondTheItemsAreCountedAndHitTested) {
  TestLinks links;
  links.Add(canvas.Font());
  const std::wstring markup = L"<a>one</a> <a>two</a>";
  const int second = canvas.TextWidth(L"one ");
  const HtmlDrawResult result = HitTest(markup, {second + 3, line / 2}, &links);
  EXPECT_EQ(result.link_count, 2);
  EXPECT_EQ(result.hit_link, 1);
  EXPECT_TRUE(hit);
}

TEST_F(Markup, HoveredLinkIsDrawnInItsHoverColour) {
  TestLinks links;
  links.Add(canvas.Font());
  settings.rect = {8, 18, 8 + 289, 240};
  alignment = ui::taCenter;
  const HtmlDrawResult located = HitTest(kSentence, {-1, -1}, &links);
  (void)located;
  // Find the link by hit-testing its line.
  HtmlDrawResult on;
  for (int y = 18; y < 120 && on.hit_link < 0; y += 2) {
    for (int x = 8; x < 297 && on.hit_link < 0; x += 3) on = HitTest(kSentence, {x, y}, &links);
  }
  ASSERT_EQ(on.hit_link, 0);
  settings.hover_link = 0;
  Draw(kSentence, &links);
  EXPECT_GT(surface.Count(on.hit_link_rect, kHoverBlue), 20);
  EXPECT_EQ(surface.Count(on.hit_link_rect, kBlack), 0);
  // The underline: one row of the rectangle nearly all in the hover colour.
  int best_row = 0;
  for (int y = on.hit_link_rect.top; y < on.hit_link_rect.bottom; ++y) {
    best_row = std::max(
        best_row,
        surface.Count({on.hit_link_rect.left, y, on.hit_link_rect.right, y + 1}, kHoverBlue));
  }
  EXPECT_GE(best_row, (on.hit_link_rect.right - on.hit_link_rect.left) * 9 / 10);
  settings.hover_link = -1;
  Draw(kSentence, &links);
  EXPECT_EQ(surface.Count(on.hit_link_rect, kHoverBlue), 0);
  EXPECT_GT(surface.Count(on.hit_link_rect, kBlack), 20);
}

TEST_F(Markup, WordLongerThanTheLineRunsPastTheEdgeAndIsOutOfRect) {
  settings.rect = {0, 0, 60, 240};
  const HtmlDrawResult result = Draw(L"a supercalifragilisticexpialidocious word");
  EXPECT_TRUE(result.out_of_rect);
  EXPECT_GT(surface.InkBounds(kWhite).right, 60);
  EXPECT_EQ(result.total_height, 3 * line);
  settings.wrap_char = true;
  Draw(L"a supercalifragilisticexpialidocious word");
  EXPECT_LE(surface.InkBounds(kWhite).right, 60);
}

TEST_F(Markup, HorizontalRuleIsDrawnInItsColourUnderTheLine) {
  settings.rect = {10, 0, 210, 240};
  Draw(L"above<HR COLOR=#00C000>below");
  EXPECT_EQ(surface.Count({10, line + 1, 210, line + 2}, RGB(0, 192, 0)), 200);
  EXPECT_EQ(surface.Count({0, 0, 320, line + 1}, RGB(0, 192, 0)), 0);
  Draw(L"above<HR>below");
  EXPECT_EQ(surface.Count({10, line + 1, 210, line + 2}, kBlack), 200);
}

TEST_F(Markup, ErrorMarkIsARedZigzagUnderTheRun) {
  Draw(L"fine <E>wrnog</E> fine");
  const int left = canvas.TextWidth(L"fine ");
  const int right = left + canvas.TextWidth(L"wrnog");
  EXPECT_GT(surface.Count({left, line - 1, right, line + 2}, kRed), (right - left) / 2);
  EXPECT_EQ(surface.Count({0, 0, left - 1, 240}, kRed), 0);
  EXPECT_EQ(surface.Count({right + 2, 0, 320, 240}, kRed), 0);
}

TEST_F(Markup, TagsChangeTheLayout) {
  const int plain = Draw(L"Mmmm").widest;
  EXPECT_GT(Draw(L"<B>Mmmm</B>").widest, plain);
  EXPECT_EQ(Draw(L"<B>Mm</B>mm").widest, Draw(L"<B>Mm</B>").widest + canvas.TextWidth(L"mm"));
  EXPECT_GT(Draw(L"<FONT SIZE=5>Mmmm</FONT>").total_height, line);
  EXPECT_GT(Draw(L"<FONT STYLE=\"font-size:20pt\">M</FONT>").total_height,
            Draw(L"<FONT SIZE=5>M</FONT>").total_height);
  EXPECT_EQ(Draw(L"<Z>hidden</Z>shown").widest, canvas.TextWidth(L"shown"));
  EXPECT_EQ(Draw(L"<IND x=\"50\">x").widest, 50 + canvas.TextWidth(L"x"));
  EXPECT_GT(Draw(L"a<SUP>2</SUP>").total_height, line);
  EXPECT_EQ(Draw(L"<P ALIGN=RIGHT>right").text, L"right");
  EXPECT_EQ(Draw(L"left<P ALIGN=RIGHT>right</P>again").text, L"left\r\nright\r\nagain");
  EXPECT_EQ(Draw(L"one<BR LINESPACE=6>two").total_height, 2 * line + 6);
  EXPECT_EQ(Draw(L"<LINESPACE=5>one").total_height, line + 5);
}

TEST_F(Markup, ParagraphAlignmentMovesItsLines) {
  Draw(L"<P ALIGN=RIGHT>right</P>left");
  EXPECT_GT(LineInk(0).right, 300);
  EXPECT_LT(LineInk(1).left, 5);
  alignment = ui::taCenter;
  Draw(L"<P ALIGN=LEFT>left</P>centre");
  EXPECT_LT(LineInk(0).left, 5);
  EXPECT_GT(LineInk(1).left, 100);
}

TEST_F(Markup, ListItemsAreIndentedAndBulleted) {
  settings.rect = {0, 0, 320, 240};
  const HtmlDrawResult result = Draw(L"<UL><L TYPE=\"SQUARE\" COLOR=clRed>one<L>two</UL>");
  EXPECT_EQ(result.total_height, 2 * line);
  EXPECT_EQ(surface.Count({0, 0, 20, line}, kRed), 64);  // the 8 x 8 square
  // Items of the first level start 12 pixels in, after their bullet.
  EXPECT_EQ(surface.CountOther({8, line, 12, 2 * line}, kWhite), 0);
  EXPECT_GT(surface.CountOther({0, line, 8, 2 * line}, kWhite), 0);
  EXPECT_GT(surface.CountOther({12, line, 40, 2 * line}, kWhite), 0);
}

TEST_F(Markup, IndentedParagraphDrawsAllItMeasuredInTheRoomLeft) {
  const std::wstring right = L"<P ALIGN=RIGHT INDENT=\"20\">Hello world</P>";
  Draw(right);
  const RECT ink = surface.InkBounds(kWhite);
  EXPECT_LE(ink.right, 320);
  EXPECT_GT(ink.right - ink.left, canvas.TextWidth(L"Hello world") - 4);
  // A wrapped paragraph 20 pixels in is the text in a rectangle 20 pixels narrower.
  TestLinks links;
  links.Add(canvas.Font());
  settings.rect = {20, 0, 200, 240};
  Draw(kSentence, &links);
  auto narrower = Copy();
  settings.rect = {0, 0, 200, 240};
  const std::wstring indented = std::wstring(L"<P INDENT=\"20\">") + kSentence + L"</P>after";
  const HtmlDrawResult drawn = Draw(indented, &links);
  for (int y = 0; y < drawn.total_height - line; ++y) {
    for (int x = 0; x < 320; ++x)
      ASSERT_EQ(surface.Pixel(x, y), narrower->Pixel(x, y)) << x << "," << y;
  }
  // The link ends where it ends: the text after the paragraph is no link.
  EXPECT_EQ(HitTest(indented, {2, drawn.total_height - line / 2}, &links).hit_link, -1);
}

TEST_F(Markup, HoveredLinkInAWiderFontIsHitWhereItIsDrawn) {
  TestLinks links;
  links.Add(canvas.Font()).hover.SetHeight(-14);
  settings.rect = {8, 18, 8 + 289, 240};
  alignment = ui::taCenter;
  ExpectHoveredLinkDrawnInItsRectangle(L"Read our <a>Privacy Policy</a> today.", links);
  ExpectHoveredLinkDrawnInItsRectangle(kSentence, links);
}

TEST_F(Markup, FirstRunWrapsInTheRoomThatBulletsIndentsAndOffsetsLeave) {
  settings.rect = {0, 0, 150, 240};
  const std::wstring words = L"a long list item that takes more than one line";
  // The item starts on its bullet's line, 12 pixels in.
  Draw(L"<UL><L TYPE=\"SQUARE\" COLOR=clRed>" + words + L"</UL>");
  EXPECT_GT(surface.CountOther({12, 0, 150, line}, kWhite), 20);
  // <IND x="50"> before a long sentence: text on the first line, from 50 on.
  Draw(L"<IND x=\"50\">" + words);
  EXPECT_GE(LineInk(0).left, 50);
  EXPECT_LE(LineInk(0).left, 52);
  EXPECT_LE(LineInk(0).right, 150);
  // After <OF x="30"> every line stays inside, and the link is hit where it is drawn.
  TestLinks links;
  links.Add(canvas.Font());
  Draw(std::wstring(L"<OF x=\"30\">") + kSentence, &links);
  EXPECT_LE(surface.InkBounds(kWhite).right, 150);
  EXPECT_GE(surface.InkBounds(kWhite).left, 30);
  EXPECT_LE(surface.InkBounds(kWhite).left, 32);
  ExpectHoveredLinkDrawnInItsRectangle(std::wstring(L"<OF x=\"30\">") + kSentence, links);
  ExpectHoveredLinkDrawnInItsRectangle(L"<OL><L>one<L>two <a>link</a></OL>", links);
}

TEST_F(Markup, EllipsisGoesOnTheLastLineWithTextBeforeAnEmptyParagraphOrARule) {
  settings.rect = {0, 0, 150, line + line / 2};
  settings.ellipsis = ui::epEndEllipsis;
  for (const wchar_t* markup : {L"one<BR><P>three", L"one<BR><HR>three"}) {
    const HtmlDrawResult result = Draw(markup);
    EXPECT_TRUE(result.out_of_rect) << markup;
    EXPECT_EQ(result.text, L"one...") << markup;
    EXPECT_GE(LineInk(0).right, canvas.TextWidth(L"one...") - 2) << markup;
  }
}

TEST_F(Markup, TurnedTextStaysTurnedUntilItsEnd) {
  settings.rect = {40, 100, 320, 240};
  Draw(L"<R A=90>ab<FONT COLOR=#ff0000>mmmm</FONT></R><FONT COLOR=#0000ff>mmmm</FONT>");
  const RECT turned = Bounds(kRed);
  const RECT upright = Bounds(RGB(0, 0, 255));
  EXPECT_GT(turned.bottom - turned.top, 2 * (turned.right - turned.left));
  EXPECT_GT(upright.right - upright.left, 2 * (upright.bottom - upright.top));
}

TEST_F(Markup, SpanEndClearsTheBackground) {
  const COLORREF green = RGB(0, 255, 0);
  Draw(L"<FONT BGCOLOR=#00ff00>x<SPAN STYLE=\"background-color:#ff0000\">a</SPAN>bbbb</FONT>");
  const int after = canvas.TextWidth(L"xa");
  EXPECT_GT(surface.Count({0, 0, after, line}, kRed), 0);
  EXPECT_EQ(surface.Count({after, 0, 320, line}, green), 0);
}

TEST_F(Markup, RunEndsWhereItsLastCharacterEnds) {
  // A full stop after a link follows its last letter, and the underline ends
  // there: as if the two were one run.
  TestLinks links;
  links.Add(canvas.Font());
  const int underline = line - 1;  // the row below the descent of "y"
  for (int hover : {-1, 0}) {
    settings.hover_link = hover;
    Draw(L"<a>Privacy Policy.</a>", &links);
    auto whole = Copy();
    Draw(L"<a>Privacy Policy</a>.", &links);
    for (int y = 0; y < underline; ++y) {
      for (int x = 0; x < 320; ++x) {
        ASSERT_EQ(surface.Pixel(x, y) == kWhite, whole->Pixel(x, y) == kWhite) << x << "," << y;
      }
    }
    EXPECT_EQ(surface.CountOther({0, underline, 320, underline + 1}, kWhite),
              canvas.TextWidth(L"Privacy Policy"))
        << hover;
  }
}

TEST_F(Markup, SystemIconIsDrawnAndTakesItsWidth) {
  const HtmlDrawResult result = Draw(L"<IMG SRC=\"SSYS:3\">after");
  const int icon = result.widest - canvas.TextWidth(L"after");
  EXPECT_GE(icon, 16);
  EXPECT_GT(surface.CountOther({0, 0, icon, icon}, kWhite), 10);
  EXPECT_EQ(Draw(L"<IMG SRC=\"unknown\">after").widest, canvas.TextWidth(L"after"));
}

}  // namespace
}  // namespace velmora
