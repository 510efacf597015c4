#include "crash/report_text.h"

namespace velmora::crash {

namespace {

constexpr wchar_t kStartLine[] =
    L"*********************************************************************************";
static_assert(sizeof(kStartLine) / sizeof(wchar_t) == 82);

}  // namespace

std::wstring_view ReportStartLine() {
  return kStartLine;
}

ReportText::ReportText(wchar_t* storage, size_t capacity) : text_(storage, capacity) {
  text_.SetLimit(capacity > kNoteReserve ? capacity - kNoteReserve : 0);
}

void ReportText::BeginSection(std::wstring_view heading) {
  MarkCutPoint();
  text_.Append(L"--- ");
  text_.Append(heading);
  text_.AppendLine(L" ---");
}

void ReportText::MarkCutPoint() {
  if (!text_.full()) cut_point_ = text_.size();
}

void ReportText::RewindTo(size_t size) {
  text_.Truncate(size);
  cut_point_ = text_.size();
}

std::wstring_view ReportText::Finish() {
  if (finished_) return text_.text();
  if (text_.full()) {
    CloseWithNote(
        L"--- the rest of this report was left out to keep the file below 100000 bytes ---");
  } else {
    text_.RemoveLimit();
    text_.EndLine();
    finished_ = true;
  }
  return text_.text();
}

std::wstring_view ReportText::FinishEarly(std::wstring_view reason) {
  if (finished_) return text_.text();
  // Whatever came after the last cut point may be a line cut short.
  CloseWithNote(reason);
  return text_.text();
}

void ReportText::CloseWithNote(std::wstring_view note) {
  text_.Truncate(cut_point_);
  text_.RemoveLimit();
  text_.AppendLine(note.substr(0, kNoteReserve - 4));
  text_.EndLine();
  finished_ = true;
}

}  // namespace velmora::crash
