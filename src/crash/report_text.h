// One crash report as text: a separator line that marks where each report
// begins in the file, the title, and sections whose headings are the places
// where a report that grows too large is cut.
#pragma once

#include <cstddef>
#include <string_view>

#include "crash/text_buffer.h"

namespace velmora::crash {

// The file is kept below this many bytes.
inline constexpr size_t kFileLimitBytes = 100000;
// Characters that the file can hold below the limit, after its 2-byte mark.
inline constexpr size_t kMaxFileChars = (kFileLimitBytes - 1 - 2) / 2;
// Room kept free at the end of a report for the note that closes a cut report.
inline constexpr size_t kNoteReserve = 320;

// The line each report begins with: 81 asterisks, as in the other reports.
std::wstring_view ReportStartLine();

class ReportText {
 public:
  // `capacity` characters of `storage`; the report may use all of them but
  // kNoteReserve, which is kept for the closing note.
  ReportText(wchar_t* storage, size_t capacity);

  TextBuffer& out() { return text_; }
  // "--- heading ---" on a line of its own; the report may be cut before it.
  void BeginSection(std::wstring_view heading);
  // A further place where the report may be cut, such as before each thread.
  void MarkCutPoint();
  // True once something did not fit: what follows is left out.
  bool full() const { return text_.full(); }
  // How far the text goes now, and the place where it would be cut.
  size_t size() const { return text_.size(); }
  size_t cut_point() const { return cut_point_; }
  // Drops what follows `size` (a size taken before), which becomes the last
  // cut point: for a part of the report that is written again differently.
  void RewindTo(size_t size);

  // Ends the report. When something did not fit, the text is cut back to the
  // last cut point and a note says that the rest was left out.
  std::wstring_view Finish();
  // Ends the report early, at the last cut point, with a note giving `reason`
  // (for a report whose writing was interrupted).
  std::wstring_view FinishEarly(std::wstring_view reason);

 private:
  void CloseWithNote(std::wstring_view note);

  TextBuffer text_;
  size_t cut_point_ = 0;
  bool finished_ = false;
};

}  // namespace velmora::crash
