// Helpers for tests that run under Wine against the real platform.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace velmora::test {

// The folder that holds the test executable, the program and the fixtures.
std::wstring BinDir();

// A fresh folder under the temporary folder, removed with its content at the end.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::wstring& name = L"velmora-test");
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  // With trailing backslash.
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

// A folder that the prefix may hold, emptied for a test: its content is moved
// aside and brought back (in place of whatever the test left) at the end.
class StashedFolder {
 public:
  explicit StashedFolder(std::wstring path);
  ~StashedFolder();
  StashedFolder(const StashedFolder&) = delete;
  StashedFolder& operator=(const StashedFolder&) = delete;
  // Without trailing backslash.
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
  std::wstring aside_;
  bool moved_ = false;
};

void WriteBytes(const std::wstring& path, const std::string& bytes);
std::string ReadBytes(const std::wstring& path);
bool PathExists(const std::wstring& path);
std::string Utf16LeBytes(const std::wstring& text);

// The Unix path Wine maps a Windows path to; empty outside Wine.
std::string UnixPathOf(const std::wstring& path);
// Plants a Unix symbolic link, which Wine shows as a reparse point: the
// junctions and links a hostile user could put in the program's way.
bool MakeUnixSymlink(const std::wstring& target, const std::wstring& link);
// Removes such a link (Wine cannot remove a link to a folder itself).
bool RemoveUnixSymlink(const std::wstring& link);
// Renames `folder` to `aside` and plants a Unix link to `target` in its place,
// as one Unix command: the swap a hostile program makes while the folder is
// in use (Unix renames ignore Windows' sharing, the worst case).
bool SwapForUnixSymlink(const std::wstring& folder, const std::wstring& aside,
                        const std::wstring& target);

// Makes sure a shell process (explorer.exe) runs: Wine starts its desktop
// process for the first window and ends it again when it has been idle.
bool EnsureShellRunning();

// A hidden window on the calling thread that records what it is sent or posted.
class MessageRecorder {
 public:
  explicit MessageRecorder(UINT message);
  ~MessageRecorder();
  MessageRecorder(const MessageRecorder&) = delete;
  MessageRecorder& operator=(const MessageRecorder&) = delete;
  HWND handle() const { return window_; }
  // (wParam, lParam) pairs in the order they arrived.
  const std::vector<std::pair<WPARAM, LPARAM>>& received() const { return received_; }
  // Pumps messages until the thread has ended and nothing is left in the queue.
  void PumpUntilSignalled(HANDLE thread);
  // A window slow to take its queue: only sent messages until the thread has
  // ended, then the posted ones.
  void PumpSentUntilSignalled(HANDLE thread);
  // Runs before each message is recorded, and may record others first.
  std::function<void(WPARAM, LPARAM)> before_recording;
  void Record(WPARAM wparam, LPARAM lparam) { received_.emplace_back(wparam, lparam); }

 private:
  static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
  UINT message_;
  HWND window_ = nullptr;
  std::vector<std::pair<WPARAM, LPARAM>> received_;
};

}  // namespace velmora::test
