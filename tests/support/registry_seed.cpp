#include "support/registry_seed.h"

#include <sddl.h>

#include <vector>

#include "common/handles.h"
#include "support/test_support.h"

namespace velmora::test {

void DeleteKeyTree(HKEY root, const std::wstring& path, REGSAM view) {
  {
    UniqueRegKey key;
    // Only what a restricted key still allows.
    ::RegOpenKeyExW(root, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS | view, key.put());
    std::vector<std::wstring> children;
    wchar_t name[256];
    for (DWORD index = 0; key; ++index) {
      DWORD units = 256;
      if (::RegEnumKeyExW(key.get(), index, name, &units, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS) {
        break;
      }
      children.emplace_back(name, units);
    }
    for (const std::wstring& child : children) DeleteKeyTree(root, path + L"\\" + child, view);
  }
  ::RegDeleteKeyExW(root, path.c_str(), view, 0);
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
  ::RegSetValueExW(key_, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                   static_cast<DWORD>(bytes.size()));
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
  HKEY child = nullptr;
  ::RegCreateKeyExW(key_, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                    nullptr, &child, nullptr);
  if (child != nullptr) ::RegCloseKey(child);
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
