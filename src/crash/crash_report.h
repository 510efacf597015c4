// Builds the text of one crash report: header, registers, code bytes, every
// thread's stack, the installed hardware and the registered sections.
#pragma once

#include <windows.h>

#include <string>

#include "crash/report_text.h"
#include "crash/thread_snapshot.h"

namespace velmora::crash {

struct CrashFacts {
  const EXCEPTION_RECORD* record;
  const CONTEXT* context;
  DWORD faulting_thread;
  DWORD main_thread;      // named as such in the report
  DWORD reporter_thread;  // left out of the report: it is the one writing it
  const std::wstring* program_name;
  const std::wstring* program_version;
  const std::wstring* windows_version;
  ThreadSnapshot* snapshot;  // storage for the other threads
};

// What the report is busy with, for the note of a report that cannot be
// finished: "the stacks", or "the section" and the section's name.
struct ReportStage {
  const wchar_t* volatile what = L"the header";
  const wchar_t* volatile section = nullptr;
};

// Writes the whole report into `report` (without finishing it), updating
// `stage` as it goes.
void BuildCrashReport(ReportText& report, const CrashFacts& facts, ReportStage& stage);

// "2026-05-04 14:03:22"
void AppendDateTime(TextBuffer& out, const SYSTEMTIME& time);

}  // namespace velmora::crash
