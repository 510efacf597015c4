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

}  // namespace velmora
