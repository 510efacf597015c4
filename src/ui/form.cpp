#include "ui/form.h"

#include <windowsx.h>

#include <algorithm>

#include "ui/application.h"
#include "ui/buffered_paint.h"
#include "ui/controls.h"
#include "ui/graphic_control.h"

namespace velmora::ui {

Form::Form() : hints_(*this) {
  font_.OnChange = [this](ui::Font&) {
    for (GraphicControl* control : controls_) control->ParentFontChanged();
  };
}

Form::~Form() {
  hints_.Destroy();
  for (GraphicControl* control : controls_) control->parent_ = nullptr;
  controls_.clear();
}

void Form::CreateForm(const FormSettings& settings) {
  color_ = SystemColor(settings.background_colour_index);
  // Double clicks arrive as such, for the controls' double-click events.
  RegisterClassOnce(settings.class_name.c_str(), CS_DBLCLKS,
                    ::GetSysColorBrush(settings.background_colour_index));
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  const DWORD ex_style = settings.tool_window ? WS_EX_TOOLWINDOW | WS_EX_APPWINDOW : 0;
  RECT bounds = {0, 0, settings.client_width, settings.client_height};
  ::AdjustWindowRectEx(&bounds, style, FALSE, ex_style);
  OffsetRect(&bounds, -bounds.left, -bounds.top);
  font_.SetName(settings.font.face);
  font_.SetHeight(-settings.font.pixel_height);
  Create(ex_style, settings.class_name.c_str(), settings.caption, style, bounds, nullptr, nullptr);
  CenterOnScreen();
}

void Form::CenterOnScreen() {
  RECT r;
  ::GetWindowRect(handle(), &r);
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  const int x = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int y = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  ::SetWindowPos(handle(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::SetClientSize(int width, int height) {
  RECT bounds = {0, 0, width, height};
  ::AdjustWindowRectEx(&bounds, static_cast<DWORD>(::GetWindowLongPtrW(handle(), GWL_STYLE)), FALSE,
                       static_cast<DWORD>(::GetWindowLongPtrW(handle(), GWL_EXSTYLE)));
  ::SetWindowPos(handle(), nullptr, 0, 0, bounds.right - bounds.left, bounds.bottom - bounds.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::PassFocusOn() {
  HWND target = focused_child_;
  if (target == nullptr || !::IsChild(handle(), target) || !::IsWindowEnabled(target) ||
      !::IsWindowVisible(target)) {
    target = ::GetNextDlgTabItem(handle(), nullptr, FALSE);
  }
  if (target != nullptr && ::IsChild(handle(), target)) ::SetFocus(target);
}

void Form::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  for (GraphicControl* control : controls_) control->ParentColorChanged();
  if (handle() != nullptr) ::InvalidateRect(handle(), nullptr, TRUE);
}

RECT Form::ClientRect() const {
  RECT client = {};
  if (handle() != nullptr) ::GetClientRect(handle(), &client);
  return client;
}

void Form::PaintClient(HDC dc) {
  const RECT client = ClientRect();
  if (IsSystemColor(color_)) {
    ::FillRect(dc, &client, ::GetSysColorBrush(static_cast<int>(color_ & 0xFF)));
  } else {
    UniqueGdiObject brush(::CreateSolidBrush(ColorToRGB(color_)));
    ::FillRect(dc, &client, static_cast<HBRUSH>(brush.get()));
  }
  for (GraphicControl* control : controls_) {
    const RECT bounds = control->BoundsRect();
    if (!control->Visible() || !::RectVisible(dc, &bounds)) continue;
    const int saved = ::SaveDC(dc);
    ::IntersectClipRect(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
    ::OffsetViewportOrgEx(dc, bounds.left, bounds.top, nullptr);
    control->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc));
    ::RestoreDC(dc, saved);
  }
}

GraphicControl* Form::ControlAtPos(POINT point, bool allow_disabled) const {
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
    GraphicControl* control = *it;
    const RECT bounds = control->BoundsRect();
    if (control->Visible() && (allow_disabled || control->Enabled()) &&
        ::PtInRect(&bounds, point)) {
      return control;
    }
  }
  return nullptr;
}

bool Form::DialogChar(wchar_t key) {
  const std::vector<GraphicControl*> controls = controls_;
  for (GraphicControl* control : controls) {
    if (control->Perform(CM_DIALOGCHAR, key) != 0) return true;
  }
  return false;
}

void Form::BeginLoading() {
  Window::BeginLoading();
  for (GraphicControl* control : controls_) control->BeginLoading();
}

void Form::Loaded() {
  const std::vector<GraphicControl*> controls = controls_;
  for (GraphicControl* control : controls) control->EndLoading();
  Realign();
}

void Form::InsertControl(GraphicControl* control) {
  controls_.push_back(control);
  if (control->Align() != alNone) Realign();
}

void Form::RemoveControl(GraphicControl* control) {
  controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
  // A control that goes away hears nothing more.
  if (mouse_control_ == control) mouse_control_ = nullptr;
  if (capture_control_ == control) ReleaseMouseCapture();
  hints_.ControlRemoved(control);
  if (control->Align() != alNone) Realign();
}

void Form::ControlHidden(GraphicControl* control) {
  if (mouse_control_ == control) SetMouseControl(nullptr);
  if (capture_control_ == control) ReleaseMouseCapture();
  hints_.ControlRemoved(control);
}

void Form::CursorChanged(GraphicControl* control) {
  if (control == mouse_control_ && handle() != nullptr) {
    ::SendMessageW(handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(handle()),
                   MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  }
}

void Form::Realign() {
  if (realigning_ || handle() == nullptr) return;
  realigning_ = true;
  RECT area = ClientRect();
  for (TAlign align : {alTop, alBottom, alLeft, alRight, alClient}) {
    for (GraphicControl* c : controls_) {
      if (!c->Visible() || c->Align() != align) continue;
      const int width = area.right - area.left;
      const int height = area.bottom - area.top;
      switch (align) {
        case alTop:
          c->SetBounds(area.left, area.top, width, c->Height());
          area.top += c->Height();
          break;
        case alBottom:
          c->SetBounds(area.left, area.bottom - c->Height(), width, c->Height());
          area.bottom -= c->Height();
          break;
        case alLeft:
          c->SetBounds(area.left, area.top, c->Width(), height);
          area.left += c->Width();
          break;
        case alRight:
          c->SetBounds(area.right - c->Width(), area.top, c->Width(), height);
          area.right -= c->Width();
          break;
        default:
          c->SetBounds(area.left, area.top, width, height);
          break;
      }
    }
  }
  realigning_ = false;
}

LRESULT Form::SendMouse(GraphicControl* control, UINT message, UINT keys, POINT point) {
  return control->Perform(message, keys,
                          MAKELPARAM(point.x - control->Left(), point.y - control->Top()));
}

void Form::TrackMouseLeave() {
  if (tracking_leave_) return;
  TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, handle(), 0};
  tracking_leave_ = ::TrackMouseEvent(&track) != FALSE;
}

void Form::SetMouseControl(GraphicControl* control) {
  if (control == mouse_control_) return;
  GraphicControl* left = mouse_control_;
  mouse_control_ = control;
  if (left != nullptr) left->Perform(CM_MOUSELEAVE);
  if (control != nullptr && control == mouse_control_) control->Perform(CM_MOUSEENTER);
}

void Form::MouseMoved(UINT keys, POINT point) {
  TrackMouseLeave();
  GraphicControl* under = ControlAtPos(point, true);
  SetMouseControl(under);
  hints_.MouseMessage(under, point);
  GraphicControl* target =
      capture_control_ != nullptr ? capture_control_ : ControlAtPos(point, false);
  if (target != nullptr) SendMouse(target, WM_MOUSEMOVE, keys, point);
}

void Form::MouseButton(UINT message, UINT keys, POINT point) {
  hints_.CancelHint();
  const bool down = message != WM_LBUTTONUP && message != WM_RBUTTONUP && message != WM_MBUTTONUP;
  GraphicControl* target =
      capture_control_ != nullptr ? capture_control_ : ControlAtPos(point, false);
  if (down && target != nullptr && capture_control_ == nullptr) {
    // The control that the button went down on gets the rest of the gesture,
    // also outside its rectangle.
    capture_control_ = target;
    ::SetCapture(handle());
  }
  if (target != nullptr) SendMouse(target, message, keys, point);
  if (!down && (keys & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) == 0) ReleaseMouseCapture();
}

void Form::ReleaseMouseCapture() {
  capture_control_ = nullptr;
  if (handle() != nullptr && ::GetCapture() == handle()) ::ReleaseCapture();
}

bool Form::SetControlCursor() {
  POINT point;
  if (!::GetCursorPos(&point) || !::ScreenToClient(handle(), &point)) return false;
  const GraphicControl* control = ControlAtPos(point, false);
  if (control == nullptr || control->Cursor() == crDefault) return false;
  ::SetCursor(CursorHandle(control->Cursor()));
  return true;
}

LRESULT Form::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  const POINT point = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  const UINT keys = static_cast<UINT>(wparam);
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // painted with the buffer in WM_PAINT
    case WM_PAINT:
      PaintBuffered(handle(), [this](HDC dc, const RECT&) { PaintClient(dc); });
      return 0;
    case WM_PRINTCLIENT:
      PaintClient(reinterpret_cast<HDC>(wparam));
      return 0;
    case WM_SETCURSOR:
      if (ApplyApplicationCursor()) return TRUE;
      if (reinterpret_cast<HWND>(wparam) == handle() && LOWORD(lparam) == HTCLIENT &&
          SetControlCursor()) {
        return TRUE;
      }
      break;
    case WM_MOUSEMOVE:
      MouseMoved(keys, point);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
    case WM_MBUTTONUP:
      MouseButton(message, keys, point);
      return 0;
    case WM_MOUSELEAVE:
      tracking_leave_ = false;
      SetMouseControl(nullptr);
      hints_.CancelHint();
      return 0;
    case WM_CAPTURECHANGED:
      capture_control_ = nullptr;
      break;
    case WM_ACTIVATE:
      if (LOWORD(wparam) == WA_INACTIVE) {
        hints_.CancelHint();
        HWND focus = ::GetFocus();
        if (focus != nullptr && ::IsChild(handle(), focus)) focused_child_ = focus;
      }
      break;
    case WM_SETFOCUS:
      PassFocusOn();
      return 0;
    case WM_TIMER:
      if (hints_.HandleTimer(wparam)) return 0;
      break;
    case WM_SIZE:
      Realign();
      break;
    case WM_DESTROY:
      hints_.Destroy();
      break;
    case CM_DIALOGCHAR:
      return DialogChar(static_cast<wchar_t>(wparam)) ? 1 : 0;
    case WM_COMMAND:
      if (HIWORD(wparam) == BN_CLICKED && lparam != 0) {
        // Enter reaches a disabled default button too: it stays unpressed.
        Button* button = Button::FromHandle(reinterpret_cast<HWND>(lparam));
        if (button != nullptr && button->IsEnabled()) button->Click();
        return 0;
      }
      break;
    default:
      break;
  }
  return Window::HandleMessage(message, wparam, lparam);
}

}  // namespace velmora::ui
