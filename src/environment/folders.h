// Well-known folders. Paths come without a trailing backslash unless noted.
#pragma once

#include <windows.h>

#include <string>

namespace velmora {

std::wstring GetTempDir();  // with trailing backslash
std::wstring GetSystemDir();
std::wstring GetWindowsDir();
std::wstring GetWindowsDrive();  // such as "C:"
// Empty when the shell does not know the folder. The folder is not created.
std::wstring GetSpecialFolder(int csidl);

// The desktop folder of the user of `token` (with TOKEN_QUERY and
// TOKEN_IMPERSONATE), as that user's profile gives it; empty when the shell
// cannot say, and on Windows 2000, whose shell must be given no token here:
// the caller then goes on as without a token.
std::wstring GetUserDesktopFolder(HANDLE token);
// Whether the shell of this Windows version looks up another user's folders
// by token (Windows XP and later).
bool ShellTakesUserToken(DWORD major, DWORD minor);

// The long form of a path (260 characters at most); the path itself when that fails.
std::wstring LongPathOf(const std::wstring& path);

// Whether the path names an existing folder.
bool FolderExists(const std::wstring& path);

std::wstring GetProgramFile();
std::wstring GetProgramFolder();  // no trailing backslash

// Whether the path names an existing file (not a folder).
bool FileExists(const std::wstring& path);

}  // namespace velmora
