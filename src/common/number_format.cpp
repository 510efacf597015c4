#include "common/number_format.h"

#include <windows.h>

#include "common/strings.h"

namespace velmora {

namespace {

// x with the separator before its last two digits: 150 -> "1.50".
std::wstring Hundredths(uint64_t x, wchar_t separator) {
  return std::to_wstring(x / 100) + separator + PadLeft(std::to_wstring(x % 100), 2, L'0');
}

std::wstring TwoDigits(uint64_t value) {
  return PadLeft(std::to_wstring(value), 2, L'0');
}

}  // namespace

// Read as UTF-16, so that a separator outside ASCII (such as the Arabic
// decimal separator U+066B) prints as itself.
wchar_t ReadDecimalSeparator(unsigned long locale) {
  wchar_t buffer[8] = {};
  if (::GetLocaleInfoW(locale, LOCALE_SDECIMAL, buffer, 8) <= 0 || buffer[0] == L'\0') {
    return L',';
  }
  return buffer[0];
}

wchar_t DecimalSeparator() {
  static const wchar_t separator = ReadDecimalSeparator(::GetThreadLocale());
  return separator;
}

wchar_t UserDecimalSeparator() {
  static const wchar_t separator = ReadDecimalSeparator(LOCALE_USER_DEFAULT);
  return separator;
}

std::wstring FormatByteSize(uint64_t n, wchar_t separator) {
  if (n < 1024) return std::to_wstring(n) + L" Bytes";
  if (n < 1048576) return Hundredths(n * 100 / 1024, separator) + L" KB";
  if (n < 1073741824) return Hundredths(n / 1024 * 100 / 1024, separator) + L" MB";
  return Hundredths(n / 1024 / 1024 * 100 / 1024, separator) + L" GB";
}

std::wstring FormatByteSize(uint64_t bytes) {
  return FormatByteSize(bytes, DecimalSeparator());
}

std::wstring FormatDuration(uint64_t ms, wchar_t separator) {
  if (ms < 1000) return std::to_wstring(ms) + L" ms";
  if (ms < 60000) {
    return std::to_wstring(ms / 1000) + separator + TwoDigits(ms % 1000 / 10) + L" s";
  }
  if (ms < 3600000) {
    return std::to_wstring(ms / 60000) + L":" + TwoDigits(ms / 1000 % 60) + L" min";
  }
  return std::to_wstring(ms / 3600000) + L":" + TwoDigits(ms / 60000 % 60) + L" h";
}

std::wstring FormatDuration(uint64_t milliseconds) {
  return FormatDuration(milliseconds, DecimalSeparator());
}

}  // namespace velmora
