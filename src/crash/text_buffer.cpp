#include "crash/text_buffer.h"

namespace velmora::crash {

void TextBuffer::Append(std::wstring_view text) {
  if (full_) return;
  if (text.size() > limit_ - size_) {
    full_ = true;
    return;
  }
  for (wchar_t c : text) storage_[size_++] = c;
}

void TextBuffer::AppendNarrow(const char* text) {
  if (text == nullptr) return;
  for (; *text != '\0'; ++text) Append(static_cast<wchar_t>(static_cast<unsigned char>(*text)));
}

void TextBuffer::AppendHex(uint64_t value, int min_digits) {
  wchar_t digits[16];
  int count = 0;
  do {
    digits[count++] = L"0123456789ABCDEF"[value & 0xF];
    value >>= 4;
  } while (value != 0 && count < 16);
  for (int i = count; i < min_digits; ++i) Append(L'0');
  while (count > 0) Append(digits[--count]);
}

void TextBuffer::AppendDecimal(uint64_t value) {
  wchar_t digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count > 0) Append(digits[--count]);
}

void TextBuffer::Truncate(size_t size) {
  if (size < size_) size_ = size;
  full_ = false;
}

}  // namespace velmora::crash
