#include "support/registry_seed.h"

#include <sddl.h>

#include <vector>

#include "common/dynamic_function.h"
#include "common/handles.h"
#include "support/test_support.h"

namespace velmora::test {

namespace {

struct CountedName {
  USHORT length;
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
constexpr ULONG kCaseInsensitive = 0x40;
constexpr ULONG kOpenLink = 0x100;
constexpr ULONG kCreateLinkOption = 0x2;  // REG_OPTION_CREATE_LINK
using SetValueKeyFn = LONG(WINAPI*)(HANDLE, CountedName*, ULONG, ULONG, const void*, ULONG);
using CreateKeyFn = LONG(WINAPI*)(HANDLE*, ACCESS_MASK, ObjectAttributes*, ULONG, CountedName*,
                                  ULONG, ULONG*);
using OpenKeyFn = LONG(WINAPI*)(HANDLE*, ACCESS_MASK, ObjectAttributes*);
using DeleteKeyFn = LONG(WINAPI*)(HANDLE);

CountedName Counted(const std::wstring& text) {
  const auto bytes = static_cast<USHORT>(text.size() * sizeof(wchar_t));
  return {bytes, bytes, text.data()};
}

template <typename Function>
Function Native(const char* name) {
  return LookUpFunction<Function>(::GetModuleHandleW(L"ntdll.dll"), name);
}

// A subkey as itself (a link is not followed), ready to be emptied and deleted.
UniqueRegKey OpenForDeletion(HKEY parent, const std::wstring& name, REGSAM view) {
  const auto open_key = Native<OpenKeyFn>("NtOpenKey");
  CountedName counted = Counted(name);
  ObjectAttributes attributes = {sizeof(attributes),           parent,  &counted,
                                 kCaseInsensitive | kOpenLink, nullptr, nullptr};
  HANDLE child = nullptr;
  if (open_key == nullptr ||
      open_key(&child, DELETE | KEY_ENUMERATE_SUB_KEYS | view, &attributes) < 0) {
    return {};
  }
  return UniqueRegKey(static_cast<HKEY>(child));
}

void DeleteSubkeys(HKEY key, REGSAM view) {
  const auto delete_key = Native<DeleteKeyFn>("NtDeleteKey");
  for (const std::wstring& name : SubkeyNames(key)) {
    const UniqueRegKey child = OpenForDeletion(key, name, view);
    if (!child || delete_key == nullptr) continue;
    DeleteSubkeys(child.get(), view);
    delete_key(child.get());
  }
}

}  // namespace

bool SetCountedValue(HKEY key, const std::wstring& name, DWORD type, const std::string& bytes) {
  if (name.find(L'\0') == std::wstring::npos) {
    return ::RegSetValueExW(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                            static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
  }
  const auto set_value_key = Native<SetValueKeyFn>("NtSetValueKey");
  CountedName counted = Counted(name);
  return set_value_key != nullptr &&
         set_value_key(key, &counted, 0, type, bytes.data(), static_cast<ULONG>(bytes.size())) >= 0;
}

bool CreateCountedSubkey(HKEY parent, const std::wstring& name, REGSAM view) {
  if (name.find(L'\0') == std::wstring::npos) {
    UniqueRegKey child;
    return ::RegCreateKeyExW(parent, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_ALL_ACCESS | view, nullptr, child.put(), nullptr) == ERROR_SUCCESS;
  }
  const auto create_key = Native<CreateKeyFn>("NtCreateKey");
  CountedName counted = Counted(name);
  ObjectAttributes attributes = {sizeof(attributes), parent,  &counted,
                                 kCaseInsensitive,   nullptr, nullptr};
  HANDLE child = nullptr;
  if (create_key == nullptr ||
      create_key(&child, KEY_ALL_ACCESS | view, &attributes, 0, nullptr, 0, nullptr) < 0) {
    return false;
  }
  ::RegCloseKey(static_cast<HKEY>(child));
  return true;
}

std::vector<std::wstring> SubkeyNames(HKEY key) {
  std::vector<std::wstring> names;
  wchar_t name[256];
  for (DWORD index = 0; key != nullptr; ++index) {
    DWORD units = 256;
    if (::RegEnumKeyExW(key, index, name, &units, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    names.emplace_back(name, units);
  }
  return names;
}

void DeleteKeyTree(HKEY root, const std::wstring& path, REGSAM view) {
  const auto delete_key = Native<DeleteKeyFn>("NtDeleteKey");
  UniqueRegKey key;
  // Only what a restricted key still allows; a link is deleted itself.
  if (::RegOpenKeyExW(root, path.c_str(), REG_OPTION_OPEN_LINK,
                      DELETE | KEY_ENUMERATE_SUB_KEYS | view, key.put()) != ERROR_SUCCESS ||
      delete_key == nullptr) {
    return;
  }
  DeleteSubkeys(key.get(), view);
  delete_key(key.get());
}

std::wstring NativeKeyPath(HKEY root, const std::wstring& path) {
  if (root == HKEY_LOCAL_MACHINE) return L"\\Registry\\Machine\\" + path;
  UniqueHandle token;
  ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put());
  std::vector<BYTE> user(512);
  DWORD size = 0;
  wchar_t* sid = nullptr;
  if (!::GetTokenInformation(token.get(), TokenUser, user.data(), static_cast<DWORD>(user.size()),
                             &size) ||
      !::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid)) {
    return {};
  }
  const std::wstring native = L"\\Registry\\User\\" + std::wstring(sid) + L"\\" + path;
  ::LocalFree(sid);
  return native;
}

bool CreateLinkSubkey(HKEY parent, const std::wstring& name, const std::wstring& target,
                      REGSAM view) {
  const auto create_key = Native<CreateKeyFn>("NtCreateKey");
  const auto set_value_key = Native<SetValueKeyFn>("NtSetValueKey");
  CountedName counted = Counted(name);
  ObjectAttributes attributes = {sizeof(attributes),           parent,  &counted,
                                 kCaseInsensitive | kOpenLink, nullptr, nullptr};
  HANDLE link = nullptr;
  if (create_key == nullptr || set_value_key == nullptr ||
      create_key(&link, KEY_ALL_ACCESS | KEY_CREATE_LINK | view, &attributes, 0, nullptr,
                 kCreateLinkOption, nullptr) < 0) {
    return false;
  }
  const UniqueRegKey owned(static_cast<HKEY>(link));
  const std::wstring value_name = L"SymbolicLinkValue";
  CountedName counted_value = Counted(value_name);
  // The target without a terminating NUL.
  return set_value_key(link, &counted_value, 0, REG_LINK, target.data(),
                       static_cast<ULONG>(target.size() * sizeof(wchar_t))) >= 0;
}

bool RestrictKeyAccess(HKEY root, const std::wstring& path, REGSAM view) {
  UniqueRegKey key;
  if (::RegOpenKeyExW(root, path.c_str(), 0, WRITE_DAC | view, key.put()) != ERROR_SUCCESS) {
    return false;
  }
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  // Protected, so that nothing is inherited: query (1), enumerate (8), delete.
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
          L"D:P(A;;0x10009;;;WD)", SDDL_REVISION_1, &descriptor, nullptr)) {
    return false;
  }
  const LONG status = ::RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor);
  ::LocalFree(descriptor);
  return status == ERROR_SUCCESS;
}

