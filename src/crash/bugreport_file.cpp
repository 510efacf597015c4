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

bool SeekTo(HANDLE file, int64_t offset) {
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  return ::SetFilePointerEx(file, distance, nullptr, FILE_BEGIN) != 0;
}

struct OldText {
  std::wstring_view text;
  bool starts_mid_report = false;
};

// The end of the old text that could ever be kept, read into `scratch`: never
// more than the file may hold. A file that is not in the report format, or
// that may not be read, has nothing worth keeping.
OldText ReadOldText(const NativePath& path, wchar_t* scratch, size_t scratch_chars) {
  OldText old;
  const UniqueHandle file = OpenFileToRead(path);
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!file || !::GetFileInformationByHandle(file.get(), &info) || !MayKeepOldReports(info)) {
    return old;
  }
  const uint64_t size = static_cast<uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
  char mark[2] = {};
  if (size < 2 || !ReadAll(file.get(), mark, 2) || mark[0] != kByteOrderMark[0] ||
      mark[1] != kByteOrderMark[1]) {
    return old;
  }
  const uint64_t units = (size - 2) / 2;
  const size_t window = units < scratch_chars ? static_cast<size_t>(units) : scratch_chars;
  const uint64_t first_unit = units - window;
  if (!SeekTo(file.get(), 2 + static_cast<int64_t>(first_unit) * 2) ||
      !ReadAll(file.get(), scratch, window * sizeof(wchar_t))) {
    return old;
  }
  old.text = std::wstring_view(scratch, window);
  old.starts_mid_report = first_unit > 0;
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

bool MayKeepOldReports(const BY_HANDLE_FILE_INFORMATION& file) {
  constexpr DWORD kNotPlain = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;
  return (file.dwFileAttributes & kNotPlain) == 0 && file.nNumberOfLinks == 1;
}

ReportFilePlace::ReportFilePlace(const std::wstring& path) : path_(path), native_(path) {
  for (int i = 0; i < kNewNames; ++i) new_names_[i] = NativePath(NewName(i));
  rename_ = RenameTarget(native_);
}

std::wstring ReportFilePlace::NewName(int index) const {
  return path_ + L".new" + static_cast<wchar_t>(L'0' + index);
}

bool ReportFilePlace::AppendReport(std::wstring_view report, wchar_t* scratch,
                                   size_t scratch_chars) const {
  const OldText old = ReadOldText(native_, scratch, scratch_chars);
  const size_t kept = FirstKeptReport(old.text, report.size(), old.starts_mid_report);
  const UniqueHandle file = WriteNewFile(old.text.substr(kept), report);
  if (!file) return false;
  if (ReplaceWith(file.get())) return true;
  DeleteOpenFile(file.get());
  return false;
}

UniqueHandle ReportFilePlace::WriteNewFile(std::wstring_view kept, std::wstring_view report) const {
  for (const NativePath& name : new_names_) {
    // Whatever stands at a name (a file left by a save cut short, or a
    // link) is left alone: under some systems deleting it would delete a
    // link's target.
    UniqueHandle file = CreateNewFile(name);
    if (!file) continue;
    if (WriteAll(file.get(), kByteOrderMark, 2) &&
        WriteAll(file.get(), kept.data(), kept.size() * sizeof(wchar_t)) &&
        WriteAll(file.get(), report.data(), report.size() * sizeof(wchar_t))) {
      return file;
    }
    DeleteOpenFile(file.get());
    return {};
  }
  return {};
}

// Renaming replaces a file, or a link at the name, without touching what a
// link leads to. A folder, or a link to one, cannot be replaced so: a link
// goes itself, but only when the system shows the opened name as a link.
bool ReportFilePlace::ReplaceWith(HANDLE new_file) const {
  if (RenameOpenFile(new_file, rename_)) return true;
  {
    const UniqueHandle existing = OpenToDelete(native_);
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!existing || !::GetFileInformationByHandle(existing.get(), &info) ||
        !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        !DeleteOpenFile(existing.get())) {
      return false;
    }
  }  // the link goes when its handle closes
  return RenameOpenFile(new_file, rename_);
}

const std::wstring* SaveReport(const ReportFilePlace& preferred, const ReportFilePlace& fallback,
                               std::wstring_view report, wchar_t* scratch, size_t scratch_chars) {
  if (preferred.AppendReport(report, scratch, scratch_chars)) return &preferred.path();
  if (fallback.AppendReport(report, scratch, scratch_chars)) return &fallback.path();
  return nullptr;
}

}  // namespace velmora::crash
