#include "reports/system/firewall_manager.h"

#include "environment/windows_version.h"

namespace velmora {

namespace {

// Not in MinGW's import libraries, so written out here.
constexpr GUID kClsidNetFwMgr = {
    0x304CE942, 0x6E39, 0x40D8, {0x94, 0x3A, 0xB9, 0x13, 0xC4, 0x0C, 0x9C, 0xD4}};
constexpr GUID kIidNetFwMgr = {
    0xF7898AF5, 0xCAC4, 0x4632, {0xA2, 0xEC, 0xDA, 0x06, 0xE5, 0x11, 0x1A, 0xF2}};

// A call that reports success but hands back nothing counts as a failure.
// Taken by reference, so that it is looked at after the call has filled it.
template <typename Interface>
HRESULT Checked(HRESULT result, const ComPtr<Interface>& out) {
  return SUCCEEDED(result) && !out ? E_POINTER : result;
}

HRESULT LocalPolicyOf(INetFwMgr& manager, ComPtr<INetFwPolicy>& policy) {
  return Checked(manager.get_LocalPolicy(policy.put()), policy);
}

HRESULT EnabledOf(INetFwProfile& profile, bool& enabled) {
  VARIANT_BOOL value = VARIANT_FALSE;
  const HRESULT result = profile.get_FirewallEnabled(&value);
  if (SUCCEEDED(result)) enabled = value != VARIANT_FALSE;
  return result;
}

HRESULT CurrentProfileEnabled(INetFwMgr& manager, bool& enabled) {
  ComPtr<INetFwPolicy> policy;
  HRESULT result = LocalPolicyOf(manager, policy);
  if (FAILED(result)) return result;
  ComPtr<INetFwProfile> profile;
  result = Checked(policy->get_CurrentProfile(profile.put()), profile);
  if (FAILED(result)) return result;
  return EnabledOf(*profile.get(), enabled);
}

}  // namespace

int OsGenerationOf(DWORD major, DWORD minor) {
  if (major <= 5) return 0;
  if (major == 6 && minor == 0) return 1;
  if (major == 6 && minor == 1) return 2;
  return 3;
}

TFireWallMgr::TFireWallMgr() : version_(GetWindowsVersion()) {}

INetFwMgr* TFireWallMgr::GetFwMgr() {
  if (manager_) return manager_.get();
  if (FAILED(CreateInProcess(kClsidNetFwMgr, kIidNetFwMgr, manager_)) || !manager_ ||
      FAILED(CurrentProfileEnabled(*manager_.get(), cached_enabled_))) {
    manager_.reset();
    return nullptr;
  }
  return manager_.get();
}

int TFireWallMgr::GetOsGeneration() const {
  return OsGenerationOf(version_.dwMajorVersion, version_.dwMinorVersion);
}

bool TFireWallMgr::IsFirewallEnabled() {
  INetFwMgr* manager = GetFwMgr();
  bool enabled = false;
  return manager != nullptr && SUCCEEDED(CurrentProfileEnabled(*manager, enabled)) && enabled;
}

bool TFireWallMgr::ProfileEnabled(NET_FW_PROFILE_TYPE type) {
  INetFwMgr* manager = GetFwMgr();
  if (manager == nullptr) return false;
  bool enabled = false;
  if (GetOsGeneration() == 0) return SUCCEEDED(CurrentProfileEnabled(*manager, enabled)) && enabled;
  ComPtr<INetFwPolicy> policy;
  if (FAILED(LocalPolicyOf(*manager, policy))) return false;
  ComPtr<INetFwProfile> profile;
  if (FAILED(Checked(policy->GetProfileByType(type, profile.put()), profile))) return false;
  return SUCCEEDED(EnabledOf(*profile.get(), enabled)) && enabled;
}

bool TFireWallMgr::IsHomeFirewallEnabled() {
  return ProfileEnabled(NET_FW_PROFILE_STANDARD);
}

bool TFireWallMgr::IsPublicFirewallEnabled() {
  return ProfileEnabled(NET_FW_PROFILE_CURRENT);
}

}  // namespace velmora