SeededKey::SeededKey(HKEY root, std::wstring path, REGSAM view)
    : root_(root), path_(std::move(path)), view_(view) {
  DeleteKeyTree(root_, path_, view_);
  ::RegCreateKeyExW(root_, path_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                    KEY_ALL_ACCESS | view_, nullptr, &key_, nullptr);
}

SeededKey::~SeededKey() {
  if (key_ != nullptr) ::RegCloseKey(key_);
  DeleteKeyTree(root_, path_, view_);
}

SeededKey& SeededKey::Raw(const std::wstring& name, DWORD type, const std::string& bytes) {
  SetCountedValue(key_, name, type, bytes);
  return *this;
}

SeededKey& SeededKey::Text(const std::wstring& name, const std::wstring& text, DWORD type) {
  return Raw(name, type, Utf16LeBytes(text + L'\0'));
}

SeededKey& SeededKey::Dword(const std::wstring& name, DWORD value) {
  return Raw(name, REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof(value)));
}

SeededKey& SeededKey::Qword(const std::wstring& name, unsigned long long value) {
  return Raw(name, REG_QWORD, std::string(reinterpret_cast<const char*>(&value), sizeof(value)));
}

SeededKey& SeededKey::Subkey(const std::wstring& name) {
  CreateCountedSubkey(key_, name, view_);
  return *this;
}

