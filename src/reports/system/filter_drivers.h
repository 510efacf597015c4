// The file-system filter drivers that the filter manager knows, with their
// altitudes and the volumes they are attached to (fltlib.dll, looked up at
// run time: Windows XP SP2 and later have it; altitudes come from Vista on).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/report_list.h"

namespace velmora {

struct FilterDriver {
  std::wstring name;
  std::wstring altitude;
  std::vector<std::wstring> volumes;  // "C:" or the device's own name
};

struct FilterDrivers {
  std::wstring why;  // empty when read; else the "unknown (...)" value
  std::vector<FilterDriver> filters;
};

// Names and altitudes from FILTER_AGGREGATE_STANDARD_INFORMATION entries
// chained by their NextEntryOffset, as FilterFindFirst/Next return them.
std::vector<FilterDriver> ParseFilterEntries(const uint8_t* bytes, size_t size);

FilterDrivers ReadFilterDrivers();

// "File-system filter drivers: 2", then "  name  altitude 385100  volumes C:, D:"
// per filter, lowest altitude last (the order the volume's I/O meets them).
ReportList FilterDriverLines(const FilterDrivers& drivers);

}  // namespace velmora
