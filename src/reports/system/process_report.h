// The process and memory report: the process rows, then the memory, atom
// table and desktop-heap lines. One string, rows separated by CR LF.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

std::wstring GetProcessReport();

// Looks up, once, every system function the report uses and reads what it
// keeps for the process: a crash report that calls GetProcessReport must
// load no DLL (the loader's lock may be held by the thread that faulted).
void PrepareProcessReport();

struct MemoryFigures {
  uint64_t avail_virtual = 0, total_virtual = 0;
  uint64_t avail_page_file = 0, total_page_file = 0;
  uint64_t drive_free = 0, drive_total = 0;
};

// "1843/2047 MB(free/total), PageSize:9120/16264 MB(free/total), SysDrv:210.11 GB/465.75 GB"
std::wstring FormatMemoryLine(const MemoryFigures& figures, wchar_t separator);

// "Atom:<n>, RWM:<n>" and the two largest groups of names sharing their first
// six characters, given every name found in the order of the scan.
std::wstring FormatAtomLine(size_t global_atoms, size_t registered_names,
                            const std::vector<std::wstring>& names_in_scan_order);

}  // namespace velmora
