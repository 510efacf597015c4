#include "reports/system/tool_job.h"

#include <cstdint>
#include <map>

#include <vector>

#include "common/cancellation.h"
#include "common/dynamic_function.h"
#include "common/process_snapshot.h"
#include "common/ticks.h"

namespace velmora {

namespace {

constexpr DWORD kEndWaitMs = 5000;

uint64_t CreationTimeOf(HANDLE process) {
  FILETIME created, exited, kernel, user;
  if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

std::multimap<DWORD, DWORD> ChildrenByParent() {
  std::multimap<DWORD, DWORD> children;
  ForEachProcess([&children](const PROCESSENTRY32W& entry) {
    if (entry.th32ProcessID != entry.th32ParentProcessID) {
      children.emplace(entry.th32ParentProcessID, entry.th32ProcessID);
    }
    return false;
  });
  return children;
}

// Ends the process and, depth first, its children; returns how many ended.
int EndWithChildren(DWORD process_id, uint64_t parent_created,
                    const std::multimap<DWORD, DWORD>& children, std::vector<UniqueHandle>& ended) {
  UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION | SYNCHRONIZE,
                                     FALSE, process_id));
  if (!process) return 0;
  const uint64_t created = CreationTimeOf(process.get());
  if (parent_created != 0 && created < parent_created) return 0;  // an old id, someone else's
  // Ended first, so that it starts nothing new while its children are ended.
  int count = ::TerminateProcess(process.get(), 1) ? 1 : 0;
  auto [first, last] = children.equal_range(process_id);
  for (auto it = first; it != last; ++it) {
    count += EndWithChildren(it->second, created, children, ended);
  }
  ended.push_back(std::move(process));
  return count;
}

}  // namespace

ToolJob::ToolJob() : job_(::CreateJobObjectW(nullptr, nullptr)) {
  if (!job_) return;
  // Nothing the tools started outlives the report, even when the program ends.
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  ::SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits));
}

void ToolJob::Adopt(HANDLE process) {
  process_ = process;
  process_id_ = process == nullptr ? 0 : ProcessIdOf(process);
  adopted_ = job_ && process != nullptr && ::AssignProcessToJobObject(job_.get(), process);
}

void ToolJob::EndAll() {
  if (adopted_) {
    ::TerminateJobObject(job_.get(), 1);
    const TickDeadline deadline(kEndWaitMs);
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
    while (::QueryInformationJobObject(job_.get(), JobObjectBasicAccountingInformation, &accounting,
                                       sizeof(accounting), nullptr) &&
           accounting.ActiveProcesses > 0 && !deadline.Passed()) {
      ::Sleep(20);
    }
    return;
  }
  if (process_id_ != 0) EndProcessTree(process_id_);
}

void EndProcessTree(DWORD process_id) {
  std::vector<UniqueHandle> ended;
  // Children started while the tree was being ended are caught by the next pass.
  for (int pass = 0; pass < 3; ++pass) {
    if (EndWithChildren(process_id, 0, ChildrenByParent(), ended) == 0 && pass > 0) break;
  }
  const TickDeadline deadline(kEndWaitMs);
  for (const UniqueHandle& process : ended) {
    if (deadline.Passed()) break;
    ::WaitForSingleObject(process.get(), kEndWaitMs);
  }
}

DWORD ProcessIdOf(HANDLE process) {
  using GetProcessIdFn = DWORD(WINAPI*)(HANDLE);
  static const auto get_process_id =
      LookUpFunction<GetProcessIdFn>(::GetModuleHandleW(L"kernel32.dll"), "GetProcessId");
  if (get_process_id != nullptr) return get_process_id(process);
  // Windows 2000 and XP before SP1 answer through the native call only.
  struct BasicInformation {
    LONG exit_status;
    void* peb;
    ULONG_PTR affinity;
    LONG base_priority;
    ULONG_PTR process_id;
    ULONG_PTR parent_process_id;
  } info = {};
  using QueryInformationProcessFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  static const auto query = LookUpFunction<QueryInformationProcessFn>(
      ::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess");
  if (query == nullptr || query(process, 0, &info, sizeof(info), nullptr) < 0) return 0;
  return static_cast<DWORD>(info.process_id);
}

bool WaitForToolEnd(HANDLE process, DWORD limit_ms) {
  const HANDLE waits[] = {process, CancellationEvent()};
  return ::WaitForMultipleObjects(2, waits, FALSE, limit_ms) == WAIT_OBJECT_0;
}

}  // namespace velmora
