// Drives the real program the way a user would: starts it, waits for its
// window, presses the button, reads the message box, presses OK and reports
// the exit code. Output, one fact a line (carriage returns and line feeds in
// texts shown as \r and \n):
//   caption: <message box caption>
//   text: <message box text>
//   archive: <the path named after the carriage return, if any>
//   button: enabled|disabled, progress: visible|hidden  (when the window stays open)
//   exit: <exit code of the program>
//   peak-working-set, peak-pagefile: <bytes>  (the program's peak memory, taken
//                          when its message box shows, the report done)
// Options after the program's path:
//   --env NAME=VALUE       sets a variable in the program's environment
//   --close-during-report  closes the window once the report has started
//                          (the progress bar shows) instead of waiting for it
//   --close-at-once        closes the window as soon as it shows (after
//                          "window: found"), without pressing the button
//   --press-enter          presses the button with the Enter key (keyboard
//                          input to the window in the foreground), not BM_CLICK
//   --timings              reports when the report ended and when each progress
//                          mark showed: clicked-unix-ms (the press, Unix time
//                          in ms), click-to-done-ms (from the press to the
//                          message box) and mark-N-ms (from the press to the
//                          bar's first position of at least N), for the benches
//   --pictures DIR         before pressing, lets the caller take pictures: makes
//                          DIR\plain.ready and waits for DIR\plain.taken; then
//                          moves the mouse pointer over the label until it is
//                          the hand (the link), says "link: hand" (or "link:
//                          not found"), makes DIR\hover.ready, waits for
//                          DIR\hover.taken and moves the pointer away
//   --crash FAULT          starts "PROGRAM FAULT" and waits for its crash box
//                          instead: caption, text, buttons (how many), button
//                          (the first one's caption), window (responding|hung|
//                          none: the program's own window while the box is
//                          shown); then presses the button and reports ended-ms
//                          (from the press to the end of the process) and exit;
//                          "box: none" when the program ended without one. The
//                          fault "remote-thread" starts PROGRAM alone and, once
//                          its window shows, starts a thread in it at address 0.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr DWORD kWindowTimeoutMs = 180'000;
constexpr DWORD kReportTimeoutMs = 600'000;
constexpr DWORD kThreadTimeoutMs = 120'000;

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
  return out;
}

std::wstring Escaped(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'\r') {
      out += L"\\r";
    } else if (c == L'\n') {
      out += L"\\n";
    } else {
      out += c;
    }
  }
  return out;
}

void Say(const char* key, const std::wstring& value) {
  std::printf("%s: %s\n", key, ToUtf8(value).c_str());
  std::fflush(stdout);
}

std::wstring WindowText(HWND window) {
  wchar_t buffer[4096] = {};
  ::SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer),
                        SMTO_ABORTIFHUNG, 5000, nullptr);
  return buffer;
}

template <typename Predicate>
HWND WaitForWindow(DWORD timeout_ms, HANDLE process, Predicate find) {
  const DWORD start = ::GetTickCount();
  while (::GetTickCount() - start < timeout_ms) {
    if (HWND found = find()) return found;
    if (::WaitForSingleObject(process, 100) == WAIT_OBJECT_0) return nullptr;
  }
  return nullptr;
}

// A visible top-level window of the process: a dialog (message box) or not.
struct WindowSearch {
  DWORD process_id;
  bool dialog;
  HWND found;
};

