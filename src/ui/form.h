// A fixed-size top-level form: caption, client size, centred on the screen,
// system colour background, one font for itself and its children, painted
// through an off-screen buffer.
#pragma once

#include <string>

#include "common/handles.h"
#include "ui/window.h"

namespace velmora::ui {

struct FontSpec {
  std::wstring face;
  int pixel_height;
};

struct FormSettings {
  std::wstring class_name;
  std::wstring caption;
  int client_width;
  int client_height;
  int background_colour_index;  // a COLOR_* system colour
  FontSpec font;
  bool tool_window;
};

class Form : public Window {
 public:
  HFONT font() const { return static_cast<HFONT>(font_.get()); }
  void CenterOnScreen();

 protected:
  void CreateForm(const FormSettings& settings);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  UniqueGdiObject font_;
  int background_colour_index_ = COLOR_BTNFACE;
};

HFONT CreatePixelFont(const FontSpec& font);

}  // namespace velmora::ui
