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

// How long a thread that waits for the report gives the box to appear once
// the file is saved, before it shows one itself: the thread that should show
// it may be stuck on a lock that the waiting thread holds.
constexpr DWORD kBoxWaitMs = 20'000;
// How long start-up waits for the symbol handler. It starts on the reporting
// thread, and walks the process's module lists as it does: the program goes
// on only once it is done, so that the modules that the window loads are not
// loaded while it walks them. One that takes longer than this (a module on a
// slow share) is left to finish alone.
constexpr DWORD kSymbolStartMs = 10'000;
constexpr size_t kBoxTextChars = 2048;

// Everything a report needs that is large, set aside at start-up outside the
// heap: a fault may come from a damaged heap.
struct CrashStorage {
  CrashStorage() : report(report_text, kMaxFileChars) {}

  EXCEPTION_RECORD record;
  CONTEXT context;
  ThreadSnapshot snapshot;
  WalkedStack stacks[ThreadSnapshot::kMaxThreads + 1];
  FurtherFaults further;
  wchar_t report_text[kMaxFileChars];
  ReportText report;
  wchar_t file_scratch[kMaxFileChars];
  wchar_t box_text[kBoxTextChars];
  // For the one thread that saves an unfinished report: the thread that
  // waits may have little stack left (a stack overflow).
  wchar_t note[kNoteReserve];
  CONTEXT builder_context;
};

struct Installation {
  CrashReporterSettings settings;
  std::wstring program_folder;  // where symbols are searched
  ReportFilePlace preferred;    // in the program's folder
  ReportFilePlace fallback;     // in the temporary folder
  DWORD main_thread = 0;
  DWORD reporter_thread_id = 0;
  UniqueHandle reporter_thread;
  UniqueHandle symbols_started;  // set once the symbol handler has started
  UniqueHandle wake;             // set by the faulting thread
  UniqueHandle written;          // set once the file has been saved (or could not be)
  UniqueHandle box_shown;        // set once a crash box is on the screen
  CrashStorage* storage = nullptr;
};

// Never freed, and nothing here has a destructor: a fault while the program
// ends, after the static destructors, must still find all of it.
Installation* g_install = nullptr;
ReportStage g_stage;
volatile LONG g_faulting_thread = 0;  // the first thread that faulted
volatile LONG g_saving = 0;
volatile LONG g_second_fault = 0;
volatile LONG g_taken_over = 0;
// The thread that builds the report: the reporting thread, or the faulting
// one when there is none.
HANDLE volatile g_builder = nullptr;
volatile DWORD g_builder_id = 0;
const std::wstring* volatile g_saved_path = nullptr;

[[noreturn]] void EndProcess() {
  const DWORD code = g_install->storage->record.ExceptionCode;
  ::TerminateProcess(::GetCurrentProcess(), code != 0 ? code : 1);
  for (;;) ::Sleep(INFINITE);
}

[[noreturn]] void WaitForTheEnd() {
  for (;;) ::Sleep(INFINITE);
}

bool ReporterAlive() {
  const HANDLE thread = g_install->reporter_thread.get();
  return thread != nullptr && ::WaitForSingleObject(thread, 0) == WAIT_TIMEOUT;
}

CrashFacts Facts() {
  CrashStorage& s = *g_install->storage;
  return {&s.record,
          &s.context,
          static_cast<DWORD>(g_faulting_thread),
          g_install->main_thread,
          g_install->reporter_thread_id,
          &g_install->settings.program_name,
          &g_install->settings.program_version,
          &g_install->settings.windows_version,
          &s.snapshot,
          s.stacks,
          &s.further};
}

// One save per crash: whoever claims it first writes the file.
bool ClaimSave() {
  return ::InterlockedExchange(&g_saving, 1) == 0;
}

void Save(std::wstring_view report) {
  CrashStorage& s = *g_install->storage;
  g_saved_path =
      SaveReport(g_install->preferred, g_install->fallback, report, s.file_scratch, kMaxFileChars);
  ::SetEvent(g_install->written.get());
}

// For a report that cannot be finished: what there is, and a note that says
// why it stops there. The caller has claimed the save.
void SaveUnfinishedReport(const wchar_t* before, const wchar_t* after, DWORD seconds) {
  TextBuffer note(g_install->storage->note, kNoteReserve - 8);
  note.Append(L"--- the report stops here: ");
  note.Append(before);
  note.Append(g_stage.what);
  if (const wchar_t* section = g_stage.section) {
    note.Append(L" \"");
    note.Append(section);
    note.Append(L"\"");
  }
  note.Append(after);
  if (seconds != 0) {
    note.AppendDecimal(seconds);
    note.Append(L" seconds");
  }
  note.Append(L" ---");
  Save(FinishStoppedReport(g_install->storage->report, Facts(), g_stage, note.text()));
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
  ShowCrashBox(g_install->settings.program_name.c_str(), s.box_text, g_install->box_shown.get());
}

[[noreturn]] void ShowBoxAndEnd() {
  ShowBox();
  EndProcess();
}

// On the thread that builds the report.
[[noreturn]] void BuildSaveAndEnd() {
  CrashStorage& s = *g_install->storage;
  BuildCrashReport(s.report, Facts(), g_stage);
  if (ClaimSave()) Save(s.report.Finish());
  // A thread that took over the report while this one was slow shows the box.
  if (g_taken_over) WaitForTheEnd();
  ShowBoxAndEnd();
}

// A fault on the thread that builds the report ends the process at once,
// after saving what there is; a fault while doing that ends it without more.
[[noreturn]] void EndAfterSecondFault() {
  if (::InterlockedExchange(&g_second_fault, 1) == 0 && ClaimSave()) {
    SaveUnfinishedReport(L"a second fault happened while reading ", L"", 0);
  }
  EndProcess();
}