BOOL CALLBACK FindWindowOf(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  wchar_t class_name[64] = {};
  ::GetClassNameW(window, class_name, 64);
  if (owner == search->process_id && (std::wcscmp(class_name, L"#32770") == 0) == search->dialog &&
      ::IsWindowVisible(window)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND FindWindowOfProcess(DWORD process_id, bool dialog) {
  WindowSearch search = {process_id, dialog, nullptr};
  ::EnumWindows(&FindWindowOf, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The message box text is its longest static control's text.
std::wstring DialogMessage(HWND dialog) {
  std::wstring longest;
  for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    wchar_t class_name[64] = {};
    ::GetClassNameW(child, class_name, 64);
    if (_wcsicmp(class_name, L"Static") != 0) continue;
    std::wstring text = WindowText(child);
    if (text.size() > longest.size()) longest = text;
  }
  return longest;
}

std::vector<HWND> Buttons(HWND dialog) {
  std::vector<HWND> buttons;
  for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    wchar_t class_name[64] = {};
    ::GetClassNameW(child, class_name, 64);
    if (_wcsicmp(class_name, L"Button") == 0) buttons.push_back(child);
  }
  return buttons;
}

// Without the driver's console: Windows never gives a windowed program the
// console of the program that starts it, Wine does.
HANDLE StartProgram(std::wstring command, DWORD* process_id) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        nullptr, &startup, &info)) {
    return nullptr;
  }
  ::CloseHandle(info.hThread);
  *process_id = info.dwProcessId;
  return info.hProcess;
}

void SayExitCode(HANDLE process) {
  DWORD exit_code = 0;
  ::GetExitCodeProcess(process, &exit_code);
  std::printf("exit: %lu\n", static_cast<unsigned long>(exit_code));
  std::fflush(stdout);
}

int Fail(const char* what, HANDLE program = nullptr) {
  std::printf("error: %s\n", what);
  std::fflush(stdout);
  // A program left running would keep the caller's output open.
  if (program != nullptr) ::TerminateProcess(program, 99);
  return 2;
}

std::wstring WindowsPath(std::wstring path) {
  if (!path.empty() && path[0] == L'/') {
    path = L"Z:" + path;  // a Unix path
    for (wchar_t& c : path) {
      if (c == L'/') c = L'\\';
    }
  }
  return path;
}

void MakeFile(const std::wstring& path) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
}

bool WaitForFile(const std::wstring& path, HANDLE process) {
  return WaitForWindow(120'000, process, [&]() -> HWND {
           return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES
                      ? reinterpret_cast<HWND>(1)
                      : nullptr;
         }) != nullptr;
}

HCURSOR CurrentCursor() {
  CURSORINFO info = {};
  info.cbSize = sizeof(info);
  return ::GetCursorInfo(&info) ? info.hCursor : nullptr;
}

void MovePointer(HWND window, POINT client) {
  ::ClientToScreen(window, &client);
  ::SetCursorPos(client.x, client.y);
}

// Moves the pointer over the explanation (above the button), last line first,
// until the program shows a cursor other than its arrow: the hand over the
// link. (Cursor handles belong to the process that loaded them, so the
// program's arrow is learnt over an empty part of its window.)
bool PointAtLink(HWND main_window, HWND button) {
  MovePointer(main_window, {4, 4});
  ::Sleep(300);
  const HCURSOR arrow = CurrentCursor();
  RECT below;
  ::GetWindowRect(button, &below);
  ::MapWindowPoints(nullptr, main_window, reinterpret_cast<POINT*>(&below), 2);
  RECT client;
  ::GetClientRect(main_window, &client);
  for (int y = below.top - 4; y > 18; y -= 3) {
    for (int x = 10; x < client.right - 8; x += 5) {
      MovePointer(main_window, {x, y});
      for (int i = 0; i < 4; ++i) {
        ::Sleep(5);
        const HCURSOR cursor = CurrentCursor();
        if (cursor != nullptr && cursor != arrow) {
          ::Sleep(300);  // let the link repaint
          return true;
        }
      }
    }
  }
  return false;
}

// Pictures of the window, taken by the caller: before anything happens and
// with the pointer over the link.
bool TakePictures(const std::wstring& folder, HWND main_window, HWND button, HANDLE process) {
  MovePointer(main_window, {-40, -40});
  ::Sleep(500);
  MakeFile(folder + L"\\plain.ready");
  if (!WaitForFile(folder + L"\\plain.taken", process)) return false;
  Say("link", PointAtLink(main_window, button) ? L"hand" : L"not found");
  MakeFile(folder + L"\\hover.ready");
  if (!WaitForFile(folder + L"\\hover.taken", process)) return false;
  MovePointer(main_window, {-40, -40});
  return true;
}

