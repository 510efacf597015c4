// Crash reporting: installed once at start-up, before the window exists.
// After a fault on any thread it appends one report to "bugreport.txt" in the
// program's folder (or in the temporary folder when that cannot be written),
// shows a box with one button that names the file, and ends the process with
// the exception code as its exit code.
#pragma once

#include <windows.h>

#include <string>

namespace velmora::crash {

struct CrashReporterSettings {
  std::wstring program_name;     // the title of each report and the box's caption
  std::wstring program_version;  // as the report's "Version:" line shows it
  std::wstring windows_version;  // the system's description
};

// Sets up everything a crash needs — storage outside the heap, dbghelp, the
// reporting thread — and then the hooks: the unhandled-exception filter (for
// every thread), std::terminate, pure virtual calls, invalid C runtime
// parameters and abort. Later calls do nothing.
void InstallCrashReporter(const CrashReporterSettings& settings);

// For the program's normal end: while a crash is being reported the process
// must not end with another exit code, so this waits for the reporter to end
// it. Returns at once otherwise.
void WaitWhileReporting();

// Reports the fault described by `pointers` and ends the process. Called by
// the hooks on the thread that faulted.
[[noreturn]] void ReportFault(EXCEPTION_POINTERS* pointers);

}  // namespace velmora::crash
