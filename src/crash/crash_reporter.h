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
  // How long the report may take before what there is gets saved: a thread
  // that holds a lock the report needs (the heap's, the loader's) would
  // otherwise hang the process for ever.
  DWORD time_limit_ms = 60'000;
};

// Sets up everything a crash needs — storage outside the heap, dbghelp and
// its symbol handler, the file's places, the reporting thread — and then the
// hooks: the unhandled-exception filter (for every thread), std::terminate,
// pure virtual calls, invalid C runtime parameters and abort. Returns once the
// symbol handler has started (at most 10 seconds), so that nothing else of the
// program runs beside its start. After this a crash loads no DLL and takes no
// lock of the loader. Later calls do nothing.
void InstallCrashReporter(const CrashReporterSettings& settings);

// For the program's normal end: while a crash is being reported the process
// must not end with another exit code, nor before the report is saved, so
// this waits for the reporter to end it. Returns at once otherwise.
void WaitWhileReporting();

// Reports the fault described by `pointers` and ends the process. Called by
// the hooks on the thread that faulted.
[[noreturn]] void ReportFault(EXCEPTION_POINTERS* pointers);

}  // namespace velmora::crash
