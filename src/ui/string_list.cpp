#include "ui/string_list.h"

namespace velmora::ui {

void StringList::Add(const std::wstring& line) {
  strings_.push_back(line);
  Changed();
}

void StringList::Clear() {
  if (strings_.empty()) return;
  strings_.clear();
  Changed();
}

void StringList::SetStrings(std::vector<std::wstring> strings) {
  if (strings == strings_) return;
  strings_ = std::move(strings);
  Changed();
}

std::wstring StringList::Text() const {
  std::wstring text;
  for (const std::wstring& line : strings_) text += line + L"\r\n";
  return text;
}

void StringList::SetText(std::wstring_view text) {
  std::vector<std::wstring> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of(L"\r\n", start);
    if (end == std::wstring_view::npos) end = text.size();
    lines.emplace_back(text.substr(start, end - start));
    if (end < text.size() && text[end] == L'\r' && end + 1 < text.size() &&
        text[end + 1] == L'\n') {
      ++end;
    }
    start = end + 1;
  }
  SetStrings(std::move(lines));
}

}  // namespace velmora::ui
