// The crash-report file: UTF-16LE with the byte-order mark FF FE and CR LF
// line ends, like the program's other report files. New reports are added
// after the old ones; the oldest are dropped whole to keep the file below
// kFileLimitBytes.
//
// The file lies where the user's own programs can write (beside the program,
// often in a download folder, or in the temporary folder) while the program
// runs elevated. It is therefore never written in place: the new content goes
// into a file made new beside it, which then replaces it whole, so that a save
// that is cut short leaves the previous file as it was, and a link planted at
// either name is replaced or refused, never written through. The old content
// is read only from a plain file with one name, and never more than the limit.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "crash/native_files.h"

namespace velmora::crash {

inline constexpr wchar_t kBugreportFileName[] = L"bugreport.txt";

// Where the old reports to keep begin in `old_text` (the file's text after
// its mark), so that they and a new report of `new_chars` characters fit
// below the limit: 0, the start of one of the reports, or the end of the
// text. `starts_mid_report` tells that the text is only the end of a larger
// file, whose first part is not a whole report.
size_t FirstKeptReport(std::wstring_view old_text, size_t new_chars, bool starts_mid_report);

// Whether the reports in an existing file may be read and kept: only a plain
// file that has no other name. A link, or a second name of a file elsewhere,
// could lead the elevated program to copy what the user may not read.
bool MayKeepOldReports(const BY_HANDLE_FILE_INFORMATION& file);

// One place for the file, prepared at start-up: its path, a few names beside
// it for the new content (a link planted at one of them only moves the save
// on to the next), and their native forms.
class ReportFilePlace {
 public:
  static constexpr int kNewNames = 4;

  ReportFilePlace() = default;
  explicit ReportFilePlace(const std::wstring& path);

  const std::wstring& path() const { return path_; }
  // "bugreport.txt.new0" and so on.
  std::wstring NewName(int index) const;

  // Adds the report to the file. `scratch` holds the old reports meanwhile;
  // kMaxFileChars characters are enough. False when the file could not be
  // replaced; the previous file is then left as it was.
  bool AppendReport(std::wstring_view report, wchar_t* scratch, size_t scratch_chars) const;

 private:
  // The new content, written into a file made new beside the old one.
  UniqueHandle WriteNewFile(std::wstring_view kept, std::wstring_view report) const;
  bool ReplaceWith(HANDLE new_file) const;

  std::wstring path_;
  NativePath native_;
  NativePath new_names_[kNewNames];
  RenameTarget rename_;
};

// The file in the preferred place, or in the fallback place when that one
// cannot be written; null when neither could be.
const std::wstring* SaveReport(const ReportFilePlace& preferred, const ReportFilePlace& fallback,
                               std::wstring_view report, wchar_t* scratch, size_t scratch_chars);

}  // namespace velmora::crash
