#include "controls/html_text.h"

#include <gtest/gtest.h>

namespace velmora::html {
namespace {

TEST(MarkupText, HashMarksAndLineBreaks) {
  EXPECT_EQ(RemoveHashMarks(L"a<#b>c"), L"abc");
  EXPECT_EQ(RemoveHashMarks(L"<<##>>"), L"");
  EXPECT_EQ(RemoveHashMarks(L"x<#y"), L"xy");
  // Each mark takes the first ">" that an earlier one left; taking one out
  // may form a new mark.
  EXPECT_EQ(RemoveHashMarks(L"a<#b<#c>d>e>"), L"abcde>");
  EXPECT_EQ(RemoveHashMarks(L"<#a<>#b>c"), L"abc");
  EXPECT_EQ(LineBreaksToTags(L"a\r\nb\rc\nd"), L"a<BR>b<BR>c\nd");
}

TEST(MarkupText, AmpersandEntityFollowsThePrefixRule) {
  EXPECT_EQ(DecodeMarkupEntities(L"R&AMP;D &sect;&permil;&reg;&para;&trade;", false),
            L"R&&D \u00A7\u2030\u00AE\u00B6\u2122");
  EXPECT_EQ(DecodeMarkupEntities(L"R&amp;D", true), L"R&D");
  EXPECT_EQ(DecodeMarkupEntities(L"&amp;amp;", true), L"&");
  EXPECT_EQ(DecodeMarkupEntities(L"&amp;amp;", false), L"&&&");
  EXPECT_EQ(DecodeMarkupEntities(L"&amp;quot;&&amp;copy;", true), L"\"&\u00A9");
}

TEST(MarkupText, RunEntitiesAndTheirMarkupLength) {
  EXPECT_EQ(DecodeRunText(L"a&NBSP;b&lt;&gt;&amp;"), L"a b<>&amp;");
  EXPECT_EQ(MarkupLengthOf(L"a&nbsp;b", 2), 7u);
  EXPECT_EQ(MarkupLengthOf(L"a&nbsp;b", 3), 8u);
  EXPECT_EQ(MarkupLengthOf(L"ab", 9), 2u);
}

TEST(MarkupText, AttributeValues) {
  const std::wstring tag = L"<A href=\"Some Where\" title=  plain other=\"open";
  const std::wstring upper = UpperAscii(tag);
  std::wstring value;
  EXPECT_TRUE(AttributeValue(tag, upper, L"HREF", value));
  EXPECT_EQ(value, L"Some Where");
  EXPECT_TRUE(AttributeValue(tag, upper, L"TITLE", value));
  EXPECT_EQ(value, L"plain");
  EXPECT_TRUE(AttributeValue(tag, upper, L"OTHER", value));
  EXPECT_EQ(value, L"open");
  EXPECT_FALSE(AttributeValue(tag, upper, L"MAXLINE", value));
  EXPECT_TRUE(value.empty());
  EXPECT_TRUE(QuotedAttribute(L"<IND x=\"12\">", L"<IND X=\"12\">", L"X", value));
  EXPECT_EQ(value, L"12");
}

TEST(MarkupText, NumbersAreHeldInRange) {
  int number = 0;
  EXPECT_TRUE(ParseNumber(L"-42", number));
  EXPECT_EQ(number, -42);
  EXPECT_TRUE(ParseNumber(L"99999999999999999999", number));
  EXPECT_EQ(number, kNumberLimit);
  EXPECT_FALSE(ParseNumber(L"12px", number));
  EXPECT_FALSE(ParseNumber(L"", number));
  EXPECT_EQ(NumberOrZero(L"x"), 0);
}

TEST(MarkupText, ColourValues) {
  EXPECT_EQ(ParseColorValue(L"", ui::clLime), ui::clLime);
  EXPECT_EQ(ParseColorValue(L"#102030", 0), 0x302010u);
  EXPECT_EQ(ParseColorValue(L"$aBcDeF", 0), 0xEFCDABu);
  EXPECT_EQ(ParseColorValue(L"#12", ui::clRed), ui::clBlack);
  EXPECT_EQ(ParseColorValue(L"CLSKYBLUE", 0), ui::clSkyBlue);
  EXPECT_EQ(ParseColorValue(L"clBtnFace", 0), ui::clBtnFace);
  EXPECT_EQ(ParseColorValue(L"clMenuBar", 0), 0xFF00001Eu);
  EXPECT_EQ(ParseColorValue(L"clNone", 0), ui::clNone);
  EXPECT_EQ(ParseColorValue(L"8388608", 0), ui::clNavy);
  EXPECT_EQ(ParseColorValue(L"-16777201", 0), ui::clBtnFace);
  EXPECT_EQ(ParseColorValue(L"12345", ui::clRed), ui::clBlack);
  EXPECT_EQ(ParseColorValue(L"nosuchcolour", ui::clRed), ui::clBlack);
}

TEST(MarkupText, StyleFontSize) {
  int points = 0;
  EXPECT_TRUE(StyleFontSize(L"FONT-SIZE:14PT\"", points));
  EXPECT_EQ(points, 14);
  EXPECT_TRUE(StyleFontSize(L"FONT-SIZE: 9PT", points));
  EXPECT_EQ(points, 9);
  EXPECT_FALSE(StyleFontSize(L"FONT-SIZE:14PX", points));
  EXPECT_FALSE(StyleFontSize(L"COLOR:RED", points));
}

}  // namespace
}  // namespace velmora::html
