// A label that draws its text centred and word-wrapped in its rectangle, on
// the parent's background colour.
#pragma once

#include <string>

#include "ui/controls.h"
#include "ui/window.h"

namespace velmora::ui {

class TextLabel : public Window {
 public:
  void Create(const std::wstring& text, const ControlPlacement& placement);
  const std::wstring& text() const { return text_; }

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  void Paint();
  std::wstring text_;
  HFONT font_ = nullptr;
};

}  // namespace velmora::ui
