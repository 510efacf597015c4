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

// The key names of a path, without the empty ones that leading, trailing or
// doubled backslashes make.
std::vector<std::wstring> NamesOfPath(const std::wstring& path) {
  std::vector<std::wstring> names;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(L'\\', start);
    if (end == std::wstring::npos) end = path.size();
    if (end > start) names.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

// One name below `parent`, never followed when it is a link and `open_link`
// is set. The native call takes counted names and needs a real handle to
// start from; a predefined key is only known to the Win32 calls.
LONG OpenOneName(HKEY parent, const std::wstring& name, REGSAM access, bool open_link, HKEY* key) {
  const auto open = Native<OpenKeyFn>("NtOpenKey");
  if (open == nullptr || IsPredefinedKey(parent)) {
    if (name.find(L'\0') != std::wstring::npos) return ERROR_FILE_NOT_FOUND;
    return ::RegOpenKeyExW(parent, name.c_str(), open_link ? REG_OPTION_OPEN_LINK : 0, access, key);
  }
  if (name.size() > kMostCountedUnits) return ERROR_FILE_NOT_FOUND;
  CountedName counted = Counted(name);
  ObjectAttributes attributes = {sizeof(attributes),
                                 parent,
                                 &counted,
                                 kCaseInsensitive | (open_link ? kOpenLink : 0),
                                 nullptr,
                                 nullptr};
  HANDLE opened = nullptr;
  const LONG status = open(&opened, access, &attributes);
  if (status < 0) return ErrorOfStatus(status);
  *key = static_cast<HKEY>(opened);
  return ERROR_SUCCESS;
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

bool IsLinkKey(HKEY key) {
  DWORD type = REG_NONE;
  DWORD size = 0;
  return QueryRegistryValue(key, kSymbolicLinkValueName, &type, nullptr, &size) == ERROR_SUCCESS &&
         type == REG_LINK;
}

LONG OpenRegistryKey(HKEY base, const std::wstring& path, REGSAM access, bool open_link,
                     HKEY* key) {
  *key = nullptr;
  const bool counted = path.find(L'\0') != std::wstring::npos;
  if (!counted && !open_link) return ::RegOpenKeyExW(base, path.c_str(), 0, access, key);
  const std::vector<std::wstring> names = NamesOfPath(path);
  if (names.empty()) return ::RegOpenKeyExW(base, L"", 0, access, key);
  // Each name is opened below the handle of the one before, so that a link
  // anywhere in the path, not only at its end, is refused.
  UniqueRegKey opened;
  for (size_t i = 0; i < names.size(); ++i) {
    const bool last = i + 1 == names.size();
    // The keys on the way are only starting points, which the native call
    // asks no rights of.
    const REGSAM step_access = last ? access : MAXIMUM_ALLOWED | (access & kViewBits);
    HKEY next = nullptr;
    const LONG status =
        OpenOneName(i == 0 ? base : opened.get(), names[i], step_access, open_link, &next);
    if (status != ERROR_SUCCESS) return status;
    opened.reset(next);
    if (open_link && !last && IsLinkKey(opened.get())) return ERROR_FILE_NOT_FOUND;
  }
  *key = opened.release();
  return ERROR_SUCCESS;
}

}  // namespace velmora
