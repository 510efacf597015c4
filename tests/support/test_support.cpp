#include "support/test_support.h"

#include <atomic>
#include <functional>

#include "app/working_folder.h"
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

ScratchFolder::~ScratchFolder() {
  RemoveFolder(path_);
}

StashedFolder::StashedFolder(std::wstring path)
    : path_(std::move(path)), aside_(path_ + L" (moved aside by a test)") {
  RemoveFolder(aside_);
  moved_ = ::MoveFileW(path_.c_str(), aside_.c_str()) != FALSE;
  ::CreateDirectoryW(path_.c_str(), nullptr);
}

StashedFolder::~StashedFolder() {
  RemoveFolder(path_);
  if (moved_) ::MoveFileW(aside_.c_str(), path_.c_str());
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  WriteWholeFile(path, bytes);
}

std::string ReadBytes(const std::wstring& path) {
  return ReadWholeFile(path);
}

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

std::string UnixPathOf(const std::wstring& path) {
  using UnixFileNameFn = char*(CDECL*)(const wchar_t*);
  static const auto unix_file_name = reinterpret_cast<UnixFileNameFn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (unix_file_name == nullptr) return {};
  char* name = unix_file_name(WithoutTrailingBackslash(path).c_str());
  if (name == nullptr) return {};
  std::string result = name;
  ::HeapFree(::GetProcessHeap(), 0, name);
  return result;
}

namespace {

// Runs a Unix tool with Wine's splitting of the arguments, and waits (Wine
// does not follow a Unix program to its end) until `done` says so.
bool RunUnixTool(const wchar_t* tool, const std::string& arguments,
                 const std::function<bool()>& done) {
  std::wstring command = std::wstring(tool) + L" " + DecodeCodePage(arguments, CP_UTF8);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(tool, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    return false;
  }
  // For a Unix program Wine gives no process handle and leaves whatever
  // value in the thread's: closing that would close one of ours.
  if (process.hProcess != nullptr) {
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
  for (int tries = 0; tries < 100; ++tries) {
    if (done()) return true;
    ::Sleep(50);
  }
  return false;
}

}  // namespace

bool MakeUnixSymlink(const std::wstring& target, const std::wstring& link) {
  return RunUnixTool(
      L"Z:\\bin\\ln", "-s \"" + UnixPathOf(target) + "\" \"" + UnixPathOf(link) + "\"",
      [&link] { return ::GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES; });
}

bool RemoveUnixSymlink(const std::wstring& link) {
  return RunUnixTool(
      L"Z:\\bin\\rm", "-f \"" + UnixPathOf(WithoutTrailingBackslash(link)) + "\"",
      [&link] { return ::GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES; });
}

bool SwapForUnixSymlink(const std::wstring& folder, const std::wstring& aside,
                        const std::wstring& target) {
  const std::string from = UnixPathOf(WithoutTrailingBackslash(folder));
  return RunUnixTool(L"Z:\\bin\\sh",
                     "-c \"mv '" + from + "' '" + UnixPathOf(aside) + "' && ln -s '" +
                         UnixPathOf(target) + "' '" + from + "'\"",
                     [&] {
                       return ::GetFileAttributesW(aside.c_str()) != INVALID_FILE_ATTRIBUTES &&
                              ::GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES;
                     });
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

MessageRecorder::~MessageRecorder() {
  ::DestroyWindow(window_);
}

LRESULT CALLBACK MessageRecorder::Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<MessageRecorder*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self != nullptr && message == self->message_) {
    if (self->before_recording) self->before_recording(wparam, lparam);
    self->Record(wparam, lparam);
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

void MessageRecorder::PumpSentUntilSignalled(HANDLE thread) {
  MSG msg;
  while (::WaitForSingleObject(thread, 0) != WAIT_OBJECT_0) {
    ::MsgWaitForMultipleObjects(1, &thread, FALSE, 100, QS_SENDMESSAGE);
    ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
  PumpUntilSignalled(thread);
}

}  // namespace velmora::test