// Enter on the window in the foreground, as a user presses it.
bool PressEnter(HWND main_window, HWND button, HANDLE process) {
  ::SetForegroundWindow(main_window);
  WaitForWindow(5'000, process,
                [&] { return ::GetForegroundWindow() == main_window ? main_window : nullptr; });
  INPUT keys[2] = {};
  keys[0].type = INPUT_KEYBOARD;
  keys[0].ki.wVk = VK_RETURN;
  keys[1] = keys[0];
  keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
  ::SendInput(2, keys, sizeof(INPUT));
  // The button is disabled as soon as it is pressed.
  return WaitForWindow(20'000, process,
                       [&] { return ::IsWindowEnabled(button) ? nullptr : button; }) != nullptr;
}

// Whether the window's thread takes a message within 3 seconds.
const wchar_t* WindowState(HWND window) {
  DWORD_PTR result = 0;
  return ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 3000, &result) != 0
             ? L"responding"
             : L"hung";
}

DWORD WINAPI CreateThreadAtZero(void* process) {
  const HANDLE thread = ::CreateRemoteThread(process, nullptr, 0, nullptr, nullptr, 0, nullptr);
  if (thread == nullptr) return 1;
  ::CloseHandle(thread);
  return 0;
}

// A thread of the program's own that faults at once: for a program that
// cannot be asked to fault. Wine makes a thread in another process through
// one of that process's threads, so a program that has stopped answering
// would hold the call for ever: it is made on a thread of its own, waited for
// a bounded time.
bool StartFaultingThread(HANDLE process, DWORD process_id) {
  const HWND window = WaitForWindow(kWindowTimeoutMs, process,
                                    [&] { return FindWindowOfProcess(process_id, false); });
  if (window == nullptr) return false;
  const HANDLE maker = ::CreateThread(nullptr, 0, &CreateThreadAtZero, process, 0, nullptr);
  if (maker == nullptr) return false;
  DWORD made = 1;
  if (::WaitForSingleObject(maker, kThreadTimeoutMs) != WAIT_OBJECT_0) {
    Say("window", WindowState(window));
  } else {
    ::GetExitCodeThread(maker, &made);
  }
  ::CloseHandle(maker);
  return made == 0;
}

