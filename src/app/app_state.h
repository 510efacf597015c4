// Values shared between the window thread and the report job. Each is written
// before the worker exists or only on the worker, so no lock is needed.
#pragma once

#include <windows.h>

#include <string>

namespace velmora {

// Full path of the archive; set by the window before a job starts.
extern std::wstring ArchivePath;
// The main window, which receives the job's progress messages.
extern HWND MainWindowHandle;
// What ended the last failed run ("Step 7 of 15: <error text>"); written by
// the job before it sends failed, read by the window while it handles it.
extern std::wstring ReportFailureCause;

}  // namespace velmora
