// DLLs from the system folder only. The program runs elevated from folders
// that the user's own programs can write to: a DLL found by the usual search
// (the program's folder, the current folder, PATH) could be anyone's.
#pragma once

#include <windows.h>

namespace velmora {

// Loads the named DLL from the system folder by its full path; the DLLs it
// depends on are searched from there too, never from the program's folder.
// The library stays loaded for the life of the process. Null when missing.
HMODULE LoadSystemLibrary(const wchar_t* name);

}  // namespace velmora
