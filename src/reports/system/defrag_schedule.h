// Windows' own scheduled defragmentation, as the Task Scheduler's interfaces
// tell it (the captured task list is in the system's language), and every
// task's programs, so that the product's own defragmentation tasks can be named.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/report_list.h"
#include "common/ticks.h"

namespace velmora {

inline constexpr wchar_t kWindowsDefragTask[] = L"\\Microsoft\\Windows\\Defrag\\ScheduledDefrag";

// What a task's definition and state say, as far as the profile uses them.
struct TaskFacts {
  std::wstring path;
  bool enabled = false;
  std::vector<std::wstring> triggers;  // "weekly, Wednesday 01:00", "at boot" ...
  double last_run = 0;                 // OLE date; 0 for never
  HRESULT last_result = S_OK;
  std::vector<std::wstring> programs;  // the programs its actions start
};

struct TaskSchedulerFacts {
  std::wstring why;  // empty when Windows' own task was looked for; else "unknown (...)"
  bool defrag_present = false;
  TaskFacts defrag;
  std::wstring tasks_why;        // empty when the tasks were read; else "unknown (...)"
  std::vector<TaskFacts> tasks;  // every task met, programs only
};

// Reads the tasks through ITaskService (Windows Vista and later), created from
// the system folder's taskschd.dll itself, never through the registration.
// Before Vista Windows has no defragmentation task of its own, and the tasks
// are read as ReadTaskScheduler1Tasks does.
TaskSchedulerFacts ReadTaskSchedulerFacts(const TickDeadline& deadline);

// The tasks of Task Scheduler 1.0 (Windows 2000 and XP; the ".job" files),
// through ITaskScheduler created from the system folder's mstask.dll itself:
// each task's name as its path below the root ("\Name") and its program.
void ReadTaskScheduler1Tasks(const TickDeadline& deadline, TaskSchedulerFacts& facts);

// The machine block's lines on Windows' own task.
ReportList WindowsDefragLines(const TaskSchedulerFacts& facts);
// "Product scheduled defragmentation: ..." for the tasks that start a
// program inside `product_folder` (empty when the product is not installed).
std::wstring ProductDefragLine(const TaskSchedulerFacts& facts, const std::wstring& product_folder);

}  // namespace velmora
