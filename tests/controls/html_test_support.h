// Link items for markup-engine tests, and drawing markup on a memory surface
// with the window's font (Tahoma, 11 pixels, black).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "controls/html_markup.h"
#include "ui/gdi_test_support.h"

namespace velmora::test {

class TestLinks : public HtmlLinkItems {
 public:
  struct Item {
    ui::Font font;
    ui::Font hover;
    ui::TColor background = ui::clNone;
    int max_line = -1;
    bool found_ellipsis = false;
  };
  // Adds an item whose fonts are `base` underlined (the hover font in `hover_colour`).
  Item& Add(const ui::Font& base, ui::TColor hover_colour = 0x00FFA000);
  Item& operator[](int index) { return *items_[index]; }

  int Count() const override { return static_cast<int>(items_.size()); }
  const ui::Font& LinkFont(int index) const override { return items_[index]->font; }
  const ui::Font& LinkFontHover(int index) const override { return items_[index]->hover; }
  ui::TColor LinkColorBg(int index) const override { return items_[index]->background; }
  int LinkMaxLine(int index) const override { return items_[index]->max_line; }
  bool LinkFoundTextEllipsis(int index) const override { return items_[index]->found_ellipsis; }
  void SetLinkFoundTextEllipsis(int index, bool found) override {
    items_[index]->found_ellipsis = found;
  }

 private:
  std::vector<std::unique_ptr<Item>> items_;
};

// Sets `font` to the window's font: Tahoma, 11 pixels, black.
void UseWindowFont(ui::Font& font);
// The height of one line of `font` (its sample text).
int SampleHeight(const ui::Font& font);

}  // namespace velmora::test
