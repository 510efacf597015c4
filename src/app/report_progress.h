// The one message from the report job to the main window.
#pragma once

#include <windows.h>

namespace velmora {

constexpr UINT WM_REPORT_PROGRESS = WM_APP + 0x200;

enum ReportProgress : WPARAM {
  kProgressStart = 0,  // sent; lParam = number of steps
  kProgressStep = 1,   // posted; lParam = steps done so far
  kProgressDone = 2,   // sent
  kProgressFailed = 3  // sent; lParam = one of the failure reasons below
};

// Why a run failed.
enum ReportFailure : LPARAM {
  kFailedSaving = 0,
  // No console user's rights to write the archive with: rather than write
  // with administrator rights into a folder that user controls, none is written.
  kFailedWithoutConsoleUser = 1
};

constexpr int kReportSteps = 15;

// Steps are posted and the end is sent, and a sent message is handled before
// the posted ones still queued: at the end the window first takes the steps
// that wait in its queue, so that it sees every step, in order, before the end.
template <typename StepHandler>
void HandleQueuedSteps(HWND window, StepHandler handle_step) {
  MSG msg;
  while (::PeekMessageW(&msg, window, WM_REPORT_PROGRESS, WM_REPORT_PROGRESS, PM_REMOVE)) {
    if (msg.wParam == kProgressStep) handle_step(msg.lParam);
  }
}

}  // namespace velmora
