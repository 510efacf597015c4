// The process's first code, ahead of the C runtime's start-up and every static
// constructor: from here on DLLs are looked for in the system folder only.
#include <windows.h>

#include "common/system_library.h"

extern "C" int WinMainCRTStartup(void);

// The loader calls the entry point with whatever stack alignment it has.
extern "C" __attribute__((force_align_arg_pointer)) int VelmoraStartup(void) {
  velmora::RestrictDllSearchToSystemFolder();
  return WinMainCRTStartup();
}
