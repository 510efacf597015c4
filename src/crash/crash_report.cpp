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

void AppendHeader(ReportText& report, const CrashFacts& facts) {
  TextBuffer& out = report.out();
  out.AppendLine(ReportStartLine());
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
}

void AppendThreads(ReportText& report, const CrashFacts& facts) {
  TextBuffer& out = report.out();
  const SymbolSession symbols;
  out.Append(L"Thread ");
  AppendThreadName(out, facts, facts.faulting_thread);
  out.AppendLine(L", where the fault happened");
  AppendStack(out, *facts.context, nullptr, symbols);
  const ThreadSnapshot& snapshot = *facts.snapshot;
  for (size_t i = 0; i < snapshot.count && !report.full(); ++i) {
    const ThreadRecord& thread = snapshot.threads[i];
    report.MarkCutPoint();
    out.Append(L"Thread ");
    AppendThreadName(out, facts, thread.id);
    out.EndLine();
    if (!thread.context_read) {
      out.AppendLine(L"  its registers could not be read");
      continue;
    }
    AppendStack(out, thread.context, &thread, symbols);
  }
  if (snapshot.left_out > 0) {
    report.MarkCutPoint();
    out.Append(L"... and ");
    out.AppendDecimal(snapshot.left_out);
    out.AppendLine(L" more threads");
  }
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

void BuildCrashReport(ReportText& report, const CrashFacts& facts, ReportStage& stage) {
  stage.what = L"the header";
  AppendHeader(report, facts);
  // A report cut short keeps at least the header.
  report.MarkCutPoint();
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
  report.BeginSection(L"threads");
  AppendThreads(report, facts);
  stage.what = L"the hardware";
  report.BeginSection(L"hardware");
  AppendHardware(report.out());
  AppendRegisteredSections(report, stage);
}

}  // namespace velmora::crash
