#include "support/test_support.h"

#include <atomic>

#include "app/report_job.h"
#include "common/report_file.h"
#include "common/strings.h"
#include "environment/accounts.h"
#include "environment/folders.h"

namespace velmora::test {

std::wstring BinDir() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return SplitAtLastBackslash(path).first;
}

ScratchFolder::ScratchFolder(const std::wstring& name) {
  static std::atomic<int> counter{0};
  path_ = GetTempDir() + name + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
          std::to_wstring(counter++) + L"\\";
  RemoveFolder(path_);
  ::CreateDirectoryW(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() { RemoveFolder(path_); }

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  WriteWholeFile(path, bytes);
}

std::string ReadBytes(const std::wstring& path) { return ReadWholeFile(path); }

bool PathExists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Utf16LeBytes(const std::wstring& text) {
  std::string bytes;
  for (wchar_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

bool EnsureShellRunning() {
  HWND window = ::CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                ::GetModuleHandleW(nullptr), nullptr);
  bool running = false;
  for (int i = 0; i < 100 && !running; ++i) {
    running = FindProcessByName(L"explorer.exe", L"") != 0;
    if (!running) ::Sleep(100);
  }
  ::DestroyWindow(window);
  return running;
}

MessageRecorder::MessageRecorder(UINT message) : message_(message) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = &MessageRecorder::Proc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"VelmoraTestRecorder";
  ::RegisterClassW(&wc);
  window_ = ::CreateWindowW(L"VelmoraTestRecorder", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                            nullptr, wc.hInstance, nullptr);
  ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

MessageRecorder::~MessageRecorder() { ::DestroyWindow(window_); }

LRESULT CALLBACK MessageRecorder::Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<MessageRecorder*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self != nullptr && message == self->message_) {
    self->received_.emplace_back(wparam, lparam);
    return 0;
  }
  return ::DefWindowProcW(hwnd, message, wparam, lparam);
}

void MessageRecorder::PumpUntilSignalled(HANDLE thread) {
  for (;;) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    if (::WaitForSingleObject(thread, 0) == WAIT_OBJECT_0) break;
    ::MsgWaitForMultipleObjects(1, &thread, FALSE, 100, QS_ALLINPUT);
  }
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
}

}  // namespace velmora::test
