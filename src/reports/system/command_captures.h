// Facts taken from Windows console tools: the "systeminfo" listing and the
// verbose scheduled-task list, both run hidden through cmd.exe.
#pragma once

#include <windows.h>

#include <chrono>
#include <string>

#include "common/report_list.h"

namespace velmora {

// How long a console tool may take before the capture gives up on it, ends it
// and goes on with what it wrote so far. "systeminfo" usually needs seconds.
constexpr std::chrono::milliseconds kSystemInfoWaitLimit = std::chrono::minutes(2);
constexpr std::chrono::milliseconds kScheduledTasksWaitLimit = std::chrono::minutes(2);

// The date line, an empty line, "===== System =====", then the tool's lines.
// The list belongs to this module and is refilled by every capture.
const ReportList& CaptureSystemInfo(std::chrono::milliseconds wait_limit = kSystemInfoWaitLimit);

// Lets "schtasks.exe" write its verbose task list (code page 437) to `target`,
// a new file in place of whatever was there.
void CaptureScheduledTasks(const std::wstring& target,
                           std::chrono::milliseconds wait_limit = kScheduledTasksWaitLimit);

// Starts the command line with the given show-window value and waits for it,
// ending it (and what it started) when it outlives the limit or the report
// is being stopped. With `output`, the command's standard output goes to that
// file handle. False when it could not be started.
bool RunHidden(const std::wstring& command_line, WORD show_window,
               std::chrono::milliseconds wait_limit, HANDLE output = nullptr);

// Text lines of a file's bytes: a byte-order mark selects UTF-8 or UTF-16,
// anything else is read in the system's ANSI code page.
ReportList DecodeTextLines(const std::string& bytes);

}  // namespace velmora
