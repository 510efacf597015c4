// DLLs from the system folder only. The program runs elevated from folders
// that the user's own programs can write to: a DLL found by the usual search
// (the program's folder, the current folder, PATH) could be anyone's.
#pragma once

#include <windows.h>

namespace velmora {

// Makes the system folder the only place that the process's later DLL loads
// by name search (Windows 8, or 7 and Vista with the update that adds it);
// elsewhere at least the current folder leaves the search (XP SP1 and later).
// Runs before anything else in the process, so it uses nothing but kernel32.
void RestrictDllSearchToSystemFolder();

// Loads the named DLL from the system folder by its full path; the DLLs it
// depends on are searched from there too, never from the program's folder.
// The library stays loaded for the life of the process. Null when missing.
HMODULE LoadSystemLibrary(const wchar_t* name);

}  // namespace velmora
