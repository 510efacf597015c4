#include "reports/system/command_captures.h"

#include <shellapi.h>

#include "common/cancellation.h"
#include "common/date_text.h"
#include "common/handles.h"
#include "common/no_follow_files.h"
#include "common/report_file.h"
#include "common/strings.h"
#include "common/ticks.h"
#include "reports/system/tool_job.h"

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

bool CanOpenExclusively(const std::wstring& path) {
  UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.valid();
}

// Waits until the redirected output is complete: the shell has let go of the
// file. False when the limit ran out, the report is being stopped, or the
// shell ended without making the file.
bool WaitForOutput(const std::wstring& path, HANDLE shell, std::chrono::milliseconds limit) {
  const TickDeadline deadline(static_cast<DWORD>(limit.count()));
  for (;;) {
    const bool shell_ended = shell == nullptr || ::WaitForSingleObject(shell, 0) == WAIT_OBJECT_0;
    if (CanOpenExclusively(path)) return true;
    if (shell_ended && ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    if (deadline.Passed()) return false;
    if (::WaitForSingleObject(CancellationEvent(), kPollIntervalMs) == WAIT_OBJECT_0) return false;
  }
}

// Deletes a temporary file of a capture however the capture ends.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::wstring path) : path_(std::move(path)) {}
  ~TemporaryFile() { ::DeleteFileW(path_.c_str()); }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

UniqueHandle OpenNulDevice() {
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  return UniqueHandle(::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING,
                                    0, nullptr));
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

// The batch switches the console to code page 437 and lets schtasks write its
// list to the standard output that it inherits. The output file is opened by
// the program itself, so any path works (cmd would read a path written into
// the batch in code page 437 and miss the folder of a user named José or
// Дмитрий) and no link planted in its place is followed. "@" keeps cmd from
// echoing the commands into that output.
constexpr char kTasksBatch[] = "@chcp 437 >nul\r\n@schtasks.exe /query /v /fo list\r\n";

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
  const TemporaryFile output(TempFolder260() + L"SystemInfo_" + TimeStamp17() + L".txt");
  const std::wstring parameters = L"/c systeminfo>\"" + output.path() + L"\"";
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpFile = L"cmd.exe";
  info.lpParameters = parameters.c_str();
  info.nShow = SW_HIDE;
  ::ShellExecuteExW(&info);
  UniqueHandle shell(info.hProcess);
  ToolJob job;
  job.Adopt(shell.get());
  if (!WaitForOutput(output.path(), shell.get(), wait_limit)) job.EndAll();
  g_system_info = DecodeTextLines(ReadWholeFile(output.path()));
  g_system_info.insert(g_system_info.begin(), {DateLine(), L"", L"===== System ====="});
  return g_system_info;
}

void CaptureScheduledTasks(const std::wstring& target, std::chrono::milliseconds wait_limit) {
  wchar_t system_dir[MAX_PATH] = {};
  ::GetSystemDirectoryW(system_dir, MAX_PATH);
  const std::wstring shell = EnsureTrailingBackslash(FromBuffer(system_dir, MAX_PATH)) + L"cmd.exe";
  const TemporaryFile batch(TempFolder260() + L"schtasks.bat");
  UniqueHandle output = CreateFreshFile(target);
  if (!output) return;
  try {
    WriteWholeFile(batch.path(), kTasksBatch);
  } catch (...) {
    return;  // a batch file that cannot be written runs nothing
  }
  RunHidden(shell + L" /c \"" + batch.path() + L"\"", SW_HIDE, wait_limit, output.get());
}

bool RunHidden(const std::wstring& command_line, WORD show_window,
               std::chrono::milliseconds wait_limit, HANDLE output) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = show_window;
  UniqueHandle nul;
  if (output != nullptr) {
    nul = OpenNulDevice();
    ::SetHandleInformation(output, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    startup.dwFlags |= STARTF_USESTDHANDLES;
    startup.hStdInput = nul.get();
    startup.hStdOutput = output;
    startup.hStdError = nul.get();
  }
  PROCESS_INFORMATION process = {};
  std::wstring mutable_command = command_line;
  // Suspended until it is in the job, so that nothing it starts escapes.
  const BOOL started = ::CreateProcessW(
      nullptr, mutable_command.data(), nullptr, nullptr, output != nullptr ? TRUE : FALSE,
      NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED, nullptr, nullptr, &startup, &process);
  if (output != nullptr) ::SetHandleInformation(output, HANDLE_FLAG_INHERIT, 0);
  if (!started) return false;
  UniqueHandle process_handle(process.hProcess);
  UniqueHandle thread_handle(process.hThread);
  ToolJob job;
  job.Adopt(process_handle.get());
  ::ResumeThread(thread_handle.get());
  if (!WaitForToolEnd(process_handle.get(), static_cast<DWORD>(wait_limit.count()))) job.EndAll();
  return true;
}

}  // namespace velmora
