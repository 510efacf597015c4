// Program entry: module start-up, the main window and its message loop.
#include <windows.h>
#include <objbase.h>

#include "app/app_state.h"
#include "app/main_window.h"
#include "crash/crash_reporter.h"
#include "environment/app_frame.h"
#include "environment/folders.h"
#include "environment/version_resource.h"
#include "reports/system/os_description.h"
#include "reports/system/process_sections.h"
#include "ui/application.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show_command) {
  velmora::crash::InstallCrashReporter(
      {velmora::kWindowCaption,
       velmora::GetFileVersionString(velmora::GetProgramFile(), L"Unknown"),
       velmora::GetOsDescription().description});
  velmora::RegisterProcessSections();
  velmora::AppFrame = std::make_unique<const velmora::TAppFrame>();
  // The window's thread is a single-threaded apartment: the shell may open the
  // privacy page through COM extensions.
  const bool com = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  int exit_code = 0;
  {
    velmora::TForm_VelmoraInfo window;
    velmora::MainWindowHandle = window.handle();
    ::ShowWindow(window.handle(), show_command == SW_HIDE ? SW_SHOWNORMAL : show_command);
    ::UpdateWindow(window.handle());
    exit_code = velmora::ui::RunMessageLoop();
    // A crash report under way ends the process itself, with its own code.
    velmora::crash::WaitWhileReporting();
    // A report that cannot stop in time must not outlive what it uses: end
    // the process before the program's own clean-up runs under it.
    if (!window.WaitForJobToStop()) ::TerminateProcess(::GetCurrentProcess(), exit_code);
  }
  if (com) ::CoUninitialize();
  velmora::UnregisterProcessSections();
  return exit_code;
}
