// Reading one registry value whole, whatever its size.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace velmora {

struct RegistryData {
  DWORD type = REG_NONE;
  std::vector<BYTE> bytes;
};

// The value's type and every byte of its data: the size is asked first and
// the read repeated while the value keeps growing under us. Empty when the
// value is missing or cannot be read.
std::optional<RegistryData> ReadRegistryData(HKEY key, const std::wstring& name);

bool IsRegistryTextType(DWORD type);  // REG_SZ or REG_EXPAND_SZ

// Text data up to its first NUL, or all of it when it has none.
std::wstring RegistryDataText(const std::vector<BYTE>& bytes);

// A text value's data; empty when it is missing, unreadable or not text.
std::wstring ReadRegistryText(HKEY key, const std::wstring& name);

}  // namespace velmora
