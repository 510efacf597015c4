// Facts taken from Windows console tools: the "systeminfo" listing and the
// verbose scheduled-task list.
//
// The program runs elevated: the tools are started by their full paths in the
// system folder, from the system folder, without a shell (cmd would expand
// %NAME% and !NAME! in any path it is given, and the temporary folder's path
// is the user's to choose); the program hands them their output file itself,
// in the report's private working folder. So nothing a user can plant or
// rewrite (the current folder, PATH, the environment) decides what runs.
//
// Both tools write in the code page of the console they are given, and are
// read in it: systeminfo in a console of its own, whose code page is the OEM
// one whatever the system's language; schtasks, whose task names may be in
// any language, in a console set to UTF-8 where one can be lent to it.
#pragma once

#include <windows.h>

#include <chrono>
#include <memory>
#include <string>

#include "common/handles.h"
#include "common/report_list.h"
#include "common/ticks.h"
#include "reports/system/tool_job.h"
#include "reports/system/utf8_console.h"

namespace velmora {

// How long a console tool may take before the capture gives up on it, ends it
// and goes on with what it wrote so far. "systeminfo" usually needs seconds.
constexpr std::chrono::milliseconds kSystemInfoWaitLimit = std::chrono::minutes(2);
constexpr std::chrono::milliseconds kScheduledTasksWaitLimit = std::chrono::minutes(2);

// What of the "systeminfo" output is read back: real machines write some tens
// of kilobytes; a tool gone wrong could fill the disk. The lines beyond it are
// left out and a note line says so.
constexpr size_t kSystemInfoReadLimit = 4u << 20;
constexpr size_t kScheduledTasksReadLimit = 16u << 20;

// A console of their own with no window, so that no console host (Windows
// Terminal among them) can put one on screen; SW_HIDE alone is a request that
// a terminal may not follow. Not DETACHED_PROCESS: a tool without a console
// writes nothing in some Windows versions, and knows no code page to write in.
constexpr DWORD kToolCreationFlags = NORMAL_PRIORITY_CLASS | CREATE_NO_WINDOW;

// Where the tools are and where their files go.
struct ToolPlaces {
  std::wstring tools_folder;  // systeminfo.exe and schtasks.exe; trailing backslash
  std::wstring work_folder;   // the report's working folder; trailing backslash
};

// The system folder's tools, with their files in `work_folder`.
ToolPlaces SystemToolPlaces(const std::wstring& work_folder);

// A console tool started in the background. It runs hidden, in a job of its
// own, with the system folder as its current folder; what it (or anything it
// started) still runs when the object goes is ended.
class BackgroundTool {
 public:
  // Starts `command_line` with `program` (a full path); its standard output
  // goes to `output` and its input comes from `input` when given. `limit`
  // counts from now. With a ready `console` the tool runs in that console
  // instead of one of its own.
  BackgroundTool(const std::wstring& program, const std::wstring& command_line, WORD show_window,
                 std::chrono::milliseconds limit, HANDLE output = nullptr, HANDLE input = nullptr,
                 const Utf8Console* console = nullptr);
  ~BackgroundTool();
  BackgroundTool(const BackgroundTool&) = delete;
  BackgroundTool& operator=(const BackgroundTool&) = delete;

  bool started() const { return process_.valid(); }
  bool running() const;
  DWORD process_id() const;
  // True when the tool runs in the console it was lent.
  bool in_lent_console() const { return in_lent_console_; }
  // Waits until the tool ends, its time is up or the report is being stopped,
  // and ends it with everything it started unless it ended by itself.
  void Finish();

 private:
  UniqueHandle process_;
  ToolJob job_;
  TickDeadline deadline_;
  bool finished_ = false;
  bool in_lent_console_ = false;
};

// "systeminfo" at work, writing into "SystemInfo_" + time stamp + ".txt".
class SystemInfoCapture {
 public:
  SystemInfoCapture(const ToolPlaces& places, std::chrono::milliseconds wait_limit);
  ~SystemInfoCapture();
  SystemInfoCapture(const SystemInfoCapture&) = delete;
  SystemInfoCapture& operator=(const SystemInfoCapture&) = delete;

  // Waits for the tool as BackgroundTool::Finish does; then the date line,
  // an empty line, "===== System =====" and the tool's lines. The list
  // belongs to this module and is refilled by every capture.
  const ReportList& Take();

 private:
  std::wstring output_path_;
  UniqueHandle output_;
  std::unique_ptr<BackgroundTool> tool_;
};

// "schtasks.exe" at work; its verbose task list goes into `target`, a new file
// in place of whatever was there, as ScheduledTasksText gives it.
class ScheduledTasksCapture {
 public:
  ScheduledTasksCapture(const ToolPlaces& places, const std::wstring& target,
                        std::chrono::milliseconds wait_limit);
  ~ScheduledTasksCapture();
  ScheduledTasksCapture(const ScheduledTasksCapture&) = delete;
  ScheduledTasksCapture& operator=(const ScheduledTasksCapture&) = delete;

  // Waits for the tool as BackgroundTool::Finish does; the target then holds its list.
  void Take();

 private:
  std::wstring target_;
  std::wstring output_path_;
  UniqueHandle output_;
  // Task names and paths may be in any language: the tool writes in UTF-8
  // where it can be given such a console.
  std::unique_ptr<Utf8Console> console_;
  std::unique_ptr<BackgroundTool> tool_;
};

// Each capture started and taken at once.
const ReportList& CaptureSystemInfo(const ToolPlaces& places,
                                    std::chrono::milliseconds wait_limit = kSystemInfoWaitLimit);
void CaptureScheduledTasks(const ToolPlaces& places, const std::wstring& target,
                           std::chrono::milliseconds wait_limit = kScheduledTasksWaitLimit);

// Starts the command line with the given show-window value and waits for it,
// ending it (and what it started) when it outlives the limit or the report
// is being stopped. With `output`, the command's standard output goes to that
// file handle. False when it could not be started.
bool RunHidden(const std::wstring& program, const std::wstring& command_line, WORD show_window,
               std::chrono::milliseconds wait_limit, HANDLE output = nullptr);

// The code page the console tools write in: that of a new console.
UINT ToolCodePage();

// The code page that a tool given a console in `console_code_page` really
// wrote `bytes` in: a tool that does not write UTF-8 in a UTF-8 console
// writes in the OEM page, as in a console of its own.
UINT WrittenCodePage(const std::string& bytes, UINT console_code_page);

// The task list as "taskschd.txt" holds it, readable on any machine: bytes
// that are all ASCII as the tool wrote them (the same in every code page),
// anything else decoded from `code_page` and written as UTF-8 after its
// byte-order mark (ASCII stays one byte, as in the tool's own output). With
// `cut`, a last line says that the list was longer.
std::string ScheduledTasksText(const std::string& bytes, UINT code_page, bool cut);

// Text lines of a file's bytes: a byte-order mark selects UTF-8 or UTF-16,
// anything else is read in `unmarked_code_page`.
ReportList DecodeTextLines(const std::string& bytes, UINT unmarked_code_page);

}  // namespace velmora
