#include "reports/registry/registry_class_ex.h"

#include <algorithm>
#include <optional>

#include "common/registry_native.h"
#include "common/registry_value.h"
#include "common/strings.h"
#include "environment/wow64.h"
#include "ui/application.h"

namespace velmora {

namespace {

constexpr DWORD kSubkeyNameBufferUnits = 2049;
constexpr REGSAM kViewBits = KEY_WOW64_64KEY | KEY_WOW64_32KEY;
constexpr REGSAM kReadMasks[] = {
    KEY_READ,
    STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS,
    KEY_QUERY_VALUE,
};

bool IsRelative(const std::wstring& path) {
  return path.empty() || path.front() != L'\\';
}

// Trimmed as the registry editor trims names: blanks and control characters.
bool IsWow6432NodeName(const std::wstring& name) {
  return ToLower(Trimmed(name)) == L"wow6432node";
}

[[noreturn]] void ThrowInvalidType(const std::wstring& name) {
  throw ERegistryException(L"Invalid data type for '" + name + L"'");
}

[[noreturn]] void ThrowReadFailure(const std::wstring& name) {
  throw ERegistryException(L"Failed to get data for '" + name + L"'");
}

TRegDataKind KindOfType(DWORD type) {
  switch (type) {
    case REG_SZ:
      return TRegDataKind::Text;
    case REG_EXPAND_SZ:
      return TRegDataKind::ExpandText;
    case REG_DWORD:
      return TRegDataKind::Dword;
    case REG_BINARY:
      return TRegDataKind::Binary;
    default:
      return TRegDataKind::Other;
  }
}

// Binary and every type without a kind of its own.
bool IsBytesType(DWORD type) {
  const TRegDataKind kind = KindOfType(type);
  return kind == TRegDataKind::Binary || kind == TRegDataKind::Other;
}

struct KeyCounts {
  DWORD subkeys = 0;
  DWORD longest_subkey = 0;
  DWORD values = 0;
  DWORD longest_value_name = 0;
};

std::optional<KeyCounts> QueryKeyCounts(HKEY key) {
  KeyCounts counts;
  if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &counts.subkeys, &counts.longest_subkey,
                         nullptr, &counts.values, &counts.longest_value_name, nullptr, nullptr,
                         nullptr) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return counts;
}

}  // namespace

ERegistryException::ERegistryException(const std::wstring& message)
    : std::runtime_error(EncodeCodePage(message, CP_UTF8)), message_(message) {}

ERegistryValueTooLarge::ERegistryValueTooLarge(const std::wstring& name, DWORD size)
    : ERegistryException(L"Value too large for '" + name + L"'"), size_(size) {}

TRegistry::TRegistry() : is_64bit_windows_(IsWow64()) {}

TRegistry::TRegistry(REGSAM access) : TRegistry() {
  access_ = access;
}

TRegistry::~TRegistry() {
  CloseCurrentKey();
}

void TRegistry::SetRoot(HKEY root) {
  if (root == root_key_) return;
  root_key_ = root;
  CloseCurrentKey();
}

void TRegistry::SelectView(const std::wstring& path) {
  if (!is_64bit_windows_) return;
  const std::wstring full = IsRelative(path) ? current_path_ + L"\\" + path : path;
  if (ToLower(full).find(L"wow6432node") != std::wstring::npos) {
    access_ &= ~static_cast<REGSAM>(KEY_WOW64_64KEY);
  } else {
    access_ |= KEY_WOW64_64KEY;
  }
}

TRegistry::KeyPlace TRegistry::PlaceOf(const std::wstring& path) const {
  if (!IsRelative(path)) return {root_key_, path.substr(1), path.substr(1)};
  if (current_key_) return {current_key_.get(), path, current_path_ + L"\\" + path};
  return {root_key_, path, path};
}

void TRegistry::TakeKey(HKEY key, std::wstring full_path) {
  CloseCurrentKey();
  current_key_.reset(key);
  current_path_ = std::move(full_path);
}

