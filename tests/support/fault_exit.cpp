// Linked into every test program: a fault that nothing handles ends the
// program at once with the exception's code, so that its suite fails at once
// instead of waiting on a crash dialog that no one will close.
#include <windows.h>

#include <cstdio>

namespace {

LONG WINAPI EndWithTheFaultsCode(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  std::fprintf(stderr, "\nUnhandled exception 0x%08lX at %p: the test program ends.\n",
               static_cast<unsigned long>(record.ExceptionCode), record.ExceptionAddress);
  std::fflush(stderr);
  std::fflush(stdout);
  ::TerminateProcess(::GetCurrentProcess(), record.ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

const bool installed = [] {
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  ::SetUnhandledExceptionFilter(&EndWithTheFaultsCode);
  return true;
}();

}  // namespace
