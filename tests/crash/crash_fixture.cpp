// A small window program that links the crash reporter and faults on request,
// for the end-to-end test of crash reports. Its one argument names the fault:
//   window-access-violation  a write through a null pointer on the window thread
//   worker-access-violation  the same on a worker thread; the window keeps running
//   stack-overflow           endless recursion on the window thread
//   cpp-exception            a std::runtime_error that no one catches on its thread
//   pure-virtual-call        a call of a pure virtual function during construction
//   abort                    abort()
//   second-fault             an access violation whose report then faults again
//   two-faults               access violations on the window thread and a worker
//                            at the same moment (writing 0x10 and reading 0x20)
//   loader-lock-held         an access violation while another thread holds the
//                            loader's lock until the report is saved; the report
//                            may take 30 seconds
//   fault-in-static-destructor  the window closes, and a static object's
//                            destructor, the last to run, writes through null
//   fault-while-ending       the window closes, and the process, after it has
//                            ended every other thread, calls back into the
//                            program, which writes through null
//   symbols-started          no fault: ends at once after installing the
//                            reporter, with 0 when its symbol handler has
//                            started by then and 1 when not
#include <windows.h>

#include <cstdlib>
#include <cwchar>
#include <stdexcept>
#include <string>

#include "crash/crash_reporter.h"
#include "crash/report_sections.h"
#include "crash/stack_walk.h"
#include "reports/system/process_sections.h"
#include "ui/thread.h"

