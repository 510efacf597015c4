#include "common/system_library.h"

#include <string>

#include "common/strings.h"

namespace velmora {

HMODULE LoadSystemLibrary(const wchar_t* name) {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  const std::wstring path = EnsureTrailingBackslash(std::wstring(folder, length)) + name;
  // The altered search order looks for the DLL's own imports in its folder first.
  return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace velmora
