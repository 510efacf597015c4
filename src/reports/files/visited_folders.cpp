#include "reports/files/visited_folders.h"

#include "common/handles.h"

namespace velmora {

bool VisitedFolders::FirstVisit(const std::wstring& folder) {
  // Opened through any link, so that the identity is the one of the target.
  UniqueHandle handle(::CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!handle || !::GetFileInformationByHandle(handle.get(), &info)) return true;
  const unsigned long long index =
      (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return seen_.emplace(info.dwVolumeSerialNumber, index).second;
}

}  // namespace velmora
