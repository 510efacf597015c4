#include "reports/system/defrag_schedule.h"

#include <mstask.h>
#include <taskschd.h>

#include <algorithm>
#include <optional>

#include "common/com_ptr.h"
#include "common/strings.h"
#include "common/system_class.h"
#include "environment/windows_version.h"

namespace velmora {

namespace {

// CLSID_TaskScheduler: the object that taskschd.dll itself serves.
constexpr CLSID kTaskSchedulerClass = {
    0x0f87369f, 0xa4e5, 0x4cfc, {0xbd, 0x3e, 0x73, 0xe6, 0x15, 0x45, 0x72, 0xdd}};
constexpr size_t kTaskLimit = 2000;
constexpr int kFolderDepthLimit = 16;
constexpr HRESULT kTaskHasNotRun = 0x00041303;

std::wstring BstrText(BSTR text) {
  return text == nullptr ? std::wstring() : std::wstring(text, ::SysStringLen(text));
}

// CLSID_CTaskScheduler: the object that mstask.dll itself serves.
constexpr CLSID kTaskScheduler1Class = {
    0x148BD52A, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
constexpr IID kTaskScheduler1Interface = {
    0x148BD527, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
constexpr IID kTask1Interface = {
    0x148BD524, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};

// Memory the COM allocator gave out.
template <typename T>
struct CoTaskMemory {
  T* get = nullptr;
  ~CoTaskMemory() { ::CoTaskMemFree(get); }
};

std::wstring UnknownTaskScheduler(HRESULT result) {
  return result == E_ACCESSDENIED ? std::wstring(L"unknown (access denied)")
                                  : Format(L"unknown (the Task Scheduler does not answer, 0x%08lX)",
                                           static_cast<unsigned long>(result));
}

// Enum names a task by its file name, "Name.job"; Activate takes the name the
// task was made with, without the extension.
TaskFacts ReadTask1(ITaskScheduler* scheduler, const wchar_t* file_name) {
  std::wstring name = file_name;
  if (name.size() > 4 && EqualsNoCase(name.substr(name.size() - 4), L".job")) {
    name.resize(name.size() - 4);
  }
  TaskFacts facts;
  facts.path = L"\\" + name;
  ComPtr<ITask> task;
  CoTaskMemory<wchar_t> program;
  if (SUCCEEDED(scheduler->Activate(name.c_str(), kTask1Interface,
                                    reinterpret_cast<IUnknown**>(task.put_void()))) &&
      SUCCEEDED(task->GetApplicationName(&program.get)) && program.get != nullptr) {
    facts.programs.push_back(program.get);
  }
  return facts;
}

HRESULT CreateTaskService(ComPtr<ITaskService>& service) {
  const HRESULT result = CreateSystemLibraryObject(L"taskschd.dll", kTaskSchedulerClass,
                                                   __uuidof(ITaskService), service.put_void());
  if (FAILED(result)) return result;
  VARIANT empty;
  ::VariantInit(&empty);
  return service->Connect(empty, empty, empty, empty);
}

std::wstring TriggerText(ITrigger* trigger) {
  TASK_TRIGGER_TYPE2 type = TASK_TRIGGER_EVENT;
  trigger->get_Type(&type);
  static const wchar_t* const kNames[] = {L"on an event",
                                          L"once",
                                          L"daily",
                                          L"weekly",
                                          L"monthly",
                                          L"monthly on a weekday",
                                          L"when idle",
                                          L"when registered",
                                          L"at boot",
                                          L"at logon",
                                          L"",
                                          L"on a session change"};
  std::wstring text = type >= 0 && type < 12 && kNames[type][0] != 0
                          ? kNames[type]
                          : Format(L"trigger type %d", static_cast<int>(type));
  UniqueBstr start;
  if (SUCCEEDED(trigger->get_StartBoundary(start.put())) && start.get() != nullptr &&
      ::SysStringLen(start.get()) != 0) {
    text += L" from " + BstrText(start.get());
  }
  return text;
}

// The texts of at most `limit` items of a one-based Task Scheduler collection;
// `text` gives an item's text, or nothing for an item to pass over.
template <typename Item, typename Collection, typename ItemText>
std::vector<std::wstring> CollectionTexts(Collection* collection, LONG limit, ItemText text) {
  std::vector<std::wstring> texts;
  LONG count = 0;
  if (FAILED(collection->get_Count(&count))) return texts;
  for (LONG i = 1; i <= std::min<LONG>(count, limit); ++i) {
    ComPtr<Item> item;
    if (FAILED(collection->get_Item(i, item.put()))) continue;
    if (std::optional<std::wstring> item_text = text(item.get())) texts.push_back(*item_text);
  }
  return texts;
}

std::vector<std::wstring> TriggerTexts(ITaskDefinition* definition) {
  ComPtr<ITriggerCollection> triggers;
  if (FAILED(definition->get_Triggers(triggers.put()))) return {};
  return CollectionTexts<ITrigger>(triggers.get(), 16, [](ITrigger* trigger) {
    return std::optional<std::wstring>(TriggerText(trigger));
  });
}

std::vector<std::wstring> ActionPrograms(ITaskDefinition* definition) {
  ComPtr<IActionCollection> actions;
  if (FAILED(definition->get_Actions(actions.put()))) return {};
  return CollectionTexts<IAction>(
      actions.get(), 32, [](IAction* action) -> std::optional<std::wstring> {
        ComPtr<IExecAction> exec;
        UniqueBstr path;
        if (FAILED(action->QueryInterface(__uuidof(IExecAction), exec.put_void())) ||
            FAILED(exec->get_Path(path.put()))) {
          return std::nullopt;
        }
        return BstrText(path.get());
      });
}

TaskFacts ReadTask(IRegisteredTask* task, bool with_state) {
  TaskFacts facts;
  UniqueBstr path;
  if (SUCCEEDED(task->get_Path(path.put()))) facts.path = BstrText(path.get());
  ComPtr<ITaskDefinition> definition;
  if (SUCCEEDED(task->get_Definition(definition.put()))) {
    facts.programs = ActionPrograms(definition.get());
    if (with_state) facts.triggers = TriggerTexts(definition.get());
  }
  if (with_state) {
    VARIANT_BOOL enabled = VARIANT_FALSE;
    task->get_Enabled(&enabled);
    facts.enabled = enabled != VARIANT_FALSE;
    task->get_LastRunTime(&facts.last_run);
    task->get_LastTaskResult(&facts.last_result);
  }
  return facts;
}

void ReadFolder(ITaskFolder* folder, int depth, const TickDeadline& deadline,
                TaskSchedulerFacts& facts) {
  if (depth > kFolderDepthLimit || deadline.Passed() || facts.tasks.size() >= kTaskLimit) return;
  ComPtr<IRegisteredTaskCollection> tasks;
  LONG count = 0;
  if (SUCCEEDED(folder->GetTasks(TASK_ENUM_HIDDEN, tasks.put())) &&
      SUCCEEDED(tasks->get_Count(&count))) {
    for (LONG i = 1; i <= count && facts.tasks.size() < kTaskLimit; ++i) {
      ComPtr<IRegisteredTask> task;
      VARIANT index;
      index.vt = VT_I4;
      index.lVal = i;
      if (SUCCEEDED(tasks->get_Item(index, task.put()))) {
        facts.tasks.push_back(ReadTask(task.get(), false));
      }
    }
  }
  ComPtr<ITaskFolderCollection> folders;
  if (FAILED(folder->GetFolders(0, folders.put())) || FAILED(folders->get_Count(&count))) return;
  for (LONG i = 1; i <= count; ++i) {
    ComPtr<ITaskFolder> child;
    VARIANT index;
    index.vt = VT_I4;
    index.lVal = i;
    if (SUCCEEDED(folders->get_Item(index, child.put()))) {
      ReadFolder(child.get(), depth + 1, deadline, facts);
    }
  }
}

std::wstring OleDateText(double date) {
  SYSTEMTIME t = {};
  if (date == 0 || !::VariantTimeToSystemTime(date, &t)) return {};
  return Format(L"%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond);
}

std::wstring ResultText(HRESULT result) {
  if (result == S_OK) return L"0x00000000 (success)";
  return Format(L"0x%08lX", static_cast<unsigned long>(result));
}

// A task's program as its action names it, without quotes.
std::wstring UnquotedProgram(std::wstring program) {
  program = Trimmed(program);
  if (program.size() >= 2 && program.front() == L'"' && program.back() == L'"') {
    program = program.substr(1, program.size() - 2);
  }
  return program;
}

}  // namespace

void ReadTaskScheduler1Tasks(const TickDeadline& deadline, TaskSchedulerFacts& facts) {
  ComPtr<ITaskScheduler> scheduler;
  HRESULT result = CreateSystemLibraryObject(L"mstask.dll", kTaskScheduler1Class,
                                             kTaskScheduler1Interface, scheduler.put_void());
  ComPtr<IEnumWorkItems> items;
  if (SUCCEEDED(result)) result = scheduler->Enum(items.put());
  if (FAILED(result)) {
    facts.tasks_why = UnknownTaskScheduler(result);
    return;
  }
  constexpr ULONG kBatch = 32;
  while (facts.tasks.size() < kTaskLimit && !deadline.Passed()) {
    CoTaskMemory<wchar_t*> names;
    ULONG fetched = 0;
    result = items->Next(kBatch, &names.get, &fetched);
    if (FAILED(result) || names.get == nullptr) break;
    for (ULONG i = 0; i < fetched; ++i) {
      const CoTaskMemory<wchar_t> name{names.get[i]};
      if (name.get != nullptr && facts.tasks.size() < kTaskLimit) {
        facts.tasks.push_back(ReadTask1(scheduler.get(), name.get));
      }
    }
    if (result != S_OK) break;  // S_FALSE: the last batch
  }
}

TaskSchedulerFacts ReadTaskSchedulerFacts(const TickDeadline& deadline) {
  TaskSchedulerFacts facts;
  if (GetWindowsVersion().dwMajorVersion < 6) {
    facts.why = L"unknown (Windows Vista and later say)";
    ReadTaskScheduler1Tasks(deadline, facts);
    return facts;
  }
  ComPtr<ITaskService> service;
  HRESULT result = CreateTaskService(service);
  ComPtr<ITaskFolder> root;
  if (SUCCEEDED(result)) result = service->GetFolder(UniqueBstr(L"\\").get(), root.put());
  if (FAILED(result)) {
    facts.why = UnknownTaskScheduler(result);
    facts.tasks_why = facts.why;
    return facts;
  }
  ComPtr<IRegisteredTask> defrag;
  result = root->GetTask(UniqueBstr(kWindowsDefragTask).get(), defrag.put());
  if (SUCCEEDED(result)) {
    facts.defrag_present = true;
    facts.defrag = ReadTask(defrag.get(), true);
  }
  ReadFolder(root.get(), 0, deadline, facts);
  return facts;
}

ReportList WindowsDefragLines(const TaskSchedulerFacts& facts) {
  const std::wstring task = std::wstring(L" (") + kWindowsDefragTask + L")";
  if (!facts.why.empty()) {
    return {L"Windows scheduled defragmentation: " + facts.why,
            L"Windows defragmentation schedule: " + facts.why,
            L"Windows defragmentation last run: " + facts.why};
  }
  if (!facts.defrag_present) {
    return {L"Windows scheduled defragmentation: not present" + task,
            L"Windows defragmentation schedule: unknown (no such task)",
            L"Windows defragmentation last run: unknown (no such task)"};
  }
  const TaskFacts& defrag = facts.defrag;
  std::wstring schedule;
  for (const std::wstring& trigger : defrag.triggers) {
    schedule += (schedule.empty() ? L"" : L"; ") + trigger;
  }
  // Windows 8 and later start the task from automatic maintenance, without a trigger of its own.
  if (schedule.empty()) schedule = L"no trigger of its own (automatic maintenance starts it)";
  const std::wstring last_run = OleDateText(defrag.last_run);
  const bool never = last_run.empty() || defrag.last_result == kTaskHasNotRun ||
                     defrag.last_run < 2.0;  // 1899-12-30 and -31 stand for "never"
  return {L"Windows scheduled defragmentation: " +
              std::wstring(defrag.enabled ? L"enabled" : L"disabled") + task,
          L"Windows defragmentation schedule: " + schedule,
          L"Windows defragmentation last run: " +
              (never ? std::wstring(L"never")
                     : last_run + L", result " + ResultText(defrag.last_result))};
}

std::wstring ProductDefragLine(const TaskSchedulerFacts& facts,
                               const std::wstring& product_folder) {
  const std::wstring label = L"Product scheduled defragmentation: ";
  if (!facts.tasks_why.empty()) return label + facts.tasks_why;
  if (Trimmed(product_folder).empty()) return label + L"none";
  const std::wstring folder = EnsureTrailingBackslash(Trimmed(product_folder));
  std::wstring names;
  for (const TaskFacts& task : facts.tasks) {
    const bool product =
        std::any_of(task.programs.begin(), task.programs.end(), [&](const std::wstring& program) {
          return StartsWithNoCase(UnquotedProgram(program), folder);
        });
    if (product) names += (names.empty() ? L"" : L", ") + task.path;
  }
  return label + (names.empty() ? std::wstring(L"none") : names);
}

}  // namespace velmora
