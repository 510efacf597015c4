// A console that writes UTF-8, lent to a console tool whose text must come out
// whole: a tool writes its redirected output in its console's output code
// page, and the OEM page that a new console starts with lacks most of the
// world's characters (a Greek task name on a Turkish machine comes out as
// question marks). The console is made for the purpose and set to UTF-8
// before the tool starts, so every byte the tool writes is in one code page.
//
// A program cannot make a console without a window for itself (a console of
// its own would show one, or open Windows Terminal), nor set the code page of
// a console that a tool makes for itself before the tool writes. So the
// console belongs to a holder: the system's find.exe, started with no window
// and waiting on an empty input that this object holds open. The program
// attaches to the holder's console only for the moment that it sets the code
// page and starts the tool, which inherits the console. Where any step fails
// (Windows 2000 has no AttachConsole) the tool gets a console of its own, in
// the OEM page, as before.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "common/handles.h"

namespace velmora {

class BackgroundTool;

// How long the holder's console may take to come up.
constexpr std::chrono::milliseconds kConsoleHolderWaitLimit = std::chrono::seconds(5);

class Utf8Console {
 public:
  // Starts the holder from `system_folder` (trailing backslash) and sets its
  // console to UTF-8.
  explicit Utf8Console(const std::wstring& system_folder);
  // Lets the holder go; a tool started in the console keeps it.
  ~Utf8Console();
  Utf8Console(const Utf8Console&) = delete;
  Utf8Console& operator=(const Utf8Console&) = delete;

  // True when the console is there and writes UTF-8.
  bool ready() const { return ready_; }

  // Runs `start` while this process is attached to the console, so that a
  // console program that `start` creates without console flags shares it.
  // False, with `start` not run, when the console is not ready or cannot be
  // attached; otherwise what `start` returned.
  bool Lend(const std::function<bool()>& start) const;

 private:
  UniqueHandle input_;  // the holder's empty input, held open until it may end
  std::unique_ptr<BackgroundTool> holder_;
  DWORD holder_id_ = 0;
  bool ready_ = false;
};

}  // namespace velmora
