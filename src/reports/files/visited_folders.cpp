#include "reports/files/visited_folders.h"

#include "common/handles.h"
#include "common/no_follow_files.h"

namespace velmora {

bool VisitedFolders::FirstVisit(const std::wstring& folder) {
  // Opened through any link, so that the identity is the one of the target.
  UniqueHandle handle(::CreateFileW(ExtendedLengthPath(folder).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!handle || !::GetFileInformationByHandle(handle.get(), &info)) return true;
  return FirstVisit(
      info.dwVolumeSerialNumber,
      (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow);
}

bool VisitedFolders::FirstVisit(DWORD volume_serial, unsigned long long file_index) {
  return file_index == 0 || seen_.emplace(volume_serial, file_index).second;
}

}  // namespace velmora
