#include "controls/rd_label.h"

#include <gtest/gtest.h>

#include "ui/gdi_test_support.h"

namespace velmora {
namespace {

using test::Surface;
using test::TestForm;

const COLORREF kBackground = RGB(0, 128, 0);
const COLORREF kBlack = RGB(0, 0, 0);
const COLORREF kRed = RGB(255, 0, 0);
const COLORREF kBlue = RGB(0, 0, 255);

// Measures `text` in `font` the way the label does, on a memory context.
RECT Measure(const ui::Font& font, const std::wstring& text, UINT flags = DT_NOPREFIX) {
  Surface surface(1, 1);
  ui::Canvas canvas(surface.dc());
  canvas.Font().Assign(font);
  RECT rect = {0, 0, 0, 0};
  canvas.DrawText(text, rect, flags | DT_CALCRECT);
  return rect;
}

// A bitmap of its own with the pixels of `surface`, for a picture to own.
HBITMAP BitmapOf(const Surface& surface) {
  HBITMAP bitmap = ::CreateCompatibleBitmap(surface.dc(), surface.width(), surface.height());
  UniqueMemoryDc copy(::CreateCompatibleDC(surface.dc()));
  SelectedObject selected(copy.get(), bitmap);
  ::BitBlt(copy.get(), 0, 0, surface.width(), surface.height(), surface.dc(), 0, 0, SRCCOPY);
  return bitmap;
}

int LineHeight(const ui::Font& font) {
  Surface surface(1, 1);
  ui::Canvas canvas(surface.dc());
  canvas.Font().Assign(font);
  return canvas.TextHeight(L"`ghj_");
}

class Label : public ::testing::Test {
 protected:
  Label() : form(300, 200) {
    label.SetParent(&form);
    label.SetLeft(10);
    label.SetTop(10);
  }
  // The label painted on its own, over kBackground.
  std::unique_ptr<Surface> Paint() {
    auto surface = std::make_unique<Surface>(label.Width(), label.Height(), kBackground);
    label.Perform(WM_PAINT, reinterpret_cast<WPARAM>(surface->dc()));
    return surface;
  }
  // A label of a fixed size that cuts its caption with an end ellipsis.
  void FixedWithEndEllipsis(int width, int height, bool word_wrap = false) {
    label.SetAutoSize(false);
    label.SetWordWrap(word_wrap);
    label.SetEllipsisPosition(ui::epEndEllipsis);
    label.SetBounds(10, 10, width, height);
  }
  TestForm form;
  TRdLabel label;
};

TEST(LabelDefaults, AsCreated) {
  TRdLabel label;
  EXPECT_EQ(label.Width(), 65);
  EXPECT_EQ(label.Height(), 17);
  EXPECT_TRUE(label.AutoSize());
  EXPECT_TRUE(label.Transparent());
  EXPECT_TRUE(label.ControlStyle() & ui::csReplicatable);
  EXPECT_FALSE(label.ShowAccelChar());
  EXPECT_TRUE(label.WrapChar());
  EXPECT_FALSE(label.WordWrap());
  EXPECT_EQ(label.Alignment(), ui::taLeftJustify);
  EXPECT_EQ(label.Layout(), ui::tlTop);
  EXPECT_EQ(label.EllipsisPosition(), ui::epNone);
  EXPECT_EQ(label.FontDisabledColor(), 0xFF000011u);
  EXPECT_EQ(label.FontHoverColor(), 0x20000000u);
  EXPECT_EQ(label.FontDownColor(), ui::clDefault);
  EXPECT_EQ(label.GlowSize(), 0);
  EXPECT_FALSE(label.AutoShowHint());
  EXPECT_FALSE(label.FontAntialiased());
  EXPECT_TRUE(label.ParentFont());
  EXPECT_TRUE(label.TextBorder().Empty());
  EXPECT_TRUE(label.Background().Empty());
  EXPECT_TRUE(label.BackgroundOption().Empty());
  EXPECT_EQ(label.FocusControl(), nullptr);
  EXPECT_EQ(label.AllSkin().SkinTypeName(), L"TRdLabel");
  EXPECT_EQ(label.Font().AllSkin().SkinTypeName(), L"font");
  EXPECT_EQ(label.Font().AllSkin().ParentSkin(), &label.AllSkin());
}

TEST_F(Label, EmptyCaptionAutoSizesToOneLineAndOneBlank) {
  const RECT blank = Measure(label.Font(), L" ");
  EXPECT_EQ(label.Height(), blank.bottom);
  EXPECT_EQ(label.Width(), blank.right);
  EXPECT_GT(label.Height(), 0);
  label.TextBorder().SetMargins(2, 3, 4, 5);
  EXPECT_EQ(label.Width(), 2 + blank.right + 4);
  EXPECT_EQ(label.Height(), 3 + blank.bottom + 5);
  EXPECT_EQ(Paint()->CountOther({0, 0, 100, 100}, kBackground), 0);
}

TEST_F(Label, AmpersandIsDrawnAsItIsWithoutAccelerators) {
  label.Font().SetColor(ui::clBlack);
  label.SetCaption(L"A&B");
  EXPECT_EQ(label.Width(), Measure(label.Font(), L"A&B").right);
  const auto painted = Paint();
  Surface expected(label.Width(), label.Height(), kBackground);
  ui::Canvas canvas(expected.dc());
  canvas.Font().Assign(label.Font());
  canvas.Brush().SetStyle(ui::bsClear);
  RECT all = label.ClientRect();
  canvas.DrawText(L"A&B", all, DT_NOPREFIX);
  for (int y = 0; y < label.Height(); ++y) {
    for (int x = 0; x < label.Width(); ++x) {
      ASSERT_EQ(painted->Pixel(x, y), expected.Pixel(x, y)) << x << "," << y;
    }
  }
  // With accelerators the mark is not drawn (and not measured).
  label.SetShowAccelChar(true);
  label.FitToText();
  EXPECT_EQ(label.Width(), Measure(label.Font(), L"A&B", 0).right);
  EXPECT_LT(label.Width(), Measure(label.Font(), L"A&B").right);
}

TEST_F(Label, AutoSizeWithRightAlignmentGrowsToTheLeft) {
  label.SetAlignment(ui::taRightJustify);
  label.SetLeft(200);
  label.SetCaption(L"Short");
  const int right = label.Left_Right();
  label.SetCaption(L"A much longer caption");
  EXPECT_EQ(label.Left_Right(), right);
  EXPECT_EQ(label.Width(), Measure(label.Font(), L"A much longer caption").right);
  EXPECT_LT(label.Left(), 200);

  // Held by a maximum width, it still keeps its right edge.
  label.SetConstraints({0, 50, 0, 0});
  const int held_right = label.Left_Right();
  label.SetCaption(L"Short");
  label.SetCaption(L"An even much longer caption than that");
  EXPECT_EQ(label.Width(), 50);
  EXPECT_EQ(label.Left_Right(), held_right);

  // Left aligned, the left edge stays.
  TRdLabel left_label;
  left_label.SetParent(&form);
  left_label.SetLeft(40);
  left_label.SetCaption(L"A much longer caption");
  EXPECT_EQ(left_label.Left(), 40);
}

TEST_F(Label, AutoSizeKeepsTheCentreOrTheBottomOfVerticalLayouts) {
  label.SetLayout(ui::tlBottom);
  label.SetCaption(L"One");
  label.SetTop(100);
  const int bottom = label.Top_Bottom();
  label.Font().SetSize(20);
  EXPECT_EQ(label.Top_Bottom(), bottom);

  TRdLabel centred;
  centred.SetParent(&form);
  centred.SetLayout(ui::tlCenter);
  centred.SetCaption(L"Two");
  centred.SetTop(100);
  const int middle_twice = 2 * centred.Top() + centred.Height();
  centred.Font().SetSize(20);
  EXPECT_NEAR(2 * centred.Top() + centred.Height(), middle_twice, 1);
}

TEST_F(Label, WrappedTextWithEndEllipsisKeepsWholeLines) {
  const int line = LineHeight(label.Font());
  FixedWithEndEllipsis(120, line * 2 + line / 2, true);
  label.SetCaption(
      L"This tool will collect information to help us diagnose and fix the problem you are "
      L"experiencing with our product.");
  // Known from the measuring paint that every change runs.
  EXPECT_TRUE(label.FoundTextEllipsis());
  const auto painted = Paint();
  const RECT ink = painted->InkBounds(kBackground);
  EXPECT_GT(ink.bottom, line);      // a second line is drawn
  EXPECT_LE(ink.bottom, 2 * line);  // and nothing of a third
  EXPECT_TRUE(label.FoundTextEllipsis());

  label.SetCaption(L"Fits.");
  EXPECT_FALSE(label.FoundTextEllipsis());
  Paint();
  EXPECT_FALSE(label.FoundTextEllipsis());
}

TEST_F(Label, TooSmallForOneLineStillDrawsOneLine) {
  FixedWithEndEllipsis(80, 5, true);
  label.SetCaption(L"Several words that do not fit");
  EXPECT_TRUE(label.FoundTextEllipsis());
}

TEST_F(Label, SingleLineEllipsisStaysInside) {
  FixedWithEndEllipsis(60, 20);
  label.SetCaption(L"A caption far too long for sixty pixels");
  EXPECT_TRUE(label.FoundTextEllipsis());
  EXPECT_LE(Paint()->InkBounds(kBackground).right, 60);
}

TEST_F(Label, AutoSizeHeldByAConstraintMeasuresAgainWithTheEllipsis) {
  label.SetEllipsisPosition(ui::epEndEllipsis);
  label.SetConstraints({0, 40, 0, 0});
  label.SetCaption(L"A caption wider than forty pixels");
  // The second pass measures the cut caption: at most as wide as allowed.
  EXPECT_LE(label.Width(), 40);
  EXPECT_GT(label.Width(), 20);
  EXPECT_EQ(label.Height(), Measure(label.Font(), L"A").bottom);
  EXPECT_TRUE(label.FoundTextEllipsis());
  label.SetCaption(L"Ok");
  EXPECT_FALSE(label.FoundTextEllipsis());
}

TEST_F(Label, AutoShowHintShowsTheCaptionOnlyWhenItWasCut) {
  FixedWithEndEllipsis(60, 20);
  label.SetAutoShowHint(true);
  EXPECT_TRUE(label.ShowHint());
  auto ask = [&](const std::wstring& hint, LRESULT* result = nullptr) {
    label.SetHint(hint);
    ui::HintInfo info;
    info.control = &label;
    info.hint_text = hint;
    const LRESULT answer = label.Perform(ui::CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&info));
    if (result != nullptr) *result = answer;
    return info.hint_text;
  };
  label.SetCaption(L"Fits");
  EXPECT_EQ(ask(L"A hint"), L"");
  EXPECT_EQ(ask(L""), L"");
  label.SetCaption(L"A caption far too long for sixty pixels");
  EXPECT_EQ(ask(L""), L"A caption far too long for sixty pixels");
  EXPECT_EQ(ask(L"A hint"), L"A hint");

