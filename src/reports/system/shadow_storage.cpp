#include "reports/system/shadow_storage.h"

#include <objbase.h>

#include <algorithm>

#include "common/com_ptr.h"
#include "common/strings.h"
#include "common/system_class.h"
#include "environment/wow64.h"
#include "reports/system/volume_facts.h"

namespace velmora {

namespace {

// The system provider, the only one whose storage areas can be asked about.
constexpr VSS_ID kSystemProvider = {
    0xb5946137, 0x7b9f, 0x4925, {0xaf, 0x80, 0x51, 0xab, 0xd6, 0x0b, 0x20, 0xd5}};
// A volume may have more associations; this many are more than any set-up has.
constexpr int kAreaLimit = 64;
constexpr HRESULT kVolumeNotSupported = static_cast<HRESULT>(0x8004230C);
constexpr HRESULT kVolumeNotSupportedByProvider = static_cast<HRESULT>(0x8004230E);

// The answers' strings belong to the caller. Each kind of management
// object starts with two strings, so the first two are freed whatever its
// kind.
class OwnedAreas {
 public:
  OwnedAreas() = default;
  ~OwnedAreas() {
    for (VSS_DIFF_AREA_PROP& area : areas_) {
      ::CoTaskMemFree(area.m_pwszVolumeName);
      ::CoTaskMemFree(area.m_pwszDiffAreaVolumeName);
    }
  }
  OwnedAreas(const OwnedAreas&) = delete;
  OwnedAreas& operator=(const OwnedAreas&) = delete;

  void Take(const VSS_MGMT_OBJECT_PROP& object) { areas_.push_back(object.Obj.DiffArea); }
  const std::vector<VSS_DIFF_AREA_PROP>& areas() const { return areas_; }

 private:
  std::vector<VSS_DIFF_AREA_PROP> areas_;
};

std::wstring LimitText(LONGLONG maximum) {
  // -1 (any negative size) stands for a storage that may grow without bound.
  if (maximum < 0) return L"no limit";
  return L"limit " + BytesValue(static_cast<uint64_t>(maximum));
}

std::wstring AreaText(const VSS_DIFF_AREA_PROP& area) {
  std::wstring text =
      L"used " + BytesValue(static_cast<uint64_t>(std::max<LONGLONG>(area.m_llUsedDiffSpace, 0))) +
      L", allocated " +
      BytesValue(static_cast<uint64_t>(std::max<LONGLONG>(area.m_llAllocatedDiffSpace, 0))) +
      L", " + LimitText(area.m_llMaximumDiffSpace);
  const std::wstring volume = area.m_pwszVolumeName ? area.m_pwszVolumeName : L"";
  const std::wstring storage = area.m_pwszDiffAreaVolumeName ? area.m_pwszDiffAreaVolumeName : L"";
  if (!storage.empty() && !EqualsNoCase(storage, volume)) text += L", on " + storage;
  return text;
}

std::wstring FailureText(HRESULT result) {
  if (result == E_ACCESSDENIED) return UnknownValue(L"access denied");
  if (result == REGDB_E_CLASSNOTREG) return UnknownValue(L"no shadow copy service");
  if (result == kClassRegisteredForUser) {
    return UnknownValue(L"the shadow copy class is registered for the user; not asked");
  }
  return UnknownValue(Format(L"the shadow copy service does not answer, 0x%08lX",
                             static_cast<unsigned long>(result)));
}

HRESULT OpenStorageManagement(ComPtr<IVssDifferentialSoftwareSnapshotMgmt>& storage) {
  ComPtr<IVssSnapshotMgmt> management;
  HRESULT result = CreateMachineLocalObject(__uuidof(VssSnapshotMgmt), __uuidof(IVssSnapshotMgmt),
                                            IsWow64() ? KEY_WOW64_64KEY : 0, management.put_void());
  if (FAILED(result)) return result;
  ComPtr<IUnknown> provider;
  result = management->GetProviderMgmtInterface(
      kSystemProvider, __uuidof(IVssDifferentialSoftwareSnapshotMgmt), provider.put());
  if (FAILED(result)) return result;
  return provider.QueryInto(__uuidof(IVssDifferentialSoftwareSnapshotMgmt), storage);
}

}  // namespace

std::wstring ShadowStorageValue(HRESULT result, const std::vector<VSS_DIFF_AREA_PROP>& areas) {
  if (result == kVolumeNotSupported || result == kVolumeNotSupportedByProvider) {
    return L"none (the volume takes no shadow copies)";
  }
  if (FAILED(result)) return FailureText(result);
  if (areas.empty()) return L"none";
  std::wstring value;
  for (const VSS_DIFF_AREA_PROP& area : areas) {
    value += (value.empty() ? L"" : L"; ") + AreaText(area);
  }
  return value;
}

std::wstring ReadShadowStorage(const std::wstring& root) {
  ComPtr<IVssDifferentialSoftwareSnapshotMgmt> storage;
  HRESULT result = OpenStorageManagement(storage);
  if (FAILED(result)) return ShadowStorageValue(result, {});
  std::wstring volume = root;
  ComPtr<IVssEnumMgmtObject> found;
  result = storage->QueryDiffAreasForVolume(volume.data(), found.put());
  if (FAILED(result) || !found) return ShadowStorageValue(FAILED(result) ? result : E_POINTER, {});
  OwnedAreas areas;
  for (int i = 0; i < kAreaLimit; ++i) {
    VSS_MGMT_OBJECT_PROP object = {};
    ULONG fetched = 0;
    const HRESULT next = found->Next(1, &object, &fetched);
    if (FAILED(next)) return ShadowStorageValue(next, {});
    if (fetched != 1) break;
    areas.Take(object);
    if (object.Type != VSS_MGMT_OBJECT_DIFF_AREA) return UnknownValue(L"unexpected answer");
  }
  return ShadowStorageValue(S_OK, areas.areas());
}

}  // namespace velmora
