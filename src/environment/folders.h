// Well-known folders. Paths come without a trailing backslash unless noted.
#pragma once

#include <string>

namespace velmora {

std::wstring GetTempDir();  // with trailing backslash
std::wstring GetSystemDir();
std::wstring GetWindowsDir();
std::wstring GetWindowsDrive();  // such as "C:"
// Empty when the shell does not know the folder. The folder is not created.
std::wstring GetSpecialFolder(int csidl);

std::wstring GetProgramFile();
std::wstring GetProgramFolder();  // no trailing backslash

}  // namespace velmora
