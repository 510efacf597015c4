// Text written into storage that exists before a crash: the crash reporter
// must not depend on the heap, which the fault may have damaged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace velmora::crash {

// Appends into caller-owned storage up to a limit. What does not fit is left
// out as a whole (nothing is written past the limit) and the buffer is marked
// full; the caller cuts the text back to a place it chose.
class TextBuffer {
 public:
  TextBuffer(wchar_t* storage, size_t capacity)
      : storage_(storage), capacity_(capacity), limit_(capacity) {}
  TextBuffer(const TextBuffer&) = delete;
  TextBuffer& operator=(const TextBuffer&) = delete;

  void Append(std::wstring_view text);
  void Append(wchar_t c) { Append(std::wstring_view(&c, 1)); }
  // Bytes as Latin-1 characters: exception texts and symbol names are ASCII.
  void AppendNarrow(const char* text);
  // Upper-case hexadecimal, zero-padded to at least `min_digits`, no prefix.
  void AppendHex(uint64_t value, int min_digits);
  void AppendDecimal(uint64_t value);
  // CR LF, as in every report text file.
  void EndLine() { Append(L"\r\n"); }
  void AppendLine(std::wstring_view text) {
    Append(text);
    EndLine();
  }

  // Appends may use the storage only up to `limit`; the rest stays for a
  // closing note.
  void SetLimit(size_t limit) { limit_ = limit < capacity_ ? limit : capacity_; }
  void RemoveLimit() { limit_ = capacity_; }
  void Truncate(size_t size);

  size_t size() const { return size_; }
  bool full() const { return full_; }
  std::wstring_view text() const { return {storage_, size_}; }

 private:
  wchar_t* storage_;
  size_t capacity_;
  size_t limit_;
  size_t size_ = 0;
  bool full_ = false;
};

// A text buffer with its own storage, for texts of a known small size.
template <size_t N>
class FixedText : public TextBuffer {
 public:
  FixedText() : TextBuffer(storage_, N) {}

 private:
  wchar_t storage_[N];
};

}  // namespace velmora::crash
