#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <vector>

#include "ui/gdi_test_support.h"
#include "ui/graphic_control.h"

namespace velmora::ui {
namespace {

using test::MoveMouseTo;
using test::PumpFor;
using test::PumpUntil;
using test::Surface;
using test::TestForm;

// A control that fills itself with one colour and writes down what reaches it.
class ProbeControl : public GraphicControl {
 public:
  explicit ProbeControl(COLORREF colour) : colour_(colour) {}
  int paints = 0;
  int enters = 0;
  int leaves = 0;
  std::vector<POINT> moves;
  std::vector<std::pair<UINT, POINT>> buttons;
  std::vector<wchar_t> dialog_chars;
  int hint_requests = 0;
  LRESULT hint_answer = 0;
  std::wstring hint_override;

 protected:
  void Paint() override {
    ++paints;
    Canvas().Brush().SetColor(colour_);
    Canvas().FillRect(ClientRect());
  }
  void MouseMove(UINT, int x, int y) override { moves.push_back({x, y}); }
  void MouseDown(TMouseButton button, UINT, int x, int y) override {
    buttons.push_back({button == mbLeft ? UINT{WM_LBUTTONDOWN} : UINT{WM_RBUTTONDOWN}, {x, y}});
  }
  void MouseUp(TMouseButton button, UINT, int x, int y) override {
    buttons.push_back({button == mbLeft ? UINT{WM_LBUTTONUP} : UINT{WM_RBUTTONUP}, {x, y}});
  }
  void CMMouseEnter() override {
    GraphicControl::CMMouseEnter();
    ++enters;
  }
  void CMMouseLeave() override {
    GraphicControl::CMMouseLeave();
    ++leaves;
  }
  LRESULT CMDialogChar(wchar_t key) override {
    dialog_chars.push_back(key);
    return key == L'x' ? 1 : 0;
  }
  LRESULT CMHintShow(HintInfo& info) override {
    ++hint_requests;
    if (!hint_override.empty()) info.hint_text = hint_override;
    return hint_answer;
  }

 private:
  COLORREF colour_;
};

class FormHosting : public ::testing::Test {
 protected:
  FormHosting() : form(200, 120) {
    red.SetBounds(10, 10, 60, 40);
    blue.SetBounds(100, 10, 60, 40);
    red.SetParent(&form);
    blue.SetParent(&form);
  }
  TestForm form;
  ProbeControl red{RGB(255, 0, 0)};
  ProbeControl blue{RGB(0, 0, 255)};
};

TEST_F(FormHosting, PaintsVisibleControlsAtTheirPlaceInTheirOwnCoordinates) {
  Surface surface(200, 120);
  blue.SetVisible(false);
  ::SendMessageW(form.handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(surface.dc()), PRF_CLIENT);
  EXPECT_EQ(red.paints, 1);
  EXPECT_EQ(blue.paints, 0);
  EXPECT_EQ(surface.Count({10, 10, 70, 50}, RGB(255, 0, 0)), 60 * 40);
  EXPECT_EQ(surface.Count({0, 0, 200, 120}, RGB(255, 0, 0)), 60 * 40);
  EXPECT_EQ(surface.Count({0, 0, 200, 120}, RGB(0, 0, 255)), 0);
  EXPECT_EQ(surface.Pixel(120, 20), ::GetSysColor(COLOR_BTNFACE));
}

TEST_F(FormHosting, RealPaintReachesOnlyVisibleControls) {
  blue.SetVisible(false);
  form.ShowAndPaint();
  const int before = red.paints;
  ::RedrawWindow(form.handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_GT(red.paints, before);
  EXPECT_EQ(blue.paints, 0);
}

TEST_F(FormHosting, MouseEntersMovesAndLeavesControls) {
  form.ShowAndPaint();
  MoveMouseTo(form.handle(), {180, 100});
  MoveMouseTo(form.handle(), {20, 25});
  ASSERT_TRUE(PumpUntil([&] { return red.enters == 1; }));
  EXPECT_EQ(form.MouseControl(), &red);
  ASSERT_FALSE(red.moves.empty());
  EXPECT_EQ(red.moves.back().x, 10);
  EXPECT_EQ(red.moves.back().y, 15);

  MoveMouseTo(form.handle(), {110, 20});
  ASSERT_TRUE(PumpUntil([&] { return red.leaves == 1 && blue.enters == 1; }));

  // Out of the form: the form's own leave notice ends the control's stay.
  MoveMouseTo(form.handle(), {400, 400});
  EXPECT_TRUE(PumpUntil([&] { return blue.leaves == 1; }));
  EXPECT_EQ(form.MouseControl(), nullptr);
}

TEST_F(FormHosting, HiddenControlGetsNoMouse) {
  blue.SetVisible(false);
  form.ShowAndPaint();
  MoveMouseTo(form.handle(), {110, 20});
  MoveMouseTo(form.handle(), {120, 30});
  ::PostMessageW(form.handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(120, 30));
  ::PostMessageW(form.handle(), WM_LBUTTONUP, 0, MAKELPARAM(120, 30));
  PumpFor(100);
  EXPECT_EQ(blue.enters, 0);
  EXPECT_TRUE(blue.moves.empty());
  EXPECT_TRUE(blue.buttons.empty());
  EXPECT_EQ(form.MouseControl(), nullptr);
}

TEST_F(FormHosting, HidingTheControlUnderTheMouseEndsItsStay) {
  form.ShowAndPaint();
  MoveMouseTo(form.handle(), {20, 20});
  ASSERT_TRUE(PumpUntil([&] { return red.enters == 1; }));
  red.SetVisible(false);
  EXPECT_EQ(red.leaves, 1);
  EXPECT_EQ(form.MouseControl(), nullptr);
}

TEST_F(FormHosting, CursorOfTheControlUnderTheMouse) {
  red.SetCursor(crHandPoint);
  form.ShowAndPaint();
  MoveMouseTo(form.handle(), {20, 20});
  EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, IDC_HAND));
  MoveMouseTo(form.handle(), {80, 80});
  EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, IDC_ARROW));
  // A change of cursor under a resting mouse shows at once.
  MoveMouseTo(form.handle(), {110, 20});
  blue.SetCursor(crIBeam);
  EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, IDC_IBEAM));
}

