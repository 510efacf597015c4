// The places where faults reach the crash reporter.
#pragma once

#include <windows.h>

namespace velmora::crash {

// The unhandled-exception filter, the first-chance handler for stack
// overflows and the C++ and C runtime hooks. Functions that older Windows or
// runtime versions lack are looked up at run time and skipped when missing.
void InstallFaultHooks();

// Raises one of the program's own fault codes, so that it reaches the crash
// reporter with the context of the place it happened. `details` must outlive
// the call (static storage) or be null.
[[noreturn]] void RaiseFault(DWORD code, const wchar_t* details, const void* call_site);

}  // namespace velmora::crash