  // OnShowHint has the last word.
  label.OnShowHint = [](std::wstring& text, bool& can_show, ui::HintInfo&) {
    can_show = text != L"no";
    text += L"!";
  };
  LRESULT result = 0;
  EXPECT_EQ(ask(L"yes", &result), L"yes!");
  EXPECT_EQ(result, 0);
  ask(L"no", &result);
  EXPECT_EQ(result, 1);

  // Without AutoShowHint the hint is the control's own.
  label.OnShowHint = nullptr;
  label.SetAutoShowHint(false);
  label.SetCaption(L"Fits");
  EXPECT_EQ(ask(L"A hint"), L"A hint");
}

class LabelColours : public Label {
 protected:
  LabelColours() {
    label.Font().SetColor(ui::clBlack);
    label.SetCaption(L"MMMM");
    label.SetFontHoverColor(ui::clRed);
    label.SetFontDownColor(ui::clBlue);
  }
  // The one text colour of the painted label.
  COLORREF TextColour() {
    const auto painted = Paint();
    for (COLORREF colour : {kBlack, kRed, kBlue, ::GetSysColor(COLOR_GRAYTEXT)}) {
      if (painted->Count(label.ClientRect(), colour) > 0) return colour;
    }
    return kBackground;
  }
};

TEST_F(LabelColours, MouseStatesReadBackAsPixels) {
  EXPECT_EQ(TextColour(), kBlack);
  label.Perform(ui::CM_MOUSEENTER);
  EXPECT_EQ(TextColour(), kRed);
  label.Perform(WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(2, 2));
  EXPECT_EQ(TextColour(), kRed);
  label.Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  EXPECT_EQ(TextColour(), kBlue);
  // Pressed wins over hovering, also after leaving.
  label.Perform(ui::CM_MOUSELEAVE);
  EXPECT_EQ(TextColour(), kBlue);
  label.Perform(WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  EXPECT_EQ(TextColour(), kBlack);
  label.Perform(ui::CM_MOUSEENTER);
  label.SetFontHoverColor(ui::clDefault);
  EXPECT_EQ(TextColour(), kBlack);
}

TEST_F(LabelColours, DisabledColourWinsOverEveryMouseState) {
  label.Perform(ui::CM_MOUSEENTER);
  label.Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  label.SetEnabled(false);
  EXPECT_EQ(TextColour(), ::GetSysColor(COLOR_GRAYTEXT));
  label.SetFontDisabledColor(ui::clRed);
  EXPECT_EQ(TextColour(), kRed);
  // Disabling resets neither state.
  label.SetEnabled(true);
  EXPECT_EQ(TextColour(), kBlue);
}

TEST_F(LabelColours, RepaintIsAskedForOnlyWhenTheColourChanges) {
  auto invalidated = [&] {
    RECT dirty = {};
    const bool any = ::GetUpdateRect(form.handle(), &dirty, FALSE) != FALSE;
    ::ValidateRect(form.handle(), nullptr);
    return any;
  };
  ::ShowWindow(form.handle(), SW_SHOWNOACTIVATE);
  ::ValidateRect(form.handle(), nullptr);
  label.Perform(ui::CM_MOUSEENTER);
  EXPECT_TRUE(invalidated());
  label.SetFontHoverColor(ui::clBlack);  // the font's own colour
  label.Perform(ui::CM_MOUSELEAVE);
  EXPECT_FALSE(invalidated());
  label.SetFontDownColor(ui::clDefault);
  label.Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  EXPECT_FALSE(invalidated());
}

TEST_F(Label, TransparentLeavesTheBackgroundOpaqueFillsIt) {
  label.SetCaption(L"Text");
  RECT all = label.ClientRect();
  EXPECT_EQ(Paint()->Count(all, kBackground) + Paint()->CountOther(all, kBackground),
            label.Width() * label.Height());
  EXPECT_GT(Paint()->Count(all, kBackground), label.Width() * label.Height() / 2);
  label.SetTransparent(false);
  label.SetColor(ui::clWhite);
  EXPECT_EQ(Paint()->Count(all, kBackground), 0);
  EXPECT_GT(Paint()->Count(all, RGB(255, 255, 255)), label.Width() * label.Height() / 2);
}

TEST_F(Label, OpaqueFillOnGlassLeavesOpaquePixels) {
  HMODULE uxtheme = ::LoadLibraryW(L"uxtheme.dll");
  if (uxtheme == nullptr || ::GetProcAddress(uxtheme, "BeginBufferedPaint") == nullptr) {
    GTEST_SKIP() << "no buffered painting here";
  }
  label.SetCaption(L"Glass");
  label.SetTransparent(false);
  label.SetColor(ui::clWhite);
  label.SetGlassPaint(true);
  const auto painted = Paint();
  EXPECT_EQ(painted->Alpha(0, 0), 255);
  EXPECT_EQ(painted->Alpha(label.Width() - 1, label.Height() - 1), 255);
  EXPECT_EQ(painted->Pixel(0, 0), RGB(255, 255, 255));
}

TEST_F(Label, TextBorderMovesTheTextAndWidensTheLabel) {
  label.SetCaption(L"X");
  const RECT text = Measure(label.Font(), L"X");
  label.TextBorder().SetMargins(10, 6, 3, 2);
  EXPECT_EQ(label.Width(), 10 + text.right + 3);
  EXPECT_EQ(label.Height(), 6 + text.bottom + 2);
  const RECT ink = Paint()->InkBounds(kBackground);
  EXPECT_GE(ink.left, 10);
  EXPECT_GE(ink.top, 6);
}

TEST_F(Label, VerticalLayoutPlacesTheText) {
  label.SetAutoSize(false);
  label.SetCaption(L"Xy");
  label.SetBounds(10, 10, 60, 60);
  const int line = Measure(label.Font(), L"Xy").bottom;
  const int top_ink = Paint()->InkBounds(kBackground).top;
  label.SetLayout(ui::tlCenter);
  const RECT centred = Paint()->InkBounds(kBackground);
  EXPECT_NEAR(centred.top - top_ink, (60 - line) / 2, 1);
  label.SetLayout(ui::tlBottom);
  const RECT bottom = Paint()->InkBounds(kBackground);
  EXPECT_EQ(bottom.top - top_ink, 60 - line);
}

TEST_F(Label, BackgroundPictureIsDrawnUnderTheText) {
  label.SetAutoSize(false);
  label.SetBounds(10, 10, 30, 30);
  int image_calls = 0;
  int end_calls = 0;
  label.OnPaintImage = [&](TRdCustomLabel&) { ++image_calls; };
  label.OnPaintEnd = [&](TRdCustomLabel&) { ++end_calls; };
  EXPECT_EQ(Paint()->CountOther(label.ClientRect(), kBackground), 0);  // empty picture
  EXPECT_EQ(image_calls, 1);
  EXPECT_EQ(end_calls, 1);

  // A 3 x 3 picture of red stretched over the label.
  Surface source(3, 3, kRed);
  label.Background().SetBitmap(BitmapOf(source));
  EXPECT_EQ(Paint()->Count(label.ClientRect(), kRed), 30 * 30);

  // Made non-empty, the background option cuts the picture in thirds.
  label.BackgroundOption().SetEmpty(false);
  EXPECT_EQ(label.BackgroundOption().Left(), 1);
  EXPECT_EQ(label.BackgroundOption().Bottom(), 1);
  EXPECT_EQ(Paint()->Count(label.ClientRect(), kRed), 30 * 30);

  // A measuring paint draws nothing and calls nothing.
  const int images_before = image_calls;
  label.SetWordWrap(true);
  EXPECT_EQ(image_calls, images_before);
}

TEST_F(Label, EdgePositions) {
  label.SetBounds(10, 20, 65, 17);
  label.SetAutoSize(false);
  EXPECT_EQ(label.Left_Right(), 75);
  EXPECT_EQ(label.Top_Bottom(), 37);
  EXPECT_EQ(label.Left_Invert(), 300 - 75);
  EXPECT_EQ(label.Top_Invert(), 200 - 37);
  label.SetLeft_Invert(5);
  EXPECT_EQ(label.Left(), 300 - 5 - 65);
  label.SetTop_Invert(7);
  EXPECT_EQ(label.Top(), 200 - 7 - 17);
  label.SetLeft_Right(100);
  EXPECT_EQ(label.Left(), 35);
  label.SetTop_Bottom(50);
  EXPECT_EQ(label.Top(), 33);
  TRdLabel loose;
  EXPECT_EQ(loose.Left_Invert(), 0);
  loose.SetTop_Invert(20);
  EXPECT_EQ(loose.Top(), 0);
}

TEST_F(Label, NothingIsMeasuredWhileLoading) {
  TestForm loading_form(200, 100);
  loading_form.BeginLoading();
  TRdLabel loading;
  loading.SetParent(&loading_form);
  loading.SetCaption(L"Set while loading");
  EXPECT_EQ(loading.Width(), 65);
  loading_form.EndLoading();
  EXPECT_EQ(loading.Width(), Measure(loading.Font(), L"Set while loading").right);
}

TEST_F(Label, AcceleratorFocusesTheFocusControl) {
  auto button = std::make_unique<ui::Button>();
  button->Create(L"Save", {form.handle(), 100, 100, 80, 24, 0, form.font()}, [] {});
  label.SetCaption(L"&Save");
  label.SetFocusControl(button.get());
  form.ShowAndPaint();
  ::SetFocus(form.handle());
  EXPECT_FALSE(form.DialogChar(L's'));  // accelerators are off
  label.SetShowAccelChar(true);
  EXPECT_FALSE(form.DialogChar(L'x'));
  label.SetEnabled(false);
  EXPECT_FALSE(form.DialogChar(L's'));
  label.SetEnabled(true);
  EXPECT_TRUE(form.DialogChar(L'S'));
  EXPECT_EQ(::GetFocus(), button->handle());
  button.reset();
  EXPECT_EQ(label.FocusControl(), nullptr);
  EXPECT_FALSE(form.DialogChar(L's'));
}

TEST_F(Label, FontChangesResizeAndCopiesKeepItsOwnFont) {
  label.SetCaption(L"Grow");
  const int width = label.Width();
  form.Font().SetSize(16);
  EXPECT_GT(label.Width(), width);
  EXPECT_TRUE(label.IsFontStored() == false);
  TRdFont bold(nullptr, nullptr);
  bold.SetStyle(ui::fsBold);
  bold.SetAntialiased(true);
  label.SetFont(bold);
  EXPECT_TRUE(label.FontAntialiased());
  EXPECT_EQ(label.Font().Style(), ui::fsBold);
  EXPECT_TRUE(label.IsFontStored());
}

TEST(DesignPicture, NinePartsKeepTheCorners) {
  // A 3 x 3 picture: red corners, blue everything else.
  Surface picture(3, 3, kBlue);
  for (POINT corner : {POINT{0, 0}, POINT{2, 0}, POINT{0, 2}, POINT{2, 2}}) {
    ::SetPixel(picture.dc(), corner.x, corner.y, kRed);
  }
  ui::Picture image;
  image.SetBitmap(BitmapOf(picture));

  TDesignRect nine;
  nine.SetMargins(1, 1, 1, 1);
  Surface target(30, 20, kBackground);
  DrawDesignPicture(target.dc(), {0, 0, 30, 20}, image, nine);
  EXPECT_EQ(target.Count({0, 0, 30, 20}, kRed), 4);
  EXPECT_EQ(target.Count({0, 0, 30, 20}, kBlue), 30 * 20 - 4);

  // Stretched whole, a corner grows.
  TDesignRect plain;
  target.Fill(kBackground);
  DrawDesignPicture(target.dc(), {0, 0, 30, 20}, image, plain);
  EXPECT_GT(target.Count({0, 0, 30, 20}, kRed), 4 * 20);

  // A frame leaves the middle alone.
  nine.SetStretchMode(sdmFrame);
  target.Fill(kBackground);
  DrawDesignPicture(target.dc(), {0, 0, 30, 20}, image, nine);
  EXPECT_EQ(target.Count({1, 1, 29, 19}, kBackground), 28 * 18);

  // Tiled, the whole picture repeats: every third pixel of a row of the
  // middle part is a copy of the picture's middle column.
  nine.SetMargins(0, 0, 0, 0);
  nine.SetStretchMode(sdmFill);
  target.Fill(kBackground);
  DrawDesignPicture(target.dc(), {0, 0, 30, 20}, image, nine);
  EXPECT_EQ(target.Pixel(3, 3), kRed);
  EXPECT_EQ(target.Pixel(4, 3), kBlue);
  EXPECT_EQ(target.Pixel(29, 0), kRed);
}

}  // namespace
}  // namespace velmora
