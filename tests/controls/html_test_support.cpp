#include "controls/html_test_support.h"

namespace velmora::test {

TestLinks::Item& TestLinks::Add(const ui::Font& base, ui::TColor hover_colour) {
  auto item = std::make_unique<Item>();
  item->font.Assign(base);
  item->font.SetStyle(base.Style() | ui::fsUnderline);
  item->hover.Assign(item->font);
  item->hover.SetColor(hover_colour);
  items_.push_back(std::move(item));
  return *items_.back();
}

void UseWindowFont(ui::Font& font) {
  font.SetName(L"Tahoma");
  font.SetHeight(-11);
  font.SetColor(ui::clBlack);
}

int SampleHeight(const ui::Font& font) {
  Surface surface(1, 1);
  ui::Canvas canvas(surface.dc());
  canvas.Font().Assign(font);
  return canvas.TextHeight(L"`ghj_");
}

}  // namespace velmora::test
