#include "app/main_window.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

RECT BoundsInClient(const TForm_VelmoraInfo& window, HWND control) {
  RECT bounds;
  ::GetWindowRect(control, &bounds);
  ::MapWindowPoints(nullptr, window.handle(), reinterpret_cast<POINT*>(&bounds), 2);
  return bounds;
}

TEST(MainWindowLayout, FourLinesGrowTheLabelAndMoveTheButtonAndTheBarDown) {
  TForm_VelmoraInfo window;
  TRdHtmLabel& label = window.ExplanationLabel();
  const int text = label.MeasureTextHeight();
  const int line = text / 4;
  ASSERT_EQ(text, 4 * line) << "Wine's Tahoma needs four lines";
  ASSERT_GT(text, 49);
  const int grown = text - 49;
  EXPECT_EQ(label.Left(), 8);
  EXPECT_EQ(label.Top(), 18);
  EXPECT_EQ(label.Width(), 289);
  EXPECT_EQ(label.Height(), text);
  const RECT client = window.ClientRect();
  EXPECT_EQ(client.right, 305);
  EXPECT_EQ(client.bottom, 147 + grown);
  // Every line of the sentence lies inside the label and the client area.
  EXPECT_LE(label.Top() + text, client.bottom);
  const RECT button = BoundsInClient(window, window.ReportButton().handle());
  EXPECT_EQ(button.top - (label.Top() + label.Height()), 81 - (18 + 49));
  EXPECT_EQ(button.left, 61);
  EXPECT_EQ(button.right - button.left, 169);
  EXPECT_EQ(button.bottom - button.top, 25);
  const RECT bar = BoundsInClient(window, window.ProgressBar().handle());
  EXPECT_EQ(bar.top, 122 + grown);
  EXPECT_EQ(bar.left, 31);
  EXPECT_EQ(bar.right - bar.left, 253);
  EXPECT_EQ(bar.bottom - bar.top, 17);
  // Painting finds nothing cut.
  UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
  label.Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc.get()));
  EXPECT_FALSE(label.FoundTextOutOfRect());
}

TEST(MainWindowLayout, ThreeLinesKeepTheTableLayout) {
  TForm_VelmoraInfo window({L"Tahoma", 10});
  TRdHtmLabel& label = window.ExplanationLabel();
  ASSERT_LE(label.MeasureTextHeight(), 49);
  EXPECT_EQ(label.Left(), 8);
  EXPECT_EQ(label.Top(), 18);
  EXPECT_EQ(label.Width(), 289);
  EXPECT_EQ(label.Height(), 49);
  const RECT client = window.ClientRect();
  EXPECT_EQ(client.right, 305);
  EXPECT_EQ(client.bottom, 147);
  const RECT button = BoundsInClient(window, window.ReportButton().handle());
  EXPECT_EQ(button.left, 61);
  EXPECT_EQ(button.top, 81);
  const RECT bar = BoundsInClient(window, window.ProgressBar().handle());
  EXPECT_EQ(bar.left, 31);
  EXPECT_EQ(bar.top, 122);
}

TEST(MainWindow, TheLinkIsItemZeroWithTheHandAndTheHoverColour) {
  TForm_VelmoraInfo window;
  TRdHtmLabel& label = window.ExplanationLabel();
  EXPECT_EQ(label.Caption(), kExplanationMarkup);
  EXPECT_EQ(label.Alignment(), ui::taCenter);
  EXPECT_TRUE(label.WordWrap());
  ASSERT_EQ(label.LinkItems().Count(), 1);
  TRdHtmLabelLink& link = label.LinkItems()[0];
  EXPECT_EQ(link.FontHover().Color(), 0x00FFA000u);
  EXPECT_EQ(link.Cursor(), ui::crHandPoint);
  EXPECT_TRUE(static_cast<bool>(link.OnClick));
  EXPECT_EQ(label.Font().Name(), L"Tahoma");
  EXPECT_EQ(label.Font().Height(), -11);
  EXPECT_EQ(label.Font().Color(), ui::clWindowText);
  EXPECT_EQ(link.Font().Style(), ui::fsUnderline);
}

TEST(MainWindow, ButtonHasTheFocusWhenTheWindowOpens) {
  TForm_VelmoraInfo window;
  ::ShowWindow(window.handle(), SW_SHOWNORMAL);
  ::SetForegroundWindow(window.handle());
  MSG msg;
  for (int i = 0; i < 50 && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
    ::DispatchMessageW(&msg);
  }
  EXPECT_EQ(::GetFocus(), window.ReportButton().handle());
  EXPECT_TRUE(::GetWindowLongPtrW(window.ReportButton().handle(), GWL_STYLE) & WS_TABSTOP);
  EXPECT_EQ(::GetDlgCtrlID(window.ReportButton().handle()), IDOK);
}

}  // namespace
}  // namespace velmora
