// The registry's native calls, for what the Win32 registry functions cannot do.
// They take a name only up to its first NUL, while a key or value may be made
// under a counted name that holds NULs (programs hide their entries so): cut
// at the NUL, such a name reaches another key or value, or the key itself
// again. And they follow a symbolic link key to the key it points to, so that
// a walk over a tree can be led out of it or round in a circle. The native
// calls (ntdll, looked up at run time) take counted names and can open a link
// key itself.
#pragma once

#include <windows.h>

#include <string>

namespace velmora {

// As RegQueryValueExW, for a value name that may hold NULs: the type, the
// data when `data` is given, and the data size in *size (which may be null
// when `data` is); ERROR_MORE_DATA when the data does not fit into *size bytes.
LONG QueryRegistryValue(HKEY key, const std::wstring& name, DWORD* type, BYTE* data, DWORD* size);

// As RegOpenKeyExW, for a path below `base` whose names may hold NULs (the
// names are separated by backslashes, which no key name holds). With
// `open_link`, no symbolic link on the path is followed: each name is opened
// below the key before it, a last name that is a link opens as the link key
// itself, and a link on the way ends the open (ERROR_FILE_NOT_FOUND).
LONG OpenRegistryKey(HKEY base, const std::wstring& path, REGSAM access, bool open_link, HKEY* key);

// A symbolic link key, opened as itself, holds its target in this value of
// type REG_LINK.
inline constexpr wchar_t kSymbolicLinkValueName[] = L"SymbolicLinkValue";

// The key, opened as itself, is a symbolic link key.
bool IsLinkKey(HKEY key);

}  // namespace velmora
