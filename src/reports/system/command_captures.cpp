#include "reports/system/command_captures.h"

#include <shellapi.h>

#include "common/date_text.h"
#include "common/handles.h"
#include "common/report_file.h"
#include "common/strings.h"
#include "common/ticks.h"

namespace velmora {

namespace {

constexpr DWORD kPollIntervalMs = 100;

// Created with the module and refilled by each capture.
ReportList g_system_info;

std::wstring TempFolder260() {
  wchar_t buffer[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, buffer);
  return EnsureTrailingBackslash(FromBuffer(buffer, MAX_PATH));
}

std::wstring TimeStamp17() {
  SYSTEMTIME t;
  ::GetLocalTime(&t);
  return Format(L"%04u%02u%02u%02u%02u%02u%03u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond, t.wMilliseconds);
}

// A job that the tools run in, so that a tool that hangs can be ended with
// everything it started.
UniqueHandle JobFor(HANDLE process) {
  UniqueHandle job(::CreateJobObjectW(nullptr, nullptr));
  if (job && process != nullptr) ::AssignProcessToJobObject(job.get(), process);
  return job;
}

void EndTool(HANDLE job, HANDLE process) {
  if (job != nullptr) ::TerminateJobObject(job, 1);
  if (process != nullptr) {
    ::TerminateProcess(process, 1);
    ::WaitForSingleObject(process, 5000);
  }
}

bool CanOpenExclusively(const std::wstring& path) {
  UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.valid();
}

// Waits until the redirected output is complete: the shell has let go of the
// file. False when the limit ran out, or the shell ended without making it.
bool WaitForOutput(const std::wstring& path, HANDLE shell, std::chrono::milliseconds limit) {
  const TickDeadline deadline(static_cast<DWORD>(limit.count()));
  for (;;) {
    const bool shell_ended = shell == nullptr || ::WaitForSingleObject(shell, 0) == WAIT_OBJECT_0;
    if (CanOpenExclusively(path)) return true;
    if (shell_ended && ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    if (deadline.Passed()) return false;
    ::Sleep(kPollIntervalMs);
  }
}

std::wstring DecodeWithMark(const std::string& bytes) {
  if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) return DecodeCodePage(bytes.substr(3), CP_UTF8);
  if (bytes.rfind("\xFF\xFE", 0) == 0 || bytes.rfind("\xFE\xFF", 0) == 0) {
    const bool big_endian = bytes[0] == '\xFE';
    std::wstring text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      const auto lo = static_cast<unsigned char>(bytes[i + (big_endian ? 1 : 0)]);
      const auto hi = static_cast<unsigned char>(bytes[i + (big_endian ? 0 : 1)]);
      text.push_back(static_cast<wchar_t>(lo | (hi << 8)));
    }
    return text;
  }
  return DecodeCodePage(bytes, CP_ACP);
}

std::wstring DateLine() {
  try {
    return FormatCurrentLocalDateTime();
  } catch (...) {
    return {};
  }
}

// Writes the two-line batch file in the ANSI code page; true when it exists afterwards.
bool WriteTasksBatch(const std::wstring& batch, const std::wstring& target) {
  const std::wstring text =
      L"chcp 437\r\nschtasks.exe /query /v /fo list >>\"" + target + L"\"\r\n";
  try {
    WriteWholeFile(batch, EncodeCodePage(text, CP_ACP));
  } catch (...) {
    // A batch file that cannot be written runs nothing.
  }
  return ::GetFileAttributesW(batch.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

ReportList DecodeTextLines(const std::string& bytes) {
  const std::wstring text = DecodeWithMark(bytes);
  ReportList lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find_first_of(L"\r\n", start);
    if (end == std::wstring::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + ((text[end] == L'\r' && end + 1 < text.size() && text[end + 1] == L'\n') ? 2 : 1);
  }
  return lines;
}

const ReportList& CaptureSystemInfo(std::chrono::milliseconds wait_limit) {
  g_system_info.clear();
  const std::wstring output = TempFolder260() + L"SystemInfo_" + TimeStamp17() + L".txt";
  const std::wstring parameters = L"/c systeminfo>\"" + output + L"\"";
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpFile = L"cmd.exe";
  info.lpParameters = parameters.c_str();
  info.nShow = SW_HIDE;
  ::ShellExecuteExW(&info);
  UniqueHandle shell(info.hProcess);
  UniqueHandle job = JobFor(shell.get());
  if (!WaitForOutput(output, shell.get(), wait_limit)) EndTool(job.get(), shell.get());
  g_system_info = DecodeTextLines(ReadWholeFile(output));
  g_system_info.insert(g_system_info.begin(), {DateLine(), L"", L"===== System ====="});
  ::DeleteFileW(output.c_str());
  return g_system_info;
}

void CaptureScheduledTasks(const std::wstring& target, std::chrono::milliseconds wait_limit) {
  wchar_t system_dir[MAX_PATH] = {};
  ::GetSystemDirectoryW(system_dir, MAX_PATH);
  const std::wstring shell = EnsureTrailingBackslash(FromBuffer(system_dir, MAX_PATH)) + L"cmd.exe";
  const std::wstring batch = TempFolder260() + L"schtasks.bat";
  ::DeleteFileW(target.c_str());
  if (WriteTasksBatch(batch, target)) {
    RunHidden(shell + L" /c \"" + batch + L"\"", SW_HIDE, wait_limit);
  }
  ::DeleteFileW(batch.c_str());
}

bool RunHidden(const std::wstring& command_line, WORD show_window,
               std::chrono::milliseconds wait_limit) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = show_window;
  PROCESS_INFORMATION process = {};
  std::wstring mutable_command = command_line;
  // Suspended until it is in the job, so that nothing it starts escapes.
  if (!::CreateProcessW(nullptr, mutable_command.data(), nullptr, nullptr, FALSE,
                        NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED, nullptr, nullptr, &startup,
                        &process)) {
    return false;
  }
  UniqueHandle process_handle(process.hProcess);
  UniqueHandle thread_handle(process.hThread);
  UniqueHandle job = JobFor(process_handle.get());
  ::ResumeThread(thread_handle.get());
  const DWORD waited =
      ::WaitForSingleObject(process_handle.get(), static_cast<DWORD>(wait_limit.count()));
  if (waited != WAIT_OBJECT_0) EndTool(job.get(), process_handle.get());
  return true;
}

}  // namespace velmora
