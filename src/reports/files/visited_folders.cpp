#include "reports/files/visited_folders.h"

namespace velmora {

bool VisitedFolders::FirstVisit(HANDLE folder) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(folder, &info)) return true;
  return FirstVisit(
      info.dwVolumeSerialNumber,
      (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow);
}

bool VisitedFolders::FirstVisit(DWORD volume_serial, unsigned long long file_index) {
  return file_index == 0 || seen_.emplace(volume_serial, file_index).second;
}

}  // namespace velmora
