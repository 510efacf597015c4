/* The code part of the product's files that bench/run-time seeds: a DLL with
   only a version resource, which the bench pads to the sizes it needs. */
#include <windows.h>

BOOL WINAPI ProductModuleEntry(HINSTANCE module, DWORD reason, LPVOID reserved) {
  (void)module;
  (void)reason;
  (void)reserved;
  return TRUE;
}
