#include "reports/system/process_entries.h"

#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <optional>
#include <tuple>
#include <vector>

#include "common/dynamic_function.h"
#include "common/handles.h"
#include "common/process_snapshot.h"
#include "common/strings.h"
#include "common/system_library.h"
#include "environment/folders.h"

namespace velmora {

namespace {

using NtQuerySystemInformationFn = NTSTATUS(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
using GetModuleFileNameExWFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPWSTR, DWORD);
using QueryFullProcessImageNameWFn = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);
using GetProcessImageFileNameWFn = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD);
using GetProcessMemoryInfoFn = BOOL(WINAPI*)(HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD);
using GetGuiResourcesFn = DWORD(WINAPI*)(HANDLE, DWORD);

constexpr ULONG kSystemProcessInformation = 5;
constexpr ULONG kBlindStartSize = 64 * 1024;
constexpr ULONG kBlindMaxSize = 4 * 1024 * 1024;

// Looked up once and kept for the life of the process.
struct ProcessFunctions {
  NtQuerySystemInformationFn query_system_information;
  GetModuleFileNameExWFn module_file_name_ex;
  QueryFullProcessImageNameWFn full_image_name;
  GetProcessImageFileNameWFn image_file_name;
  GetProcessMemoryInfoFn memory_info;
  GetGuiResourcesFn gui_resources;

  static const ProcessFunctions& Get() {
    static const ProcessFunctions functions = [] {
      const HMODULE psapi = LoadSystemLibrary(L"psapi.dll");
      const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
      return ProcessFunctions{
          LookUpFunction<NtQuerySystemInformationFn>(::GetModuleHandleW(L"ntdll.dll"),
                                                     "NtQuerySystemInformation"),
          LookUpFunction<GetModuleFileNameExWFn>(psapi, "GetModuleFileNameExW"),
          LookUpFunction<QueryFullProcessImageNameWFn>(::GetModuleHandleW(L"kernel32.dll"),
                                                       "QueryFullProcessImageNameW"),
          LookUpFunction<GetProcessImageFileNameWFn>(psapi, "GetProcessImageFileNameW"),
          LookUpFunction<GetProcessMemoryInfoFn>(psapi, "GetProcessMemoryInfo"),
          LookUpFunction<GetGuiResourcesFn>(user32, "GetGuiResources"),
      };
    }();
    return functions;
  }
};

std::vector<BYTE> QueryProcessInformation(NtQuerySystemInformationFn query) {
  ULONG needed = 0;
  query(kSystemProcessInformation, nullptr, 0, &needed);
  if (needed > 0) {
    // Twice the size, so that processes started meanwhile still fit.
    std::vector<BYTE> buffer(static_cast<size_t>(needed) * 2);
    if (query(kSystemProcessInformation, buffer.data(), buffer.size(), &needed) >= 0) {
      return buffer;
    }
    return {};
  }
  for (ULONG size = kBlindStartSize * 2; size <= kBlindMaxSize; size *= 2) {
    std::vector<BYTE> buffer(size);
    if (query(kSystemProcessInformation, buffer.data(), size, &needed) >= 0) return buffer;
  }
  return {};
}

// Looked up by name once and kept: the lookup reads the system's names of
// privileges, which needs the loader's lock, and a crash report must not.
const std::optional<LUID>& DebugPrivilege() {
  static const std::optional<LUID> privilege = []() -> std::optional<LUID> {
    LUID luid = {};
    if (!::LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &luid)) return std::nullopt;
    return luid;
  }();
  return privilege;
}

void EnableDebugPrivilege() {
  UniqueHandle token;
  if (!DebugPrivilege() ||
      !::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.put())) {
    return;
  }
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  privileges.Privileges[0].Luid = *DebugPrivilege();
  ::AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
}

// An NT device path ("\Device\HarddiskVolume2\x") as a drive path ("C:\x").
std::wstring DevicePathToDrivePath(const std::wstring& device_path) {
  wchar_t roots[MAX_PATH] = {};
  if (::GetLogicalDriveStringsW(MAX_PATH, roots) == 0) return {};
  for (const wchar_t* root = roots; *root != L'\0'; root += std::wcslen(root) + 1) {
    const std::wstring drive(root, 2);
    wchar_t device[MAX_PATH] = {};
    if (::QueryDosDeviceW(drive.c_str(), device, MAX_PATH) == 0) continue;
    const std::wstring device_name = FromBuffer(device, MAX_PATH);
    const size_t at = device_path.find(device_name);
    if (!device_name.empty() && at != std::wstring::npos) {
      return drive + device_path.substr(at + device_name.size());
    }
  }
  return {};
}

std::wstring ImagePathOf(HANDLE process, const ProcessFunctions& f) {
  wchar_t buffer[MAX_PATH] = {};
  std::wstring path;
  DWORD size = MAX_PATH;
  if (f.full_image_name != nullptr && f.full_image_name(process, 0, buffer, &size)) {
    path = FromBuffer(buffer, MAX_PATH);
  }
  if (path.empty() && f.image_file_name != nullptr &&
      f.image_file_name(process, buffer, MAX_PATH) > 0) {
    path = DevicePathToDrivePath(FromBuffer(buffer, MAX_PATH));
  }
  if (path.empty() && f.module_file_name_ex != nullptr &&
      f.module_file_name_ex(process, nullptr, buffer, MAX_PATH) > 0) {
    path = FromBuffer(buffer, MAX_PATH);
  }
  return path.empty() ? path : LongPathOf(path);
}

