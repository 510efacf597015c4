#include "ui/color.h"

#include "common/strings.h"

namespace velmora::ui {

namespace {

constexpr NamedColor kNamedColors[] = {
    {L"clBlack", clBlack},
    {L"clMaroon", clMaroon},
    {L"clGreen", clGreen},
    {L"clOlive", clOlive},
    {L"clNavy", clNavy},
    {L"clPurple", clPurple},
    {L"clTeal", clTeal},
    {L"clGray", clGray},
    {L"clSilver", clSilver},
    {L"clRed", clRed},
    {L"clLime", clLime},
    {L"clYellow", clYellow},
    {L"clBlue", clBlue},
    {L"clFuchsia", clFuchsia},
    {L"clAqua", clAqua},
    {L"clWhite", clWhite},
    {L"clMoneyGreen", clMoneyGreen},
    {L"clSkyBlue", clSkyBlue},
    {L"clCream", clCream},
    {L"clMedGray", clMedGray},
    {L"clNone", clNone},
    {L"clDefault", clDefault},
    {L"clScrollBar", clScrollBar},
    {L"clBackground", clBackground},
    {L"clActiveCaption", clActiveCaption},
    {L"clInactiveCaption", clInactiveCaption},
    {L"clMenu", clMenu},
    {L"clWindow", clWindow},
    {L"clWindowFrame", clWindowFrame},
    {L"clMenuText", clMenuText},
    {L"clWindowText", clWindowText},
    {L"clCaptionText", clCaptionText},
    {L"clActiveBorder", clActiveBorder},
    {L"clInactiveBorder", clInactiveBorder},
    {L"clAppWorkSpace", clAppWorkSpace},
    {L"clHighlight", clHighlight},
    {L"clHighlightText", clHighlightText},
    {L"clBtnFace", clBtnFace},
    {L"clBtnShadow", clBtnShadow},
    {L"clGrayText", clGrayText},
    {L"clBtnText", clBtnText},
    {L"clInactiveCaptionText", clInactiveCaptionText},
    {L"clBtnHighlight", clBtnHighlight},
    {L"cl3DDkShadow", cl3DDkShadow},
    {L"cl3DLight", cl3DLight},
    {L"clInfoText", clInfoText},
    {L"clInfoBk", clInfoBk},
    {L"clHotLight", clHotLight},
    {L"clGradientActiveCaption", clGradientActiveCaption},
    {L"clGradientInactiveCaption", clGradientInactiveCaption},
    {L"clMenuHighlight", clMenuHighlight},
    {L"clMenuBar", clMenuBar},
};

}  // namespace

COLORREF ColorToRGB(TColor color) {
  if (IsSystemColor(color)) return ::GetSysColor(static_cast<int>(color & 0xFF));
  return color & 0x00FFFFFF;
}

std::span<const NamedColor> ColorNames() {
  return kNamedColors;
}

bool ColorFromName(std::wstring_view name, TColor& color) {
  for (const NamedColor& named : kNamedColors) {
    if (EqualsNoCase(named.name, name)) {
      color = named.value;
      return true;
    }
  }
  return false;
}

std::wstring ColorToString(TColor color) {
  for (const NamedColor& named : kNamedColors) {
    if (named.value == color) return std::wstring(named.name);
  }
  return Format(L"$%08X", static_cast<unsigned>(color));
}

}  // namespace velmora::ui
