#include "environment/wow64.h"

#include "common/dynamic_function.h"

namespace velmora {

namespace {

using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
using DisableRedirectionFn = BOOL(WINAPI*)(PVOID*);
using RevertRedirectionFn = BOOL(WINAPI*)(PVOID);

DisableRedirectionFn g_disable_redirection = nullptr;
RevertRedirectionFn g_revert_redirection = nullptr;

bool QueryIsWow64() {
#ifdef _WIN64
  return true;
#else
  auto is_wow64_process =
      LookUpFunction<IsWow64ProcessFn>(::GetModuleHandleW(L"kernel32.dll"), "IsWow64Process");
  if (is_wow64_process == nullptr) return false;
  BOOL answer = FALSE;
  return is_wow64_process(::GetCurrentProcess(), &answer) && answer;
#endif
}

}  // namespace

bool IsWow64() {
  static const bool answer = QueryIsWow64();
  return answer;
}

void InitWow64Entries() {
  if (!IsWow64()) return;
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  g_disable_redirection =
      LookUpFunction<DisableRedirectionFn>(kernel, "Wow64DisableWow64FsRedirection");
  g_revert_redirection =
      LookUpFunction<RevertRedirectionFn>(kernel, "Wow64RevertWow64FsRedirection");
}

bool DisableFsRedirection(PVOID* old_value) {
  return g_disable_redirection != nullptr && g_disable_redirection(old_value);
}

bool RevertFsRedirection(PVOID old_value) {
  return g_revert_redirection != nullptr && g_revert_redirection(old_value);
}

}  // namespace velmora
