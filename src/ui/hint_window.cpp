#include "ui/hint_window.h"

#include <commctrl.h>

#include "ui/application.h"
#include "ui/form.h"
#include "ui/graphic_control.h"

namespace velmora::ui {

namespace {

constexpr UINT_PTR kPauseTimer = 0x5601;
constexpr UINT_PTR kHideTimer = 0x5602;
constexpr UINT_PTR kToolId = 1;

TTTOOLINFOW ToolInfo(HWND form) {
  TTTOOLINFOW info = {};
  info.cbSize = sizeof(info);
  info.uFlags = TTF_TRACK | TTF_ABSOLUTE;
  info.hwnd = form;
  info.uId = kToolId;
  return info;
}

}  // namespace

HintWindow::~HintWindow() {
  Destroy();
}

void HintWindow::Destroy() {
  if (form_.handle() != nullptr) {
    ::KillTimer(form_.handle(), kPauseTimer);
    ::KillTimer(form_.handle(), kHideTimer);
  }
  if (tooltip_ != nullptr) ::DestroyWindow(tooltip_);
  tooltip_ = nullptr;
  control_ = nullptr;
  showing_ = false;
}

void HintWindow::MouseMessage(GraphicControl* control, POINT point) {
  if (control == nullptr || !control->ShowHint()) {
    CancelHint();
    return;
  }
  if (control == control_ && ::PtInRect(&cursor_rect_, point)) return;
  const bool was_showing = showing_;
  CancelHint();
  control_ = control;
  cursor_rect_ = control->BoundsRect();
  ::SetTimer(form_.handle(), kPauseTimer, was_showing ? hint_short_pause : hint_pause, nullptr);
}

void HintWindow::CancelHint() {
  if (form_.handle() != nullptr) ::KillTimer(form_.handle(), kPauseTimer);
  HideHint();
  control_ = nullptr;
}

void HintWindow::ControlRemoved(GraphicControl* control) {
  if (control == control_) CancelHint();
}

bool HintWindow::HandleTimer(UINT_PTR id) {
  if (id == kPauseTimer) {
    ::KillTimer(form_.handle(), kPauseTimer);
    ActivateHint();
    return true;
  }
  if (id == kHideTimer) {
    // The control stays the hint control: its hint shows again only after
    // the mouse has left it.
    HideHint();
    return true;
  }
  return false;
}

void HintWindow::ActivateHint() {
  GraphicControl* control = control_;
  if (control == nullptr || !control->Visible()) return;
  POINT cursor = {};
  ::GetCursorPos(&cursor);
  POINT in_form = cursor;
  ::ScreenToClient(form_.handle(), &in_form);
  HintInfo info;
  info.control = control;
  info.hint_text = control->Hint();
  info.cursor_pos = {in_form.x - control->Left(), in_form.y - control->Top()};
  info.cursor_rect = control->ClientRect();
  const LRESULT refused = control->Perform(CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&info));
  if (control_ != control) return;  // the handler moved the hint logic on
  cursor_rect_ = info.cursor_rect;
  ::OffsetRect(&cursor_rect_, control->Left(), control->Top());
  if (refused != 0 || info.hint_text.empty() || !EnsureToolTip()) return;

  text_ = info.hint_text;
  TTTOOLINFOW tool = ToolInfo(form_.handle());
  tool.lpszText = text_.data();
  ::SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  // Below the mouse pointer, as hints are placed.
  const int below = ::GetSystemMetrics(SM_CYCURSOR) * 2 / 3;
  ::SendMessageW(tooltip_, TTM_TRACKPOSITION, 0, MAKELPARAM(cursor.x, cursor.y + below));
  ::SendMessageW(tooltip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
  showing_ = true;
  ::SetTimer(form_.handle(), kHideTimer, static_cast<UINT>(info.hide_timeout), nullptr);
}

void HintWindow::HideHint() {
  if (form_.handle() != nullptr) ::KillTimer(form_.handle(), kHideTimer);
  if (!showing_) return;
  showing_ = false;
  TTTOOLINFOW tool = ToolInfo(form_.handle());
  if (tooltip_ != nullptr) {
    ::SendMessageW(tooltip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
  }
}

bool HintWindow::EnsureToolTip() {
  if (tooltip_ != nullptr) return true;
  if (form_.handle() == nullptr) return false;
  INITCOMMONCONTROLSEX init = {sizeof(init), ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&init);
  tooltip_ =
      ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, form_.handle(), nullptr, Instance(), nullptr);
  if (tooltip_ == nullptr) return false;
  TTTOOLINFOW tool = ToolInfo(form_.handle());
  tool.lpszText = const_cast<wchar_t*>(L"");
  ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  // Long hints break into lines instead of running off the screen.
  ::SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, ::GetSystemMetrics(SM_CXSCREEN) / 3);
  return true;
}

}  // namespace velmora::ui
