#include "crash/crash_report.h"

#include "crash/exception_text.h"
#include "crash/hardware_text.h"
#include "crash/register_text.h"
#include "crash/report_sections.h"
#include "crash/stack_walk.h"

namespace velmora::crash {

namespace {

void AppendTwoDigits(TextBuffer& out, unsigned value) {
  if (value < 10) out.Append(L"0");
  out.AppendDecimal(value);
}

void AppendThreadName(TextBuffer& out, const CrashFacts& facts, DWORD id) {
  out.Append(L"0x");
  out.AppendHex(id, 4);
  if (id == facts.main_thread) out.Append(L" (main thread)");
}

// "0xC0000005 access violation reading address 0x..., at 0x... module!0x..."
void AppendFault(TextBuffer& out, const EXCEPTION_RECORD& record) {
  AppendExceptionText(out, record);
  const ULONG_PTR address = FaultAddress(record);
  out.Append(L", at 0x");
  out.AppendHex(address, kAddressDigits);
  out.Append(L" ");
  AppendModuleOffset(out, address);
}

void AppendFurtherFaultLine(TextBuffer& out, const CrashFacts& facts, FurtherFault& fault) {
  out.Append(L"Thread ");
  AppendThreadName(out, facts, fault.thread);
  out.Append(L", where a further fault happened: ");
  AppendFault(out, fault.record);
  out.EndLine();
  fault.named = 1;
}

// Nothing here waits for a lock: the header is what a report cut short at
// once must still hold.
void AppendHeader(ReportText& report, const CrashFacts& facts) {
  TextBuffer& out = report.out();
  out.AppendLine(ReportStartLine());
  report.MarkCutPoint();
  out.Append(L"Crash report of ");
  out.AppendLine(*facts.program_name);
  SYSTEMTIME now = {};
  ::GetLocalTime(&now);
  out.Append(L"Date:      ");
  AppendDateTime(out, now);
  out.EndLine();
  out.Append(L"Version:   ");
  out.AppendLine(*facts.program_version);
  out.Append(L"Windows:   ");
  out.AppendLine(*facts.windows_version);
  out.Append(L"Exception: ");
  AppendExceptionText(out, *facts.record);
  out.EndLine();
  const ULONG_PTR address = FaultAddress(*facts.record);
  out.Append(L"Address:   0x");
  out.AppendHex(address, kAddressDigits);
  out.Append(L" ");
  AppendModuleOffset(out, address);
  out.EndLine();
  out.Append(L"Thread:    ");
  AppendThreadName(out, facts, facts.faulting_thread);
  out.EndLine();
  report.MarkCutPoint();
}

// The stacks are walked before any is written: the walks need no symbols, so
// that a report whose symbols do not come in time can still show them.
void WalkStacks(const CrashFacts& facts, ReportStage& stage) {
  WalkStack(*facts.context, nullptr, true, facts.stacks[0]);
  stage.stacks_walked = 1;
  const ThreadSnapshot& snapshot = *facts.snapshot;
  for (size_t i = 0; i < snapshot.count; ++i) {
    const ThreadRecord& thread = snapshot.threads[i];
    WalkedStack& stack = facts.stacks[i + 1];
    stack.count = 0;
    if (thread.context_read) {
      // A thread that faulted too waits in its handler: its stack is walked
      // from where the fault happened.
      const FurtherFault* fault = facts.further->Find(thread.id);
      WalkStack(fault != nullptr ? fault->context : thread.context, &thread, true, stack);
    }
    stage.stacks_walked = i + 2;
  }
}

// The first `walked` stacks of facts.stacks, each under its thread's name.
void AppendThreads(ReportText& report, const CrashFacts& facts, size_t walked, bool symbols) {
  TextBuffer& out = report.out();
  out.Append(L"Thread ");
  AppendThreadName(out, facts, facts.faulting_thread);
  out.AppendLine(L", where the fault happened");
  if (walked > 0) AppendWalkedStack(out, facts.stacks[0], symbols);
  const ThreadSnapshot& snapshot = *facts.snapshot;
  for (size_t i = 0; i + 1 < walked && i < snapshot.count && !report.full(); ++i) {
    const ThreadRecord& thread = snapshot.threads[i];
    report.MarkCutPoint();
    if (FurtherFault* fault = facts.further->Find(thread.id)) {
      AppendFurtherFaultLine(out, facts, *fault);
    } else {
      out.Append(L"Thread ");
      AppendThreadName(out, facts, thread.id);
      out.EndLine();
    }
    if (!thread.context_read) {
      out.AppendLine(L"  its registers could not be read");
      continue;
    }
    AppendWalkedStack(out, facts.stacks[i + 1], symbols);
  }
  if (snapshot.left_out > 0 && walked == snapshot.count + 1) {
    report.MarkCutPoint();
    out.Append(L"... and ");
    out.AppendDecimal(snapshot.left_out);
    out.AppendLine(L" more threads");
  }
}

// Faults of other threads that the threads section did not name.
void AppendFurtherFaults(ReportText& report, const CrashFacts& facts) {
  FurtherFaults& further = *facts.further;
  const LONG count = further.claimed < FurtherFaults::kMax ? further.claimed : FurtherFaults::kMax;
  bool any = false;
  for (LONG i = 0; i < count; ++i) {
    FurtherFault& fault = further.faults[i];
    if (!fault.ready || fault.named) continue;
    if (!any) report.BeginSection(L"further faults");
    any = true;
    AppendFurtherFaultLine(report.out(), facts, fault);
  }
  if (any) report.MarkCutPoint();
}

void AppendHardware(TextBuffer& out) {
  AppendProcessor(out);
  AppendMemory(out);
  AppendDisplays(out);
  AppendDisks(out);
}

void AppendRegisteredSections(ReportText& report, ReportStage& stage) {
  const std::vector<ReportSection> sections = Sections();
  for (const ReportSection& section : sections) {
    if (report.full()) break;  // it would be left out anyway
    stage.what = L"the section";
    stage.section = section.name.c_str();
    report.BeginSection(section.name + L" (" + section.description + L")");
    const std::wstring text = section.handler != nullptr ? section.handler() : std::wstring();
    report.out().Append(text);
    if (!text.ends_with(L"\r\n")) report.out().EndLine();
  }
  stage.section = nullptr;
}

}  // namespace

void AppendDateTime(TextBuffer& out, const SYSTEMTIME& time) {
  out.AppendDecimal(time.wYear);
  out.Append(L"-");
  AppendTwoDigits(out, time.wMonth);
  out.Append(L"-");
  AppendTwoDigits(out, time.wDay);
  out.Append(L" ");
  AppendTwoDigits(out, time.wHour);
  out.Append(L":");
  AppendTwoDigits(out, time.wMinute);
  out.Append(L":");
  AppendTwoDigits(out, time.wSecond);
}

bool FurtherFaults::Record(DWORD thread, const EXCEPTION_POINTERS& pointers) {
  const LONG index = ::InterlockedIncrement(&claimed) - 1;
  if (index >= kMax) return false;
  FurtherFault& fault = faults[index];
  fault.record = *pointers.ExceptionRecord;
  fault.record.ExceptionRecord = nullptr;
  fault.context = *pointers.ContextRecord;
  fault.thread = thread;
  ::InterlockedExchange(&fault.ready, 1);
  return true;
}

FurtherFault* FurtherFaults::Find(DWORD thread) {
  const LONG count = claimed < kMax ? claimed : kMax;
  for (LONG i = 0; i < count; ++i) {
    if (faults[i].ready && faults[i].thread == thread) return &faults[i];
  }
  return nullptr;
}

void BuildCrashReport(ReportText& report, const CrashFacts& facts, ReportStage& stage) {
  stage.what = L"the header";
  AppendHeader(report, facts);
  // The other threads as early as possible, before they move on.
  stage.what = L"the other threads";
  TakeThreadSnapshot(*facts.snapshot, facts.reporter_thread, facts.faulting_thread);
  stage.what = L"the registers";
  report.BeginSection(L"registers");
  AppendContextRegisters(report.out(), *facts.context);
  stage.what = L"the code bytes";
  report.BeginSection(L"code");
  AppendCodeBytes(report.out(), FaultAddress(*facts.record));
  stage.what = L"the stacks";
  stage.threads_at = report.size();
  report.BeginSection(L"threads");
  WalkStacks(facts, stage);
  stage.what = L"the symbols";
  AppendThreads(report, facts, stage.stacks_walked, HaveSymbols());
  stage.threads_written = true;
  stage.what = L"the hardware";
  report.BeginSection(L"hardware");
  AppendHardware(report.out());
  AppendRegisteredSections(report, stage);
  stage.what = L"the further faults";
  AppendFurtherFaults(report, facts);
}

std::wstring_view FinishStoppedReport(ReportText& report, const CrashFacts& facts,
                                      const ReportStage& stage, std::wstring_view note) {
  if (stage.threads_at != 0 && !stage.threads_written) {
    report.RewindTo(stage.threads_at);
    report.BeginSection(L"threads");
    AppendThreads(report, facts, stage.stacks_walked, false);
    report.MarkCutPoint();
  }
  // Whatever came after the last cut point may be a line cut short.
  report.RewindTo(report.cut_point());
  AppendFurtherFaults(report, facts);
  return report.FinishEarly(note);
}

std::wstring_view BuildEndingReport(ReportText& report, const CrashFacts& facts) {
  AppendHeader(report, facts);
  report.BeginSection(L"registers");
  AppendContextRegisters(report.out(), *facts.context);
  report.BeginSection(L"code");
  AppendCodeBytes(report.out(), FaultAddress(*facts.record));
  report.BeginSection(L"threads");
  WalkStack(*facts.context, nullptr, false, facts.stacks[0]);
  AppendThreads(report, facts, 1, false);
  report.MarkCutPoint();
  return report.FinishEarly(
      L"--- the report stops here: the fault happened while the program was ending ---");
}

}  // namespace velmora::crash
