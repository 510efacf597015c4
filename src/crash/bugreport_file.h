// The crash-report file: UTF-16LE with the byte-order mark FF FE and CR LF
// line ends, like the program's other report files. New reports are appended;
// the oldest are dropped whole to keep the file below kFileLimitBytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmora::crash {

inline constexpr wchar_t kBugreportFileName[] = L"bugreport.txt";

// Where the old reports to keep begin in `old_text` (the file's text after
// its mark), so that they and a new report of `new_chars` characters fit
// below the limit: 0, the start of one of the reports, or the end of the
// text. `starts_mid_report` tells that the text is only the end of a larger
// file, whose first part is not a whole report.
size_t FirstKeptReport(std::wstring_view old_text, size_t new_chars, bool starts_mid_report);

// Adds the report to the file, creating it when missing. `scratch` holds the
// old reports while the file is rewritten; kMaxFileChars characters are
// enough. False when the file cannot be opened or written.
bool AppendReportToFile(const std::wstring& path, std::wstring_view report, wchar_t* scratch,
                        size_t scratch_chars);

// The file in the preferred folder, or in the fallback folder when that one
// cannot be written; null when neither could be.
const std::wstring* SaveReport(const std::wstring& preferred_path,
                               const std::wstring& fallback_path, std::wstring_view report,
                               wchar_t* scratch, size_t scratch_chars);

}  // namespace velmora::crash
