// Builds the text of one crash report: header, registers, code bytes, every
// thread's stack, the installed hardware and the registered sections.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "crash/report_text.h"
#include "crash/stack_walk.h"
#include "crash/thread_snapshot.h"

namespace velmora::crash {

// A fault on another thread while the first one is reported. The thread waits
// meanwhile, so that its context stays where it was.
struct FurtherFault {
  EXCEPTION_RECORD record;
  CONTEXT context;
  DWORD thread;
  volatile LONG ready = 0;  // set once the rest is filled in
  volatile LONG named = 0;  // set once the report names it
};

struct FurtherFaults {
  static constexpr LONG kMax = 8;

  // Keeps the fault of `thread`; false when there is no room left.
  bool Record(DWORD thread, const EXCEPTION_POINTERS& pointers);
  // The thread's fault once it is complete; null otherwise.
  FurtherFault* Find(DWORD thread);

  FurtherFault faults[kMax];
  volatile LONG claimed = 0;  // slots taken; may pass kMax
};

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
  // Storage for ThreadSnapshot::kMaxThreads + 1 walks: the faulting thread's
  // first, then those of the snapshot's threads in their order.
  WalkedStack* stacks;
  FurtherFaults* further;
};

// What the report is busy with, for the note of a report that cannot be
// finished ("the stacks", or "the section" and the section's name), and how
// far the stacks got, so that the walked ones can still be written.
struct ReportStage {
  const wchar_t* volatile what = L"the header";
  const wchar_t* volatile section = nullptr;
  volatile size_t threads_at = 0;  // where the threads section begins; 0 before it
  volatile size_t stacks_walked = 0;
  volatile bool threads_written = false;
};

// Writes the whole report into `report` (without finishing it), updating
// `stage` as it goes. The header comes first and takes no lock that another
// thread could hold, so that a report cut short at once still holds it.
void BuildCrashReport(ReportText& report, const CrashFacts& facts, ReportStage& stage);

// Ends a report whose making was stopped at `stage`, with `note` saying why:
// stacks that were walked are written without their symbols (which may be
// what it waited for), and further faults are named.
std::wstring_view FinishStoppedReport(ReportText& report, const CrashFacts& facts,
                                      const ReportStage& stage, std::wstring_view note);

// The report of a fault while the program ends, when the other threads are
// gone, some of them maybe in the middle of holding a lock: only what needs no
// lock, no heap and no other thread (header, registers, code bytes, this
// thread's stack without dbghelp), finished with a note that says so.
std::wstring_view BuildEndingReport(ReportText& report, const CrashFacts& facts);

// "2026-05-04 14:03:22"
void AppendDateTime(TextBuffer& out, const SYSTEMTIME& time);

}  // namespace velmora::crash
