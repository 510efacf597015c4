// Text helpers shared by the collectors. All text is UTF-16.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

// The text of a NUL-terminated buffer, up to its first NUL or its end.
std::wstring FromBuffer(const wchar_t* buffer, size_t capacity);
std::string FromBuffer(const char* buffer, size_t capacity);

std::wstring ToLower(std::wstring_view text);
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);
// Only A-Z and a-z are taken as the same letter; every other character must match.
bool EqualsAsciiNoCase(std::wstring_view a, std::wstring_view b);
// Without the blanks and control characters (codes up to 32) at both ends.
std::wstring Trimmed(std::wstring_view text);
bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix);
// Every occurrence of `from` replaced by `to`, matching without regard to case.
std::wstring ReplaceAllNoCase(std::wstring_view text, std::wstring_view from, std::wstring_view to);

std::wstring EnsureTrailingBackslash(std::wstring path);
std::wstring WithoutTrailingBackslash(std::wstring path);
// Splits at the last backslash: folder (without it) and name.
std::pair<std::wstring, std::wstring> SplitAtLastBackslash(std::wstring_view path);

// printf-style formatting into a wide string.
std::wstring Format(const wchar_t* format, ...);

std::wstring HexLower(uint64_t value, int min_digits);
std::wstring PadRight(std::wstring text, size_t width);
std::wstring PadLeft(std::wstring text, size_t width, wchar_t fill = L' ');

// Conversions between code pages and UTF-16.
std::wstring DecodeCodePage(std::string_view bytes, UINT code_page);
std::string EncodeCodePage(std::wstring_view text, UINT code_page);
// Whether the text survives a round trip through the code page unchanged.
bool FitsCodePage(std::wstring_view text, UINT code_page);
// True when the bytes are whole, well-formed UTF-8 (no character is lost in
// reading them as such).
bool IsUtf8Text(std::string_view bytes);

}  // namespace velmora
