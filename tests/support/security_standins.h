// The test stand-ins for the WMI locator and the Windows Firewall manager
// (velmora_security_standins.dll beside the tests, made from
// fixtures/standins), registered in place of the platform's classes while
// the owner lives, with what they serve.
#pragma once

#include <windows.h>
#include <netfw.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/registry_seed.h"

namespace velmora::test {

inline constexpr wchar_t kSecurityCenter2[] = L"ROOT\\SecurityCenter2";
inline constexpr wchar_t kSecurityCenter[] = L"ROOT\\SecurityCenter";

class SecurityStandIns {
 public:
  // Registers both stand-ins; no namespace exists and no firewall profile
  // answers until the test seeds them.
  SecurityStandIns();
  ~SecurityStandIns();
  SecurityStandIns(const SecurityStandIns&) = delete;
  SecurityStandIns& operator=(const SecurityStandIns&) = delete;

  // The namespace exists, so far without products.
  void AddNamespace(const std::wstring& space);
  // One product (an instance of the class, served in the order of the
  // instance names); its values are its properties, as standin_seed.h says.
  SeededKey& Product(const std::wstring& space, const std::wstring& class_name,
                     const std::wstring& instance);
  // After its products the class's enumeration never answers; the stand-in
  // cuts each of the caller's waits to `milliseconds`.
  void NeverAnswers(const std::wstring& space, const std::wstring& class_name, DWORD milliseconds);
  // The locator answers as Windows XP's may: the maximum-wait flag is an
  // invalid parameter.
  void RefusesMaximumWait();
  // The domain and the standard profile on or off, and the one in force.
  void Firewall(bool domain_enabled, bool standard_enabled, NET_FW_PROFILE_TYPE in_force);

  // What the locator was asked last, if it was asked.
  std::optional<DWORD> LatestConnectFlags() const;
  std::optional<DWORD> ConnectCalls() const;
  std::optional<LONG> LatestNextTimeout() const;

 private:
  SeededKey& Seed(const std::wstring& path);

  StashedKey platform_locator_;
  StashedKey platform_firewall_;
  SeededKey seed_root_;
  std::vector<std::unique_ptr<SeededKey>> keys_;
};

}  // namespace velmora::test
