// Local date and time as the report headings show them.
#pragma once

#include <windows.h>

#include <string>

namespace velmora {

// The user's short date, then, unless the time is exactly 00:00:00, one blank
// and the long time. Raises ReportError when the locale cannot format it.
std::wstring FormatLocalDateTime(const SYSTEMTIME& local_time);
std::wstring FormatCurrentLocalDateTime();

}  // namespace velmora