TEST_F(FormHosting, ButtonGestureStaysWithTheControlItStartedOn) {
  int clicks = 0;
  red.OnClick = [&](GraphicControl&) { ++clicks; };
  form.ShowAndPaint();
  MoveMouseTo(form.handle(), {20, 20});
  ::PostMessageW(form.handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
  ::PostMessageW(form.handle(), WM_LBUTTONUP, 0, MAKELPARAM(25, 22));
  PumpFor(50);
  EXPECT_EQ(clicks, 1);

  // Released over the other control: the first one gets the release, no click.
  ::PostMessageW(form.handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
  ::PostMessageW(form.handle(), WM_LBUTTONUP, 0, MAKELPARAM(110, 20));
  PumpFor(50);
  EXPECT_EQ(clicks, 1);
  ASSERT_EQ(red.buttons.size(), 4u);
  EXPECT_EQ(red.buttons[3].first, static_cast<UINT>(WM_LBUTTONUP));
  EXPECT_EQ(red.buttons[3].second.x, 100);
  EXPECT_TRUE(blue.buttons.empty());
  EXPECT_EQ(::GetCapture(), nullptr);
}

TEST_F(FormHosting, DisabledControlGetsNoButtonsButKeepsItsEnterAndLeave) {
  red.SetEnabled(false);
  form.ShowAndPaint();
  MoveMouseTo(form.handle(), {20, 20});
  ::PostMessageW(form.handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
  ::PostMessageW(form.handle(), WM_LBUTTONUP, 0, MAKELPARAM(20, 20));
  PumpFor(50);
  EXPECT_TRUE(red.buttons.empty());
  EXPECT_EQ(red.enters, 1);
}

TEST_F(FormHosting, HintShowsTheTextTheControlLeaves) {
  form.Hints().hint_pause = 50;
  red.SetHint(L"Red square");
  red.SetShowHint(true);
  form.ShowAndPaint();
  MoveMouseTo(form.handle(), {20, 20});
  ASSERT_TRUE(PumpUntil([&] { return form.Hints().Showing(); }));
  EXPECT_EQ(red.hint_requests, 1);
  EXPECT_EQ(form.Hints().Text(), L"Red square");
  wchar_t shown[64] = {};
  TTTOOLINFOW tool = {};
  tool.cbSize = sizeof(tool);
  tool.hwnd = form.handle();
  tool.uId = 1;
  tool.lpszText = shown;
  ::SendMessageW(form.Hints().ToolTip(), TTM_GETTEXTW, 64, reinterpret_cast<LPARAM>(&tool));
  EXPECT_STREQ(shown, L"Red square");
  EXPECT_TRUE(::IsWindowVisible(form.Hints().ToolTip()));

  // A click takes it down.
  ::PostMessageW(form.handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
  ::PostMessageW(form.handle(), WM_LBUTTONUP, 0, MAKELPARAM(20, 20));
  PumpFor(50);
  EXPECT_FALSE(form.Hints().Showing());
}

TEST_F(FormHosting, HintRefusedOrEmptyDoesNotShow) {
  form.Hints().hint_pause = 20;
  red.SetHint(L"Red");
  red.SetShowHint(true);
  red.hint_answer = 1;
  blue.SetShowHint(true);  // no hint text
  form.ShowAndPaint();
  MoveMouseTo(form.handle(), {20, 20});
  PumpFor(150);
  EXPECT_EQ(red.hint_requests, 1);
  EXPECT_FALSE(form.Hints().Showing());
  MoveMouseTo(form.handle(), {110, 20});
  PumpFor(150);
  EXPECT_EQ(blue.hint_requests, 1);
  EXPECT_FALSE(form.Hints().Showing());
  // Without ShowHint the control is not asked.
  red.SetShowHint(false);
  MoveMouseTo(form.handle(), {20, 20});
  PumpFor(150);
  EXPECT_EQ(red.hint_requests, 1);
}

TEST_F(FormHosting, TypedCharactersAreOfferedToTheControls) {
  form.ShowAndPaint();
  ::PostMessageW(form.handle(), WM_SYSCHAR, L'q', 0);
  ::PostMessageW(form.handle(), WM_CHAR, L'x', 0);
  PumpFor(50);
  EXPECT_EQ(red.dialog_chars, (std::vector<wchar_t>{L'q', L'x'}));
  // The first control took 'x'; the second was not asked.
  EXPECT_EQ(blue.dialog_chars, (std::vector<wchar_t>{L'q'}));
}

TEST_F(FormHosting, ControlsTakeTheFormsFontAndColourUntilTheyHaveTheirOwn) {
  EXPECT_EQ(red.Font().Name(), L"Tahoma");
  EXPECT_EQ(red.Font().Height(), -11);
  EXPECT_TRUE(red.ParentFont());
  red.Font().SetHeight(-20);
  EXPECT_FALSE(red.ParentFont());
  form.Font().SetName(L"Arial");
  EXPECT_EQ(blue.Font().Name(), L"Arial");
  EXPECT_EQ(red.Font().Name(), L"Tahoma");
  EXPECT_EQ(red.Color(), clBtnFace);
  form.SetColor(clWindow);
  EXPECT_EQ(red.Color(), clWindow);
}

TEST_F(FormHosting, DockedControlsShareTheClientArea) {
  red.SetAlign(alTop);
  blue.SetAlign(alClient);
  EXPECT_EQ(red.Left(), 0);
  EXPECT_EQ(red.Top(), 0);
  EXPECT_EQ(red.Width(), 200);
  EXPECT_EQ(red.Height(), 40);
  EXPECT_EQ(blue.Top(), 40);
  EXPECT_EQ(blue.Height(), 80);
  EXPECT_EQ(blue.Width(), 200);
}

class LoadCounter : public GraphicControl {
 public:
  int loaded = 0;

 protected:
  void Loaded() override { ++loaded; }
};

TEST(FormLoading, ControlsLoadWithTheFormAndHearOnceWhenItEnds) {
  TestForm form(100, 100);
  form.BeginLoading();
  LoadCounter a;
  LoadCounter b;
  a.SetParent(&form);
  b.SetParent(&form);
  EXPECT_TRUE(a.IsLoading());
  EXPECT_EQ(a.loaded, 0);
  form.EndLoading();
  EXPECT_FALSE(a.IsLoading());
  EXPECT_EQ(a.loaded, 1);
  EXPECT_EQ(b.loaded, 1);
  form.EndLoading();
  EXPECT_EQ(a.loaded, 1);
}

TEST(FormLoading, ControlsOutliveTheirFormSafely) {
  ProbeControl control(RGB(0, 0, 0));
  {
    TestForm form(100, 100);
    control.SetParent(&form);
    EXPECT_EQ(form.Controls().size(), 1u);
  }
  EXPECT_EQ(control.Parent(), nullptr);
  control.SetVisible(false);
  control.Invalidate();
}

}  // namespace
}  // namespace velmora::ui
