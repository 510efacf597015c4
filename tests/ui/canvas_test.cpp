#include "ui/canvas.h"

#include <gtest/gtest.h>

#include "ui/gdi_test_support.h"

namespace velmora::ui {
namespace {

TEST(Canvas, HandsTheContextBackAsItCame) {
  test::Surface surface(40, 20);
  const HGDIOBJ font = ::GetCurrentObject(surface.dc(), OBJ_FONT);
  const HGDIOBJ brush = ::GetCurrentObject(surface.dc(), OBJ_BRUSH);
  const HGDIOBJ pen = ::GetCurrentObject(surface.dc(), OBJ_PEN);
  {
    Canvas canvas(surface.dc());
    canvas.Font().SetHeight(-14);
    RECT r = {0, 0, 40, 20};
    canvas.DrawText(L"Hi", r, 0);
    canvas.Rectangle({1, 1, 5, 5});
    // A change while selected takes the old object out before it is deleted.
    canvas.Font().SetHeight(-9);
    canvas.Brush().SetColor(clRed);
    canvas.DrawText(L"Hi", r, 0);
    EXPECT_NE(::GetCurrentObject(surface.dc(), OBJ_FONT), font);
  }
  EXPECT_EQ(::GetCurrentObject(surface.dc(), OBJ_FONT), font);
  EXPECT_EQ(::GetCurrentObject(surface.dc(), OBJ_BRUSH), brush);
  EXPECT_EQ(::GetCurrentObject(surface.dc(), OBJ_PEN), pen);
}

TEST(Canvas, ClearBrushDrawsTextWithoutBackground) {
  test::Surface surface(60, 20, RGB(0, 255, 0));
  Canvas canvas(surface.dc());
  canvas.Font().SetColor(clBlack);
  canvas.Brush().SetColor(clRed);
  RECT r = {0, 0, 60, 20};
  canvas.DrawText(L"Text", r, DT_SINGLELINE);
  EXPECT_GT(surface.Count(r, RGB(255, 0, 0)), 0);  // an opaque text background
  surface.Fill(RGB(0, 255, 0));
  canvas.Brush().SetStyle(bsClear);
  canvas.DrawText(L"Text", r, DT_SINGLELINE);
  EXPECT_EQ(surface.Count(r, RGB(255, 0, 0)), 0);
  EXPECT_GT(surface.Count(r, RGB(0, 0, 0)), 0);
  EXPECT_EQ(canvas.TextHeight(L"`ghj_"), canvas.TextExtent(L"x").cy);
}

TEST(Font, CopiesShareTheGdiFontUntilOneChanges) {
  Font a;
  Font b;
  a.SetSize(12);
  b.Assign(a);
  EXPECT_EQ(b.Handle(), a.Handle());
  EXPECT_EQ(b.Height(), -::MulDiv(12, a.PixelsPerInch(), 72));
  int changes = 0;
  b.OnChange = [&](Font&) { ++changes; };
  b.SetStyle(fsItalic);
  b.SetStyle(fsItalic);
  EXPECT_EQ(changes, 1);
  EXPECT_NE(b.Handle(), a.Handle());
  LOGFONTW data = {};
  ::GetObjectW(b.Handle(), sizeof(data), &data);
  EXPECT_TRUE(data.lfItalic);
  // A handle given to the font brings its values along.
  data.lfWeight = FW_BOLD;
  data.lfHeight = -30;
  b.SetHandle(::CreateFontIndirectW(&data));
  EXPECT_EQ(b.Height(), -30);
  EXPECT_EQ(b.Style(), fsBold | fsItalic);
  EXPECT_EQ(changes, 2);
}

}  // namespace
}  // namespace velmora::ui