bool TRegistry::OpenKeyFull(const std::wstring& path) {
  SelectView(path);
  KeyPlace place = PlaceOf(path);
  HKEY key = nullptr;
  if (OpenRegistryKey(place.base, place.sub_path, access_, open_links_, &key) != ERROR_SUCCESS) {
    return false;
  }
  TakeKey(key, std::move(place.full_path));
  return true;
}

bool TRegistry::OpenChildKey(HKEY parent, const std::wstring& parent_path,
                             const std::wstring& name) {
  std::wstring path = parent_path + L"\\" + name;
  SelectView(L"\\" + path);
  HKEY key = nullptr;
  if (OpenRegistryKey(parent, name, access_, true, &key) != ERROR_SUCCESS) return false;
  TakeKey(key, std::move(path));
  return true;
}

UniqueRegKey TRegistry::ReleaseCurrentKey() {
  current_path_.clear();
  return UniqueRegKey(current_key_.release());
}

bool TRegistry::OpenKeyRead(const std::wstring& path) {
  SelectView(path);
  KeyPlace place = PlaceOf(path);
  const REGSAM view = access_ & kViewBits;
  for (REGSAM mask : kReadMasks) {
    HKEY key = nullptr;
    if (OpenRegistryKey(place.base, place.sub_path, mask | view, open_links_, &key) ==
        ERROR_SUCCESS) {
      access_ = mask | view;
      TakeKey(key, std::move(place.full_path));
      return true;
    }
  }
  return false;
}

void TRegistry::CloseCurrentKey() {
  if (!current_key_) return;
  current_key_.reset();
  current_path_.clear();
}

void TRegistry::ListSubkeys(std::vector<std::wstring>& names) const {
  names.clear();
  const std::optional<KeyCounts> counts = QueryKeyCounts(current_key_.get());
  if (!counts) return;
  std::vector<wchar_t> buffer(kSubkeyNameBufferUnits);
  for (DWORD index = 0; index < counts->subkeys; ++index) {
    DWORD units = std::min(counts->longest_subkey + 1, kSubkeyNameBufferUnits);
    if (::RegEnumKeyExW(current_key_.get(), index, buffer.data(), &units, nullptr, nullptr, nullptr,
                        nullptr) != ERROR_SUCCESS) {
      continue;
    }
    std::wstring name(buffer.data(), units);
    if (!IsWow6432NodeName(name)) names.push_back(std::move(name));
  }
}

void TRegistry::ListValues(std::vector<std::wstring>& names) const {
  names.clear();
  const std::optional<KeyCounts> counts = QueryKeyCounts(current_key_.get());
  if (!counts) return;
  std::vector<wchar_t> buffer(counts->longest_value_name + 1);
  for (DWORD index = 0; index < counts->values; ++index) {
    // A long walk must not leave the thread's messages waiting.
    ui::ProcessMessages();
    DWORD units = static_cast<DWORD>(buffer.size());
    if (::RegEnumValueW(current_key_.get(), index, buffer.data(), &units, nullptr, nullptr, nullptr,
                        nullptr) != ERROR_SUCCESS) {
      continue;
    }
    names.emplace_back(buffer.data(), units);
  }
}

bool TRegistry::QueryTypeAndSize(const std::wstring& name, DWORD& type, DWORD& size) const {
  type = REG_NONE;
  size = 0;
  return QueryRegistryValue(current_key_.get(), name, &type, nullptr, &size) == ERROR_SUCCESS;
}

void TRegistry::CheckSizeLimit(const std::wstring& name) const {
  DWORD type, size;
  if (QueryTypeAndSize(name, type, size) && size > kRegistryValueLimit) {
    throw ERegistryValueTooLarge(name, size);
  }
}

TRegDataKind TRegistry::ValueKind(const std::wstring& name) const {
  DWORD type, size;
  return QueryTypeAndSize(name, type, size) ? KindOfType(type) : TRegDataKind::Other;
}

