// The rows of the process report, laid out in measured columns.
#pragma once

#include <string>
#include <vector>

#include "reports/system/process_entries.h"

namespace velmora {

// "idle", "normal", ...; empty for 0 and -1; "$" + hex for anything else.
std::wstring PriorityName(int32_t priority_class);

// One row per entry, separated by CR LF (none before the first or after the last).
std::wstring FormatProcessRows(const std::vector<ProcessEntry>& entries, wchar_t separator);

}  // namespace velmora