SeededKey& SeededKey::Link(const std::wstring& name, const std::wstring& target) {
  CreateLinkSubkey(key_, name, target, view_);
  return *this;
}

namespace {

bool TakeSnapshot(HKEY key, KeySnapshot& snapshot) {
  DWORD subkeys = 0, longest_subkey = 0, values = 0, longest_name = 0, longest_data = 0;
  if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &longest_subkey, nullptr,
                         &values, &longest_name, &longest_data, nullptr,
                         nullptr) != ERROR_SUCCESS) {
    return false;
  }
  for (DWORD index = 0; index < values; ++index) {
    std::vector<wchar_t> name(longest_name + 1);
    std::string data(longest_data, '\0');
    DWORD name_units = static_cast<DWORD>(name.size());
    DWORD type = 0;
    DWORD size = longest_data;
    if (::RegEnumValueW(key, index, name.data(), &name_units, nullptr, &type,
                        reinterpret_cast<BYTE*>(data.data()), &size) == ERROR_SUCCESS) {
      data.resize(size);
      snapshot.values.push_back({std::wstring(name.data(), name_units), type, data});
    }
  }
  for (DWORD index = 0; index < subkeys; ++index) {
    std::vector<wchar_t> name(longest_subkey + 1);
    DWORD units = static_cast<DWORD>(name.size());
    if (::RegEnumKeyExW(key, index, name.data(), &units, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      continue;
    }
    UniqueRegKey child;
    KeySnapshot child_snapshot;
    if (::RegOpenKeyExW(key, std::wstring(name.data(), units).c_str(), 0, KEY_READ, child.put()) ==
            ERROR_SUCCESS &&
        TakeSnapshot(child.get(), child_snapshot)) {
      snapshot.subkeys.emplace_back(std::wstring(name.data(), units), std::move(child_snapshot));
    }
  }
  return true;
}

void RestoreSnapshot(HKEY parent, const std::wstring& path, REGSAM view,
                     const KeySnapshot& snapshot) {
  UniqueRegKey key;
  if (::RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS | view, nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
    return;
  }
  for (const KeySnapshot::Value& value : snapshot.values) {
    ::RegSetValueExW(key.get(), value.name.c_str(), 0, value.type,
                     reinterpret_cast<const BYTE*>(value.bytes.data()),
                     static_cast<DWORD>(value.bytes.size()));
  }
  for (const auto& [name, child] : snapshot.subkeys) RestoreSnapshot(key.get(), name, 0, child);
}

}  // namespace

StashedKey::StashedKey(HKEY root, std::wstring path, REGSAM view)
    : root_(root), path_(std::move(path)), view_(view) {
  UniqueRegKey key;
  if (::RegOpenKeyExW(root_, path_.c_str(), 0, KEY_READ | view_, key.put()) == ERROR_SUCCESS) {
    existed_ = TakeSnapshot(key.get(), snapshot_);
  }
  key.reset();
  DeleteKeyTree(root_, path_, view_);
}

StashedKey::~StashedKey() {
  DeleteKeyTree(root_, path_, view_);
  if (existed_) RestoreSnapshot(root_, path_, view_, snapshot_);
}

}  // namespace velmora::test