bool TRegistry::HasChildKeys() const {
  const std::optional<KeyCounts> counts = QueryKeyCounts(current_key_.get());
  return counts && counts->subkeys > 0;
}

bool TRegistry::IsLinkKey() const {
  return velmora::IsLinkKey(current_key_.get());
}

std::wstring TRegistry::ReadText(const std::wstring& name) const {
  DWORD type, size;
  if (!QueryTypeAndSize(name, type, size) || size == 0) return {};
  CheckSizeLimit(name);
  const std::optional<RegistryData> data = ReadRegistryData(current_key_.get(), name);
  if (!data) {
    // It may have grown beyond the bound since it was measured.
    CheckSizeLimit(name);
    return {};
  }
  if (!IsRegistryTextType(data->type)) ThrowInvalidType(name);
  return RegistryDataText(data->bytes);
}

int32_t TRegistry::ReadDword(const std::wstring& name) const {
  DWORD type, size;
  if (!QueryTypeAndSize(name, type, size)) ThrowReadFailure(name);
  if (type != REG_DWORD || size > sizeof(DWORD)) ThrowInvalidType(name);
  DWORD value = 0;
  DWORD read = sizeof(value);
  if (QueryRegistryValue(current_key_.get(), name, &type, reinterpret_cast<BYTE*>(&value), &read) !=
      ERROR_SUCCESS) {
    ThrowReadFailure(name);
  }
  if (type != REG_DWORD) ThrowInvalidType(name);
  return static_cast<int32_t>(value);
}

DWORD TRegistry::ReadBytes(const std::wstring& name, BYTE* buffer, DWORD buffer_size) const {
  DWORD type, size;
  if (!QueryTypeAndSize(name, type, size)) return 0;
  if (!IsBytesType(type) || buffer_size < size) ThrowInvalidType(name);
  DWORD read = buffer_size;
  if (QueryRegistryValue(current_key_.get(), name, &type, buffer, &read) != ERROR_SUCCESS) {
    ThrowReadFailure(name);
  }
  // The value may have been replaced between the two queries.
  if (!IsBytesType(type)) ThrowInvalidType(name);
  return read;
}

std::wstring TRegistry::ValueAsTextOfKind(const std::wstring& name, TRegDataKind kind,
                                          bool prefix) const {
  DWORD type, size;
  if (!QueryTypeAndSize(name, type, size) || size == 0) return {};
  // Each reader refuses a value of another kind, so a value replaced since
  // its kind was taken shows the marker rather than a line of the wrong form.
  try {
    switch (kind) {
      case TRegDataKind::Text:
      case TRegDataKind::ExpandText:
        return ReadText(name);
      case TRegDataKind::Dword: {
        const int32_t value = ReadDword(name);
        return prefix ? FormatDwordText(static_cast<uint32_t>(value)) : std::to_wstring(value);
      }
      default: {
        CheckSizeLimit(name);
        std::vector<BYTE> bytes(static_cast<size_t>(size));
        const DWORD read = ReadBytes(name, bytes.data(), static_cast<DWORD>(bytes.size()));
        // Made in place: at the bound the pairs are 6 MB, a copy as much again.
        std::wstring text = prefix ? L"hex:" : L"";
        AppendHexBytes(text, bytes.data(), std::min<size_t>(read, bytes.size()));
        return text;
      }
    }
  } catch (const ERegistryException&) {
    return kReadFailureMarker;
  }
}

std::wstring ShownRegistryName(const std::wstring& name) {
  std::wstring shown;
  shown.reserve(name.size());
  for (wchar_t c : name) {
    if (c == L'\0') {
      shown += L"\\0";
    } else {
      shown.push_back(c);
    }
  }
  return shown;
}

void AppendHexBytes(std::wstring& text, const BYTE* bytes, size_t count) {
  static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
  text.reserve(text.size() + count * 3);
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) text.push_back(L',');
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 0xF]);
  }
}

std::wstring FormatDwordText(uint32_t value) {
  return L"dword:" + Format(L"%08X", static_cast<unsigned>(value));
}

}  // namespace velmora
