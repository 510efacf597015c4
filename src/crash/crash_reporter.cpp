#include "crash/crash_reporter.h"

#include <new>

#include "common/handles.h"
#include "crash/bugreport_file.h"
#include "crash/crash_box.h"
#include "crash/crash_report.h"
#include "crash/fault_hooks.h"
#include "crash/stack_walk.h"
#include "environment/folders.h"

namespace velmora::crash {

namespace {

// How long the reporting thread may take for the report before the faulting
// thread writes what there is: a thread that holds a lock the report needs
// (the heap's, the loader's) would otherwise hang the process for ever.
constexpr DWORD kReportTimeoutMs = 60'000;
constexpr size_t kBoxTextChars = 2048;

// Everything a report needs that is large, set aside at start-up outside the
// heap: a fault may come from a damaged heap.
struct CrashStorage {
  CrashStorage() : report(report_text, kMaxFileChars) {}

  EXCEPTION_RECORD record;
  CONTEXT context;
  ThreadSnapshot snapshot;
  wchar_t report_text[kMaxFileChars];
  ReportText report;
  wchar_t file_scratch[kMaxFileChars];
  wchar_t box_text[kBoxTextChars];
};

struct Installation {
  CrashReporterSettings settings;
  std::wstring preferred_path;  // in the program's folder
  std::wstring fallback_path;   // in the temporary folder
  DWORD main_thread = 0;
  DWORD reporter_thread_id = 0;
  UniqueHandle reporter_thread;
  UniqueHandle wake;     // set by the faulting thread
  UniqueHandle written;  // set once the file has been written
  CrashStorage* storage = nullptr;
};

// Never freed: a fault while the program ends must still find it.
Installation* g_install = nullptr;
ReportStage g_stage;
volatile LONG g_faulting_thread = 0;  // the first thread that faulted
volatile LONG g_saving = 0;
volatile LONG g_second_fault = 0;
const std::wstring* volatile g_saved_path = nullptr;

[[noreturn]] void EndProcess() {
  const DWORD code = g_install->storage->record.ExceptionCode;
  ::TerminateProcess(::GetCurrentProcess(), code != 0 ? code : 1);
  for (;;) ::Sleep(INFINITE);
}

void SaveOnce(std::wstring_view report) {
  if (::InterlockedExchange(&g_saving, 1) != 0) return;
  CrashStorage& s = *g_install->storage;
  g_saved_path = SaveReport(g_install->preferred_path, g_install->fallback_path, report,
                            s.file_scratch, kMaxFileChars);
  ::SetEvent(g_install->written.get());
}

// For a report that cannot be finished: what there is up to the last whole
// section, and a note that says why it stops there.
void SaveUnfinishedReport(const wchar_t* before, const wchar_t* after) {
  wchar_t storage[kNoteReserve];
  TextBuffer note(storage, kNoteReserve - 8);
  note.Append(L"--- the report stops here: ");
  note.Append(before);
  note.Append(g_stage.what);
  if (const wchar_t* section = g_stage.section) {
    note.Append(L" \"");
    note.Append(section);
    note.Append(L"\"");
  }
  note.Append(after);
  note.Append(L" ---");
  SaveOnce(g_install->storage->report.FinishEarly(note.text()));
}

void ShowBox() {
  CrashStorage& s = *g_install->storage;
  TextBuffer text(s.box_text, kBoxTextChars - 1);
  text.Append(g_install->settings.program_name);
  text.Append(L" has stopped because of an unexpected error.\n\n");
  if (const std::wstring* path = g_saved_path) {
    text.Append(L"A report of the error was saved in the file:\n");
    text.Append(*path);
    text.Append(L"\n\nPlease send this file to support.");
  } else {
    text.Append(L"The report of the error could not be saved.");
  }
  s.box_text[text.size()] = L'\0';
  ShowCrashBox(g_install->settings.program_name.c_str(), s.box_text);
}

[[noreturn]] void WriteReportAndEnd() {
  CrashStorage& s = *g_install->storage;
  const CrashFacts facts = {&s.record,
                            &s.context,
                            static_cast<DWORD>(g_faulting_thread),
                            g_install->main_thread,
                            g_install->reporter_thread_id,
                            &g_install->settings.program_name,
                            &g_install->settings.program_version,
                            &g_install->settings.windows_version,
                            &s.snapshot};
  BuildCrashReport(s.report, facts, g_stage);
  SaveOnce(s.report.Finish());
  ShowBox();
  EndProcess();
}

// A fault while the report is written ends the process at once, after saving
// what there is; a fault while doing that ends it without more.
[[noreturn]] void EndAfterSecondFault() {
  if (::InterlockedExchange(&g_second_fault, 1) == 0) {
    SaveUnfinishedReport(L"a second fault happened while reading ", L"");
  }
  EndProcess();
}

DWORD WINAPI ReporterMain(void*) {
  ::WaitForSingleObject(g_install->wake.get(), INFINITE);
  WriteReportAndEnd();
}

// Hands the report to the reporting thread, which has a stack of its own (the
// faulting one may have overflowed) and ends the process when it is done.
[[noreturn]] void ReportOnReporterThread() {
  ::SetEvent(g_install->wake.get());
  if (::WaitForSingleObject(g_install->written.get(), kReportTimeoutMs) == WAIT_TIMEOUT) {
    ::SuspendThread(g_install->reporter_thread.get());
    SaveUnfinishedReport(L"reading ", L" did not finish within 60 seconds");
    ShowBox();
    EndProcess();
  }
  ::WaitForSingleObject(g_install->reporter_thread.get(), INFINITE);
  EndProcess();
}

}  // namespace

void ReportFault(EXCEPTION_POINTERS* pointers) {
  if (g_install == nullptr) {
    ::TerminateProcess(::GetCurrentProcess(), pointers->ExceptionRecord->ExceptionCode);
  }
  const DWORD self = ::GetCurrentThreadId();
  if (self == g_install->reporter_thread_id) EndAfterSecondFault();
  const LONG first = ::InterlockedCompareExchange(&g_faulting_thread, static_cast<LONG>(self), 0);
  // This thread faulted again while it wrote its own report.
  if (first == static_cast<LONG>(self)) EndAfterSecondFault();
  // Another thread's report is under way and ends the process.
  if (first != 0) {
    for (;;) ::Sleep(INFINITE);
  }
  CrashStorage& s = *g_install->storage;
  s.record = *pointers->ExceptionRecord;
  s.record.ExceptionRecord = nullptr;
  s.context = *pointers->ContextRecord;
  if (g_install->reporter_thread) ReportOnReporterThread();
  WriteReportAndEnd();
}

void InstallCrashReporter(const CrashReporterSettings& settings) {
  if (g_install != nullptr) return;
  void* memory =
      ::VirtualAlloc(nullptr, sizeof(CrashStorage), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (memory == nullptr) return;
  auto* install = new Installation();
  install->storage = new (memory) CrashStorage;
  install->settings = settings;
  install->preferred_path = GetProgramFolder() + L"\\" + kBugreportFileName;
  install->fallback_path = GetTempDir() + kBugreportFileName;
  install->main_thread = ::GetCurrentThreadId();
  LoadStackWalkHelpers();
  install->wake.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  install->written.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  g_install = install;
  if (install->wake && install->written) {
    install->reporter_thread.reset(
        ::CreateThread(nullptr, 0, &ReporterMain, nullptr, 0, &install->reporter_thread_id));
  }
  InstallFaultHooks();
}

void WaitWhileReporting() {
  if (g_faulting_thread == 0) return;
  for (;;) ::Sleep(INFINITE);
}

}  // namespace velmora::crash
