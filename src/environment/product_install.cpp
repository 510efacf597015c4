#include "environment/product_install.h"

#include <windows.h>

#include "common/handles.h"
#include "common/registry_value.h"
#include "common/strings.h"
#include "environment/wow64.h"

namespace velmora {

std::wstring ProductInstallPath;

namespace {

constexpr wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// The installers are 32-bit programs, so their entries live in the 32-bit view.
// A 32-bit build is there already; the flag is left off where there is only one
// view, since Windows 2000 does not know it.
REGSAM InstallerView() {
  return IsWow64() ? KEY_WOW64_32KEY : 0;
}

}  // namespace

UniqueRegKey OpenUninstallEntry(const std::wstring& key) {
  UniqueRegKey entry;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kUninstallKey + key).c_str(), 0,
                      KEY_READ | InstallerView(), entry.put()) != ERROR_SUCCESS) {
    return {};
  }
  return entry;
}

std::wstring GetInstallLocation(const std::wstring& key) {
  const UniqueRegKey entry = OpenUninstallEntry(key);
  if (!entry) return {};
  const std::wstring location = ReadRegistryText(entry.get(), L"InstallLocation");
  return location.empty() ? location : EnsureTrailingBackslash(location);
}

std::wstring FindProductInstallPath() {
  for (const wchar_t* key : kProductUninstallKeys) {
    std::wstring location = GetInstallLocation(key);
    if (!location.empty()) return location;
  }
  return {};
}

}  // namespace velmora
