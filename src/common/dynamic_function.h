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

// Where one function pointer of a set goes, and its export's name.
template <typename Function>
struct NamedFunction {
  Function* slot;
  const char* name;
};

template <typename Function>
NamedFunction<Function> Named(Function& slot, const char* name) {
  return {&slot, name};
}

// Fills every slot of a set of functions that only work together (find
// first / next / close); false unless the module has all of them.
template <typename... Function>
bool LookUpFunctions(HMODULE module, NamedFunction<Function>... functions) {
  ((*functions.slot = LookUpFunction<Function>(module, functions.name)), ...);
  return ((*functions.slot != nullptr) && ...);
}

}  // namespace velmora
