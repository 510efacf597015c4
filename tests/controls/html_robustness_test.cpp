// The markup engine never fails and always ends: random and cut-off markup
// of every kind, measured and painted in rectangles of several sizes.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "controls/html_markup.h"
#include "controls/html_test_support.h"
#include "controls/html_text.h"

namespace velmora {
namespace {

const wchar_t* const kPieces[] = {
    L"<a>",
    L"</a>",
    L"<A HREF=\"x y\" TITLE=t MAXLINE=1>",
    L"<a maxline=",
    L"<b>",
    L"</b>",
    L"<BL>",
    L"</BL>",
    L"<BODY BGCOLOR=#10ff10>",
    L"<BODY BGCOLOR=red BGCOLORTO=blue DIR=\"V\">",
    L"<BR>",
    L"<br linespace=7>",
    L"<E>",
    L"</E>",
    L"<FONT COLOR=clBlue SIZE=3>",
    L"<font face=\"Courier\" size=99999>",
    L"<FONT STYLE=\"font-size:14pt\">",
    L"</FONT>",
    L"<HI>",
    L"</HI>",
    L"<HR>",
    L"<HR COLOR=#0>",
    L"<I>",
    L"</I>",
    L"<IND x=\"40\">",
    L"<IND x=\"-5000\">",
    L"<IMG SRC=\"SSYS:1\" ALIGN=\"TOP\">",
    L"<IMG SRC=\"LSYS:C:\\\">",
    L"<IMG SRC=\"IDX:SSYS:99999\" WRAP>",
    L"<L>",
    L"<L TYPE=\"CIRCLE\">",
    L"<LI>",
    L"<LINESPACE=-3>",
    L"</L>",
    L"<OL>",
    L"</OL>",
    L"<UL>",
    L"</UL>",
    L"<OF x=\"30\">",
    L"<OF x=\"900\">",
    L"</O>",
    L"<P ALIGN=CENTER INDENT=\"20\">",
    L"<P BGCOLOR=clYellow>",
    L"<P ALIGN=RIGHT BGCOLOR=#ffffff BGCOLORTO=#000000>",
    L"</P>",
    L"<R A=90>",
    L"<r a=-45>",
    L"</R>",
    L"<S>",
    L"</S>",
    L"<SH>",
    L"</SH>",
    L"<SPAN STYLE=\"background-color:#ff00ff\">",
    L"</SPAN>",
    L"<SUB>",
    L"<SUP>",
    L"</SU>",
    L"<U>",
    L"</U>",
    L"<Z>",
    L"</Z>",
    L"<#kept>",
    L"<",
    L"<<",
    L"< >",
    L">",
    L"\"",
    L"&",
    L" & ",
    L"&amp;",
    L"&amp;amp;",
    L"&lt;",
    L"&gt;",
    L"&nbsp;",
    L"&quot;",
    L"&euro;",
    L"&bogus;",
    L"\r\n",
    L"\r",
    L"\n",
    L"\t",
    L" ",
    L"  ",
    L"word",
    L"Privacy Policy",
    L"x",
    L"supercalifragilisticexpialidocious",
    L"averyveryveryveryveryveryveryveryveryverylongwordwithoutanyblank",
    L"é€ü",
};

std::wstring RandomMarkup(std::mt19937& random) {
  std::uniform_int_distribution<size_t> piece(0, std::size(kPieces) - 1);
  std::uniform_int_distribution<int> count(0, 40);
  std::wstring markup;
  for (int i = count(random); i > 0; --i) markup += kPieces[piece(random)];
  if (random() % 3 == 0 && !markup.empty()) {
    markup.resize(random() % markup.size());  // cut anywhere, also inside a tag
  }
  if (random() % 5 == 0) {
    for (int i = static_cast<int>(random() % 20); i > 0; --i) {
      markup.insert(markup.begin() + random() % (markup.size() + 1),
                    static_cast<wchar_t>(L' ' + random() % 95));
    }
  }
  return markup;
}

TEST(MarkupRobustness, RandomMarkupAlwaysEndsWithSaneOutputs) {
  std::mt19937 random(20240612);
  test::Surface surface(320, 200);
  ui::Canvas canvas(surface.dc());
  test::UseWindowFont(canvas.Font());
  test::TestLinks links;
  links.Add(canvas.Font());
  links.Add(canvas.Font()).max_line = 1;
  const RECT rects[] = {{0, 0, 0, 0}, {5, 5, 45, 25}, {8, 18, 297, 67}, {0, 0, 320, 200}};
  const ui::TEllipsisPosition ellipses[] = {ui::epNone, ui::epEndEllipsis, ui::epWordEllipsis,
                                            ui::epPathEllipsis};
  for (int round = 0; round < 1500; ++round) {
    const std::wstring markup = RandomMarkup(random);
    for (const RECT& rect : rects) {
      HtmlDrawSettings settings;
      settings.rect = rect;
      settings.ellipsis = ellipses[random() % 4];
      settings.word_wrap = random() % 4 != 0;
      settings.wrap_char = random() % 3 == 0;
      settings.accelerator_flags = random() % 2 ? DT_NOPREFIX : 0;
      settings.line_spacing = static_cast<int>(random() % 5);
      settings.hover_link = static_cast<int>(random() % 3) - 1;
      settings.hit_point = {static_cast<LONG>(random() % 330), static_cast<LONG>(random() % 210)};
      for (bool measure_only : {true, false}) {
        settings.measure_only = measure_only;
        ui::TAlignment alignment = static_cast<ui::TAlignment>(random() % 3);
        HtmlDrawResult result;
        const bool hit = DrawHtmlText(canvas, &links, markup, settings, alignment, result);
        ASSERT_GE(result.total_height, 0) << round;
        ASSERT_GE(result.widest, 0) << round;
        ASSERT_GE(result.link_count, 0) << round;
        ASSERT_GE(result.hit_link, -1) << round;
        ASSERT_LT(result.hit_link, std::max(1, result.link_count)) << round;
        if (result.hit_link >= 0) {
          ASSERT_TRUE(hit) << round;
          ASSERT_LE(result.hit_link_rect.left, result.hit_link_rect.right) << round;
          ASSERT_LE(result.hit_link_rect.top, result.hit_link_rect.bottom) << round;
        }
        ASSERT_EQ(canvas.Font().Name(), L"Tahoma") << round;
        ASSERT_EQ(canvas.Font().Height(), -11) << round;
        ASSERT_EQ(canvas.Font().Style(), 0u) << round;
      }
    }
  }
}

// The single-scan entity decoding gives what replacing the first occurrence
// of each entity, pass after pass, gives.
std::wstring DecodeInPasses(std::wstring text, bool no_prefix) {
  const std::vector<std::pair<std::wstring, std::wstring>> entities = {
      {L"&amp;", no_prefix ? L"&" : L"&&"},
      {L"&quot;", L"\""},
      {L"&sect;", L"\u00A7"},
      {L"&permil;", L"\u2030"},
      {L"&reg;", L"\u00AE"},
      {L"&copy;", L"\u00A9"},
      {L"&para;", L"\u00B6"},
      {L"&trade;", L"\u2122"},
      {L"&euro;", L"\u20AC"}};
  for (bool replaced = true; replaced;) {
    replaced = false;
    for (const auto& [name, value] : entities) {
      const std::wstring upper_text = html::UpperAscii(text);
      const size_t at = upper_text.find(html::UpperAscii(name));
      if (at == std::wstring::npos) continue;
      text.replace(at, name.size(), value);
      replaced = true;
    }
  }
  return text;
}

TEST(MarkupRobustness, EntityDecodingMatchesReplacementInPasses) {
  std::mt19937 random(7);
  const wchar_t* const pieces[] = {L"&",      L"amp;", L"&amp;", L"AMP;", L"&quot;", L"quot;",
                                   L"&Euro;", L"x",    L";",     L"&&",   L"copy;"};
  for (int round = 0; round < 3000; ++round) {
    std::wstring text;
    for (int i = static_cast<int>(random() % 12); i > 0; --i) text += pieces[random() % 11];
    for (bool no_prefix : {true, false}) {
      ASSERT_EQ(html::DecodeMarkupEntities(text, no_prefix), DecodeInPasses(text, no_prefix))
          << round;
    }
  }
}

}  // namespace
}  // namespace velmora
