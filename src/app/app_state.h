// Values shared between the window thread and the report job. Each is written
// before the worker exists or only on the worker, so no lock is needed.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "environment/app_frame.h"

namespace velmora {

// Full path of the archive; set by the window before a job starts.
extern std::wstring ArchivePath;
// The product's installation folder (trailing backslash), or empty.
extern std::wstring ProductInstallPath;
// The product's folders, made at start-up before the window exists.
extern std::unique_ptr<const TAppFrame> AppFrame;
// The main window, which receives the job's progress messages.
extern HWND MainWindowHandle;

}  // namespace velmora
