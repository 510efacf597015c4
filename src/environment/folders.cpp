#include "environment/folders.h"

#include <windows.h>
#include <shlobj.h>

#include "common/no_follow_files.h"
#include "common/strings.h"
#include "environment/windows_version.h"

namespace velmora {

std::wstring GetTempDir() {
  wchar_t buffer[256] = {};
  const DWORD n = ::GetTempPathW(255, buffer);
  if (n == 0 || n > 255) return {};
  return EnsureTrailingBackslash(FromBuffer(buffer, 256));
}

std::wstring GetSystemDir() {
  wchar_t buffer[256] = {};
  const UINT n = ::GetSystemDirectoryW(buffer, 255);
  return n == 0 || n > 255 ? std::wstring() : FromBuffer(buffer, 256);
}

std::wstring GetWindowsDir() {
  wchar_t buffer[256] = {};
  const UINT n = ::GetWindowsDirectoryW(buffer, 255);
  return n == 0 || n > 255 ? std::wstring() : FromBuffer(buffer, 256);
}

std::wstring GetWindowsDrive() {
  wchar_t buffer[MAX_PATH] = {};
  const UINT n = ::GetWindowsDirectoryW(buffer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  return FromBuffer(buffer, MAX_PATH).substr(0, 2);
}

std::wstring GetSpecialFolder(int csidl) {
  wchar_t buffer[MAX_PATH + 1] = {};
  if (!::SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE)) return {};
  return FromBuffer(buffer, MAX_PATH + 1);
}

bool ShellTakesUserToken(DWORD major, DWORD minor) {
  return major > 5 || (major == 5 && minor >= 1);
}

std::wstring GetUserDesktopFolder(HANDLE token) {
  const OSVERSIONINFOEXW version = GetWindowsVersion();
  if (!ShellTakesUserToken(version.dwMajorVersion, version.dwMinorVersion)) return {};
  wchar_t buffer[MAX_PATH + 1] = {};
  if (FAILED(
          ::SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, token, SHGFP_TYPE_CURRENT, buffer))) {
    return {};
  }
  return FromBuffer(buffer, MAX_PATH + 1);
}

std::wstring LongPathOf(const std::wstring& path) {
  wchar_t long_path[MAX_PATH] = {};
  const DWORD n = ::GetLongPathNameW(path.c_str(), long_path, MAX_PATH);
  return n == 0 || n >= MAX_PATH ? path : FromBuffer(long_path, MAX_PATH);
}

bool FolderExists(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(ExtendedLengthPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring GetProgramFile() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) return path.substr(0, n);
    path.resize(path.size() * 2);
  }
}

std::wstring GetProgramFolder() {
  return SplitAtLastBackslash(GetProgramFile()).first;
}

bool FileExists(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(ExtendedLengthPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace velmora
