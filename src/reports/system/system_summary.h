// The first block of the main report: edition, version, language, computer
// name, bitness, memory, system drive, session user and integrity level.
#pragma once

#include <cstdint>
#include <string>

#include "common/report_list.h"

namespace velmora {

ReportList GetSystemSummary();

// "8191 MB": whole megabytes, truncated.
std::wstring FormatWholeMegabytes(uint64_t bytes);
// "465.76 GB": whole megabytes over 1024, two decimals, with the given separator.
std::wstring FormatDriveGigabytes(int64_t bytes, wchar_t separator);

}  // namespace velmora