int DriveCrash(const std::wstring& program, const std::wstring& fault) {
  const bool remote = fault == L"remote-thread";
  DWORD process_id = 0;
  const HANDLE process = StartProgram(remote ? program : program + L" " + fault, &process_id);
  if (process == nullptr) return Fail("cannot start the program");
  if (remote && !StartFaultingThread(process, process_id)) {
    return Fail("cannot start a thread in the program", process);
  }
  HWND box = WaitForWindow(kWindowTimeoutMs, process,
                           [&] { return FindWindowOfProcess(process_id, true); });
  if (box == nullptr) {
    if (::WaitForSingleObject(process, 0) != WAIT_OBJECT_0) return Fail("no crash box", process);
    Say("box", L"none");
    SayExitCode(process);
    return 0;
  }
  ::Sleep(200);  // let the box finish laying out its text
  Say("caption", WindowText(box));
  Say("text", Escaped(DialogMessage(box)));
  const std::vector<HWND> buttons = Buttons(box);
  Say("buttons", std::to_wstring(buttons.size()));
  if (buttons.empty()) return Fail("no button", process);
  Say("button", WindowText(buttons[0]));
  const HWND window = FindWindowOfProcess(process_id, false);
  Say("window", window == nullptr ? L"none" : WindowState(window));
  const DWORD pressed = ::GetTickCount();
  ::PostMessageW(buttons[0], BM_CLICK, 0, 0);
  if (::WaitForSingleObject(process, 30'000) != WAIT_OBJECT_0) {
    return Fail("program did not end", process);
  }
  Say("ended-ms", std::to_wstring(::GetTickCount() - pressed));
  SayExitCode(process);
  ::CloseHandle(process);
  return 0;
}

// Milliseconds since it was made, by the performance counter, and the Unix
// time at which it was made.
class Stopwatch {
 public:
  Stopwatch() {
    ::QueryPerformanceFrequency(&frequency_);
    ::QueryPerformanceCounter(&start_);
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    const unsigned long long ticks =
        (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    unix_ms_ = ticks / 10'000 - 11'644'473'600'000ULL;  // from 1601 to 1970
  }
  long long ElapsedMs() const {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return (now.QuadPart - start_.QuadPart) * 1000 / frequency_.QuadPart;
  }
  unsigned long long UnixMs() const { return unix_ms_; }

 private:
  LARGE_INTEGER frequency_{}, start_{};
  unsigned long long unix_ms_ = 0;
};

// Waits for the message box that ends the report like WaitForWindow, but
// looks every 10 ms, and notes when the progress bar first reached each
// position; says what it saw once the box is there.
HWND WaitTimingTheReport(HWND main_window, HANDLE process, DWORD process_id,
                         const Stopwatch& clicked) {
  constexpr int kPollMs = 10;
  HWND bar = ::FindWindowExW(main_window, nullptr, PROGRESS_CLASSW, nullptr);
  std::vector<long long> marks;  // marks[n - 1]: when position n was first seen
  HWND dialog = nullptr;
  long long done = 0;
  for (;;) {
    DWORD_PTR position = 0;
    if (bar != nullptr &&
        ::SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 1000, &position) != 0) {
      while (marks.size() < position) marks.push_back(clicked.ElapsedMs());
    }
    dialog = FindWindowOfProcess(process_id, true);
    done = clicked.ElapsedMs();
    if (dialog != nullptr || done > kReportTimeoutMs ||
        ::WaitForSingleObject(process, kPollMs) == WAIT_OBJECT_0) {
      break;
    }
  }
  if (dialog == nullptr) return nullptr;
  std::printf("clicked-unix-ms: %llu\nclick-to-done-ms: %lld\n", clicked.UnixMs(), done);
  for (size_t n = 0; n < marks.size(); ++n) {
    std::printf("mark-%zu-ms: %lld\n", n + 1, marks[n]);
  }
  std::fflush(stdout);
  return dialog;
}

}  // namespace

// Closes the window and waits for the program to end.
int CloseWindowAndWait(HWND main_window, HANDLE process, DWORD wait_ms) {
  ::PostMessageW(main_window, WM_CLOSE, 0, 0);
  if (::WaitForSingleObject(process, wait_ms) != WAIT_OBJECT_0) {
    return Fail("program did not end after its window closed", process);
  }
  SayExitCode(process);
  ::CloseHandle(process);
  return 0;
}

