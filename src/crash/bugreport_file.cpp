#include "crash/bugreport_file.h"

#include <windows.h>

#include "common/handles.h"
#include "crash/report_text.h"

namespace velmora::crash {

namespace {

constexpr char kByteOrderMark[] = {'\xFF', '\xFE'};

// A report begins with its start line at the beginning of a line.
size_t FindReportStart(std::wstring_view text, size_t from) {
  const std::wstring_view start_line = ReportStartLine();
  for (size_t pos = text.find(start_line, from); pos != std::wstring_view::npos;
       pos = text.find(start_line, pos + 1)) {
    const bool line_begins = pos == 0 || (pos >= 2 && text.substr(pos - 2, 2) == L"\r\n");
    const bool line_ends = text.substr(pos + start_line.size(), 2) == L"\r\n";
    if (line_begins && line_ends) return pos;
  }
  return std::wstring_view::npos;
}

bool WriteAll(HANDLE file, const void* data, size_t size) {
  DWORD written = 0;
  return size == 0 ||
         (::WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) && written == size);
}

bool ReadAll(HANDLE file, void* data, size_t size) {
  DWORD read = 0;
  return ::ReadFile(file, data, static_cast<DWORD>(size), &read, nullptr) && read == size;
}

bool SeekTo(HANDLE file, int64_t offset, DWORD method) {
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  return ::SetFilePointerEx(file, distance, nullptr, method) != 0;
}

struct OldText {
  std::wstring_view text;
  bool starts_mid_report = false;
  bool appendable = false;  // our own format, whole: the report can go at its end
};

// The end of the old text that could ever be kept, read into `scratch`. A file
// that is not in the report format has nothing worth keeping.
OldText ReadOldText(HANDLE file, wchar_t* scratch, size_t scratch_chars) {
  OldText old;
  LARGE_INTEGER size = {};
  char mark[2] = {};
  if (!::GetFileSizeEx(file, &size) || size.QuadPart < 2 || !ReadAll(file, mark, 2) ||
      mark[0] != kByteOrderMark[0] || mark[1] != kByteOrderMark[1]) {
    return old;
  }
  const uint64_t units = static_cast<uint64_t>(size.QuadPart - 2) / 2;
  const size_t window = units < scratch_chars ? static_cast<size_t>(units) : scratch_chars;
  const uint64_t first_unit = units - window;
  if (!SeekTo(file, 2 + static_cast<int64_t>(first_unit) * 2, FILE_BEGIN) ||
      !ReadAll(file, scratch, window * sizeof(wchar_t))) {
    return old;
  }
  old.text = std::wstring_view(scratch, window);
  old.starts_mid_report = first_unit > 0;
  old.appendable = size.QuadPart % 2 == 0;
  return old;
}

}  // namespace

size_t FirstKeptReport(std::wstring_view old_text, size_t new_chars, bool starts_mid_report) {
  const size_t room = new_chars >= kMaxFileChars ? 0 : kMaxFileChars - new_chars;
  if (!starts_mid_report && old_text.size() <= room) return 0;
  for (size_t pos = FindReportStart(old_text, 1); pos != std::wstring_view::npos;
       pos = FindReportStart(old_text, pos + 1)) {
    if (old_text.size() - pos <= room) return pos;
  }
  return old_text.size();
}

bool AppendReportToFile(const std::wstring& path, std::wstring_view report, wchar_t* scratch,
                        size_t scratch_chars) {
  UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  const OldText old = ReadOldText(file.get(), scratch, scratch_chars);
  const size_t kept = FirstKeptReport(old.text, report.size(), old.starts_mid_report);
  const size_t report_bytes = report.size() * sizeof(wchar_t);
  if (old.appendable && !old.starts_mid_report && kept == 0) {
    return SeekTo(file.get(), 0, FILE_END) && WriteAll(file.get(), report.data(), report_bytes);
  }
  const std::wstring_view kept_text = old.text.substr(kept);
  return SeekTo(file.get(), 0, FILE_BEGIN) && WriteAll(file.get(), kByteOrderMark, 2) &&
         WriteAll(file.get(), kept_text.data(), kept_text.size() * sizeof(wchar_t)) &&
         WriteAll(file.get(), report.data(), report_bytes) && ::SetEndOfFile(file.get());
}

const std::wstring* SaveReport(const std::wstring& preferred_path,
                               const std::wstring& fallback_path, std::wstring_view report,
                               wchar_t* scratch, size_t scratch_chars) {
  if (AppendReportToFile(preferred_path, report, scratch, scratch_chars)) return &preferred_path;
  if (AppendReportToFile(fallback_path, report, scratch, scratch_chars)) return &fallback_path;
  return nullptr;
}

}  // namespace velmora::crash
