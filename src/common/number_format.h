// Number texts of the process and memory report.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

// The first character of a locale's decimal separator; "," when it cannot be read.
wchar_t ReadDecimalSeparator(unsigned long locale);
// The first character of the thread locale's decimal separator, read once; ","
// when it cannot be read.
wchar_t DecimalSeparator();
// The same for the user's locale, which the system summary follows.
wchar_t UserDecimalSeparator();

// "n Bytes", or KB/MB/GB with two truncated decimals: 1536 -> "1.50 KB".
std::wstring FormatByteSize(uint64_t bytes, wchar_t separator);
std::wstring FormatByteSize(uint64_t bytes);

// "999 ms", "5.23 s", "12:07 min", "2:05 h" (hours keep counting past a day,
// and past the 49.7 days that 32 bits of milliseconds hold).
std::wstring FormatDuration(uint64_t milliseconds, wchar_t separator);
std::wstring FormatDuration(uint64_t milliseconds);

}  // namespace velmora
