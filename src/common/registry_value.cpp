#include "common/registry_value.h"

#include <cstring>

#include "common/registry_native.h"
#include "common/strings.h"

namespace velmora {

namespace {

// A value rewritten between the size query and the read reports its new size;
// a few rounds settle any sane writer without risking an endless loop.
constexpr int kReadAttempts = 8;

}  // namespace

std::optional<RegistryData> ReadRegistryData(HKEY key, const std::wstring& name) {
  RegistryData data;
  DWORD size = 0;
  if (QueryRegistryValue(key, name, &data.type, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  for (int attempt = 0; attempt < kReadAttempts && size <= kRegistryValueLimit; ++attempt) {
    data.bytes.assign(size, 0);
    DWORD read = size;
    const LONG status = QueryRegistryValue(key, name, &data.type,
                                           data.bytes.empty() ? nullptr : data.bytes.data(), &read);
    if (status == ERROR_SUCCESS) {
      data.bytes.resize(read);
      return data;
    }
    if (status != ERROR_MORE_DATA || read <= size) return std::nullopt;
    size = read;
  }
  return std::nullopt;
}

bool IsRegistryTextType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ;
}

std::wstring RegistryDataText(const std::vector<BYTE>& bytes) {
  // Copied out because registry data carries no alignment promise.
  std::wstring units(bytes.size() / sizeof(wchar_t), L'\0');
  if (!units.empty()) std::memcpy(units.data(), bytes.data(), units.size() * sizeof(wchar_t));
  return FromBuffer(units.data(), units.size());
}

std::wstring ReadRegistryText(HKEY key, const std::wstring& name) {
  const std::optional<RegistryData> data = ReadRegistryData(key, name);
  if (!data || !IsRegistryTextType(data->type)) return {};
  return RegistryDataText(data->bytes);
}

}  // namespace velmora
