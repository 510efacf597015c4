// The Windows version as the platform tells it to this program (its manifest
// declares Windows Vista and 7, so later systems may answer 6.1 or 6.2).
#pragma once

#include <windows.h>

namespace velmora {

// GetVersionExW on the extended record; zeros when the call fails.
OSVERSIONINFOEXW GetWindowsVersion();

}  // namespace velmora
