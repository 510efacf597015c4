#include "environment/windows_version.h"

namespace velmora {

OSVERSIONINFOEXW GetWindowsVersion() {
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  // Deprecated for its manifest-dependent answer, which is what is wanted here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) {
    info = {};
    info.dwOSVersionInfoSize = sizeof(info);
  }
#pragma GCC diagnostic pop
  return info;
}

}  // namespace velmora
