#include "controls/rd_htm_label.h"

#include <windowsx.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "controls/html_test_support.h"

namespace velmora {
namespace {

using test::MoveMouseTo;
using test::PumpFor;
using test::PumpUntil;
using test::Surface;
using test::TestForm;

const COLORREF kBackground = RGB(0, 128, 0);
const COLORREF kBlack = RGB(0, 0, 0);
const COLORREF kHoverBlue = RGB(0, 160, 255);  // TColor 0x00FFA000

const wchar_t kSentence[] =
    L"This tool will collect information to help us diagnose and fix the problem you are "
    L"experiencing with our product. By sending us the report, you accept our "
    L"<a>Privacy Policy</a>.";

// The window's label, on a shown form, with the mouse away from it.
class HtmlLabel : public ::testing::Test {
 protected:
  HtmlLabel() : form(305, 200) {
    test::UseWindowFont(form.Font());
    label.SetParent(&form);
    label.SetBounds(8, 18, 289, 70);
    label.SetAlignment(ui::taCenter);
    label.SetCaption(kSentence);
    TRdHtmLabelLink& link = label.LinkItems().Add();
    link.FontHover().SetColor(0x00FFA000);
    link.SetCursor(ui::crHandPoint);
    link.OnClick = [this](TRdHtmLabelLink& item) { clicked.push_back(&item); };
    form.ShowAndPaint();
    MoveMouseTo(form.handle(), {300, 190});
  }
  // The label as the form paints it, over kBackground.
  std::unique_ptr<Surface> Paint() {
    auto surface = std::make_unique<Surface>(label.Width(), label.Height(), kBackground);
    label.Perform(WM_PAINT, reinterpret_cast<WPARAM>(surface->dc()));
    return surface;
  }
  // The rectangle of link 0 and a point inside it, in label coordinates.
  RECT FindLink(POINT& inside) {
    for (int y = 0; y < label.Height(); y += 2) {
      for (int x = 0; x < label.Width(); x += 3) {
        int index = -1;
        RECT rect;
        std::wstring text;
        label.LinkAtPoint(x, y, index, rect, text);
        if (index == 0) {
          inside = {x, y};
          return rect;
        }
      }
    }
    ADD_FAILURE() << "no link found";
    return {};
  }
  POINT InForm(POINT label_point) const {
    return {label.Left() + label_point.x, label.Top() + label_point.y};
  }
  void Send(UINT message, POINT form_point, WPARAM keys = 0) {
    ::SendMessageW(form.handle(), message, keys, MAKELPARAM(form_point.x, form_point.y));
  }
  // The row of `rect` with the most pixels of `colour`.
  static int BestRow(const Surface& surface, const RECT& rect, COLORREF colour) {
    int best = 0;
    for (int y = rect.top; y < rect.bottom; ++y) {
      best = std::max(best, surface.Count({rect.left, y, rect.right, y + 1}, colour));
    }
    return best;
  }

  TestForm form;
  TRdHtmLabel label;
  std::vector<TRdHtmLabelLink*> clicked;
};

TEST(HtmlLabelDefaults, AsCreated) {
  TRdHtmLabel label;
  EXPECT_FALSE(label.AutoSize());
  EXPECT_TRUE(label.WordWrap());
  EXPECT_FALSE(label.WrapChar());
  EXPECT_EQ(label.LineSpacing(), 0);
  EXPECT_FALSE(label.FoundTextOutOfRect());
  EXPECT_EQ(label.HoverLink(), -2);
  EXPECT_FALSE(label.IsLinkItemsStored());
  TRdHtmLabelLink& link = label.LinkItems().Add();
  EXPECT_TRUE(label.IsLinkItemsStored());
  EXPECT_EQ(link.Index(), 0);
  EXPECT_EQ(link.ColorBg(), ui::clNone);
  EXPECT_EQ(link.MaxLine(), -1);
  EXPECT_EQ(link.Cursor(), ui::crDefault);
  EXPECT_EQ(link.Font().Style(), ui::fsUnderline);
  EXPECT_EQ(link.FontHover().Style(), ui::fsUnderline);
  // The link font follows the label's and keeps its underline.
  label.Font().SetSize(14);
  label.Font().SetStyle(ui::fsBold);
  EXPECT_EQ(link.Font().Height(), label.Font().Height());
  EXPECT_EQ(link.Font().Style(), ui::fsBold | ui::fsUnderline);
  EXPECT_EQ(link.FontHover().Style(), ui::fsBold | ui::fsUnderline);
  link.FontHover().SetColor(ui::clRed);
  label.Font().SetColor(ui::clBlue);
  EXPECT_EQ(link.Font().Color(), ui::clBlue);
  EXPECT_EQ(link.FontHover().Color(), ui::clRed);
}

TEST_F(HtmlLabel, LinkIsUnderlinedInTheFontColourAndHoverBlueUnderTheMouse) {
  POINT inside;
  const RECT link = FindLink(inside);
  auto plain = Paint();
  EXPECT_GT(plain->Count(link, kBlack), 20);
  EXPECT_EQ(plain->Count(link, kHoverBlue), 0);
  EXPECT_GE(BestRow(*plain, link, kBlack), (link.right - link.left) * 9 / 10);

  MoveMouseTo(form.handle(), InForm(inside));
  ASSERT_TRUE(PumpUntil([&] { return label.HoverLink() == 0; }));
  EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, IDC_HAND));
  auto hovered = Paint();
  EXPECT_GT(hovered->Count(link, kHoverBlue), 20);
  EXPECT_EQ(hovered->Count(link, kBlack), 0);
  EXPECT_GE(BestRow(*hovered, link, kHoverBlue), (link.right - link.left) * 9 / 10);
  // The rest of the sentence keeps its colour.
  EXPECT_GT(hovered->Count({0, 0, label.Width(), link.top}, kBlack), 100);

