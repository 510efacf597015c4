// The hint machinery of one form: when the mouse rests on a windowless
// control whose ShowHint is on, the control is asked (CM_HINTSHOW) and the
// text it leaves is shown in a tooltip below the mouse; the hint goes away
// after its time, on a click, or when the mouse leaves the rectangle that
// the control named, and shows again for the next control after a shorter
// pause. The tooltip is a comctl32 tracking tooltip, made on first use.
#pragma once

#include <windows.h>

#include <string>

namespace velmora::ui {

class Form;
class GraphicControl;

class HintWindow {
 public:
  explicit HintWindow(Form& form) : form_(form) {}
  ~HintWindow();
  HintWindow(const HintWindow&) = delete;
  HintWindow& operator=(const HintWindow&) = delete;

  // Milliseconds the mouse must rest before a hint shows, and before the next
  // one shows while a hint is (or just was) up.
  int hint_pause = 500;
  int hint_short_pause = 50;

  // The hint logic's part of a mouse message over the form: `control` is the
  // control under the mouse (or null), `point` in the form's client area.
  void MouseMessage(GraphicControl* control, POINT point);
  // Takes the hint down and forgets its control.
  void CancelHint();
  // Forgets the control without taking its hint down, so that the next mouse
  // message starts the hint logic for the control under the mouse again.
  void ForgetHintControl() { control_ = nullptr; }
  // Called when `control` is hidden or goes away.
  void ControlRemoved(GraphicControl* control);

  bool Showing() const { return showing_; }
  const std::wstring& Text() const { return text_; }
  HWND ToolTip() const { return tooltip_; }

  // WM_TIMER of the form: true when the timer was one of the hint's.
  bool HandleTimer(UINT_PTR id);
  // The form's window is going away.
  void Destroy();

 private:
  void ActivateHint();
  void HideHint();
  bool EnsureToolTip();

  Form& form_;
  HWND tooltip_ = nullptr;
  GraphicControl* control_ = nullptr;
  RECT cursor_rect_ = {};  // in the form's client area
  bool showing_ = false;
  std::wstring text_;
};

}  // namespace velmora::ui
