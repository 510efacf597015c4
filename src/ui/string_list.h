// An ordered list of text lines with a change notification, and its text
// form: the lines joined with CR LF, split again at CR LF, CR or LF.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::ui {

class StringList {
 public:
  StringList() = default;
  StringList(const StringList&) = delete;
  StringList& operator=(const StringList&) = delete;

  const std::vector<std::wstring>& Strings() const { return strings_; }
  int Count() const { return static_cast<int>(strings_.size()); }
  const std::wstring& operator[](int index) const { return strings_[index]; }
  bool operator==(const StringList& other) const { return strings_ == other.strings_; }

  void Add(const std::wstring& line);
  void Clear();
  void SetStrings(std::vector<std::wstring> strings);
  void Assign(const StringList& source) { SetStrings(source.strings_); }

  // Every line followed by CR LF.
  std::wstring Text() const;
  void SetText(std::wstring_view text);

  // Called after every change.
  std::function<void()> OnChange;

 private:
  void Changed() {
    if (OnChange) OnChange();
  }
  std::vector<std::wstring> strings_;
};

}  // namespace velmora::ui