namespace {

constexpr UINT WM_FAULT = WM_APP + 1;
constexpr wchar_t kWindowClass[] = L"VelmoraCrashFixture";

const wchar_t* g_fault = L"";
// Read at run time, so that the compiler cannot see the faults coming.
volatile uintptr_t g_bad_address = 0x10;
volatile bool g_recurse = true;

// Each fault in a function of its own, so that the report names it in the stack.
__attribute__((noinline)) void WriteThroughNull(volatile int* target) {
  *target = 0x5A;
}

__attribute__((noinline)) void FaultWithAccessViolation() {
  WriteThroughNull(reinterpret_cast<volatile int*>(g_bad_address));
}

__attribute__((noinline)) int Recurse(int depth) {
  volatile char frame[1024];
  frame[0] = static_cast<char>(depth);
  return g_recurse ? Recurse(depth + 1) + frame[0] : 0;
}

__attribute__((noinline)) int ReadThroughNull(volatile int* source) {
  return *source;
}

// Released together with the window thread's own fault.
volatile bool g_fault_now = false;

DWORD WINAPI FaultWithTheWindowThread(void*) {
  while (!g_fault_now) {
  }
  return ReadThroughNull(reinterpret_cast<volatile int*>(g_bad_address + 0x10));
}

constexpr DWORD kShortTimeLimitMs = 30'000;
constexpr DWORD kLoaderLockHoldLimitMs = 120'000;

using LdrLockLoaderLockFn = LONG(NTAPI*)(ULONG, ULONG*, ULONG_PTR*);
using LdrUnlockLoaderLockFn = LONG(NTAPI*)(ULONG, ULONG_PTR);

struct LoaderLockHolder {
  HANDLE held;
  std::wstring report_file;
};

// Holds the loader's lock, as a thread in a DLL's start-up code does, until
// the report is saved (the box may need the lock).
DWORD WINAPI HoldLoaderLock(void* parameter) {
  const auto* holder = static_cast<const LoaderLockHolder*>(parameter);
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  const auto lock = reinterpret_cast<LdrLockLoaderLockFn>(
      reinterpret_cast<void*>(::GetProcAddress(ntdll, "LdrLockLoaderLock")));
  const auto unlock = reinterpret_cast<LdrUnlockLoaderLockFn>(
      reinterpret_cast<void*>(::GetProcAddress(ntdll, "LdrUnlockLoaderLock")));
  ULONG_PTR cookie = 0;
  lock(0, nullptr, &cookie);
  ::SetEvent(holder->held);
  for (DWORD waited = 0;
       waited < kLoaderLockHoldLimitMs &&
       ::GetFileAttributesW(holder->report_file.c_str()) == INVALID_FILE_ATTRIBUTES;
       waited += 100) {
    ::Sleep(100);
  }
  unlock(0, cookie);
  return 0;
}

// Armed, it faults when destroyed. Made before any other static object of the
// program, it is destroyed after all of them.
struct FaultOnDestruction {
  bool armed = false;
  ~FaultOnDestruction() {
    if (armed) FaultWithAccessViolation();
  }
};
FaultOnDestruction g_fault_on_destruction __attribute__((init_priority(101)));

using FlsAllocFn = DWORD(WINAPI*)(PFLS_CALLBACK_FUNCTION);
using FlsSetValueFn = BOOL(WINAPI*)(DWORD, PVOID);

void WINAPI FaultWhileEnding(void*) {
  FaultWithAccessViolation();
}

// The process calls a fiber-local value's callback for its last thread while
// it ends, after every other thread is gone.
void FaultWhenTheProcessEnds() {
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  const auto fls_alloc =
      reinterpret_cast<FlsAllocFn>(reinterpret_cast<void*>(::GetProcAddress(kernel, "FlsAlloc")));
  const auto fls_set = reinterpret_cast<FlsSetValueFn>(
      reinterpret_cast<void*>(::GetProcAddress(kernel, "FlsSetValue")));
  fls_set(fls_alloc(&FaultWhileEnding), reinterpret_cast<void*>(1));
}

DWORD WINAPI ThrowOnThread(void*) {
  throw std::runtime_error("the disk map could not be read");
}

// The object under construction, reached through memory the compiler cannot
// see into: its virtual call then really goes through Base's table.
struct Base;
Base* volatile g_under_construction = nullptr;

__attribute__((noinline)) void RunObjectUnderConstruction();

struct Base {
  Base() {
    g_under_construction = this;
    RunObjectUnderConstruction();
  }
  virtual ~Base() = default;
  virtual void Run() = 0;
};

struct Derived : Base {
  void Run() override {}
};

void RunObjectUnderConstruction() {
  g_under_construction->Run();
}

class FaultingWorker : public velmora::ui::Thread {
 protected:
  void Execute() override { FaultWithAccessViolation(); }
};

std::wstring FaultAgainWhileReporting() {
  FaultWithAccessViolation();
  return L"not reached";
}

void Fault(HWND window) {
  const std::wstring fault = g_fault;
  if (fault == L"window-access-violation" || fault == L"second-fault") {
    FaultWithAccessViolation();
  } else if (fault == L"two-faults") {
    ::CloseHandle(::CreateThread(nullptr, 0, &FaultWithTheWindowThread, nullptr, 0, nullptr));
    ::Sleep(200);  // the worker spins, ready
    g_fault_now = true;
    FaultWithAccessViolation();
  } else if (fault == L"loader-lock-held") {
    wchar_t program[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring report_file = program;
    report_file = report_file.substr(0, report_file.rfind(L'\\') + 1) + L"bugreport.txt";
    static const LoaderLockHolder holder = {::CreateEventW(nullptr, TRUE, FALSE, nullptr),
                                            report_file};
    ::CloseHandle(::CreateThread(nullptr, 0, &HoldLoaderLock,
                                 const_cast<LoaderLockHolder*>(&holder), 0, nullptr));
    ::WaitForSingleObject(holder.held, INFINITE);
    FaultWithAccessViolation();
  } else if (fault == L"fault-in-static-destructor") {
    g_fault_on_destruction.armed = true;
    ::DestroyWindow(window);
  } else if (fault == L"fault-while-ending") {
    FaultWhenTheProcessEnds();
    ::DestroyWindow(window);
  } else if (fault == L"worker-access-violation") {
    auto* worker = new FaultingWorker();
    worker->SetFreeOnTerminate(true);
    worker->Start();
  } else if (fault == L"stack-overflow") {
    Recurse(0);
  } else if (fault == L"cpp-exception") {
    ::CloseHandle(::CreateThread(nullptr, 0, &ThrowOnThread, nullptr, 0, nullptr));
  } else if (fault == L"pure-virtual-call") {
    Derived derived;
  } else if (fault == L"abort") {
    std::abort();
  }
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_FAULT:
      Fault(window);
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcW(window, message, wparam, lparam);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR command_line, int) {
  g_fault = command_line;
  velmora::crash::CrashReporterSettings settings;
  settings.program_name = L"Velmora Crash Fixture";
  settings.program_version = L"1.2.3.4";
  settings.windows_version = L"Windows as the fixture sees it";
  if (std::wcscmp(command_line, L"loader-lock-held") == 0) {
    settings.time_limit_ms = kShortTimeLimitMs;
  }
  velmora::crash::InstallCrashReporter(settings);
  if (std::wcscmp(command_line, L"symbols-started") == 0) {
    return velmora::crash::HaveDbgHelp() ? 0 : 1;
  }
  velmora::RegisterProcessSections();
  if (std::wcscmp(command_line, L"second-fault") == 0) {
    velmora::crash::RegisterSection(L"faulty", L"a section that faults", &FaultAgainWhileReporting);
  }
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = &WindowProc;
  window_class.hInstance = instance;
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kWindowClass;
  ::RegisterClassExW(&window_class);
  HWND window = ::CreateWindowExW(0, kWindowClass, L"Crash fixture", WS_OVERLAPPEDWINDOW, 100, 100,
                                  320, 200, nullptr, nullptr, instance, nullptr);
  ::ShowWindow(window, SW_SHOWNORMAL);
  ::PostMessageW(window, WM_FAULT, 0, 0);
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  velmora::crash::WaitWhileReporting();
  return 0;
}
