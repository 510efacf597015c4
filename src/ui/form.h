// A fixed-size top-level form: caption, client size, centred on the screen,
// system colour background, one font for itself and its children, painted
// through an off-screen buffer.
//
// The form is also the parent of windowless controls (GraphicControl): it
// paints them over its background in the order they were put on it, hands
// each mouse message to the topmost visible control under the mouse (or to
// the control that holds the mouse while a button is down), tells controls
// when the mouse enters and leaves them (CM_MOUSEENTER/CM_MOUSELEAVE, with
// TrackMouseEvent for leaving the form), shows their cursor (WM_SETCURSOR),
// offers typed characters to them (CM_DIALOGCHAR), shows their hints and
// lays out the docked ones. While the form is loading, controls put on it
// load too and get their after-loading notification when it ends.
#pragma once

#include <string>
#include <vector>

#include "common/handles.h"
#include "ui/color.h"
#include "ui/font.h"
#include "ui/hint_window.h"
#include "ui/window.h"

namespace velmora::ui {

class GraphicControl;

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
  Form();
  ~Form() override;

  std::wstring ClassName() const override { return L"TForm"; }

  // The GDI font of the form, for its system controls.
  HFONT font() const { return font_.Handle(); }
  // The font that controls with ParentFont take.
  ui::Font& Font() { return font_; }
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  bool ShowHint() const { return show_hint_; }
  void SetShowHint(bool show_hint) { show_hint_ = show_hint; }
  RECT ClientRect() const;
  // Resizes the window so that its client area has this size.
  void SetClientSize(int width, int height);
  void CenterOnScreen();

  // Windowless controls, bottom first.
  const std::vector<GraphicControl*>& Controls() const { return controls_; }
  // The topmost visible control at `point` (client coordinates); disabled
  // controls only when `allow_disabled`.
  GraphicControl* ControlAtPos(POINT point, bool allow_disabled) const;
  // The control that the mouse is in (between its enter and leave).
  GraphicControl* MouseControl() const { return mouse_control_; }
  HintWindow& Hints() { return hints_; }
  // Offers a typed character to the controls (CM_DIALOGCHAR); true when one
  // took it.
  bool DialogChar(wchar_t key);

  // Controls on the form load with it.
  void BeginLoading() override;

  // Paints the background and the visible controls into `dc`, which shows
  // the client area. WM_PAINT and WM_PRINTCLIENT use it.
  void PaintClient(HDC dc);

 protected:
  void CreateForm(const FormSettings& settings);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  void Loaded() override;

 private:
  friend class GraphicControl;
  void InsertControl(GraphicControl* control);
  void RemoveControl(GraphicControl* control);
  void ControlHidden(GraphicControl* control);
  void CursorChanged(GraphicControl* control);
  // Lays out the docked controls in the client area.
  void Realign();

  void MouseMoved(UINT keys, POINT point);
  void MouseButton(UINT message, UINT keys, POINT point);
  void SetMouseControl(GraphicControl* control);
  void ReleaseMouseCapture();
  // WM_SETCURSOR over the client area: true when a control's cursor was set.
  bool SetControlCursor();
  void TrackMouseLeave();
  // WM_SETFOCUS: the focus goes on to the child that had it, else to the
  // first tab stop.
  void PassFocusOn();
  // Sends `message` to `control` with `point` turned into its coordinates.
  static LRESULT SendMouse(GraphicControl* control, UINT message, UINT keys, POINT point);

  ui::Font font_;
  TColor color_ = clBtnFace;
  bool show_hint_ = false;
  std::vector<GraphicControl*> controls_;
  GraphicControl* mouse_control_ = nullptr;
  GraphicControl* capture_control_ = nullptr;
  bool tracking_leave_ = false;
  // The child window that had the keyboard focus when the form was last
  // deactivated; it gets the focus back, as in a dialog.
  HWND focused_child_ = nullptr;
  bool realigning_ = false;
  HintWindow hints_;
};

}  // namespace velmora::ui