  MoveMouseTo(form.handle(), {300, 190});
  ASSERT_TRUE(PumpUntil([&] { return label.HoverLink() == -2; }));
  EXPECT_EQ(Paint()->Count(link, kHoverBlue), 0);
  EXPECT_NE(::GetCursor(), ::LoadCursorW(nullptr, IDC_HAND));
}

TEST_F(HtmlLabel, PressAndReleaseOnTheLinkClicksIt) {
  POINT inside;
  FindLink(inside);
  const POINT on = InForm(inside);
  const POINT off = {label.Left() + 3, label.Top() + 3};
  Send(WM_MOUSEMOVE, on);
  Send(WM_LBUTTONDOWN, on, MK_LBUTTON);
  Send(WM_LBUTTONUP, on);
  ASSERT_EQ(clicked.size(), 1u);
  EXPECT_EQ(clicked[0], &label.LinkItems()[0]);

  Send(WM_LBUTTONDOWN, on, MK_LBUTTON);
  Send(WM_MOUSEMOVE, off, MK_LBUTTON);
  Send(WM_LBUTTONUP, off);
  Send(WM_LBUTTONDOWN, off, MK_LBUTTON);
  Send(WM_MOUSEMOVE, on, MK_LBUTTON);
  Send(WM_LBUTTONUP, on);
  Send(WM_RBUTTONDOWN, on, MK_RBUTTON);
  Send(WM_RBUTTONUP, on);
  EXPECT_EQ(clicked.size(), 1u);
}

TEST_F(HtmlLabel, LinkSplitByTheWrapHoversAsOneAndRepaintsBothParts) {
  label.SetCaption(L"Read the <a>Privacy Policy of the company</a> now.");
  label.SetAlignment(ui::taLeftJustify);
  label.SetBounds(8, 18, 120, 70);
  form.ShowAndPaint();
  POINT first;
  const RECT link = FindLink(first);
  const int line = test::SampleHeight(label.Font());
  ASSERT_EQ(link.bottom - link.top, 2 * line);
  const POINT second = {5, link.top + line + line / 2};
  int index = -1;
  RECT rect;
  std::wstring text;
  label.LinkAtPoint(second.x, second.y, index, rect, text);
  ASSERT_EQ(index, 0);
  EXPECT_TRUE(::EqualRect(&rect, &link));

  // Hovering the second part repaints the rectangle of both, nothing else.
  ::ValidateRect(form.handle(), nullptr);
  label.Perform(ui::CM_MOUSEENTER);
  label.Perform(WM_MOUSEMOVE, 0, MAKELPARAM(second.x, second.y));
  EXPECT_EQ(label.HoverLink(), 0);
  RECT update;
  ASSERT_TRUE(::GetUpdateRect(form.handle(), &update, FALSE));
  RECT expected = link;
  ::OffsetRect(&expected, label.Left(), label.Top());
  EXPECT_TRUE(::EqualRect(&update, &expected));
  auto hovered = Paint();
  EXPECT_GT(hovered->Count({link.left, link.top, link.right, link.top + line}, kHoverBlue), 10);
  EXPECT_GT(hovered->Count({link.left, link.top + line, link.right, link.bottom}, kHoverBlue), 10);
  label.Perform(ui::CM_MOUSELEAVE);
}

TEST_F(HtmlLabel, TextTallerThanTheLabelIsHitWhereItIsDrawnInEveryLayout) {
  label.SetCaption(L"one<BR>two<BR><a>link</a><BR>four<BR>five");
  label.SetBounds(8, 18, 289, 40);
  for (ui::TTextLayout layout : {ui::tlCenter, ui::tlBottom}) {
    label.SetLayout(layout);
    POINT inside;
    const RECT link = FindLink(inside);
    label.Perform(ui::CM_MOUSEENTER);
    label.Perform(WM_MOUSEMOVE, 0, MAKELPARAM(inside.x, inside.y));
    ASSERT_EQ(label.HoverLink(), 0) << layout;
    auto hovered = Paint();
    int top = label.Height();
    int bottom = 0;
    for (int y = 0; y < label.Height(); ++y) {
      if (hovered->Count({0, y, label.Width(), y + 1}, kHoverBlue) == 0) continue;
      top = std::min(top, y);
      bottom = y + 1;
    }
    EXPECT_GE(top, link.top) << layout;
    EXPECT_LE(bottom, link.bottom) << layout;
    EXPECT_GE(BestRow(*hovered, link, kHoverBlue), (link.right - link.left) * 9 / 10) << layout;
    label.Perform(ui::CM_MOUSELEAVE);
  }
}

