#include "reports/system/module_report.h"

#include <windows.h>
#include <zlib.h>

#include <algorithm>
#include <tuple>

#include "common/mapped_file.h"
#include "common/strings.h"
#include "environment/folders.h"
#include "environment/version_resource.h"

namespace velmora {

namespace {

constexpr size_t kCrcPieceSize = 1 << 20;

ModuleEntry DescribeModule(uintptr_t base, const std::wstring& windows_dir) {
  wchar_t file_name[MAX_PATH] = {};
  ModuleEntry entry;
  entry.base = base;
  if (::GetModuleFileNameW(reinterpret_cast<HMODULE>(base), file_name, MAX_PATH) == 0) {
    return entry;
  }
  const std::wstring path = LongPathOf(FromBuffer(file_name, MAX_PATH));
  entry.version = GetModuleVersionText(path);
  if (!StartsWithNoCase(path, windows_dir)) {
    if (const auto crc = FileCrc32(path)) entry.version += L",$" + HexLower(*crc, 8);
  }
  std::tie(entry.folder, entry.name) = SplitAtLastBackslash(path);
  return entry;
}

std::vector<ModuleEntry> CollectModules() {
  wchar_t windows_dir[MAX_PATH] = {};
  ::GetWindowsDirectoryW(windows_dir, MAX_PATH);
  const std::wstring windows = FromBuffer(windows_dir, MAX_PATH);
  std::vector<ModuleEntry> modules;
  modules.reserve(32);
  MEMORY_BASIC_INFORMATION region;
  const BYTE* address = nullptr;
  const void* previous_allocation = nullptr;
  while (::VirtualQuery(address, &region, sizeof(region)) == sizeof(region)) {
    const bool first_of_allocation = region.BaseAddress == region.AllocationBase;
    if (region.State == MEM_COMMIT && first_of_allocation &&
        region.AllocationBase != previous_allocation) {
      wchar_t probe[MAX_PATH] = {};
      if (::GetModuleFileNameW(static_cast<HMODULE>(region.AllocationBase), probe, MAX_PATH) > 0) {
        modules.push_back(
            DescribeModule(reinterpret_cast<uintptr_t>(region.AllocationBase), windows));
      }
    }
    previous_allocation = region.AllocationBase;
    const BYTE* next = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize;
    if (next <= address) break;  // wrapped round the top of the address space
    address = next;
  }
  return modules;
}

}  // namespace

std::optional<uint32_t> FileCrc32(const std::wstring& path) {
  uLong crc = ::crc32(0L, Z_NULL, 0);
  const bool read =
      ReadThroughMapping(path, kCrcPieceSize, [&](const unsigned char* data, size_t size) {
        crc = ::crc32(crc, data, static_cast<uInt>(size));
      });
  if (!read) return std::nullopt;
  return static_cast<uint32_t>(crc);
}

std::wstring FormatModuleRows(const std::vector<ModuleEntry>& modules) {
  size_t name_width = 0, version_width = 0;
  for (const ModuleEntry& m : modules) {
    name_width = std::max(name_width, m.name.size());
    version_width = std::max(version_width, m.version.size());
  }
  std::wstring rows;
  for (size_t i = 0; i < modules.size(); ++i) {
    const ModuleEntry& m = modules[i];
    if (i > 0) rows += L"\r\n";
    rows += HexLower(m.base, 8) + L" " + PadRight(m.name, name_width + 1) +
            PadRight(m.version, version_width + 1) + m.folder;
  }
  return rows;
}

void PrepareModuleReport() {
  LoadVersionFunctions();
}

std::wstring GetModuleReport() {
  return FormatModuleRows(CollectModules());
}

}  // namespace velmora
