// Looking up a system function by name, for entry points that older Windows
// versions lack.
#pragma once

#include <windows.h>

namespace velmora {

template <typename Function>
Function LookUpFunction(HMODULE module, const char* name) {
  if (module == nullptr) return nullptr;
  // Through void* so that the compiler accepts the change of signature.
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

}  // namespace velmora