TEST_F(HtmlLabel, CaptionWithLineBreaksReadsBackWithBreakTags) {
  label.SetCaption(L"first line\r\nsecond <b>line</b>\nthird");
  EXPECT_EQ(label.Lines().Count(), 3);
  EXPECT_EQ(label.Caption(), L"first line<BR>second <b>line</b><BR>third");
  EXPECT_EQ(label.PlainText(), L"first line\r\nsecond line\r\nthird");
  auto broken = Paint();
  label.SetCaption(L"first line<BR>second <b>line</b><BR>third");
  auto tagged = Paint();
  for (int y = 0; y < label.Height(); ++y) {
    for (int x = 0; x < label.Width(); ++x) ASSERT_EQ(broken->Pixel(x, y), tagged->Pixel(x, y));
  }
}

TEST_F(HtmlLabel, PlainTextDropsTagsAndAnUnclosedTagToTheEnd) {
  label.SetCaption(L"a <b>bold</b> &amp; <a href=x>link</a><bR>next");
  EXPECT_EQ(label.PlainText(), L"a bold &amp; link\r\nnext");
  label.SetCaption(L"kept <i>part</i> < lost <b>too");  // the "<" closes at "<b>"
  EXPECT_EQ(label.PlainText(), L"kept part too");
  label.SetCaption(L"kept <i>part</i> and < lost");
  EXPECT_EQ(label.PlainText(), L"kept part and ");
}

TEST_F(HtmlLabel, AutoSizeTakesTheTextHeightAndKeepsTheWidth) {
  const int line = test::SampleHeight(label.Font());
  label.TextBorder().SetMargins(3, 4, 5, 6);
  label.SetCaption(L"one<BR>two<BR>three");
  label.SetAutoSize(true);
  EXPECT_EQ(label.Height(), 4 + 3 * line + 6);
  EXPECT_EQ(label.Width(), 289);
  label.SetCaption(L"");
  EXPECT_EQ(label.Height(), 4 + line + 6);
}

TEST_F(HtmlLabel, EndEllipsisSetsOutOfRectAndTheAutomaticHintShowsThePlainText) {
  label.SetEllipsisPosition(ui::epEndEllipsis);
  label.SetAutoShowHint(true);
  label.SetBounds(8, 18, 289, 20);
  Paint();
  EXPECT_TRUE(label.FoundTextOutOfRect());
  ui::HintInfo info;
  info.hint_text = label.Hint();
  EXPECT_EQ(label.Perform(ui::CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&info)), 0);
  EXPECT_EQ(info.hint_text, label.PlainText());

  label.SetBounds(8, 18, 289, 80);
  Paint();
  EXPECT_FALSE(label.FoundTextOutOfRect());
  info.hint_text = L"own";
  label.Perform(ui::CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_TRUE(info.hint_text.empty());
}

TEST_F(HtmlLabel, LinkHintShowsAlwaysOrOnlyWhenTheLinkWasCut) {
  TRdHtmLabelLink& link = label.LinkItems()[0];
  link.SetHint(L"Opens the privacy page");
  POINT inside;
  FindLink(inside);
  label.Perform(ui::CM_MOUSEENTER);
  label.Perform(WM_MOUSEMOVE, 0, MAKELPARAM(inside.x, inside.y));
  ASSERT_EQ(label.HoverLink(), 0);
  ui::HintInfo info;
  label.Perform(ui::CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.hint_text, L"Opens the privacy page");

  link.SetAutoShowHint(true);  // the link's text fits: no hint of its own
  info.hint_text = L"label hint";
  label.Perform(ui::CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.hint_text, L"label hint");

  link.SetMaxLine(1);  // now it runs past the right edge
  label.SetCaption(L"A long sentence that ends in a <a>link that cannot wrap at all</a>");
  label.FitToText();
  ASSERT_TRUE(link.FoundTextEllipsis());
  RECT rect;
  std::wstring text;
  int index = -1;
  label.LinkAtPoint(label.Width() - 10, 5, index, rect, text);
  label.Perform(WM_MOUSEMOVE, 0, MAKELPARAM(label.Width() - 10, 5));
  ASSERT_EQ(label.HoverLink(), 0);
  label.Perform(ui::CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.hint_text, L"Opens the privacy page");
  label.Perform(ui::CM_MOUSELEAVE);
}

}  // namespace
}  // namespace velmora