// Closes the window while the report runs and waits for the program to end.
int CloseDuringReport(HWND main_window, HANDLE process) {
  HWND bar = ::FindWindowExW(main_window, nullptr, PROGRESS_CLASSW, nullptr);
  const bool shown = WaitForWindow(kReportTimeoutMs, process, [&] {
                       return bar != nullptr && ::IsWindowVisible(bar) ? bar : nullptr;
                     }) != nullptr;
  Say("progress", shown ? L"visible" : L"never shown");
  ::Sleep(1000);  // well into the report
  return CloseWindowAndWait(main_window, process, 60'000);
}

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    return Fail(
        "usage: velmora_driver PROGRAM [--env NAME=VALUE] [--close-during-report] "
        "[--close-at-once] [--crash FAULT] [--press-enter] [--pictures DIR] [--timings]");
  }
  std::wstring program = argv[1];
  if (!program.empty() && program[0] == L'/') program = L"Z:" + program;  // a Unix path
  bool close_during_report = false;
  bool close_at_once = false;
  std::wstring crash_fault;
  bool press_enter = false;
  bool timings = false;
  std::wstring pictures;
  for (int i = 2; i < argc; ++i) {
    const std::wstring option = argv[i];
    if (option == L"--close-during-report") {
      close_during_report = true;
    } else if (option == L"--close-at-once") {
      close_at_once = true;
    } else if (option == L"--crash" && i + 1 < argc) {
      crash_fault = argv[++i];
    } else if (option == L"--timings") {
      timings = true;
    } else if (option == L"--press-enter") {
      press_enter = true;
    } else if (option == L"--pictures" && i + 1 < argc) {
      pictures = WindowsPath(argv[++i]);
    } else if (option == L"--env" && i + 1 < argc) {
      const std::wstring assignment = argv[++i];
      const size_t equals = assignment.find(L'=');
      if (equals == std::wstring::npos) return Fail("--env needs NAME=VALUE");
      ::SetEnvironmentVariableW(assignment.substr(0, equals).c_str(),
                                assignment.substr(equals + 1).c_str());
    } else {
      return Fail("unknown option");
    }
  }
  std::wstring command = L"\"" + program + L"\"";
  if (!crash_fault.empty()) return DriveCrash(command, crash_fault);
  DWORD process_id = 0;
  const HANDLE process = StartProgram(command, &process_id);
  if (process == nullptr) return Fail("cannot start the program");

  // The window exists before its controls do: wait until it is shown.
  HWND main_window = WaitForWindow(kWindowTimeoutMs, process, [] {
    HWND found = ::FindWindowW(L"TForm_VelmoraInfo", L"Velmora Helper");
    return found != nullptr && ::IsWindowVisible(found) ? found : nullptr;
  });
  if (main_window == nullptr) {
    if (::WaitForSingleObject(process, 0) == WAIT_OBJECT_0) SayExitCode(process);
    return Fail("no main window", process);
  }
  HWND button = ::FindWindowExW(main_window, nullptr, L"BUTTON", L"Click here to save report");
  if (button == nullptr) return Fail("no button", process);
  Say("window", L"found");
  if (close_at_once) return CloseWindowAndWait(main_window, process, 30'000);
  if (!pictures.empty() && !TakePictures(pictures, main_window, button, process)) {
    return Fail("pictures were not taken", process);
  }
  Stopwatch clicked;
  if (press_enter) {
    if (!PressEnter(main_window, button, process))
      return Fail("Enter did not press the button", process);
    Say("pressed", L"Enter");
  } else {
    clicked = Stopwatch();
    ::PostMessageW(button, BM_CLICK, 0, 0);
  }
  if (close_during_report) return CloseDuringReport(main_window, process);

  HWND dialog = timings ? WaitTimingTheReport(main_window, process, process_id, clicked)
                        : WaitForWindow(kReportTimeoutMs, process,
                                        [&] { return FindWindowOfProcess(process_id, true); });
  if (dialog == nullptr) return Fail("no message box", process);
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof(memory);
  if (::GetProcessMemoryInfo(process, &memory, sizeof(memory))) {
    Say("peak-working-set", std::to_wstring(memory.PeakWorkingSetSize));
    Say("peak-pagefile", std::to_wstring(memory.PeakPagefileUsage));
  }
  ::Sleep(200);  // let the box finish laying out its text
  const std::wstring text = DialogMessage(dialog);
  Say("caption", WindowText(dialog));
  Say("text", Escaped(text));
  const size_t cr = text.find(L'\r');
  if (cr != std::wstring::npos) Say("archive", text.substr(cr + 1));

  HWND ok = ::GetDlgItem(dialog, IDOK);
  if (ok != nullptr) {
    ::PostMessageW(ok, BM_CLICK, 0, 0);
  } else {
    ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  }
  if (::WaitForSingleObject(process, 3'000) != WAIT_OBJECT_0) {
    // A failed report leaves the window open, ready for another try: close it.
    Say("button", ::IsWindowEnabled(button) ? L"enabled" : L"disabled");
    HWND bar = ::FindWindowExW(main_window, nullptr, PROGRESS_CLASSW, nullptr);
    Say("progress", bar != nullptr && ::IsWindowVisible(bar) ? L"visible" : L"hidden");
    ::PostMessageW(main_window, WM_CLOSE, 0, 0);
    if (::WaitForSingleObject(process, 30'000) != WAIT_OBJECT_0) {
      return Fail("program did not end", process);
    }
  }
  SayExitCode(process);
  ::CloseHandle(process);
  return 0;
}