std::wstring SystemDirectory260() {
  wchar_t buffer[MAX_PATH] = {};
  ::GetSystemDirectoryW(buffer, MAX_PATH);
  return FromBuffer(buffer, MAX_PATH);
}

uint64_t MillisecondsSince(const FILETIME& start) {
  SYSTEMTIME now_system;
  FILETIME now;
  ::GetSystemTime(&now_system);
  ::SystemTimeToFileTime(&now_system, &now);
  const uint64_t from = (uint64_t(start.dwHighDateTime) << 32) | start.dwLowDateTime;
  const uint64_t to = (uint64_t(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return to > from ? (to - from) / 10000 : 0;
}

// Run time, priority and window-object counts, from a process opened for queries.
void AddQueriedFigures(ProcessEntry& entry, const ProcessFunctions& f) {
  if (entry.process_id == 0) return;
  UniqueHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, entry.process_id));
  if (!process) return;
  FILETIME created, exited, kernel, user;
  if (::GetProcessTimes(process.get(), &created, &exited, &kernel, &user)) {
    entry.run_time_ms = MillisecondsSince(created);
  }
  entry.priority_class = static_cast<int32_t>(::GetPriorityClass(process.get()));
  if (f.gui_resources != nullptr) {
    entry.gdi_objects = f.gui_resources(process.get(), GR_GDIOBJECTS);
    entry.user_objects = f.gui_resources(process.get(), GR_USEROBJECTS);
  }
}

ProcessEntry EntryFromRecord(const SYSTEM_PROCESS_INFORMATION& record, const ProcessFunctions& f,
                             const std::wstring& system_dir) {
  const auto process_id =
      static_cast<uint32_t>(reinterpret_cast<uintptr_t>(record.UniqueProcessId));
  uint32_t working_set_mb = 0, pagefile_mb = 0;
  std::wstring text;
  if (record.ImageName.Buffer == nullptr || record.ImageName.Length == 0) {
    text = L"Idle";
  } else {
    text.assign(record.ImageName.Buffer, record.ImageName.Length / sizeof(wchar_t));
    UniqueHandle process(
        ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process_id));
    if (process) {
      const std::wstring path = ImagePathOf(process.get(), f);
      if (!path.empty()) text = NormaliseImagePath(path, system_dir);
      PROCESS_MEMORY_COUNTERS counters = {};
      counters.cb = sizeof(counters);
      if (f.memory_info != nullptr && f.memory_info(process.get(), &counters, sizeof(counters))) {
        working_set_mb = static_cast<uint32_t>(counters.WorkingSetSize >> 20);
        pagefile_mb = static_cast<uint32_t>(counters.PagefileUsage >> 20);
      }
    }
  }
  ProcessEntry entry = EntryFromPath(text);
  entry.process_id = process_id;
  entry.session_id = record.SessionId;
  entry.thread_count = record.NumberOfThreads;
  entry.handle_count = record.HandleCount;
  entry.working_set_mb = working_set_mb;
  entry.pagefile_mb = pagefile_mb;
  AddQueriedFigures(entry, f);
  return entry;
}

std::vector<ProcessEntry> CollectNtProcesses(const ProcessFunctions& f) {
  std::vector<ProcessEntry> entries;
  entries.reserve(64);
  if (f.query_system_information == nullptr) return entries;
  const std::vector<BYTE> buffer = QueryProcessInformation(f.query_system_information);
  if (buffer.empty()) return entries;
  EnableDebugPrivilege();
  const std::wstring system_dir = SystemDirectory260();
  for (size_t offset = 0;;) {
    if (offset + sizeof(SYSTEM_PROCESS_INFORMATION) > buffer.size()) break;
    const auto& record = *reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(&buffer[offset]);
    entries.push_back(EntryFromRecord(record, f, system_dir));
    if (record.NextEntryOffset == 0) break;
    offset += record.NextEntryOffset;
  }
  return entries;
}

std::vector<ProcessEntry> Collect9xProcesses() {
  std::vector<ProcessEntry> entries;
  ForEachProcess([&entries](const PROCESSENTRY32W& process) {
    ProcessEntry entry = EntryFromPath(FromBuffer(process.szExeFile, MAX_PATH));
    entry.process_id = process.th32ProcessID;
    entry.thread_count = process.cntThreads;
    AddQueriedFigures(entry, ProcessFunctions::Get());
    entries.push_back(std::move(entry));
    return false;
  });
  return entries;
}

}  // namespace

std::wstring NormaliseImagePath(const std::wstring& path, const std::wstring& system_dir) {
  static constexpr wchar_t kSystemRoot[] = L"\\SystemRoot\\System32\\";
  if (StartsWithNoCase(path, kSystemRoot)) {
    return system_dir + L"\\" + path.substr(std::wcslen(kSystemRoot));
  }
  if (path.rfind(L"\\??\\", 0) == 0) return path.substr(4);
  return path;
}

ProcessEntry EntryFromPath(const std::wstring& path_or_name) {
  ProcessEntry entry;
  std::tie(entry.folder, entry.name) = SplitAtLastBackslash(path_or_name);
  return entry;
}

void PrepareProcessCollection() {
  ProcessFunctions::Get();
  DebugPrivilege();
}

std::vector<ProcessEntry> CollectProcesses() {
  if (::GetVersion() & 0x80000000u) return Collect9xProcesses();
  return CollectNtProcesses(ProcessFunctions::Get());
}

}  // namespace velmora
