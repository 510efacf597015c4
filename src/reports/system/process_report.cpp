#include "reports/system/process_report.h"

#include <windows.h>

#include <algorithm>

#include "common/dynamic_function.h"
#include "common/handles.h"
#include "common/number_format.h"
#include "common/registry_value.h"
#include "common/strings.h"
#include "reports/system/process_entries.h"
#include "reports/system/process_table.h"

namespace velmora {

namespace {

using GlobalMemoryStatusExFn = BOOL(WINAPI*)(MEMORYSTATUSEX*);

uint64_t RoundedMegabytes(uint64_t bytes) {
  return (bytes + 524288) / 1048576;
}

// Looked up once and kept for the life of the process.
GlobalMemoryStatusExFn MemoryStatusFunction() {
  static const auto status_ex = LookUpFunction<GlobalMemoryStatusExFn>(
      ::GetModuleHandleW(L"kernel32.dll"), "GlobalMemoryStatusEx");
  return status_ex;
}

MemoryFigures ReadMemoryFigures() {
  MemoryFigures figures;
  if (const auto status_ex = MemoryStatusFunction()) {
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof(status);
    status_ex(&status);
    figures = {status.ullAvailVirtual, status.ullTotalVirtual, status.ullAvailPageFile,
               status.ullTotalPageFile};
  } else {
    MEMORYSTATUS status = {};
    status.dwLength = sizeof(status);
    ::GlobalMemoryStatus(&status);
    figures = {status.dwAvailVirtual, status.dwTotalVirtual, status.dwAvailPageFile,
               status.dwTotalPageFile};
  }
  wchar_t windows_dir[MAX_PATH] = {};
  ::GetWindowsDirectoryW(windows_dir, MAX_PATH);
  std::wstring drive = FromBuffer(windows_dir, MAX_PATH).substr(0, 3);
  if (drive.empty()) drive = L"C:\\";
  ULARGE_INTEGER available = {}, total = {}, free_total = {};
  if (::GetDiskFreeSpaceExW(drive.c_str(), &available, &total, &free_total)) {
    figures.drive_free = free_total.QuadPart;
    figures.drive_total = total.QuadPart;
  }
  return figures;
}

std::wstring AtomLine() {
  size_t global_atoms = 0, registered_names = 0;
  std::vector<std::wstring> names;
  std::vector<wchar_t> buffer(1024);
  for (UINT value = 0xC000; value <= 0xFFFF; ++value) {
    if (::GlobalGetAtomNameW(static_cast<ATOM>(value), buffer.data(), 1024) > 0) {
      ++global_atoms;
      names.push_back(FromBuffer(buffer.data(), buffer.size()));
    }
    if (::GetClipboardFormatNameW(value, buffer.data(), 1024) > 0) {
      ++registered_names;
      names.push_back(FromBuffer(buffer.data(), buffer.size()));
    }
  }
  return FormatAtomLine(global_atoms, registered_names, names);
}

std::wstring DesktopHeap() {
  UniqueRegKey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                      L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\SubSystems", 0,
                      KEY_READ, key.put()) != ERROR_SUCCESS) {
    return {};
  }
  DWORD size = 0;
  // Bounded as every registry read of the reports is.
  if (::RegQueryValueExW(key.get(), L"Windows", nullptr, nullptr, nullptr, &size) !=
          ERROR_SUCCESS ||
      size == 0 || size > kRegistryValueLimit) {
    return {};
  }
  std::vector<BYTE> data(static_cast<size_t>(size) * 2, 0);
  DWORD data_size = static_cast<DWORD>(data.size());
  if (::RegQueryValueExW(key.get(), L"Windows", nullptr, nullptr, data.data(), &data_size) !=
      ERROR_SUCCESS) {
    return {};
  }
  return FromBuffer(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
}

template <typename Build>
std::wstring OrErrorText(Build build) {
  try {
    return build();
  } catch (...) {
    return L"error";
  }
}

}  // namespace

void PrepareProcessReport() {
  PrepareProcessCollection();
  MemoryStatusFunction();
  DecimalSeparator();
}

std::wstring FormatMemoryLine(const MemoryFigures& f, wchar_t separator) {
  return std::to_wstring(RoundedMegabytes(f.avail_virtual)) + L"/" +
         std::to_wstring(RoundedMegabytes(f.total_virtual)) + L" MB(free/total), PageSize:" +
         std::to_wstring(RoundedMegabytes(f.avail_page_file)) + L"/" +
         std::to_wstring(RoundedMegabytes(f.total_page_file)) + L" MB(free/total), SysDrv:" +
         FormatByteSize(f.drive_free, separator) + L"/" + FormatByteSize(f.drive_total, separator);
}

std::wstring FormatAtomLine(size_t global_atoms, size_t registered_names,
                            const std::vector<std::wstring>& names_in_scan_order) {
  struct AtomGroup {
    std::wstring first_name;
    std::wstring key;
    size_t count;
  };
  std::vector<AtomGroup> groups;
  for (const std::wstring& name : names_in_scan_order) {
    const std::wstring key = name.substr(0, 6);
    auto group = std::find_if(groups.begin(), groups.end(),
                              [&](const AtomGroup& g) { return g.key == key; });
    if (group == groups.end()) {
      groups.push_back({name, key, 1});
    } else {
      ++group->count;
    }
  }
  std::wstring line =
      L"Atom:" + std::to_wstring(global_atoms) + L", RWM:" + std::to_wstring(registered_names);
  // The largest group, then the largest of the rest; the earliest wins a tie.
  for (int round = 0; round < 2 && !groups.empty(); ++round) {
    auto largest =
        std::max_element(groups.begin(), groups.end(),
                         [](const AtomGroup& a, const AtomGroup& b) { return a.count < b.count; });
    line += L", Max(" + std::to_wstring(largest->count) + L"):" + largest->first_name;
    groups.erase(largest);
  }
  return line;
}

std::wstring GetProcessReport() {
  const wchar_t separator = DecimalSeparator();
  std::wstring report = FormatProcessRows(CollectProcesses(), separator);
  report += L"\r\n\r\n";
  report += L"Virtual memory:" +
            OrErrorText([&] { return FormatMemoryLine(ReadMemoryFigures(), separator); }) + L"\r\n";
  report += L"GlobalAtomInfo:" + OrErrorText(AtomLine) + L"\r\n";
  report += L"DesktopHeap:" + OrErrorText(DesktopHeap) + L"\r\n";
  return report;
}

}  // namespace velmora
