#include "support/security_standins.h"

#include <objbase.h>

#include "fixtures/standins/standin_seed.h"
#include "support/test_support.h"

namespace velmora::test {

namespace {

// A process reads the classes of its own registry view.
constexpr REGSAM kOwnView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;

std::wstring ClassKey(const GUID& clsid) {
  wchar_t text[40] = {};
  ::StringFromGUID2(clsid, text, 40);
  return std::wstring(L"Software\\Classes\\CLSID\\") + text;
}

constexpr wchar_t kSeedRoot[] = L"Software\\Velmora Test Stand-ins";

std::optional<DWORD> ReadNote(const wchar_t* name) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, standin::kWbemKey, 0, KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  DWORD value = 0;
  DWORD type = 0;
  DWORD size = sizeof(value);
  const LONG status =
      ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  ::RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_DWORD) return std::nullopt;
  return value;
}

// Creates the key (and those above it) without touching what it holds; the
// seed's root removes it with everything else.
void CreateSeedKey(const std::wstring& path, const wchar_t* value_name = nullptr, DWORD value = 0) {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
    return;
  }
  if (value_name != nullptr) {
    ::RegSetValueExW(key, value_name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                     sizeof(value));
  }
  ::RegCloseKey(key);
}

}  // namespace

SecurityStandIns::SecurityStandIns()
    : platform_locator_(HKEY_LOCAL_MACHINE, ClassKey(standin::kClsidWbemLocator), kOwnView),
      platform_firewall_(HKEY_LOCAL_MACHINE, ClassKey(standin::kClsidNetFwMgr), kOwnView),
      seed_root_(HKEY_CURRENT_USER, kSeedRoot) {
  const std::wstring server = BinDir() + L"\\velmora_security_standins.dll";
  for (const GUID* clsid : {&standin::kClsidWbemLocator, &standin::kClsidNetFwMgr}) {
    // Both platform classes take callers of either threading model.
    keys_.push_back(std::make_unique<SeededKey>(HKEY_LOCAL_MACHINE,
                                                ClassKey(*clsid) + L"\\InprocServer32", kOwnView));
    keys_.back()->Text(L"", server).Text(L"ThreadingModel", L"Both");
  }
}

SecurityStandIns::~SecurityStandIns() = default;

SeededKey& SecurityStandIns::Seed(const std::wstring& path) {
  keys_.push_back(std::make_unique<SeededKey>(HKEY_CURRENT_USER, path));
  return *keys_.back();
}

void SecurityStandIns::AddNamespace(const std::wstring& space) {
  CreateSeedKey(std::wstring(standin::kWbemKey) + L"\\" + space);
}

SeededKey& SecurityStandIns::Product(const std::wstring& space, const std::wstring& class_name,
                                     const std::wstring& instance) {
  return Seed(std::wstring(standin::kWbemKey) + L"\\" + space + L"\\" + class_name + L"\\" +
              instance);
}

void SecurityStandIns::NeverAnswers(const std::wstring& space, const std::wstring& class_name,
                                    DWORD milliseconds) {
  CreateSeedKey(std::wstring(standin::kWbemKey) + L"\\" + space + L"\\" + class_name,
                standin::kNeverAnswers, milliseconds);
}

void SecurityStandIns::RefusesMaximumWait() {
  CreateSeedKey(standin::kWbemKey, standin::kRefusesMaxWait, 1);
}

void SecurityStandIns::Firewall(bool domain_enabled, bool standard_enabled,
                                NET_FW_PROFILE_TYPE in_force) {
  Seed(standin::kFirewallKey)
      .Dword(standin::kDomainProfileEnabled, domain_enabled)
      .Dword(standin::kStandardProfileEnabled, standard_enabled)
      .Dword(standin::kProfileInForce, in_force);
}

std::optional<DWORD> SecurityStandIns::LatestConnectFlags() const {
  return ReadNote(standin::kLatestConnectFlags);
}

std::optional<DWORD> SecurityStandIns::ConnectCalls() const {
  return ReadNote(standin::kConnectCalls);
}

std::optional<LONG> SecurityStandIns::LatestNextTimeout() const {
  const std::optional<DWORD> timeout = ReadNote(standin::kLatestNextTimeout);
  if (!timeout) return std::nullopt;
  return static_cast<LONG>(*timeout);
}

}  // namespace velmora::test
