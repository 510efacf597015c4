#include "crash/fault_hooks.h"

#include <cxxabi.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <typeinfo>

#include "common/dynamic_function.h"
#include "crash/crash_reporter.h"
#include "crash/exception_text.h"
#include "crash/text_buffer.h"

namespace velmora::crash {

namespace {

using VectoredHandler = LONG(WINAPI*)(EXCEPTION_POINTERS*);
using AddVectoredExceptionHandlerFn = PVOID(WINAPI*)(ULONG, VectoredHandler);
using SetThreadStackGuaranteeFn = BOOL(WINAPI*)(PULONG);
using GetExceptionPolicyFn = BOOL(WINAPI*)(LPDWORD);
using SetExceptionPolicyFn = BOOL(WINAPI*)(DWORD);
using PurecallHandler = void(__cdecl*)();
using SetPurecallHandlerFn = PurecallHandler(__cdecl*)(PurecallHandler);
using InvalidParameterHandler = void(__cdecl*)(const wchar_t*, const wchar_t*, const wchar_t*,
                                               unsigned, uintptr_t);
using SetInvalidParameterHandlerFn = InvalidParameterHandler(__cdecl*)(InvalidParameterHandler);

constexpr DWORD kStackOverflow = 0xC00000FD;
constexpr ULONG kStackGuaranteeBytes = 32 * 1024;
constexpr DWORD kProcessCallbackFilterEnabled = 0x1;

// What std::terminate found, kept for the fault that reports it.
wchar_t g_terminate_details[512];

// GCC raises its C++ exceptions as system exceptions with these codes and
// expects one that nothing catches to be continued, so that std::terminate
// runs (and reaches the terminate hook with the exception still known).
bool IsGccThrow(const EXCEPTION_RECORD& record) {
  return (record.ExceptionCode & 0x20FFFFFF) == 0x20474343 &&
         (record.ExceptionFlags & EXCEPTION_NONCONTINUABLE) == 0;
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* pointers) {
  if (IsGccThrow(*pointers->ExceptionRecord)) return EXCEPTION_CONTINUE_EXECUTION;
  ReportFault(pointers);
}

// A stack overflow is reported as soon as it happens, while the thread still
// has the stack that the system set aside for handling it.
LONG WINAPI OnFirstChanceException(EXCEPTION_POINTERS* pointers) {
  if (pointers->ExceptionRecord->ExceptionCode == kStackOverflow) ReportFault(pointers);
  return EXCEPTION_CONTINUE_SEARCH;
}

// "std::runtime_error: what it said", or just the type for other thrown values.
DWORD DescribeCurrentException(TextBuffer& out) {
  const std::exception_ptr current = std::current_exception();
  if (!current) {
    out.Append(L"no exception was active");
    return kTerminateCalled;
  }
  if (const std::type_info* type = abi::__cxa_current_exception_type()) {
    int status = 0;
    char* readable = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
    out.AppendNarrow(status == 0 && readable != nullptr ? readable : type->name());
    std::free(readable);
  }
  try {
    std::rethrow_exception(current);
  } catch (const std::exception& error) {
    out.Append(L": ");
    out.AppendNarrow(error.what());
  } catch (...) {
    // Not derived from std::exception: the type is all there is to say.
  }
  return kUncaughtCppException;
}

[[noreturn]] void OnTerminate() {
  constexpr size_t kCapacity = sizeof(g_terminate_details) / sizeof(wchar_t) - 1;
  TextBuffer details(g_terminate_details, kCapacity);
  DWORD code = kTerminateCalled;
  try {
    code = DescribeCurrentException(details);
  } catch (...) {
    // Describing it is a courtesy; the fault is reported either way.
  }
  g_terminate_details[details.size()] = L'\0';
  RaiseFault(code, g_terminate_details, __builtin_return_address(0));
}

// Not merged with __cxa_pure_virtual below, whose body is the same: as a
// wrapper of this one it would make the call site the wrapper's.
__attribute__((noipa)) void __cdecl OnPureCall() {
  RaiseFault(kPureVirtualCall, nullptr, __builtin_return_address(0));
}

void __cdecl OnInvalidParameter(const wchar_t*, const wchar_t*, const wchar_t*, unsigned,
                                uintptr_t) {
  RaiseFault(kInvalidCrtParameter, nullptr, __builtin_return_address(0));
}

void __cdecl OnAbortSignal(int) {
  RaiseFault(kAbortCalled, nullptr, __builtin_return_address(0));
}

// 64-bit Windows 7 and earlier swallow exceptions that leave a window
// procedure of a 32-bit program; this lets them reach the filter.
void KeepCallbackExceptions(HMODULE kernel) {
  auto get_policy =
      LookUpFunction<GetExceptionPolicyFn>(kernel, "GetProcessUserModeExceptionPolicy");
  auto set_policy =
      LookUpFunction<SetExceptionPolicyFn>(kernel, "SetProcessUserModeExceptionPolicy");
  DWORD flags = 0;
  if (get_policy != nullptr && set_policy != nullptr && get_policy(&flags)) {
    set_policy(flags & ~kProcessCallbackFilterEnabled);
  }
}

void InstallSystemHooks() {
  ::SetUnhandledExceptionFilter(&OnUnhandledException);
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  if (auto add_handler =
          LookUpFunction<AddVectoredExceptionHandlerFn>(kernel, "AddVectoredExceptionHandler")) {
    add_handler(1, &OnFirstChanceException);
  }
  // Stack for the main thread's overflow handling; every other thread reports
  // through the reporting thread, which needs little of the faulting stack.
  if (auto guarantee =
          LookUpFunction<SetThreadStackGuaranteeFn>(kernel, "SetThreadStackGuarantee")) {
    ULONG size = kStackGuaranteeBytes;
    guarantee(&size);
  }
  KeepCallbackExceptions(kernel);
}

void InstallRuntimeHooks() {
  std::set_terminate(&OnTerminate);
  std::signal(SIGABRT, &OnAbortSignal);
  // Only newer msvcrt versions have these; code built with GCC reaches the
  // pure-call hook through __cxa_pure_virtual below instead.
  const HMODULE runtime = ::GetModuleHandleW(L"msvcrt.dll");
  if (auto set = LookUpFunction<SetPurecallHandlerFn>(runtime, "_set_purecall_handler")) {
    set(&OnPureCall);
  }
  if (auto set =
          LookUpFunction<SetInvalidParameterHandlerFn>(runtime, "_set_invalid_parameter_handler")) {
    set(&OnInvalidParameter);
  }
}

}  // namespace

void InstallFaultHooks() {
  InstallSystemHooks();
  InstallRuntimeHooks();
}

void RaiseFault(DWORD code, const wchar_t* details, const void* call_site) {
  const ULONG_PTR arguments[2] = {reinterpret_cast<ULONG_PTR>(details),
                                  reinterpret_cast<ULONG_PTR>(call_site)};
  ::RaiseException(code, EXCEPTION_NONCONTINUABLE, 2, arguments);
  // Reached only if some handler swallowed the fault: end all the same.
  ::TerminateProcess(::GetCurrentProcess(), code);
  for (;;) ::Sleep(INFINITE);
}

}  // namespace velmora::crash

// GCC's code calls this for a pure virtual call; the C++ runtime's own version
// prints a message and calls std::terminate, which would not say what happened.
extern "C" void __cxa_pure_virtual() {
  velmora::crash::RaiseFault(velmora::crash::kPureVirtualCall, nullptr,
                             __builtin_return_address(0));
}
