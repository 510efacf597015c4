#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include "controls/rd_label.h"
#include "ui/gdi_test_support.h"

namespace velmora {
namespace {

using test::MoveMouseTo;
using test::PumpFor;
using test::PumpUntil;
using test::Surface;
using test::TestForm;

const COLORREF kBlack = RGB(0, 0, 0);
const COLORREF kRed = RGB(255, 0, 0);
const COLORREF kBlue = RGB(0, 0, 255);

class LabelOnShownForm : public ::testing::Test {
 protected:
  LabelOnShownForm() : form(240, 120) {
    label.SetParent(&form);
    label.SetBounds(20, 20, 65, 17);
    label.Font().SetColor(ui::clBlack);
    label.Font().SetSize(14);
    label.SetCaption(L"Hover me");
    label.SetFontHoverColor(ui::clRed);
    label.SetFontDownColor(ui::clBlue);
    form.ShowAndPaint();
  }
  // How the form looks now, inside the label's rectangle.
  int Pixels(COLORREF colour) {
    Surface surface(240, 120);
    form.PaintClient(surface.dc());
    return surface.Count(label.BoundsRect(), colour);
  }
  POINT Inside() const { return {label.Left() + 5, label.Top() + 5}; }
  TestForm form;
  TRdLabel label;
};

TEST_F(LabelOnShownForm, RealMouseChangesTheTextColour) {
  MoveMouseTo(form.handle(), {200, 100});
  EXPECT_GT(Pixels(kBlack), 0);
  MoveMouseTo(form.handle(), Inside());
  ASSERT_TRUE(PumpUntil([&] { return form.MouseControl() == &label; }));
  EXPECT_GT(Pixels(kRed), 0);
  EXPECT_EQ(Pixels(kBlack), 0);

  const LPARAM at = MAKELPARAM(Inside().x, Inside().y);
  ::PostMessageW(form.handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
  PumpFor(50);
  EXPECT_GT(Pixels(kBlue), 0);
  ::PostMessageW(form.handle(), WM_LBUTTONUP, 0, at);
  PumpFor(50);
  EXPECT_GT(Pixels(kRed), 0);

  MoveMouseTo(form.handle(), {200, 100});
  ASSERT_TRUE(PumpUntil([&] { return form.MouseControl() == nullptr; }));
  EXPECT_GT(Pixels(kBlack), 0);
  EXPECT_EQ(Pixels(kRed), 0);
}

TEST_F(LabelOnShownForm, ClickAndCursor) {
  int clicks = 0;
  label.OnClick = [&](ui::GraphicControl&) { ++clicks; };
  label.SetCursor(ui::crHandPoint);
  MoveMouseTo(form.handle(), Inside());
  EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, IDC_HAND));
  const LPARAM at = MAKELPARAM(Inside().x, Inside().y);
  ::PostMessageW(form.handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
  ::PostMessageW(form.handle(), WM_LBUTTONUP, 0, at);
  PumpFor(50);
  EXPECT_EQ(clicks, 1);
}

TEST_F(LabelOnShownForm, CutCaptionShowsItselfAsHint) {
  form.Hints().hint_pause = 50;
  label.SetAutoSize(false);
  label.SetEllipsisPosition(ui::epEndEllipsis);
  label.SetBounds(20, 20, 60, 30);  // one line high, far too narrow
  label.SetCaption(L"A caption much too long to be shown whole");
  label.SetAutoShowHint(true);
  MoveMouseTo(form.handle(), Inside());
  ASSERT_TRUE(PumpUntil([&] { return form.Hints().Showing(); }));
  EXPECT_EQ(form.Hints().Text(), L"A caption much too long to be shown whole");

  // A caption that fits shows nothing, even with a hint of its own.
  MoveMouseTo(form.handle(), {200, 100});
  label.SetCaption(L"Fits");
  label.SetHint(L"Own hint");
  MoveMouseTo(form.handle(), Inside());
  PumpFor(200);
  EXPECT_FALSE(form.Hints().Showing());
}

}  // namespace
}  // namespace velmora
