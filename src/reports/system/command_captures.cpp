#include "reports/system/command_captures.h"

#include "common/cancellation.h"
#include "common/date_text.h"
#include "common/no_follow_files.h"
#include "common/report_file.h"
#include "common/strings.h"
#include "environment/folders.h"

namespace velmora {

namespace {

// Created with the module and refilled by each capture.
ReportList g_system_info;

std::wstring TimeStamp17() {
  SYSTEMTIME t;
  ::GetLocalTime(&t);
  return Format(L"%04u%02u%02u%02u%02u%02u%03u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond, t.wMilliseconds);
}

std::wstring Quoted(const std::wstring& text) {
  return L"\"" + text + L"\"";
}

// cmd without the AutoRun commands of the registry (/D), taking the rest of
// the line as it stands once the outer quotes are gone (/S).
std::wstring ShellCommandLine(const std::wstring& shell, const std::wstring& command) {
  return Quoted(shell) + L" /D /S /C " + Quoted(command);
}

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

// The batch switches the console to code page 437 and lets schtasks write its
// list to the standard output that it inherits. The output file is opened by
// the program itself, so any path works (cmd would read a path written into
// the batch in code page 437 and miss the folder of a user named José or
// Дмитрий) and no link planted in its place is followed. "@" keeps cmd from
// echoing the commands into that output.
std::string TasksBatch(const std::wstring& tools_folder) {
  const std::string folder = EncodeCodePage(tools_folder, CP_OEMCP);
  return "@\"" + folder + "chcp.com\" 437 >nul\r\n@\"" + folder +
         "schtasks.exe\" /query /v /fo list\r\n";
}

// The tools' helper files lie in the folder that is packed into the archive:
// each is gone once its output has been taken.
struct RemovalOnExit {
  const std::wstring& path;
  ~RemovalOnExit() { ::DeleteFileW(path.c_str()); }
};

}  // namespace

ToolPlaces SystemToolPlaces(const std::wstring& work_folder) {
  const std::wstring system = EnsureTrailingBackslash(GetSystemDir());
  return {system + L"cmd.exe", system, EnsureTrailingBackslash(work_folder)};
}

BackgroundTool::BackgroundTool(const std::wstring& program, const std::wstring& command_line,
                               WORD show_window, std::chrono::milliseconds limit, HANDLE output)
    : deadline_(static_cast<DWORD>(limit.count())) {
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
  const std::wstring system_folder = GetSystemDir();
  // Suspended until it is in the job, so that nothing it starts escapes. The
  // program is named by its path, so no folder is searched for it.
  const BOOL started = ::CreateProcessW(
      program.c_str(), mutable_command.data(), nullptr, nullptr, output != nullptr ? TRUE : FALSE,
      NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED, nullptr,
      system_folder.empty() ? nullptr : system_folder.c_str(), &startup, &process);
  if (output != nullptr) ::SetHandleInformation(output, HANDLE_FLAG_INHERIT, 0);
  if (!started) return;
  process_.reset(process.hProcess);
  UniqueHandle thread(process.hThread);
  job_.Adopt(process_.get());
  ::ResumeThread(thread.get());
}

BackgroundTool::~BackgroundTool() {
  if (started() && !finished_) job_.EndAll();
}

void BackgroundTool::Finish() {
  if (!started() || finished_) return;
  finished_ = true;
  if (!WaitForToolEnd(process_.get(), deadline_.Remaining())) job_.EndAll();
}

SystemInfoCapture::SystemInfoCapture(const ToolPlaces& places, std::chrono::milliseconds wait_limit)
    : output_path_(places.work_folder + L"SystemInfo_" + TimeStamp17() + L".txt"),
      output_(CreateFreshFile(output_path_)) {
  if (!output_) return;
  tool_ = std::make_unique<BackgroundTool>(
      places.shell, ShellCommandLine(places.shell, Quoted(places.tools_folder + L"systeminfo.exe")),
      SW_HIDE, wait_limit, output_.get());
}

SystemInfoCapture::~SystemInfoCapture() {
  tool_.reset();
  output_.reset();
  ::DeleteFileW(output_path_.c_str());
}

const ReportList& SystemInfoCapture::Take() {
  if (tool_) tool_->Finish();
  output_.reset();
  const RemovalOnExit removal{output_path_};
  std::string bytes = ReadWholeFile(output_path_, kSystemInfoReadLimit + 1);
  const bool cut = bytes.size() > kSystemInfoReadLimit;
  if (cut) bytes.resize(bytes.find_last_of('\n', kSystemInfoReadLimit - 1) + 1);
  g_system_info = DecodeTextLines(bytes);
  if (cut) {
    g_system_info.push_back(Format(L"(systeminfo wrote more than %u bytes; the rest is not shown)",
                                   static_cast<unsigned>(kSystemInfoReadLimit)));
  }
  g_system_info.insert(g_system_info.begin(),
                       {FormatCurrentLocalDateTime(), L"", L"===== System ====="});
  return g_system_info;
}

ScheduledTasksCapture::ScheduledTasksCapture(const ToolPlaces& places, const std::wstring& target,
                                             std::chrono::milliseconds wait_limit)
    : batch_path_(places.work_folder + L"schtasks.bat"), output_(CreateFreshFile(target)) {
  if (!output_) return;
  try {
    WriteWholeFile(batch_path_, TasksBatch(places.tools_folder));
  } catch (...) {
    return;  // a batch file that cannot be written runs nothing
  }
  tool_ = std::make_unique<BackgroundTool>(places.shell,
                                           ShellCommandLine(places.shell, Quoted(batch_path_)),
                                           SW_HIDE, wait_limit, output_.get());
}

ScheduledTasksCapture::~ScheduledTasksCapture() {
  tool_.reset();
  ::DeleteFileW(batch_path_.c_str());
}

void ScheduledTasksCapture::Take() {
  if (tool_) tool_->Finish();
  output_.reset();
  ::DeleteFileW(batch_path_.c_str());
}

const ReportList& CaptureSystemInfo(const ToolPlaces& places,
                                    std::chrono::milliseconds wait_limit) {
  SystemInfoCapture capture(places, wait_limit);
  return capture.Take();
}

void CaptureScheduledTasks(const ToolPlaces& places, const std::wstring& target,
                           std::chrono::milliseconds wait_limit) {
  ScheduledTasksCapture capture(places, target, wait_limit);
  capture.Take();
}

bool RunHidden(const std::wstring& program, const std::wstring& command_line, WORD show_window,
               std::chrono::milliseconds wait_limit, HANDLE output) {
  BackgroundTool tool(program, command_line, show_window, wait_limit, output);
  tool.Finish();
  return tool.started();
}

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

}  // namespace velmora
