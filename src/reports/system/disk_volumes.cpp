#include "reports/system/disk_volumes.h"

#include <windows.h>

#include "common/strings.h"

namespace velmora {

VolumeNames GetVolumeNames(wchar_t drive_letter) {
  const std::wstring root = std::wstring(1, drive_letter) + L":\\";
  wchar_t label[MAX_PATH] = {};
  wchar_t file_system[MAX_PATH] = {};
  // An empty or unreachable drive leaves both texts empty.
  ::GetVolumeInformationW(root.c_str(), label, MAX_PATH, nullptr, nullptr, nullptr, file_system,
                          MAX_PATH);
  return {FromBuffer(label, MAX_PATH), FromBuffer(file_system, MAX_PATH)};
}

void AppendDiskVolumes(ReportList* list) {
  if (list == nullptr) return;
  // No dialog for a drive without a medium.
  const UINT previous_mode = ::SetErrorMode(SEM_FAILCRITICALERRORS);
  const DWORD drives = ::GetLogicalDrives();
  for (wchar_t letter = L'C'; letter <= L'Z'; ++letter) {
    if (!(drives & (1u << (letter - L'A')))) continue;
    list->push_back(std::wstring(1, letter) + L":\\ " + GetVolumeNames(letter).file_system);
  }
  ::SetErrorMode(previous_mode);
}

}  // namespace velmora
