#include "controls/rd_graphic_control.h"

#include "ui/form.h"

namespace velmora {

TRdGraphicControl::TRdGraphicControl() : skin_(std::make_unique<TRdSkinClass>(this, nullptr)) {
  auto font = std::make_unique<TRdFont>(this, skin_.get());
  font_ = font.get();
  ReplaceFont(std::move(font));
  skin_->CurrentValuesSource = [this] { return CurrentValues(); };
}

TRdGraphicControl::~TRdGraphicControl() = default;

int TRdGraphicControl::Left_Invert() const {
  if (Parent() == nullptr) return 0;
  return Parent()->ClientRect().right - Left() - Width();
}

void TRdGraphicControl::SetLeft_Invert(int value) {
  if (Parent() == nullptr) return;
  SetLeft(Parent()->ClientRect().right - value - Width());
}

int TRdGraphicControl::Top_Invert() const {
  if (Parent() == nullptr) return 0;
  return Parent()->ClientRect().bottom - Top() - Height();
}

void TRdGraphicControl::SetTop_Invert(int value) {
  if (Parent() == nullptr) return;
  SetTop(Parent()->ClientRect().bottom - value - Height());
}

void TRdGraphicControl::Loaded() {
  // A skin would be applied here; with no skins registered it keeps every value.
  ui::GraphicControl::Loaded();
}

std::vector<std::wstring> TRdGraphicControl::CurrentValues() const {
  auto flag = [](bool value) { return std::wstring(value ? L"True" : L"False"); };
  return {L"Left=" + std::to_wstring(Left()),
          L"Top=" + std::to_wstring(Top()),
          L"Width=" + std::to_wstring(Width()),
          L"Height=" + std::to_wstring(Height()),
          L"Visible=" + flag(Visible()),
          L"Enabled=" + flag(Enabled()),
          L"Color=" + ui::ColorToString(Color()),
          L"Cursor=" + std::to_wstring(Cursor()),
          L"Hint=" + Hint(),
          L"ShowHint=" + flag(ShowHint())};
}

}  // namespace velmora
