// Program entry: module start-up, the main window and its message loop.
#include <windows.h>

#include "app/app_state.h"
#include "app/main_window.h"
#include "ui/application.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show_command) {
  velmora::TForm_VelmoraInfo window;
  velmora::MainWindowHandle = window.handle();
  ::ShowWindow(window.handle(), show_command == SW_HIDE ? SW_SHOWNORMAL : show_command);
  ::UpdateWindow(window.handle());
  return velmora::ui::RunMessageLoop();
}
