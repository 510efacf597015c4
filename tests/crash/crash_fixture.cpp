// A small window program that links the crash reporter and faults on request,
// for the end-to-end test of crash reports. Its one argument names the fault:
//   window-access-violation  a write through a null pointer on the window thread
//   worker-access-violation  the same on a worker thread; the window keeps running
//   stack-overflow           endless recursion on the window thread
//   cpp-exception            a std::runtime_error that no one catches on its thread
//   pure-virtual-call        a call of a pure virtual function during construction
//   abort                    abort()
//   second-fault             an access violation whose report then faults again
#include <windows.h>

#include <cstdlib>
#include <cwchar>
#include <stdexcept>

#include "crash/crash_reporter.h"
#include "crash/report_sections.h"
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

void Fault() {
  const std::wstring fault = g_fault;
  if (fault == L"window-access-violation" || fault == L"second-fault") {
    FaultWithAccessViolation();
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
      Fault();
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
  velmora::crash::InstallCrashReporter(
      {L"Velmora Crash Fixture", L"1.2.3.4", L"Windows as the fixture sees it"});
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
