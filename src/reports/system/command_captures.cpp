#include "reports/system/command_captures.h"

#include <algorithm>

#include "common/cancellation.h"
#include "common/date_text.h"
#include "common/errors.h"
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

UniqueHandle OpenNulDevice() {
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  return UniqueHandle(::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING,
                                    0, nullptr));
}

std::wstring DecodeWithMark(const std::string& bytes, UINT unmarked_code_page) {
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
  return DecodeCodePage(bytes, unmarked_code_page);
}

// Past the limit, what is kept ends with the last whole line within it; a
// first part without any line break is kept as it is.
bool CutAtLastLine(std::string& bytes, size_t limit) {
  if (bytes.size() <= limit) return false;
  const size_t last_break = limit == 0 ? std::string::npos : bytes.find_last_of('\n', limit - 1);
  bytes.resize(last_break == std::string::npos ? limit : last_break + 1);
  return true;
}

bool IsAscii(const std::string& bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; });
}

// The tools' helper files lie in the folder that is packed into the archive:
// each is gone once its output has been taken.
// A console host started for the tool's console may hold an inherited copy of
// the output handle for a moment after the tool ended: the removal waits for
// it, within a bound.
constexpr DWORD kRemovalWaitMs = 3000;

struct RemovalOnExit {
  const std::wstring& path;
  ~RemovalOnExit() {
    const TickDeadline deadline(kRemovalWaitMs);
    while (!::DeleteFileW(path.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND &&
           !deadline.Passed()) {
      ::Sleep(20);
    }
  }
};

}  // namespace

ToolPlaces SystemToolPlaces(const std::wstring& work_folder) {
  return {EnsureTrailingBackslash(GetSystemDir()), EnsureTrailingBackslash(work_folder)};
}

BackgroundTool::BackgroundTool(const std::wstring& program, const std::wstring& command_line,
                               WORD show_window, std::chrono::milliseconds limit, HANDLE output,
                               HANDLE input, const Utf8Console* console)
    : deadline_(static_cast<DWORD>(limit.count())) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = show_window;
  UniqueHandle nul;
  const bool redirected = output != nullptr || input != nullptr;
  if (redirected) {
    nul = OpenNulDevice();
    for (HANDLE stream : {output, input}) {
      if (stream != nullptr)
        ::SetHandleInformation(stream, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
    startup.dwFlags |= STARTF_USESTDHANDLES;
    startup.hStdInput = input != nullptr ? input : nul.get();
    startup.hStdOutput = output != nullptr ? output : nul.get();
    startup.hStdError = nul.get();
  }
  PROCESS_INFORMATION process = {};
  const std::wstring system_folder = GetSystemDir();
  // Suspended until it is in the job, so that nothing it starts escapes. The
  // program is named by its path, so no folder is searched for it.
  const auto start = [&](DWORD flags) {
    std::wstring mutable_command = command_line;
    return ::CreateProcessW(program.c_str(), mutable_command.data(), nullptr, nullptr,
                            redirected ? TRUE : FALSE, flags | CREATE_SUSPENDED, nullptr,
                            system_folder.empty() ? nullptr : system_folder.c_str(), &startup,
                            &process) != FALSE;
  };
  // Without a console flag a console program shares the console of the
  // program that starts it: the lent one, while it is attached.
  in_lent_console_ = console != nullptr &&
                     console->Lend([&] { return start(kToolCreationFlags & ~CREATE_NO_WINDOW); });
  const bool started = in_lent_console_ || start(kToolCreationFlags);
  for (HANDLE stream : {output, input}) {
    if (stream != nullptr) ::SetHandleInformation(stream, HANDLE_FLAG_INHERIT, 0);
  }
  if (!started) return;
  process_.reset(process.hProcess);
  UniqueHandle thread(process.hThread);
  job_.Adopt(process_.get());
  ::ResumeThread(thread.get());
}

BackgroundTool::~BackgroundTool() {
  if (started() && !finished_) job_.EndAll();
}

bool BackgroundTool::running() const {
  return started() && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

DWORD BackgroundTool::process_id() const {
  return started() ? ProcessIdOf(process_.get()) : 0;
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
  const std::wstring program = places.tools_folder + L"systeminfo.exe";
  tool_ = std::make_unique<BackgroundTool>(program, Quoted(program), SW_HIDE, wait_limit,
                                           output_.get());
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
  const bool cut = CutAtLastLine(bytes, kSystemInfoReadLimit);
  g_system_info = DecodeTextLines(bytes, ToolCodePage());
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
    : target_(target),
      output_path_(places.work_folder + L"schtasks_" + TimeStamp17() + L".txt"),
      output_(CreateFreshFile(output_path_)) {
  ::DeleteFileW(target_.c_str());  // never a list of an earlier run
  if (!output_) return;
  const std::wstring program = places.tools_folder + L"schtasks.exe";
  console_ = std::make_unique<Utf8Console>(EnsureTrailingBackslash(GetSystemDir()));
  tool_ =
      std::make_unique<BackgroundTool>(program, Quoted(program) + L" /query /v /fo list", SW_HIDE,
                                       wait_limit, output_.get(), nullptr, console_.get());
}

ScheduledTasksCapture::~ScheduledTasksCapture() {
  tool_.reset();
  console_.reset();
  output_.reset();
  ::DeleteFileW(output_path_.c_str());
}

void ScheduledTasksCapture::Take() {
  if (!tool_) return;
  tool_->Finish();
  const UINT console_code_page = tool_->in_lent_console() ? CP_UTF8 : ToolCodePage();
  console_.reset();
  output_.reset();
  const RemovalOnExit removal{output_path_};
  std::string bytes = ReadWholeFile(output_path_, kScheduledTasksReadLimit + 1);
  const bool cut = CutAtLastLine(bytes, kScheduledTasksReadLimit);
  try {
    WriteWholeFile(target_,
                   ScheduledTasksText(bytes, WrittenCodePage(bytes, console_code_page), cut));
  } catch (const ReportError&) {
    // the report goes on without the list, as when the tool cannot start
  }
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

UINT ToolCodePage() {
  return ::GetOEMCP();
}

UINT WrittenCodePage(const std::string& bytes, UINT console_code_page) {
  if (console_code_page != CP_UTF8 || IsUtf8Text(bytes)) return console_code_page;
  return ToolCodePage();
}

std::string ScheduledTasksText(const std::string& bytes, UINT code_page, bool cut) {
  std::string text = bytes;
  if (!IsAscii(bytes))
    text = "\xEF\xBB\xBF" + EncodeCodePage(DecodeCodePage(bytes, code_page), CP_UTF8);
  if (cut) {
    text += "(schtasks wrote more than " + std::to_string(kScheduledTasksReadLimit) +
            " bytes; the rest is not shown)\r\n";
  }
  return text;
}

ReportList DecodeTextLines(const std::string& bytes, UINT unmarked_code_page) {
  const std::wstring text = DecodeWithMark(bytes, unmarked_code_page);
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
