#include "common/registry_native.h"

#include <cstring>
#include <vector>

#include "common/dynamic_function.h"
#include "common/handles.h"

namespace velmora {

namespace {

// The native layouts of a counted name and of what names an object.
struct CountedName {
  USHORT length;  // in bytes
  USHORT maximum_length;
  const wchar_t* buffer;
};

struct ObjectAttributes {
  ULONG length;
  HANDLE root;
  CountedName* name;
  ULONG attributes;
  void* security_descriptor;
  void* security_quality_of_service;
};

constexpr ULONG kCaseInsensitive = 0x40;  // OBJ_CASE_INSENSITIVE
constexpr ULONG kOpenLink = 0x100;        // OBJ_OPENLINK
constexpr ULONG kKeyValuePartialInformation = 2;
// KEY_VALUE_PARTIAL_INFORMATION: title index, type and data length, then the data.
constexpr ULONG kPartialInformationHeader = 3 * sizeof(ULONG);
constexpr LONG kStatusBufferOverflow = static_cast<LONG>(0x80000005);
constexpr LONG kStatusAccessDenied = static_cast<LONG>(0xC0000022);
// A counted name holds at most 32767 UTF-16 units.
constexpr size_t kMostCountedUnits = 0x7FFF;
constexpr REGSAM kViewBits = KEY_WOW64_64KEY | KEY_WOW64_32KEY;

using OpenKeyFn = LONG(WINAPI*)(HANDLE*, ACCESS_MASK, ObjectAttributes*);
using QueryValueKeyFn = LONG(WINAPI*)(HANDLE, CountedName*, ULONG, void*, ULONG, ULONG*);

template <typename Function>
Function Native(const char* name) {
  return LookUpFunction<Function>(::GetModuleHandleW(L"ntdll.dll"), name);
}

CountedName Counted(const std::wstring& text) {
  const auto bytes = static_cast<USHORT>(text.size() * sizeof(wchar_t));
  return {bytes, bytes, text.data()};
}

LONG ErrorOfStatus(LONG status) {
  return status == kStatusAccessDenied ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
}

// HKEY_CLASSES_ROOT to HKEY_CURRENT_USER_LOCAL_SETTINGS: handles that only the
// Win32 calls know.
bool IsPredefinedKey(HKEY key) {
  const auto value = reinterpret_cast<ULONG_PTR>(key);
  const auto first = reinterpret_cast<ULONG_PTR>(HKEY_CLASSES_ROOT);
  return value >= first && value <= first + 7;
}

// Where the names start that the native call opens: the first name holding a
// NUL, or else the last name.
size_t NativePartStart(const std::wstring& path) {
  const size_t nul = path.find(L'\0');
  const size_t from = nul == std::wstring::npos ? path.size() : nul;
  const size_t backslash = from == 0 ? std::wstring::npos : path.rfind(L'\\', from - 1);
  return backslash == std::wstring::npos ? 0 : backslash + 1;
}

}  // namespace

LONG QueryRegistryValue(HKEY key, const std::wstring& name, DWORD* type, BYTE* data, DWORD* size) {
  if (name.find(L'\0') == std::wstring::npos) {
    return ::RegQueryValueExW(key, name.c_str(), nullptr, type, data, size);
  }
  const auto query = Native<QueryValueKeyFn>("NtQueryValueKey");
  if (query == nullptr || name.size() > kMostCountedUnits) return ERROR_FILE_NOT_FOUND;
  const DWORD room = data != nullptr && size != nullptr ? *size : 0;
  std::vector<ULONG> buffer((kPartialInformationHeader + room + sizeof(ULONG) - 1) / sizeof(ULONG));
  CountedName counted = Counted(name);
  ULONG needed = 0;
  const LONG status = query(key, &counted, kKeyValuePartialInformation, buffer.data(),
                            kPartialInformationHeader + room, &needed);
  // An overflow still gives the type and the data length.
  if (status < 0 && status != kStatusBufferOverflow) return ErrorOfStatus(status);
  const ULONG length = buffer[2];
  if (type != nullptr) *type = buffer[1];
  if (data == nullptr) {
    if (size != nullptr) *size = length;
    return ERROR_SUCCESS;
  }
  const bool fits = status >= 0 && length <= room;
  if (fits) std::memcpy(data, buffer.data() + 3, length);
  *size = length;
  return fits ? ERROR_SUCCESS : ERROR_MORE_DATA;
}

LONG OpenRegistryKey(HKEY base, const std::wstring& path, REGSAM access, bool open_link,
                     HKEY* key) {
  *key = nullptr;
  const bool counted = path.find(L'\0') != std::wstring::npos;
  if (!counted && !open_link) return ::RegOpenKeyExW(base, path.c_str(), 0, access, key);
  std::wstring trimmed = path;
  while (!trimmed.empty() && trimmed.back() == L'\\') trimmed.pop_back();
  const size_t split = NativePartStart(trimmed);
  const auto open = Native<OpenKeyFn>("NtOpenKey");
  // Without the native call (or without a real handle to start from) a name
  // holding a NUL cannot be reached, and a link is opened by the Win32 option.
  if (open == nullptr || (split == 0 && IsPredefinedKey(base))) {
    if (counted) return ERROR_FILE_NOT_FOUND;
    return ::RegOpenKeyExW(base, path.c_str(), REG_OPTION_OPEN_LINK, access, key);
  }
  UniqueRegKey head;
  if (split > 0) {
    // Only a starting point for the native call, which asks no rights of it.
    const LONG status = ::RegOpenKeyExW(base, trimmed.substr(0, split - 1).c_str(), 0,
                                        MAXIMUM_ALLOWED | (access & kViewBits), head.put());
    if (status != ERROR_SUCCESS) return status;
  }
  const std::wstring rest = trimmed.substr(split);
  if (rest.size() > kMostCountedUnits) return ERROR_FILE_NOT_FOUND;
  CountedName name = Counted(rest);
  ObjectAttributes attributes = {sizeof(attributes),
                                 split > 0 ? head.get() : base,
                                 &name,
                                 kCaseInsensitive | (open_link ? kOpenLink : 0),
                                 nullptr,
                                 nullptr};
  HANDLE opened = nullptr;
  const LONG status = open(&opened, access, &attributes);
  if (status < 0) return ErrorOfStatus(status);
  *key = static_cast<HKEY>(opened);
  return ERROR_SUCCESS;
}

}  // namespace velmora
