// The modules loaded into the program's own process: base address, name,
// version (with a CRC-32 of the file for modules outside Windows) and folder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

struct ModuleEntry {
  uint64_t base = 0;
  std::wstring name;
  std::wstring folder;
  std::wstring version;
};

std::wstring GetModuleReport();

// Loads, once, what the report uses, so that a crash report that calls
// GetModuleReport loads no DLL.
void PrepareModuleReport();

std::wstring FormatModuleRows(const std::vector<ModuleEntry>& modules);

// The standard CRC-32 of a whole file, read through a mapping 1 MiB at a time.
std::optional<uint32_t> FileCrc32(const std::wstring& path);

}  // namespace velmora
