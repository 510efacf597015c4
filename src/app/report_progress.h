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

}  // namespace velmora
