#include "common/system_library.h"

#include <string>

#include "common/dynamic_function.h"
#include "common/strings.h"

namespace velmora {

namespace {

// Not in the Windows 2000 headers.
constexpr DWORD kLoadLibrarySearchSystem32 = 0x00000800;

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
using SetDllDirectoryFn = BOOL(WINAPI*)(LPCWSTR);

}  // namespace

void RestrictDllSearchToSystemFolder() {
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  const auto set_default_directories =
      LookUpFunction<SetDefaultDllDirectoriesFn>(kernel, "SetDefaultDllDirectories");
  if (set_default_directories != nullptr && set_default_directories(kLoadLibrarySearchSystem32)) {
    return;
  }
  // The program's own folder stays in the search here, but every DLL that
  // the program names is loaded by its full path (LoadSystemLibrary).
  const auto set_dll_directory = LookUpFunction<SetDllDirectoryFn>(kernel, "SetDllDirectoryW");
  if (set_dll_directory != nullptr) set_dll_directory(L"");
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  const std::wstring path = EnsureTrailingBackslash(std::wstring(folder, length)) + name;
  // The altered search order looks for the DLL's own imports in its folder first.
  return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace velmora
