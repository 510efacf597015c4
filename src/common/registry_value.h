// Reading one registry value whole, up to a bound on what one value may cost.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace velmora {

// The most data of one value that is read: 1 MiB. Real machines hold texts of
// up to 64 KiB and binary data of a few KiB in the places that are read, but
// anyone may write a value of hundreds of megabytes into their own keys. One
// value then costs its data, a text copy or two, and as "hex:" text three
// UTF-16 units (six bytes) per byte with a copy or two of that line: some
// 25 MB at this bound, which keeps a run well below 200 MB and far from the
// 2 GB that the 32-bit program can address. A value above it is not read.
inline constexpr DWORD kRegistryValueLimit = 1 << 20;

struct RegistryData {
  DWORD type = REG_NONE;
  std::vector<BYTE> bytes;
};

// The value's type and every byte of its data: the size is asked first and
// the read repeated while the value keeps growing under us. Empty when the
// value is missing, cannot be read or holds more than kRegistryValueLimit
// bytes. The name may hold NULs.
std::optional<RegistryData> ReadRegistryData(HKEY key, const std::wstring& name);

bool IsRegistryTextType(DWORD type);  // REG_SZ or REG_EXPAND_SZ

// Text data up to its first NUL, or all of it when it has none.
std::wstring RegistryDataText(const std::vector<BYTE>& bytes);

// A text value's data; empty when it is missing, unreadable or not text.
std::wstring ReadRegistryText(HKEY key, const std::wstring& name);

}  // namespace velmora
