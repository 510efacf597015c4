// A small window with labels in their different settings, for looking at
// (scripts/screenshot label-demo saves a picture of it). Not a test.
#include <windows.h>

#include <memory>
#include <vector>

#include "controls/rd_label.h"
#include "ui/application.h"
#include "ui/form.h"

namespace velmora {
namespace {

class LabelDemo : public ui::Form {
 public:
  LabelDemo() {
    CreateForm(
        {L"VelmoraLabelDemo", L"Label demo", 360, 250, COLOR_BTNFACE, {L"Tahoma", 11}, false});
    SetShowHint(true);

    TRdLabel& title = Add(12, 8, L"Skinned labels");
    title.Font().SetSize(12);
    title.Font().SetStyle(ui::fsBold);
    title.SetFontAntialiased(true);

    const std::pair<ui::TAlignment, const wchar_t*> alignments[] = {
        {ui::taLeftJustify, L"Left"}, {ui::taCenter, L"Centre"}, {ui::taRightJustify, L"Right"}};
    int left = 12;
    for (const auto& [alignment, caption] : alignments) {
      TRdLabel& box = Boxed(left, 36, 106, 22, caption);
      box.SetAlignment(alignment);
      box.SetLayout(ui::tlCenter);
      left += 112;
    }

    TRdLabel& wrapped = Boxed(12, 66, 160, 30,
                              L"Word wrap with an end ellipsis keeps whole lines and cuts the "
                              L"last one that fits.");
    wrapped.SetWordWrap(true);
    wrapped.SetEllipsisPosition(ui::epEndEllipsis);
    wrapped.SetAutoShowHint(true);

    TRdLabel& path =
        Boxed(180, 66, 168, 30, L"C:\\Program Files\\Velmora\\Corvane\\Logs\\defrag.log");
    path.SetEllipsisPosition(ui::epPathEllipsis);
    path.SetLayout(ui::tlCenter);

    TRdLabel& disabled = Add(12, 108, L"Disabled label");
    disabled.SetEnabled(false);

    TRdLabel& hover = Add(180, 108, L"Hover me: red, press: blue");
    hover.SetFontHoverColor(ui::clRed);
    hover.SetFontDownColor(ui::clBlue);
    hover.SetCursor(ui::crHandPoint);

    TRdLabel& accelerator = Add(12, 130, L"&Accelerator && ampersand");
    accelerator.SetShowAccelChar(true);
    Add(180, 130, L"No accelerator: & stays");

    TRdLabel& bordered = Boxed(12, 154, 336, 40, L"Text border 12/6, bottom layout");
    bordered.TextBorder().SetMargins(12, 6, 12, 6);
    bordered.SetLayout(ui::tlBottom);
    bordered.SetColor(ui::clInfoBk);

    TRdLabel& sized = Add(348, 206, L"Auto size, right aligned, grows to the left");
    sized.SetAlignment(ui::taRightJustify);
    sized.SetLeft_Right(348);
    sized.Font().SetColor(ui::clNavy);
    sized.SetFontAntialiased(true);
  }

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override {
    if (message == WM_DESTROY) ::PostQuitMessage(0);
    return Form::HandleMessage(message, wparam, lparam);
  }

 private:
  TRdLabel& Add(int left, int top, const wchar_t* caption) {
    labels_.push_back(std::make_unique<TRdLabel>());
    TRdLabel& label = *labels_.back();
    label.SetParent(this);
    label.SetLeft(left);
    label.SetTop(top);
    label.SetCaption(caption);
    return label;
  }
  // A fixed-size label with a white background, so that its bounds show.
  TRdLabel& Boxed(int left, int top, int width, int height, const wchar_t* caption) {
    TRdLabel& label = Add(left, top, caption);
    label.SetAutoSize(false);
    label.SetBounds(left, top, width, height);
    label.SetTransparent(false);
    label.SetColor(ui::clWindow);
    return label;
  }
  std::vector<std::unique_ptr<TRdLabel>> labels_;
};

}  // namespace
}  // namespace velmora

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show_command) {
  velmora::LabelDemo demo;
  ::ShowWindow(demo.handle(), show_command == SW_HIDE ? SW_SHOWNORMAL : show_command);
  ::UpdateWindow(demo.handle());
  return velmora::ui::RunMessageLoop();
}
