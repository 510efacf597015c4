#include "common/strings.h"

#include <algorithm>
#include <cstdarg>
#include <cwchar>
#include <cwctype>
#include <vector>

namespace velmora {

std::wstring FromBuffer(const wchar_t* buffer, size_t capacity) {
  return std::wstring(buffer, std::find(buffer, buffer + capacity, L'\0'));
}

std::string FromBuffer(const char* buffer, size_t capacity) {
  return std::string(buffer, std::find(buffer, buffer + capacity, '\0'));
}

std::wstring ToLower(std::wstring_view text) {
  std::wstring lower(text);
  if (!lower.empty()) {
    ::CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
  }
  return lower;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() && ToLower(a) == ToLower(b);
}

bool EqualsAsciiNoCase(std::wstring_view a, std::wstring_view b) {
  const auto fold = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? wchar_t(c - L'A' + L'a') : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [&](wchar_t x, wchar_t y) { return fold(x) == fold(y); });
}

std::wstring Trimmed(std::wstring_view text) {
  const auto outside = [](wchar_t c) { return c <= L' '; };
  const auto first = std::find_if_not(text.begin(), text.end(), outside);
  const auto last = std::find_if_not(text.rbegin(), text.rend(), outside).base();
  return first < last ? std::wstring(first, last) : std::wstring();
}

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

std::wstring ReplaceAllNoCase(std::wstring_view text, std::wstring_view from,
                              std::wstring_view to) {
  if (from.empty()) return std::wstring(text);
  const std::wstring lower_text = ToLower(text);
  const std::wstring lower_from = ToLower(from);
  std::wstring result;
  size_t start = 0;
  for (size_t hit = lower_text.find(lower_from); hit != std::wstring::npos;
       hit = lower_text.find(lower_from, start)) {
    result.append(text.substr(start, hit - start));
    result.append(to);
    start = hit + from.size();
  }
  result.append(text.substr(start));
  return result;
}

std::wstring EnsureTrailingBackslash(std::wstring path) {
  if (path.empty() || path.back() != L'\\') path.push_back(L'\\');
  return path;
}

std::wstring WithoutTrailingBackslash(std::wstring path) {
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  return path;
}

std::pair<std::wstring, std::wstring> SplitAtLastBackslash(std::wstring_view path) {
  const size_t slash = path.rfind(L'\\');
  if (slash == std::wstring_view::npos) return {L"", std::wstring(path)};
  return {std::wstring(path.substr(0, slash)), std::wstring(path.substr(slash + 1))};
}

std::wstring Format(const wchar_t* format, ...) {
  std::vector<wchar_t> buffer(256);
  for (;;) {
    va_list args;
    va_start(args, format);
    const int n = std::vswprintf(buffer.data(), buffer.size(), format, args);
    va_end(args);
    if (n >= 0 && static_cast<size_t>(n) < buffer.size()) return std::wstring(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

std::wstring HexLower(uint64_t value, int min_digits) {
  static constexpr wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring digits;
  do {
    digits.insert(digits.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return PadLeft(std::move(digits), static_cast<size_t>(min_digits), L'0');
}

std::wstring PadRight(std::wstring text, size_t width) {
  if (text.size() < width) text.append(width - text.size(), L' ');
  return text;
}

std::wstring PadLeft(std::wstring text, size_t width, wchar_t fill) {
  if (text.size() < width) text.insert(0, width - text.size(), fill);
  return text;
}

std::wstring DecodeCodePage(std::string_view bytes, UINT code_page) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(bytes.size());
  const int chars = ::MultiByteToWideChar(code_page, 0, bytes.data(), size, nullptr, 0);
  if (chars <= 0) return {};
  std::wstring text(static_cast<size_t>(chars), L'\0');
  ::MultiByteToWideChar(code_page, 0, bytes.data(), size, text.data(), chars);
  return text;
}

std::string EncodeCodePage(std::wstring_view text, UINT code_page) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int bytes =
      ::WideCharToMultiByte(code_page, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string out(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(code_page, 0, text.data(), size, out.data(), bytes, nullptr, nullptr);
  return out;
}

bool FitsCodePage(std::wstring_view text, UINT code_page) {
  // A best-fit mapping may turn a character into a look-alike, so the test is
  // the round trip, not the "default character used" flag alone.
  return DecodeCodePage(EncodeCodePage(text, code_page), code_page) == text;
}

bool IsUtf8Text(std::string_view bytes) {
  // Malformed bytes read as U+FFFD (or, on old Windows, are dropped), so only
  // well-formed text comes back the same.
  return EncodeCodePage(DecodeCodePage(bytes, CP_UTF8), CP_UTF8) == bytes;
}

}  // namespace velmora
