#include "app/main_window.h"

#include <shlobj.h>

#include "app/app_state.h"
#include "app/archive_destination.h"
#include "app/report_job.h"
#include "app/report_progress.h"
#include "common/cancellation.h"
#include "common/ticks.h"
#include "crash/crash_reporter.h"
#include "environment/accounts.h"
#include "environment/desktop_shell.h"
#include "environment/folders.h"
#include "ui/application.h"

namespace velmora {

namespace {

// Every step of a report ends soon after it is told to stop; this is the
// bound for one that is stuck inside the system.
constexpr DWORD kJobStopLimitMs = 30'000;

ui::FormSettings FormSettings(const ui::FontSpec& font) {
  return {kWindowClass, kWindowCaption, 305, 147, COLOR_BTNFACE, font, true};
}

// Where the archive goes when the button is pressed: the desktop of the user
// at the console, else beside the program.
std::wstring ChooseArchivePath() {
  const UniqueHandle console_user = DuplicateConsoleShellToken();
  DesktopFacts facts;
  facts.own_desktop = GetSpecialFolder(CSIDL_DESKTOPDIRECTORY);
  facts.session_user = GetSessionUserName();
  facts.process_user = GetProcessUserName(::GetCurrentProcessId());
  if (console_user) facts.console_desktop = GetUserDesktopFolder(console_user.get());
  facts.console_user_may_write = [&](const std::wstring& folder) {
    return UserMayWriteFolder(console_user.get(), facts.session_user, folder);
  };
  std::wstring desktop = ChooseDesktopFolder(facts);
  if (desktop.empty()) desktop = GetProgramFolder();
  return ArchivePathIn(desktop);
}

}  // namespace

TForm_VelmoraInfo::TForm_VelmoraInfo(const ui::FontSpec& window_font) {
  CreateForm(FormSettings(window_font));
  const HWND self = handle();
  BeginLoading();
  CreateExplanation();
  Button_Gen.Create(kButtonCaption, {self, 61, 81, 169, 25, 0, font(), IDOK},
                    [this] { Button_GenClick(); });
  PB.Create({self, 31, 122, 253, 17, 1, font()}, /*smooth=*/true, /*visible=*/false);
  EndLoading();
  FitLayoutToText();
}

void TForm_VelmoraInfo::CreateExplanation() {
  RdHtmLabel1.SetParent(this);
  RdHtmLabel1.SetBounds(8, 18, 289, 49);
  RdHtmLabel1.SetAlignment(ui::taCenter);
  RdHtmLabel1.SetWordWrap(true);
  RdHtmLabel1.SetCaption(kExplanationMarkup);
  TRdHtmLabelLink& privacy = RdHtmLabel1.LinkItems().Add();
  privacy.FontHover().SetColor(kLinkHoverColor);
  privacy.SetCursor(ui::crHandPoint);
  privacy.OnClick = [this](TRdHtmLabelLink&) { RdHtmLabel1LinkItems0Click(); };
}

void TForm_VelmoraInfo::FitLayoutToText() {
  const int missing = RdHtmLabel1.MeasureTextHeight() - RdHtmLabel1.Height();
  if (missing <= 0) return;
  RdHtmLabel1.SetHeight(RdHtmLabel1.Height() + missing);
  for (const ui::SystemControl* control :
       {static_cast<ui::SystemControl*>(&Button_Gen), static_cast<ui::SystemControl*>(&PB)}) {
    RECT bounds;
    ::GetWindowRect(control->handle(), &bounds);
    ::MapWindowPoints(nullptr, handle(), reinterpret_cast<POINT*>(&bounds), 2);
    ::SetWindowPos(control->handle(), nullptr, bounds.left, bounds.top + missing, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  const RECT client = ClientRect();
  SetClientSize(client.right, client.bottom + missing);
  CenterOnScreen();
}

void TForm_VelmoraInfo::Button_GenClick() {
  Button_Gen.SetEnabled(false);
  ui::SetApplicationCursor(::LoadCursorW(nullptr, IDC_WAIT));
  ui::ProcessMessages();
  ArchivePath = ChooseArchivePath();
  auto* job = new TGenInfoThread();
  job->SetFreeOnTerminate(true);
  ClearCancellation();
  try {
    job_thread_ = job->Start();
  } catch (...) {
    delete job;
    ReportFailureCause.clear();
    OnReportFailed();
  }
}

void TForm_VelmoraInfo::RdHtmLabel1LinkItems0Click() {
  // The browser runs with the user's rights, not the program's. The shell is
  // reached through COM: the window's thread is a single-threaded apartment
  // (see main).
  OpenAsDesktopUser({kPrivacyPolicyUrl, L"", SW_SHOWNORMAL});
}

LRESULT TForm_VelmoraInfo::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_REPORT_PROGRESS) {
    OnReportProgress(wparam, lparam);
    return 0;
  }
  // Closing the window ends the program at any time; a running report is
  // told to stop first, and the process waits for it once the window is gone.
  if (message == WM_CLOSE && JobRunning()) RequestCancellation();
  if (message == WM_DESTROY) ::PostQuitMessage(0);
  return Form::HandleMessage(message, wparam, lparam);
}

bool TForm_VelmoraInfo::JobRunning() const {
  return job_thread_ && ::WaitForSingleObject(job_thread_.get(), 0) == WAIT_TIMEOUT;
}

bool TForm_VelmoraInfo::WaitForJobToStop() {
  if (!JobRunning()) return true;
  RequestCancellation();
  // The job may still send to the window that is gone: keep taking messages.
  const TickDeadline deadline(kJobStopLimitMs);
  while (JobRunning() && !deadline.Passed()) {
    const HANDLE thread = job_thread_.get();
    ::MsgWaitForMultipleObjects(1, &thread, FALSE, 100, QS_ALLINPUT);
    ui::ProcessMessages();
  }
  return !JobRunning();
}

void TForm_VelmoraInfo::OnReportProgress(WPARAM kind, LPARAM value) {
  switch (kind) {
    case kProgressStart:
      PB.SetPosition(0);
      PB.SetMaximum(static_cast<int>(value));
      PB.Show(true);
      ui::ProcessMessages();
      break;
    case kProgressStep:
      PB.SetPosition(static_cast<int>(value));
      ui::ProcessMessages();
      break;
    case kProgressDone:
    case kProgressFailed:
      HandleQueuedSteps(handle(), [this](LPARAM step) { OnReportProgress(kProgressStep, step); });
      if (kind == kProgressDone) {
        OnReportDone();
      } else {
        OnReportFailed(value);
      }
      break;
    default:
      break;
  }
}

void TForm_VelmoraInfo::ResetAfterJob() {
  PB.SetPosition(PB.Maximum());
  ui::ProcessMessages();
  PB.Show(false);
  PB.SetPosition(0);
  Button_Gen.SetEnabled(true);
  // The button can be pressed again from the keyboard.
  if (::GetActiveWindow() == handle()) Button_Gen.SetFocus();
  ui::ResetApplicationCursor();
  ui::ProcessMessages();
}

void TForm_VelmoraInfo::OnReportDone() {
  ResetAfterJob();
  const std::wstring path = ArchivePath;
  const bool on_desktop = IsOnDesktop(path);
  const std::wstring text = (on_desktop ? kSavedToDesktopText : kSavedToFolderText) + path;
  ::MessageBoxW(handle(), text.c_str(), L"Information", MB_OK | MB_ICONINFORMATION);
  if (!on_desktop) OpenAsDesktopUser(ExplorerSelecting(path));
  // A crash report under way saves its file and ends the process itself,
  // with the exception code.
  crash::WaitWhileReporting();
  ::TerminateProcess(::GetCurrentProcess(), 0);
}

void TForm_VelmoraInfo::OnReportFailed(LPARAM reason) {
  ResetAfterJob();
  // The cause goes on a line of its own below the fixed text.
  std::wstring text = std::wstring(kSaveFailedText) +
                     (reason == kFailedWithoutConsoleUser ? kNoConsoleUserText : L"");
  if (!ReportFailureCause.empty()) text += L"\r" + ReportFailureCause;
  ::MessageBoxW(handle(), text.c_str(), L"Error", MB_OK | MB_ICONERROR);
}

}  // namespace velmora