// The report did not come in time: stops the thread that builds it, saves
// what there is with a note that says where it stopped, and lets that thread
// run on (it may hold a lock that the box needs) without a box of its own.
// False when another waiting thread does this.
bool TakeOverReport(DWORD limit_ms) {
  if (::InterlockedExchange(&g_taken_over, 1) != 0) {
    ::WaitForSingleObject(g_install->written.get(), limit_ms);
    return false;
  }
  const HANDLE builder = g_builder;
  if (builder != nullptr && ::SuspendThread(builder) != static_cast<DWORD>(-1)) {
    // Asking for its registers waits until it really stands still.
    CONTEXT& context = g_install->storage->builder_context;
    context.ContextFlags = CONTEXT_CONTROL;
    ::GetThreadContext(builder, &context);
  }
  const bool claimed = ClaimSave();
  if (claimed) SaveUnfinishedReport(L"reading ", L" did not finish within ", limit_ms / 1000);
  if (builder != nullptr) ::ResumeThread(builder);
  // It was saving already: a save waits for no lock, let it finish.
  if (!claimed) ::WaitForSingleObject(g_install->written.get(), limit_ms);
  return true;
}

// A thread that faulted waits while the report is made: it stands still, so
// that its stack and registers can be read. It sees to it that the report is
// saved and the box shown in the end, however stuck the thread that should.
[[noreturn]] void WatchReport() {
  const DWORD limit_ms = g_install->settings.time_limit_ms;
  if (::WaitForSingleObject(g_install->written.get(), limit_ms) == WAIT_TIMEOUT &&
      TakeOverReport(limit_ms)) {
    ShowBoxAndEnd();
  }
  if (::WaitForSingleObject(g_install->box_shown.get(), kBoxWaitMs) == WAIT_OBJECT_0) {
    WaitForTheEnd();  // the box is up: the process ends when it is closed
  }
  ShowBoxAndEnd();
}

// Without a living reporting thread the faulting thread builds the report.
[[noreturn]] void BuildOnThisThread() {
  HANDLE self = nullptr;
  ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &self,
                    THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, 0);
  g_builder_id = ::GetCurrentThreadId();
  g_builder = self;
  // The reporting thread was there and is gone: the process is ending, and
  // the other threads are gone with it.
  if (g_install->reporter_thread) {
    CrashStorage& s = *g_install->storage;
    const std::wstring_view report = BuildEndingReport(s.report, Facts());
    if (ClaimSave()) Save(report);
    ShowBoxAndEnd();
  }
  BuildSaveAndEnd();
}

DWORD WINAPI ReporterMain(void*) {
  StartSymbolHandler(g_install->program_folder);
  ::SetEvent(g_install->symbols_started.get());
  ::WaitForSingleObject(g_install->wake.get(), INFINITE);
  BuildSaveAndEnd();
}

}  // namespace

void ReportFault(EXCEPTION_POINTERS* pointers) {
  if (g_install == nullptr) {
    ::TerminateProcess(::GetCurrentProcess(), pointers->ExceptionRecord->ExceptionCode);
  }
  const DWORD self = ::GetCurrentThreadId();
  if (self == g_builder_id) EndAfterSecondFault();
  const LONG first = ::InterlockedCompareExchange(&g_faulting_thread, static_cast<LONG>(self), 0);
  // This thread faulted again while it waited for its own report.
  if (first == static_cast<LONG>(self)) EndAfterSecondFault();
  CrashStorage& s = *g_install->storage;
  if (first != 0) {
    // Another thread's report is under way: this fault is named in it. A
    // thread that faults again while it waits ends the process.
    if (s.further.Find(self) != nullptr) EndProcess();
    s.further.Record(self, *pointers);
    WatchReport();
  }
  s.record = *pointers->ExceptionRecord;
  s.record.ExceptionRecord = nullptr;
  s.context = *pointers->ContextRecord;
  // The reporting thread has a stack of its own. It is woken first: on an
  // overflowed stack this thread may not get much further.
  if (g_install->reporter_thread) ::SetEvent(g_install->wake.get());
  if (ReporterAlive()) WatchReport();
  BuildOnThisThread();
}

void InstallCrashReporter(const CrashReporterSettings& settings) {
  if (g_install != nullptr) return;
  void* memory =
      ::VirtualAlloc(nullptr, sizeof(CrashStorage), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (memory == nullptr) return;
  auto* install = new Installation();
  install->storage = new (memory) CrashStorage;
  install->settings = settings;
  install->program_folder = GetProgramFolder();
  install->preferred = ReportFilePlace(install->program_folder + L"\\" + kBugreportFileName);
  install->fallback = ReportFilePlace(GetTempDir() + kBugreportFileName);
  install->main_thread = ::GetCurrentThreadId();
  LoadStackWalkHelpers();
  install->symbols_started.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  install->wake.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  install->written.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  install->box_shown.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  g_install = install;
  if (install->symbols_started && install->wake && install->written && install->box_shown) {
    install->reporter_thread.reset(
        ::CreateThread(nullptr, 0, &ReporterMain, nullptr, 0, &install->reporter_thread_id));
    g_builder = install->reporter_thread.get();
    g_builder_id = install->reporter_thread_id;
  }
  InstallFaultHooks();
  if (install->reporter_thread) {
    ::WaitForSingleObject(install->symbols_started.get(), kSymbolStartMs);
  }
}

void WaitWhileReporting() {
  if (g_faulting_thread == 0) return;
  for (;;) ::Sleep(INFINITE);
}

}  // namespace velmora::crash
